// Prints the window class of the desktop's foreground window, for the end-to-end scripts: they
// press a key only once the program's window has the focus, so that a key that does nothing is
// a fault of the program, not of a click that had not yet made its window active.
#include <windows.h>

#include <cstdio>

int main() {
  char name[256] = {};
  HWND window = GetForegroundWindow();
  if (window == nullptr || GetClassNameA(window, name, sizeof name) == 0) return 1;
  std::puts(name);
  return 0;
}
