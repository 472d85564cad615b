#include "base/DllSearch_win.h"

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
