#include "app/StartWithWindows_win.h"

#include <windows.h>

#include <vector>

#include "app/HandOver.h"
#include "base/Unicode_win.h"

namespace {

constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const wchar_t* kValueName = L"Vesko 2";

}  // namespace

std::string StartWithWindowsCommand(const std::string& programPath) {
  return "\"" + programPath + "\" " + kSignInSwitch;
}

std::string StartWithWindowsProgram() {
  DWORD size = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, kValueName,
                   RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, nullptr,
                   &size) != ERROR_SUCCESS) {
    return {};
  }
  std::vector<wchar_t> value(size / sizeof(wchar_t) + 1);
  size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, kValueName,
                   RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, value.data(),
                   &size) != ERROR_SUCCESS) {
    return {};
  }
  // A value of the expandable kind may name the folder by a variable (%LOCALAPPDATA%).
  wchar_t expanded[MAX_PATH * 2] = {};
  const DWORD length = ExpandEnvironmentStringsW(value.data(), expanded, MAX_PATH * 2);
  const std::wstring command = length > 0 && length <= MAX_PATH * 2 ? expanded : value.data();
  const std::vector<std::string> parts = SplitCommandLine(ToUtf8(command));
  return parts.empty() ? std::string() : parts.front();
}

void SetStartWithWindows(bool on, const std::string& programPath) {
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE,
                                   nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) {
    if (on) {
      const std::wstring command = ToWide(StartWithWindowsCommand(programPath));
      status =
          RegSetValueExW(key, kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                         static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    } else {
      status = RegDeleteValueW(key, kValueName);
      if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
    }
    RegCloseKey(key);
  }
  if (status != ERROR_SUCCESS) {
    throw EStartWithWindows("Windows の起動時に起動する設定を" +
                            std::string(on ? "書き込めませんでした" : "削除できませんでした"));
  }
}
