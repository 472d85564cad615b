// The favourite folders dialog: five destination slots as radio buttons, filled, changed or
// cleared in place, and a way out to any other folder through the folder browser.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "app/ModalForm_win.h"

class IDialogs;

class TFavoriteFoldersForm final : public TModalForm {
 public:
  static constexpr const wchar_t* kClassName = L"TFavoriteFoldersForm";
  static constexpr int kSlots = 5;
  // Dialog results: the selected slot, nothing, or the other folder.
  static constexpr int kOk = 1;
  static constexpr int kCancel = 2;
  static constexpr int kYes = 6;

  TFavoriteFoldersForm(HWND owner, IDialogs& dialogs);
  ~TFavoriteFoldersForm() override;

  // The radio group's caption: what the chosen folder is for.
  void SetPurpose(const std::string& caption);
  // The slots as radio items; slot 0 is selected when it holds a folder.
  void SetSlots(const std::array<std::string, kSlots>& slots);
  std::array<std::string, kSlots> Slots() const { return slots_; }
  // The selected slot, or -1.
  int ItemIndex() const { return itemIndex_; }
  // The selected slot's folder (empty when none is selected or the slot is free).
  std::string SelectedFolder() const;
  // The initial folder of the other-folder browser; after a choice, the chosen folder.
  std::string AnotherFolder;

  // Selects slot `index` as a click does: a free slot asks for its folder.
  void HowDoRadioGroupClick(int index);
  // Whether the popup menu's entries show: only over a filled slot.
  bool PopupMenuPopup() const;
  // The popup menu's entries: -1 clears the selected slot, 1 asks for a new folder.
  void N1Click(int tag);
  // OK (1) and Cancel (2) end the dialog with their tag.
  void OkActionExecute(int tag) { ModalResult = tag; }
  // Another folder through the browser; a choice ends the dialog with kYes.
  void AnotherActionExecute();

  TColorPanel& TitlePanel() const { return *title_; }
  TColorPanel& AnotherPanel() const { return *another_; }
  TColorPanel& OkPanel() const { return *ok_; }
  TColorPanel& CancelPanel() const { return *cancel_; }
  HWND HowDoRadioGroup() const { return group_; }
  HWND SlotButton(int index) const { return buttons_[static_cast<size_t>(index)]; }
  std::string SlotHint(int index) const { return Hint(SlotButton(index)); }
  // Shows the popup menu and returns the entry chosen (0 for none); tests replace it to read
  // the menu Windows built.
  std::function<UINT(HMENU menu, POINT at)> Track;

 protected:
  bool PreviewMessage(const MSG& message) override;
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  // The folder browser for a slot: no initial folder, the classic dialog.
  std::string BrowseSlot();
  void SetSlot(int index, const std::string& folder);
  void Select(int index);
  void ShowPopupMenu(POINT at);
  // The slot whose button holds a point of the screen, or -1.
  int SlotAt(POINT at) const;

  IDialogs& dialogs_;
  HWND page_;
  HWND group_;
  std::array<HWND, kSlots> buttons_{};
  std::array<std::string, kSlots> slots_;
  int itemIndex_ = -1;
  std::unique_ptr<TColorPanel> title_;
  std::unique_ptr<TColorPanel> another_;
  std::unique_ptr<TColorPanel> ok_;
  std::unique_ptr<TColorPanel> cancel_;
};
