// Where the program looks for DLLs: never in the current folder (a picture folder, a download
// folder), whose DLL of the same name would otherwise run in place of the one meant.
#pragma once

#include <windows.h>

// At start: the current folder leaves the search; where the system can (Windows 8, Windows 7
// with its loader update), the search is the program's folder, System32 and the Windows folder
// (where archiver DLLs were often installed), and nothing else.
void RestrictDllSearch();

// The LoadLibraryExW flags for a DLL named by its full path whose own DLLs lie beside it.
DWORD BesideDllFlags();
