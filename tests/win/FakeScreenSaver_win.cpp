// Stands in for a screen saver in tests: writes the file named by VESKO_SCR_MARKER and ends.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t marker[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"VESKO_SCR_MARKER", marker, MAX_PATH) == 0) return 1;
  HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(file);
  return 0;
}
