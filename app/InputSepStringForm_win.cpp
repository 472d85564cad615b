#include "app/InputSepStringForm_win.h"

#include <commctrl.h>

#include "base/Unicode_win.h"

TInputSepStringForm::TInputSepStringForm(HWND owner)
    : TModalForm(owner, kClassName, "セパレータ", 282, 111) {
  AddControl(Handle(), WC_STATICW, "セパレータ文字列(&S)", SS_LEFT, 12, 12, 130, 16);
  sepEdit_ = AddControl(Handle(), WC_EDITW, "", ES_AUTOHSCROLL | WS_TABSTOP, 144, 9, 126, 22, 0,
                        WS_EX_CLIENTEDGE);
  SetHint(sepEdit_, "無記入の場合は全文表示");
  sepRandom_ = AddControl(Handle(), WC_BUTTONW, "ランダム(&R)", BS_AUTOCHECKBOX | WS_TABSTOP, 12,
                          40, 120, 18);
  AddControl(Handle(), WC_STATICW, "改行(&L)", SS_LEFT, 144, 41, 50, 16);
  sepLinesEdit_ = AddControl(Handle(), WC_EDITW, "0", ES_NUMBER | ES_RIGHT | WS_TABSTOP, 196, 38,
                             58, 22, 0, WS_EX_CLIENTEDGE);
  sepLinesUpDown_ = AddControl(Handle(), UPDOWN_CLASSW, "",
                               UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS,
                               254, 38, 16, 22);
  SendMessageW(sepLinesUpDown_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(sepLinesEdit_), 0);
  SendMessageW(sepLinesUpDown_, UDM_SETRANGE32, 0, 32767);
  ok_ = AddPanel(Handle(), 126, 78, 60, 20, RGB(97, 88, 250), RGB(0, 255, 255), "OK");
  ok_->OnClick = [this] { ModalResult = kOk; };
  cancel_ = AddPanel(Handle(), 198, 78, 60, 20, RGB(255, 255, 128), RGB(0, 128, 128), "Cancel");
  cancel_->OnClick = [this] { ModalResult = kCancel; };
}

TInputSepStringForm::~TInputSepStringForm() {
  ok_.reset();
  cancel_.reset();
}

void TInputSepStringForm::SetValues(int sepLines, const std::string& sepString, bool sepRandom) {
  SendMessageW(sepLinesUpDown_, UDM_SETPOS32, 0, sepLines);
  SetWindowTextW(sepEdit_, ToWide(sepString).c_str());
  SendMessageW(sepRandom_, BM_SETCHECK, sepRandom ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TInputSepStringForm::GetValues(int& sepLines, std::string& sepString, bool& sepRandom) const {
  BOOL failed = FALSE;
  const auto position =
      SendMessageW(sepLinesUpDown_, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed));
  sepLines = static_cast<int16_t>(failed ? 0 : position);
  sepString = WindowText(sepEdit_);
  sepRandom = SendMessageW(sepRandom_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

LRESULT TInputSepStringForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ERASEBKGND) {
    RECT all{};
    GetClientRect(Handle(), &all);
    FillRect(reinterpret_cast<HDC>(wParam), &all, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(reinterpret_cast<HDC>(wParam), &all, EDGE_RAISED, BF_RECT);
    return 1;
  }
  // No keyboard shortcuts: Enter and Esc confirm or cancel nothing here.
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) return 0;
  return TModalForm::HandleMessage(message, wParam, lParam);
}
