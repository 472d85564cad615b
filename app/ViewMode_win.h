// The view mode: a borderless window over the whole screen (or ScreenXY) that browses
// PictureList full size, fitted to the window; Space makes the shown picture the wallpaper.
#pragma once

#include <string>

#include "base/ListBox.h"
#include "base/Window_win.h"
#include "decode/Picture.h"

class TVesko2MainForm;

class TViewModeForm final : public TWindowBase {
 public:
  static constexpr const wchar_t* kClassName = L"TViewModeForm";

  explicit TViewModeForm(TVesko2MainForm& owner);
  // Shows the start entry, then runs until the window closes.
  void ShowModal();
  // The key handler: 8 back, 13 forward, 27 close, 32 set as wallpaper; anything else (and the
  // first call, 0) shows the current entry.
  void ViewModeKeyPress(wchar_t& key);

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  bool LoadEntry(const std::string& entry);
  // A key (or the close, as Esc) through the program's gate: it waits for a picture that loads.
  void OfferKey(wchar_t key);
  void Close() { closed_ = true; }

  TVesko2MainForm& owner_;
  TListBox list_;  // the entries in display order
  TPicture image_;
  int imageLeft_ = 0;  // where the picture is drawn
  int imageTop_ = 0;
  bool gate_ = true;  // off while a key is being handled
  bool closed_ = false;
  bool maximize_ = false;  // no stored size: the whole screen
};
