// The application object: the hidden window that owns the taskbar button and carries the
// application title, the message loop, and minimising and restoring the program as a whole.
#pragma once

#include <functional>
#include <string>

#include "base/Window_win.h"

class TApplication final : public TWindowBase {
 public:
  static constexpr const char* kTitle = "Vesko 2";

  TApplication();

  std::string Title() const;
  void SetTitle(const std::string& title);

  // The main window shown and hidden with the application.
  void SetMainWindow(HWND window) { mainWindow_ = window; }
  HWND MainWindow() const { return mainWindow_; }
  // Shows the taskbar button (the main window is shown by its owner).
  void ShowTaskbarButton();
  void HideTaskbarButton();
  // The program's icon (resource 1), or the system's application icon when the running module
  // has none (as in tests). Shared: never destroyed by its users.
  static HICON Icon();

  void Minimize();
  void Restore();
  // What a restore request to the taskbar window does (a second start sends one); Restore
  // when not set.
  std::function<void()> OnRestoreRequest;
  // Runs the message loop until a quit message arrives.
  // The message loop; the code Terminate was given.
  int Run();
  // Ends the message loop once the current message is handled.
  void Terminate(int code = 0) { PostQuitMessage(code); }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  HWND mainWindow_ = nullptr;
};
