// Where the program looks for DLLs: never in the current folder (a picture folder, a download
// folder), whose DLL of the same name would otherwise run in place of the one meant.
#pragma once

#include <windows.h>

#include <string>

// At start: the current folder leaves the search; where the system can (Windows 8, Windows 7
// with its loader update), the search is the program's folder, System32 and the Windows folder
// (where archiver DLLs were often installed), and nothing else.
void RestrictDllSearch();

// The LoadLibraryExW flags for a DLL named by its full path whose own DLLs lie beside it.
DWORD BesideDllFlags();

// The full path of a DLL as Windows searched for one named alone before the search was
// restricted, without the current folder: the program's folder, the folder SetDllDirectory
// names, System32, System, the Windows folder, then the full paths on PATH (archiver DLLs were
// often installed on PATH). Empty when none holds it.
std::wstring FindOnClassicDllPath(const std::wstring& name);
