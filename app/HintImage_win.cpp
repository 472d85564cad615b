#include "app/HintImage_win.h"

#include <exception>

THintImageForm::THintImageForm(HWND owner) {
  CreateHandle(kClassName, L"", WS_POPUP, WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, 0, 0, 218, 186,
               owner);
}

void THintImageForm::Show(int left, int top, int width, int height) {
  SetWindowPos(Handle(), HWND_TOP, left, top, width, height, SWP_NOACTIVATE);
  ShowWindow(Handle(), SW_SHOWNOACTIVATE);
  SetTimer(Handle(), 1, TimerInterval, nullptr);
}

void THintImageForm::WindowDestroyed() {
  HintImage.Clear();
  const std::function<void()> closed = std::move(OnClosed);
  delete this;
  if (closed) closed();
}

LRESULT THintImageForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(Handle(), &ps);
      RECT client{};
      GetClientRect(Handle(), &client);
      FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
      // A picture that cannot be drawn leaves the face: the paint always ends.
      try {
        if (const TGraphic* picture = HintImage.Graphic()) {
          picture->Draw(dc, TRect{0, 0, client.right, client.bottom});
        }
      } catch (const std::exception&) {
        HintImage.Clear();
      }
      EndPaint(Handle(), &ps);
      return 0;
    }
    case WM_TIMER:
      KillTimer(Handle(), 1);
      DestroyWindow(Handle());
      return 0;
    default:
      break;
  }
  return DefaultHandler(message, wParam, lParam);
}
