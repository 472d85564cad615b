// The balloon beside the main window's panel on a start without a picture source: what the
// small panel is and how to begin. It closes with its own button, a click on the panel, the
// first wallpaper, or after a while. A start at sign-in without a tray icon says with it what
// went wrong.
#pragma once

#include <windows.h>

class TWelcomeBalloon {
 public:
  static constexpr wchar_t kTitle[] = L"Vesko2 へようこそ";
  static constexpr wchar_t kText[] =
      L"この小さなパネルが壁紙チェンジャー Vesko2 です。\r\n"
      L"右の ▶ ボタンで画像のフォルダを選ぶと、その画像が順に壁紙になります。\r\n"
      L"右クリックでメニューが開きます。";

  // Shows the balloon pointing at the bottom middle of `panel`; `dpi` scales its width.
  TWelcomeBalloon(HWND panel, UINT dpi, const wchar_t* title = kTitle, const wchar_t* text = kText);
  TWelcomeBalloon(const TWelcomeBalloon&) = delete;
  TWelcomeBalloon& operator=(const TWelcomeBalloon&) = delete;
  ~TWelcomeBalloon();

  HWND Handle() const { return tip_; }

 private:
  HWND panel_;
  HWND tip_ = nullptr;
};
