// Files dragged from the shell onto a window: each drop becomes one event with the paths in the
// shell's order and the drop point. The window is subclassed; every other message reaches it
// unchanged.
#pragma once

#include <windows.h>
// After windows.h: HDROP.
#include <shellapi.h>

#include <functional>
#include <string>
#include <vector>

#include "base/Component.h"
#include "base/Exception.h"

class TFileDrop final : public TComponent {
 public:
  // Hooks `window` (the owner form). EFileDrop "Invalidate Window Handle in FileDrop" without
  // one.
  explicit TFileDrop(HWND window);
  ~TFileDrop() override;
  TFileDrop(const TFileDrop&) = delete;
  TFileDrop& operator=(const TFileDrop&) = delete;

  bool Accept() const { return accept_; }
  // Tells the shell only when the value changes.
  void SetAccept(bool accept);

  std::function<void(TFileDrop& sender, int num, const std::vector<std::string>& files, int x,
                     int y)>
      OnFileDrop;
  // The shell's answer to each DragAcceptFiles call, for the program's tests.
  int AcceptCalls() const { return acceptCalls_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR id, DWORD_PTR data);
  void Drop(HDROP drop);
  void Unhook();

  HWND hooked_ = nullptr;
  bool accept_ = true;
  int acceptCalls_ = 0;
};

class EFileDrop : public Exception {
 public:
  using Exception::Exception;
};
