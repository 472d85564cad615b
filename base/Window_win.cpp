#include "base/Window_win.h"

#include "base/Unicode_win.h"

#include "base/Exception.h"

std::function<void(const std::exception&)> TWindowBase::ErrorHandler;

TWindowBase::~TWindowBase() {
  DestroyHandle();
}

void TWindowBase::DestroyHandle() {
  if (handle_ == nullptr) return;
  HWND window = handle_;
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  handle_ = nullptr;
  DestroyWindow(window);
}

void TWindowBase::CreateHandle(const wchar_t* className, const wchar_t* caption, DWORD style,
                               DWORD exStyle, int x, int y, int width, int height, HWND owner) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (!GetClassInfoExW(instance, className, &existing)) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = Trampoline;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    // The dialog face behind whatever a window does not paint itself (never black).
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = className;
    if (!RegisterClassExW(&wc)) throw Exception("RegisterClassEx failed");
  }
  if (!CreateWindowExW(exStyle, className, caption, style, x, y, width, height, owner, nullptr,
                       instance, this)) {
    throw Exception("CreateWindowEx failed");
  }
}

LRESULT TWindowBase::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefaultHandler(message, wParam, lParam);
}

LRESULT CALLBACK TWindowBase::Trampoline(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TWindowBase*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    self = static_cast<TWindowBase*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->handle_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    // The window is gone: forget it, so that the destructor does not destroy it again.
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->handle_ = nullptr;
    const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
    self->WindowDestroyed();
    return result;
  }
  try {
    return self->HandleMessage(message, wParam, lParam);
  } catch (const std::exception& error) {
    if (ErrorHandler) ErrorHandler(error);
  } catch (...) {
    if (ErrorHandler) ErrorHandler(Exception("Unknown error"));
  }
  return 0;
}

UINT WindowDpi(HWND window) {
  // GetDpiForWindow exists from Windows 10 1607 on: looked up, not linked.
  using TGetDpiForWindow = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<TGetDpiForWindow>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow != nullptr && window != nullptr) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi != 0) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
  return ToUtf8(text);
}
