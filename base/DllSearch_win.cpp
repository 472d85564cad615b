#include "base/DllSearch_win.h"

#include <vector>

namespace {

using TSetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
using TAddDllDirectory = void*(WINAPI*)(PCWSTR);

constexpr DWORD kSearchDllLoadDir = 0x00000100;   // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR
constexpr DWORD kSearchDefaultDirs = 0x00001000;  // LOAD_LIBRARY_SEARCH_DEFAULT_DIRS

FARPROC Kernel32(const char* name) {
  return GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name);
}

// Whether the loader takes the LOAD_LIBRARY_SEARCH flags: AddDllDirectory comes with them.
bool SearchFlagsKnown() {
  static const bool known = Kernel32("AddDllDirectory") != nullptr;
  return known;
}

}  // namespace

void RestrictDllSearch() {
  SetDllDirectoryW(L"");
  const auto setDefault = reinterpret_cast<TSetDefaultDllDirectories>(
      reinterpret_cast<void*>(Kernel32("SetDefaultDllDirectories")));
  const auto add =
      reinterpret_cast<TAddDllDirectory>(reinterpret_cast<void*>(Kernel32("AddDllDirectory")));
  if (setDefault == nullptr || add == nullptr) return;
  wchar_t windows[MAX_PATH] = {};
  const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
  if (length > 0 && length < MAX_PATH) add(windows);
  setDefault(kSearchDefaultDirs);
}

DWORD BesideDllFlags() {
  return SearchFlagsKnown() ? kSearchDllLoadDir | kSearchDefaultDirs
                            : LOAD_WITH_ALTERED_SEARCH_PATH;
}

std::wstring FindOnClassicDllPath(const std::wstring& name) {
  std::vector<std::wstring> folders;
  wchar_t buffer[MAX_PATH] = {};
  DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    std::wstring program(buffer, length);
    folders.push_back(program.substr(0, program.find_last_of(L"\\/")));
  }
  length = GetDllDirectoryW(MAX_PATH, buffer);
  if (length > 0 && length < MAX_PATH) folders.emplace_back(buffer, length);
  length = GetSystemDirectoryW(buffer, MAX_PATH);
  if (length > 0 && length < MAX_PATH) folders.emplace_back(buffer, length);
  length = GetWindowsDirectoryW(buffer, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    folders.push_back(std::wstring(buffer, length) + L"\\System");
    folders.emplace_back(buffer, length);
  }
  const DWORD pathLength = GetEnvironmentVariableW(L"PATH", nullptr, 0);
  if (pathLength > 0) {
    std::wstring path(pathLength, L'\0');
    path.resize(GetEnvironmentVariableW(L"PATH", path.data(), pathLength));
    size_t start = 0;
    while (start <= path.size()) {
      size_t end = path.find(L';', start);
      if (end == std::wstring::npos) end = path.size();
      std::wstring folder = path.substr(start, end - start);
      if (folder.size() >= 2 && folder.front() == L'"' && folder.back() == L'"')
        folder = folder.substr(1, folder.size() - 2);
      // Only full paths: a relative entry would name the current folder or one below it.
      const bool full =
          (folder.size() >= 3 && folder[1] == L':' && (folder[2] == L'\\' || folder[2] == L'/')) ||
          folder.rfind(L"\\\\", 0) == 0;
      if (full) folders.push_back(folder);
      start = end + 1;
    }
  }
  for (std::wstring folder : folders) {
    if (folder.empty()) continue;
    if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    const std::wstring candidate = folder + name;
    const DWORD attributes = GetFileAttributesW(candidate.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
      return candidate;
  }
  return {};
}
