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

}  // namespace

bool ShellMenuEntryExists() {
  return KeyExists(HKEY_CURRENT_USER, kUserKey) || KeyExists(HKEY_CLASSES_ROOT, L"*\\shell\\menu");
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
  LSTATUS status = RegDeleteTreeW(HKEY_CURRENT_USER, kUserKey);
  // An entry an older copy wrote straight into HKEY_CLASSES_ROOT goes too, where allowed.
  if ((status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) &&
      KeyExists(HKEY_CLASSES_ROOT, L"*\\shell\\menu")) {
    status = RegDeleteTreeW(HKEY_CLASSES_ROOT, L"*\\shell\\menu");
  }
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    throw EShellMenuEntry("レジストリから削除できません");
  }
}
