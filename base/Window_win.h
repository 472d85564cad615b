// One base for the program's windows: a static trampoline stores `this` and forwards messages
// to a virtual handler. No exception ever crosses the Win32 callback: the trampoline hands it
// to the error handler (the application's error box).
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <string>

// A window's text (a control's contents, a window's caption) at its full length.
std::string WindowText(HWND window);

// The dots per inch of the monitor a window is on (per-monitor aware), or of the screen where
// the system cannot tell.
UINT WindowDpi(HWND window);

class TWindowBase {
 public:
  TWindowBase() = default;
  TWindowBase(const TWindowBase&) = delete;
  TWindowBase& operator=(const TWindowBase&) = delete;
  virtual ~TWindowBase();

  HWND Handle() const { return handle_; }

  // Shows errors that escape a message handler; set once by the application.
  static std::function<void(const std::exception&)> ErrorHandler;

 protected:
  // Registers the class on first use and creates the window.
  void CreateHandle(const wchar_t* className, const wchar_t* caption, DWORD style, DWORD exStyle,
                    int x, int y, int width, int height, HWND owner);
  virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // Called once the window is gone (its last message); a window that owns itself deletes itself.
  virtual void WindowDestroyed() {}
  LRESULT DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(handle_, message, wParam, lParam);
  }
  void DestroyHandle();

 private:
  static LRESULT CALLBACK Trampoline(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND handle_ = nullptr;
};
