// The preview window: one picture, stretched into a small borderless window beside the main
// window, for one tick of its timer; then it closes and frees itself.
#pragma once

#include <functional>

#include "base/Window_win.h"
#include "decode/Picture.h"

class THintImageForm final : public TWindowBase {
 public:
  static constexpr const wchar_t* kClassName = L"THintImageForm";

  // Created hidden at its design size, owned by `owner`.
  explicit THintImageForm(HWND owner);

  TPicture HintImage;
  unsigned TimerInterval = 1000;
  // Called once the window is gone and its picture freed.
  std::function<void()> OnClosed;

  // Sizes and places the window, shows it and starts the timer. The window deletes itself after
  // the first tick.
  void Show(int left, int top, int width, int height);

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void WindowDestroyed() override;
};
