#include "app/Application_win.h"

#include "base/Unicode_win.h"

TApplication::TApplication() {
  const int x = GetSystemMetrics(SM_CXSCREEN) / 2;
  const int y = GetSystemMetrics(SM_CYSCREEN) / 2;
  CreateHandle(L"TApplication", ToWide(kTitle).c_str(),
               WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, 0, x, y, 0, 0,
               nullptr);
  // The taskbar button shows the program's icon.
  SetClassLongPtrW(Handle(), GCLP_HICON, reinterpret_cast<LONG_PTR>(Icon()));
  SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(Icon()));
  SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(Icon()));
}

std::string TApplication::Title() const {
  return WindowText(Handle());
}

void TApplication::SetTitle(const std::string& title) {
  SetWindowTextW(Handle(), ToWide(title).c_str());
}

void TApplication::ShowTaskbarButton() {
  ShowWindow(Handle(), SW_SHOWNOACTIVATE);
}

void TApplication::HideTaskbarButton() {
  ShowWindow(Handle(), SW_HIDE);
}

HICON TApplication::Icon() {
  static const HICON icon = [] {
    HICON own = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    return own != nullptr ? own : LoadIconW(nullptr, IDI_APPLICATION);
  }();
  return icon;
}

void TApplication::Minimize() {
  if (IsIconic(Handle())) return;
  if (mainWindow_ != nullptr) ShowWindow(mainWindow_, SW_HIDE);
  ShowWindow(Handle(), SW_MINIMIZE);
}

void TApplication::Restore() {
  if (IsIconic(Handle())) ShowWindow(Handle(), SW_RESTORE);
  if (mainWindow_ != nullptr) {
    ShowWindow(mainWindow_, SW_SHOW);
    SetForegroundWindow(mainWindow_);
  }
}

int TApplication::Run() {
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return msg.message == WM_QUIT ? static_cast<int>(msg.wParam) : 0;
}

LRESULT TApplication::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_MINIMIZE:
          Minimize();
          return 0;
        case SC_RESTORE:
          if (OnRestoreRequest) {
            OnRestoreRequest();
          } else {
            Restore();
          }
          return 0;
        case SC_CLOSE:
          if (mainWindow_ != nullptr) PostMessageW(mainWindow_, WM_CLOSE, 0, 0);
          return 0;
        default:
          break;
      }
      break;
    case WM_CLOSE:
      if (mainWindow_ != nullptr) PostMessageW(mainWindow_, WM_CLOSE, 0, 0);
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && mainWindow_ != nullptr && IsWindowVisible(mainWindow_)) {
        SetFocus(mainWindow_);
      }
      return 0;
    default:
      break;
  }
  return DefaultHandler(message, wParam, lParam);
}
