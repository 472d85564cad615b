// FILE_ID_INFO is declared for Windows 8 and later; on Windows 7 asking for it simply fails.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0602
#include "engine/FileSystem_win.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

#include "base/FileIO_win.h"
#include "base/Handles_win.h"
#include "base/Unicode_win.h"
#include "engine/FolderIdentity.h"
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
  return SplitListLines(FileTextToUtf8(ReadWholeFile(path)));
}

void TWinFileSystem::WriteListFile(const std::string& path, const std::vector<std::string>& lines) {
  WriteFileAtomically(path, Utf8ToFileText(JoinListLines(lines)));
}

std::string TWinFileSystem::FullPath(const std::string& path) {
  const std::wstring wide = ToWide(path);
  const DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (length == 0) return path;
  std::wstring full(length, L'\0');
  const DWORD written = GetFullPathNameW(wide.c_str(), length, full.data(), nullptr);
  if (written == 0 || written >= length) return path;
  full.resize(written);
  return ToUtf8(full);
}

std::string TWinFileSystem::FolderIdentity(const std::string& folder) {
  // Opening a folder needs backup semantics; a link is followed to the folder it names.
  THandle handle(CreateFileW(ToWide(folder).c_str(), 0,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle) return {};
  TFolderFacts facts;
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(handle.get(), &info)) {
    facts.VolumeSerial = info.dwVolumeSerialNumber;
    facts.FileIndex = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    facts.CreationTime =
        (uint64_t{info.ftCreationTime.dwHighDateTime} << 32) | info.ftCreationTime.dwLowDateTime;
  }
  // ReFS ids do not fit the 64-bit index; the system answers this from Windows 8 on.
  FILE_ID_INFO id{};
  if (GetFileInformationByHandleEx(handle.get(), FileIdInfo, &id, sizeof id)) {
    facts.VolumeSerial = id.VolumeSerialNumber;
    std::copy(std::begin(id.FileId.Identifier), std::end(id.FileId.Identifier),
              facts.FileId.begin());
  }
  wchar_t path[MAX_PATH * 2];
  const DWORD length = GetFinalPathNameByHandleW(handle.get(), path, MAX_PATH * 2, 0);
  if (length > 0 && length < MAX_PATH * 2) facts.FinalPath = ToUtf8(std::wstring(path, length));
  return FolderIdentityText(facts);
}
