#include "app/ModalForm_win.h"

#include "base/Dialogs.h"

#include <commctrl.h>

#include "base/Exception.h"
#include "base/Unicode_win.h"

namespace {

// A page of controls: forwards what its controls report to the form.
class TContainer final : public TWindowBase {
 public:
  TContainer(HWND form, const RECT& bounds) : form_(form) {
    CreateHandle(L"TFormPage", L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT,
                 bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
                 form);
  }
  ~TContainer() override { DestroyHandle(); }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case WM_COMMAND:
      case WM_NOTIFY:
      case WM_DRAWITEM:
      case WM_MEASUREITEM:
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLORBTN:
      case WM_VSCROLL:
        return SendMessageW(form_, message, wParam, lParam);
      case WM_ERASEBKGND: {
        RECT all{};
        GetClientRect(Handle(), &all);
        FillRect(reinterpret_cast<HDC>(wParam), &all, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
      }
      default:
        return DefaultHandler(message, wParam, lParam);
    }
  }

 private:
  HWND form_;
};

}  // namespace

TColorPanel::TColorPanel(HWND parent, const RECT& bounds, COLORREF face, COLORREF text,
                         const std::string& caption, HFONT font)
    : face_(face), text_(text), caption_(ToWide(caption)), font_(font) {
  CreateHandle(L"TColorPanel", caption_.c_str(), WS_CHILD | WS_VISIBLE, 0, bounds.left, bounds.top,
               bounds.right - bounds.left, bounds.bottom - bounds.top, parent);
}

TColorPanel::~TColorPanel() {
  DestroyHandle();
}

void TColorPanel::SetCaption(const std::string& caption) {
  caption_ = ToWide(caption);
  SetWindowTextW(Handle(), caption_.c_str());
  InvalidateRect(Handle(), nullptr, TRUE);
}

void TColorPanel::SetFont(HFONT font) {
  font_ = font;
  InvalidateRect(Handle(), nullptr, TRUE);
}

void TColorPanel::SetEnabled(bool enabled) {
  enabled_ = enabled;
  InvalidateRect(Handle(), nullptr, TRUE);
}

LRESULT TColorPanel::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(Handle(), &ps);
      RECT all{};
      GetClientRect(Handle(), &all);
      TGdiObject brush(CreateSolidBrush(face_));
      FillRect(dc, &all, static_cast<HBRUSH>(brush.get()));
      // A raised edge, pressed in while the button is held.
      if (Bevel) DrawEdge(dc, &all, pressed_ ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, enabled_ ? text_ : GetSysColor(COLOR_GRAYTEXT));
      TSelectObject select(dc, font_);
      DrawTextW(dc, caption_.c_str(), static_cast<int>(caption_.size()), &all,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE | (Prefix ? 0 : DT_NOPREFIX));
      EndPaint(Handle(), &ps);
      return 0;
    }
    case WM_LBUTTONDOWN:
      if (OnMouseDown) {
        OnMouseDown();
        return 0;
      }
      pressed_ = true;
      SetCapture(Handle());
      InvalidateRect(Handle(), nullptr, FALSE);
      return 0;
    case WM_LBUTTONUP: {
      const bool wasPressed = pressed_;
      pressed_ = false;
      ReleaseCapture();
      InvalidateRect(Handle(), nullptr, FALSE);
      RECT all{};
      GetClientRect(Handle(), &all);
      const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (wasPressed && enabled_ && PtInRect(&all, at) && OnClick) OnClick();
      return 0;
    }
    default:
      return DefaultHandler(message, wParam, lParam);
  }
}

TModalForm::TModalForm(HWND owner, const wchar_t* className, const std::string& caption, int width,
                       int height)
    : owner_(owner), dpi_(WindowDpi(owner)) {
  LOGFONTW lf{};
  lf.lfHeight = -Scale(12);
  lf.lfCharSet = SHIFTJIS_CHARSET;
  wcscpy(lf.lfFaceName, L"ＭＳ Ｐゴシック");
  font_.reset(CreateFontIndirectW(&lf));
  const int w = Scale(width);
  const int h = Scale(height);
  const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  CreateHandle(className, ToWide(caption).c_str(), WS_POPUP | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT,
               x, y, w, h, owner);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_HOTKEY_CLASS};
  InitCommonControlsEx(&controls);
  hints_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle(),
                           nullptr, GetModuleHandleW(nullptr), nullptr);
  if (hints_ != nullptr) SendMessageW(hints_, TTM_SETMAXTIPWIDTH, 0, Scale(400));
}

TModalForm::~TModalForm() {
  containers_.clear();
  DestroyHandle();
}

HWND TModalForm::AddControl(HWND parent, const wchar_t* className, const std::string& text,
                            DWORD style, int x, int y, int w, int h, int id, DWORD exStyle) {
  HWND control = CreateWindowExW(
      exStyle, className, ToWide(text).c_str(), WS_CHILD | WS_VISIBLE | style, Scale(x), Scale(y),
      Scale(w), Scale(h), parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
      GetModuleHandleW(nullptr), nullptr);
  if (control == nullptr) throw Exception("CreateWindowEx failed");
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), FALSE);
  return control;
}

HWND TModalForm::AddContainer(int x, int y, int w, int h) {
  auto page = std::make_unique<TContainer>(
      Handle(), RECT{Scale(x), Scale(y), Scale(x) + Scale(w), Scale(y) + Scale(h)});
  HWND handle = page->Handle();
  containers_.push_back(std::move(page));
  return handle;
}

std::unique_ptr<TColorPanel> TModalForm::AddPanel(HWND parent, int x, int y, int w, int h,
                                                  COLORREF face, COLORREF text,
                                                  const std::string& caption) {
  return std::make_unique<TColorPanel>(
      parent, RECT{Scale(x), Scale(y), Scale(x) + Scale(w), Scale(y) + Scale(h)}, face, text,
      caption, Font());
}

void TModalForm::SetHint(HWND control, const std::string& hint) {
  if (hints_ == nullptr) return;
  std::wstring text = ToWide(hint);
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = Handle();
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = text.data();
  // One tool per control: a known one only changes its text.
  TTTOOLINFOW known = tool;
  known.lpszText = nullptr;
  const bool exists =
      SendMessageW(hints_, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&known)) != FALSE;
  SendMessageW(hints_, exists ? TTM_UPDATETIPTEXTW : TTM_ADDTOOLW, 0,
               reinterpret_cast<LPARAM>(&tool));
}

std::string TModalForm::Hint(HWND control) const {
  if (hints_ == nullptr) return {};
  wchar_t text[512] = {};
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = Handle();
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = text;
  if (!SendMessageW(hints_, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool))) return {};
  SendMessageW(hints_, TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&tool));
  return ToUtf8(text);
}

bool TModalForm::PreviewMessage(const MSG& /*message*/) {
  return false;
}

std::function<void(TModalForm&)> TModalForm::OnShown;

int TModalForm::ShowModal() {
  TModalScope open;
  ModalResult = 0;
  const bool ownerEnabled = owner_ != nullptr && IsWindowEnabled(owner_);
  if (ownerEnabled) EnableWindow(owner_, FALSE);
  ShowWindow(Handle(), SW_SHOW);
  SetForegroundWindow(Handle());
  if (HWND first = GetNextDlgTabItem(Handle(), nullptr, FALSE)) SetFocus(first);
  if (OnShown) OnShown(*this);
  MSG message;
  while (ModalResult == 0) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got <= 0) {
      // The program is quitting: leave the quit request for the main loop.
      PostQuitMessage(got == 0 ? static_cast<int>(message.wParam) : 0);
      ModalResult = 2;
      break;
    }
    const bool ours = message.hwnd == Handle() || IsChild(Handle(), message.hwnd);
    if (ours && (PreviewMessage(message) || IsDialogMessageW(Handle(), &message))) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  // The owner comes back before this window hides, so the focus returns to it.
  if (ownerEnabled) EnableWindow(owner_, TRUE);
  ShowWindow(Handle(), SW_HIDE);
  if (owner_ != nullptr) SetActiveWindow(owner_);
  return ModalResult;
}

LRESULT TModalForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      ModalResult = 2;
      return 0;
    case WM_COMMAND:
      // A hint never covers a drop-down list: hidden while one is open.
      if (hints_ != nullptr && HIWORD(wParam) == CBN_DROPDOWN) {
        SendMessageW(hints_, TTM_POP, 0, 0);
        SendMessageW(hints_, TTM_ACTIVATE, FALSE, 0);
      }
      if (hints_ != nullptr && HIWORD(wParam) == CBN_CLOSEUP)
        SendMessageW(hints_, TTM_ACTIVATE, TRUE, 0);
      return DefaultHandler(message, wParam, lParam);
    case WM_NEXTDLGCTL: {
      // What a dialog's own window does: IsDialogMessage moves the focus with this (the arrow
      // keys within a group of check boxes or radio buttons), and the window is no dialog.
      HWND next = LOWORD(lParam) != 0 ? reinterpret_cast<HWND>(wParam)
                                      : GetNextDlgTabItem(Handle(), GetFocus(), wParam != 0);
      if (next != nullptr) SetFocus(next);
      return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    default:
      return DefaultHandler(message, wParam, lParam);
  }
}
