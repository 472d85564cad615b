// The one-line text query: a small modal window with a prompt, an edit field, OK and Cancel.
#include <windows.h>

#include "app/Dialogs_win.h"
#include "base/Dialogs.h"
#include "base/Unicode_win.h"
#include "base/Window_win.h"

namespace {

constexpr int kEdit = 100;

class TInputQueryForm final : public TWindowBase {
 public:
  TInputQueryForm(HWND owner, const std::wstring& caption, const std::wstring& prompt,
                  const std::wstring& value) {
    const int width = 320;
    const int height = 130;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    CreateHandle(L"TInputQueryForm", caption.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU,
                 WS_EX_DLGMODALFRAME, x, y, width, height, owner);
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    auto child = [&](const wchar_t* cls, const std::wstring& text, DWORD style, int cx, int cy,
                     int cw, int ch, int id) {
      HWND w = CreateWindowExW(cls == std::wstring(L"EDIT") ? WS_EX_CLIENTEDGE : 0, cls,
                               text.c_str(), WS_CHILD | WS_VISIBLE | style, cx, cy, cw, ch,
                               Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               GetModuleHandleW(nullptr), nullptr);
      SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
      return w;
    };
    child(L"STATIC", prompt, 0, 10, 8, 290, 18, 0);
    edit_ = child(L"EDIT", value, WS_TABSTOP | ES_AUTOHSCROLL, 10, 28, 290, 22, kEdit);
    child(L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 140, 60, 76, 24, IDOK);
    child(L"BUTTON", L"キャンセル", WS_TABSTOP, 224, 60, 76, 24, IDCANCEL);
  }

  bool Run(std::wstring& value) {
    HWND owner = GetWindow(Handle(), GW_OWNER);
    if (owner != nullptr) EnableWindow(owner, FALSE);
    ShowWindow(Handle(), SW_SHOW);
    SetFocus(edit_);
    MSG msg;
    while (!done_ && GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (IsDialogMessageW(Handle(), &msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (msg.message == WM_QUIT) PostQuitMessage(static_cast<int>(msg.wParam));
    if (owner != nullptr) EnableWindow(owner, TRUE);
    if (ok_) value = text_;
    return ok_;
  }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
      ok_ = LOWORD(wParam) == IDOK;
      const int length = GetWindowTextLengthW(edit_);
      text_.assign(static_cast<size_t>(length) + 1, L'\0');
      GetWindowTextW(edit_, text_.data(), length + 1);
      text_.resize(static_cast<size_t>(length));
      done_ = true;
      return 0;
    }
    if (message == WM_CLOSE) {
      done_ = true;
      return 0;
    }
    return DefaultHandler(message, wParam, lParam);
  }

 private:
  HWND edit_ = nullptr;
  bool done_ = false;
  bool ok_ = false;
  std::wstring text_;
};

}  // namespace

bool TWinDialogs::InputQuery(const std::string& caption, const std::string& prompt,
                             std::string& value) {
  TModalScope open;
  TInputQueryForm form(owner_(), ToWide(caption), ToWide(prompt), ToWide(value));
  std::wstring wide;
  if (!form.Run(wide)) return false;
  value = ToUtf8(wide);
  return true;
}
