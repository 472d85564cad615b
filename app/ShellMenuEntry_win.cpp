#include "app/ShellMenuEntry_win.h"

#include <windows.h>

#include <utility>

#include "base/Unicode_win.h"

namespace {

constexpr const wchar_t* kUserKey = L"Software\\Classes\\*\\shell\\menu";
constexpr const wchar_t* kUserCommandKey = L"Software\\Classes\\*\\shell\\menu\\command";

bool KeyExists(HKEY root, const wchar_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

std::wstring DefaultValue(HKEY root, const std::wstring& path) {
  wchar_t value[1024] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  if (RegGetValueW(root, path.c_str(), nullptr, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                   nullptr, value, &size) != ERROR_SUCCESS) {
    return {};
  }
  return value;
}

// Whether `*\shell\menu` under `root` is the entry this program writes ("&Vesko2", or a command
// that starts a Vesko2.exe, wherever an older copy lived), not another program's "menu".
bool IsOurEntry(HKEY root, const std::wstring& path) {
  if (!KeyExists(root, path.c_str())) return false;
  if (CompareStringOrdinal(DefaultValue(root, path).c_str(), -1, L"&Vesko2", -1, TRUE) ==
      CSTR_EQUAL) {
    return true;
  }
  std::wstring command = DefaultValue(root, path + L"\\command");
  for (wchar_t& c : command) c = static_cast<wchar_t>(towlower(c));
  return command.find(L"\\vesko2.exe\"") != std::wstring::npos ||
         command.rfind(L"\"vesko2.exe\"", 0) == 0;
}

constexpr const wchar_t* kClassesKey = L"*\\shell\\menu";

}  // namespace

bool ShellMenuEntryExists() {
  return IsOurEntry(HKEY_CURRENT_USER, kUserKey) || IsOurEntry(HKEY_CLASSES_ROOT, kClassesKey);
}

void AddShellMenuEntry(const std::string& programPath) {
  const std::wstring command = L"\"" + ToWide(programPath) + L"\" \"%1\"";
  for (const auto& [path, value] : {std::pair<const wchar_t*, std::wstring>{kUserKey, L"&Vesko2"},
                                    {kUserCommandKey, command}}) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                     &key, nullptr);
    if (status == ERROR_SUCCESS) {
      status = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
      RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) throw EShellMenuEntry("レジストリに書き込めません");
  }
}

void RemoveShellMenuEntry() {
  // Only our own entry goes: another program's "menu" stays.
  LSTATUS status = IsOurEntry(HKEY_CURRENT_USER, kUserKey)
                       ? RegDeleteTreeW(HKEY_CURRENT_USER, kUserKey)
                       : ERROR_FILE_NOT_FOUND;
  // An entry an older copy wrote straight into HKEY_CLASSES_ROOT goes too, where allowed.
  if ((status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) &&
      IsOurEntry(HKEY_CLASSES_ROOT, kClassesKey)) {
    status = RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassesKey);
  }
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    throw EShellMenuEntry("レジストリから削除できません");
  }
}
