#include "app/ViewMode_win.h"

#include <algorithm>

#include "app/MainForm_win.h"
#include "base/Dialogs.h"
#include "base/Handles_win.h"
#include "base/Path.h"
#include "base/TextCase.h"
#include "decode/DIBErrors.h"
#include "engine/Fit.h"

TViewModeForm::TViewModeForm(TVesko2MainForm& owner) : owner_(owner) {
  const TSettings& s = owner.Settings;
  const bool sized = s.ScreenX > 0 && s.ScreenY > 0;
  CreateHandle(kClassName, L"", WS_POPUP | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, 0, 0,
               sized ? s.ScreenX : GetSystemMetrics(SM_CXSCREEN),
               sized ? s.ScreenY : GetSystemMetrics(SM_CYSCREEN), owner.Handle());
  // Shown maximised once its first picture is ready, never blank before.
  maximize_ = !sized;

  const TPictureList& pictures = owner.List;
  if (s.RandomLoad) {
    for (const std::string& item : pictures.RandomListBox.Items) {
      const int index = std::stoi(item);
      if (index >= 0 && index < pictures.MainListBox.Count()) {
        list_.Items.push_back(pictures.MainListBox.Items[static_cast<size_t>(index)]);
      }
    }
    list_.ItemIndex = list_.IndexOf(s.PaperName);
  } else {
    list_.Items = pictures.MainListBox.Items;
  }
  if (list_.ItemIndex < 0) list_.ItemIndex = 0;
}

void TViewModeForm::ShowModal() {
  wchar_t start = 0;
  ViewModeKeyPress(start);
  if (closed_) return;
  const TModalScope open;  // what arrives meanwhile waits for the view to end, as for a box
  HWND owner = owner_.Handle();
  EnableWindow(owner, FALSE);
  ShowWindow(Handle(), maximize_ ? SW_SHOWMAXIMIZED : SW_SHOW);
  SetForegroundWindow(Handle());
  SetFocus(Handle());
  MSG msg;
  while (!closed_ && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (msg.message == WM_QUIT) PostQuitMessage(static_cast<int>(msg.wParam));
  owner_.Gate.Forget(this);  // a key kept for a view that has ended
  EnableWindow(owner, TRUE);
  ShowWindow(Handle(), SW_HIDE);
  SetForegroundWindow(owner);
}

bool TViewModeForm::LoadEntry(const std::string& entry) {
  TPictureLoader& loader = owner_.Loader;
  const std::string ext = ExtractFileExt(entry);
  if (SameText(ext, ".ArcLink")) {
    loader.LoadArcLink(entry, image_);
    return !image_.Empty();
  }
  if (SameText(ext, ".lnk")) return loader.LoadPictureFile(ResolveShortcut(entry), image_);
  return loader.LoadPictureFile(entry, image_);
}

void TViewModeForm::OfferKey(wchar_t key) {
  owner_.Gate.Offer(
      TInput::ViewModeKey,
      [this, key] {
        wchar_t pressed = key;
        if (!closed_) ViewModeKeyPress(pressed);
      },
      this);
}

void TViewModeForm::ViewModeKeyPress(wchar_t& key) {
  if (!gate_) return;
  gate_ = false;
  struct TOpen {
    bool& gate;
    ~TOpen() { gate = true; }
  } reopen{gate_};

  int step = 0;
  switch (key) {
    case 8:
      step = -1;
      break;
    case 13:
      step = 1;
      break;
    case 27:
      Close();
      return;
    case 32: {
      TPictureList& pictures = owner_.List;
      const int index = pictures.MainListBox.IndexOf(list_.Current());
      if (index >= 0) {
        pictures.MainListBox.ItemIndex = index;
        pictures.RandomListBox.ItemIndex = pictures.RandomListBox.IndexOf(std::to_string(index));
        owner_.Settings.PaperName = pictures.MainListBox.Items[static_cast<size_t>(index)];
        if (pictures.SetCurrentPicture) pictures.SetCurrentPicture();
        Close();
        return;
      }
      break;
    }
    default:
      break;
  }
  if (list_.Empty()) {
    WarnMessage(owner_.Dialogs(), "このフォルダにはもう画像がありません");
    Close();
    return;
  }
  if (step != 0) list_.ItemIndex = StepIndex(list_.Count(), list_.ItemIndex, step > 0);

  image_.Clear();
  RECT window{};
  GetWindowRect(Handle(), &window);
  TRect rect{};
  bool loaded = false;
  for (int tries = 0; tries < list_.Count() && !loaded; ++tries) {
    loaded = LoadEntry(list_.Current());
    if (loaded) {
      // A picture whose data fails only while it is decoded is skipped like an unreadable one.
      rect = TRect{window.left, window.top, window.right - window.left, window.bottom - window.top};
      try {
        FitToRect(image_, rect, owner_.Settings.SpeedpPriority, owner_.Busy(), 2);
      } catch (const EInvalidGraphic&) {
        loaded = false;
      } catch (const EDIBError&) {
        loaded = false;
      }
    }
    if (!loaded) {
      image_.Clear();
      list_.ItemIndex = StepIndex(list_.Count(), list_.ItemIndex, step >= 0);
    }
  }
  if (!loaded) {
    WarnMessage(owner_.Dialogs(), "このフォルダにはもう画像がありません");
    Close();
    return;
  }
  // Centred as drawn: the fit's own offsets are those of the picture before it was shrunk.
  imageLeft_ = std::max(0, (static_cast<int>(window.right - window.left) - image_.Width()) / 2);
  imageTop_ = std::max(0, (static_cast<int>(window.bottom - window.top) - image_.Height()) / 2);
  InvalidateRect(Handle(), nullptr, TRUE);
}

LRESULT TViewModeForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CHAR:
      // A key pressed while a picture still loads acts once it is in; the latest counts.
      OfferKey(static_cast<wchar_t>(wParam));
      return 0;
    case WM_ERASEBKGND: {
      RECT all{};
      GetClientRect(Handle(), &all);
      FillRect(reinterpret_cast<HDC>(wParam), &all, GetSysColorBrush(COLOR_WINDOW));
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(Handle(), &ps);
      // A picture that cannot be drawn leaves the background: the paint always ends.
      try {
        if (const TGraphic* picture = image_.Graphic()) {
          picture->Draw(dc, TRect{imageLeft_, imageTop_, imageLeft_ + picture->Width(),
                                  imageTop_ + picture->Height()});
        }
      } catch (const std::exception&) {
        image_.Clear();
      }
      EndPaint(Handle(), &ps);
      return 0;
    }
    case WM_CLOSE:
      OfferKey(27);  // as Esc: after a picture that still loads
      return 0;
    default:
      break;
  }
  return DefaultHandler(message, wParam, lParam);
}
