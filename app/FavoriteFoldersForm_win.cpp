#include "app/FavoriteFoldersForm_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include "base/Dialogs.h"
#include "base/Unicode_win.h"

namespace {

constexpr int kFirstSlotId = 100;
constexpr UINT_PTR kDeleteEntry = 1;
constexpr UINT_PTR kChangeEntry = 2;

// A menu handle released on every way out.
struct TMenu {
  HMENU handle = CreatePopupMenu();
  TMenu() = default;
  TMenu(const TMenu&) = delete;
  TMenu& operator=(const TMenu&) = delete;
  ~TMenu() {
    if (handle != nullptr) DestroyMenu(handle);
  }
};

}  // namespace

TFavoriteFoldersForm::TFavoriteFoldersForm(HWND owner, IDialogs& dialogs)
    : TModalForm(owner, kClassName, "フォルダの選択", 408, 275), dialogs_(dialogs) {
  title_ = AddPanel(Handle(), 0, 0, 408, 22, RGB(0, 0, 128), RGB(255, 255, 255),
                    "フォルダの選択 / 設定");
  title_->Bevel = false;
  // The borderless window moves with its title: the press becomes a move by caption.
  title_->OnMouseDown = [this] {
    ReleaseCapture();
    SendMessageW(Handle(), WM_SYSCOMMAND, 0xF012, 0);
  };
  // The group box and its radio buttons sit on a page of their own, which paints the face
  // behind them.
  page_ = AddContainer(6, 28, 396, 202);
  HWND page = page_;
  group_ = AddControl(page, WC_BUTTONW, "", BS_GROUPBOX, 0, 0, 396, 202);
  for (int i = 0; i < kSlots; ++i) {
    buttons_[static_cast<size_t>(i)] =
        AddControl(page, WC_BUTTONW, "", BS_RADIOBUTTON | WS_TABSTOP | (i == 0 ? WS_GROUP : 0), 12,
                   22 + i * 34, 372, 24, kFirstSlotId + i);
  }
  another_ = AddPanel(Handle(), 8, 243, 196, 24, RGB(0, 128, 128), RGB(255, 255, 255),
                      "他のフォルダ(&O)..");
  another_->Prefix = true;
  another_->OnClick = [this] { AnotherActionExecute(); };
  SetHint(another_->Handle(), "参照ボタン");
  ok_ = AddPanel(Handle(), 236, 243, 76, 24, RGB(97, 88, 250), RGB(0, 255, 255), "OK");
  ok_->OnClick = [this] { OkActionExecute(kOk); };
  cancel_ = AddPanel(Handle(), 320, 243, 76, 24, RGB(255, 255, 128), RGB(0, 128, 128), "Cancel");
  cancel_->OnClick = [this] { OkActionExecute(kCancel); };
}

TFavoriteFoldersForm::~TFavoriteFoldersForm() {
  title_.reset();
  another_.reset();
  ok_.reset();
  cancel_.reset();
}

void TFavoriteFoldersForm::SetPurpose(const std::string& caption) {
  SetWindowTextW(group_, ToWide(caption).c_str());
}

void TFavoriteFoldersForm::SetSlots(const std::array<std::string, kSlots>& slots) {
  for (int i = 0; i < kSlots; ++i) SetSlot(i, slots[static_cast<size_t>(i)]);
  Select(slots[0].empty() ? -1 : 0);
}

std::string TFavoriteFoldersForm::SelectedFolder() const {
  return itemIndex_ < 0 ? std::string() : slots_[static_cast<size_t>(itemIndex_)];
}

void TFavoriteFoldersForm::SetSlot(int index, const std::string& folder) {
  slots_[static_cast<size_t>(index)] = folder;
  HWND button = SlotButton(index);
  // "&" in a folder name is a letter, not an accelerator.
  std::wstring text;
  for (const wchar_t c : ToWide(folder)) {
    text += c;
    if (c == L'&') text += L'&';
  }
  SetWindowTextW(button, text.c_str());
  // Long paths can be read in full from the hint.
  SetHint(button, folder);
}

void TFavoriteFoldersForm::Select(int index) {
  itemIndex_ = index;
  for (int i = 0; i < kSlots; ++i) {
    Button_SetCheck(SlotButton(i), i == index ? BST_CHECKED : BST_UNCHECKED);
  }
}

std::string TFavoriteFoldersForm::BrowseSlot() {
  return dialogs_.BrowseForFolder(
      {.Title = "フォルダの選択", .InitialFolder = {}, .Owner = group_});
}

void TFavoriteFoldersForm::HowDoRadioGroupClick(int index) {
  Select(index);
  if (!slots_[static_cast<size_t>(index)].empty()) return;
  const std::string folder = BrowseSlot();
  if (!folder.empty()) SetSlot(index, folder);
}

bool TFavoriteFoldersForm::PopupMenuPopup() const {
  return !SelectedFolder().empty();
}

void TFavoriteFoldersForm::N1Click(int tag) {
  if (itemIndex_ < 0) return;
  if (tag < 0) {
    SetSlot(itemIndex_, "");
    return;
  }
  const std::string folder = BrowseSlot();
  if (!folder.empty()) SetSlot(itemIndex_, folder);
}

void TFavoriteFoldersForm::AnotherActionExecute() {
  const std::string folder = dialogs_.BrowseForFolder({.Title = "フォルダの指定",
                                                       .InitialFolder = AnotherFolder,
                                                       .Owner = Handle(),
                                                       .NewStyle = true});
  if (folder.empty()) return;  // the dialog stays open
  another_->Prefix = false;
  another_->SetCaption(folder);
  AnotherFolder = folder;
  ModalResult = kYes;
}

void TFavoriteFoldersForm::ShowPopupMenu(POINT at) {
  if (!PopupMenuPopup()) return;
  TMenu menu;
  if (menu.handle == nullptr) return;
  AppendMenuW(menu.handle, MF_STRING, kDeleteEntry, L"削除");
  AppendMenuW(menu.handle, MF_STRING, kChangeEntry, L"変更");
  if (at.x == -1 && at.y == -1) {  // from the keyboard: under the selected slot
    RECT r{};
    GetWindowRect(SlotButton(itemIndex_), &r);
    at = {r.left, r.bottom};
  }
  const UINT_PTR chosen = Track ? Track(menu.handle, at)
                                : TrackPopupMenu(menu.handle, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x,
                                                 at.y, 0, Handle(), nullptr);
  if (chosen == kDeleteEntry) N1Click(-1);
  if (chosen == kChangeEntry) N1Click(1);
}

int TFavoriteFoldersForm::SlotAt(POINT at) const {
  for (int i = 0; i < kSlots; ++i) {
    RECT r{};
    GetWindowRect(SlotButton(i), &r);
    if (PtInRect(&r, at)) return i;
  }
  return -1;
}

bool TFavoriteFoldersForm::PreviewMessage(const MSG& message) {
  if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) {
    OkActionExecute(kOk);
    return true;
  }
  if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
    OkActionExecute(kCancel);
    return true;
  }
  if (message.message == WM_SYSKEYDOWN && message.wParam == 'O') {
    AnotherActionExecute();
    return true;
  }
  return false;
}

LRESULT TFavoriteFoldersForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (HIWORD(wParam) == BN_CLICKED && id >= kFirstSlotId && id < kFirstSlotId + kSlots) {
        HowDoRadioGroupClick(id - kFirstSlotId);
        return 0;
      }
      break;
    }
    case WM_CONTEXTMENU: {
      // A right-click on a slot reaches the form through the page that holds the group, which
      // passes itself on as the window clicked.
      const auto from = reinterpret_cast<HWND>(wParam);
      bool onGroup = from == page_ || from == group_;
      for (HWND button : buttons_) onGroup = onGroup || from == button;
      if (!onGroup) break;
      const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      // From the keyboard the menu is about the selected slot; from the mouse about the slot
      // under it when that slot holds a folder, and otherwise there is no menu: 変更 and 削除
      // must never act on a slot the user did not point at.
      if (at.x != -1 || at.y != -1) {
        const int slot = SlotAt(at);
        if (slot < 0 || slots_[static_cast<size_t>(slot)].empty()) return 0;
        Select(slot);
      }
      ShowPopupMenu(at);
      return 0;
    }
    case WM_ERASEBKGND: {
      const auto dc = reinterpret_cast<HDC>(wParam);
      RECT all{};
      GetClientRect(Handle(), &all);
      FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
      DrawEdge(dc, &all, EDGE_RAISED, BF_RECT);
      // The bottom panel that holds the three buttons.
      RECT bottom{all.left, Scale(236), all.right, all.bottom};
      DrawEdge(dc, &bottom, BDR_RAISEDINNER, BF_RECT);
      return 1;
    }
    default:
      break;
  }
  return TModalForm::HandleMessage(message, wParam, lParam);
}
