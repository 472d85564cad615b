#include "engine/FileSystem_win.h"

#include <windows.h>

#include "base/FileIO_win.h"
#include "base/Handles_win.h"
#include "base/Unicode_win.h"
#include "engine/ListFile.h"

bool TWinFileSystem::DirectoryExists(const std::string& path) {
  return ::DirectoryExists(path);
}

bool TWinFileSystem::FileExists(const std::string& path) {
  return ::FileExists(path);
}

void TWinFileSystem::EnumerateFolder(const std::string& folder, const Visitor& visit) {
  const std::wstring mask = ToWide(folder) + L"*.*";
  WIN32_FIND_DATAW data;
  TFindHandle find(FindFirstFileExW(mask.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                    nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!find) return;
  std::string name;
  do {
    name = ToUtf8(data.cFileName);
    visit(name, data.dwFileAttributes);
  } while (FindNextFileW(find.get(), &data));
}

std::vector<std::string> TWinFileSystem::ReadListFile(const std::string& path) {
  std::vector<std::string> lines = SplitListLines(ReadWholeFile(path));
  for (std::string& line : lines) line = AnsiToUtf8(line);
  return lines;
}

void TWinFileSystem::WriteListFile(const std::string& path, const std::vector<std::string>& lines) {
  std::vector<std::string> ansi;
  ansi.reserve(lines.size());
  for (const std::string& line : lines) ansi.push_back(Utf8ToAnsi(line));
  WriteFileAtomically(path, JoinListLines(ansi));
}
