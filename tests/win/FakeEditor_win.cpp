// Stands in for a graphics editor in tests: writes the command line it was started with (UTF-8)
// to the file named by VESKO_EDITOR_LOG and ends.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t log[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"VESKO_EDITOR_LOG", log, MAX_PATH) == 0) return 1;
  const wchar_t* line = GetCommandLineW();
  char utf8[4096] = {};
  const int length = WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8, sizeof utf8, nullptr, nullptr);
  HANDLE file = CreateFileW(log, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, utf8, length > 0 ? static_cast<DWORD>(length - 1) : 0, &written, nullptr);
  CloseHandle(file);
  return 0;
}
