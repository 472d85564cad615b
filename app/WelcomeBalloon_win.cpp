#include "app/WelcomeBalloon_win.h"
// After windows.h.
#include <commctrl.h>

TWelcomeBalloon::TWelcomeBalloon(HWND panel, UINT dpi, const wchar_t* title, const wchar_t* text)
    : panel_(panel) {
  tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                         WS_POPUP | TTS_BALLOON | TTS_CLOSE | TTS_NOPREFIX, CW_USEDEFAULT,
                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, panel, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
  if (tip_ == nullptr) return;
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
  tool.hwnd = panel;
  tool.uId = 1;
  tool.lpszText = const_cast<wchar_t*>(text);
  SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, MulDiv(320, static_cast<int>(dpi), 96));
  SendMessageW(tip_, TTM_SETTITLEW, TTI_INFO, reinterpret_cast<LPARAM>(title));
  RECT r{};
  GetWindowRect(panel, &r);
  SendMessageW(tip_, TTM_TRACKPOSITION, 0, MAKELPARAM((r.left + r.right) / 2, r.bottom));
  SendMessageW(tip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
}

TWelcomeBalloon::~TWelcomeBalloon() {
  if (tip_ != nullptr) DestroyWindow(tip_);
}
