// The main window's picture path: the wallpaper composed and applied, its message, the tile
// mode, a picture from the clipboard, and the preview of a neighbouring entry.
#include <malloc.h>

#include "app/HintImage_win.h"
#include "app/MainForm_win.h"
#include "base/FileIO_win.h"
#include "base/Path.h"
#include "base/TextCase.h"
#include "base/Unicode_win.h"
#include "decode/PixelMemory.h"
#include "engine/ColorConvert.h"
#include "engine/Fit.h"
#include "engine/MessageOverlay_win.h"
#include "engine/MessageText.h"
#include "engine/ScreenFit.h"
#include "engine/Wallpaper_win.h"

void TVesko2MainForm::ClipPasteActionExecute() {
  if (!OpenClipboard(Handle())) return;
  struct TClose {
    ~TClose() { CloseClipboard(); }
  } close;
  if (auto* bitmap = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP))) {
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    if (info.bmWidth <= 0 || info.bmHeight <= 0) return;
    auto copy = std::make_unique<TBitmap>();
    copy->SetSize(info.bmWidth, info.bmHeight);
    BITMAPINFO header{};
    header.bmiHeader.biSize = sizeof header.bmiHeader;
    header.bmiHeader.biWidth = info.bmWidth;
    header.bmiHeader.biHeight = info.bmHeight;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 24;
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, static_cast<UINT>(info.bmHeight),
              copy->ScanLine(info.bmHeight - 1), &header, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    Image.Take(std::move(copy));
    ApplyWallpaper(TmpPaperName);
    return;
  }
  auto* handle = GetClipboardData(CF_UNICODETEXT);
  if (handle == nullptr) return;
  const auto* text = static_cast<const wchar_t*>(GlobalLock(handle));
  if (text == nullptr) return;
  const std::string pasted = ToUtf8(std::wstring(text, wcsnlen(text, GlobalSize(handle) / 2)));
  GlobalUnlock(handle);
  // The pasted text becomes the message of the current picture, once.
  const std::string savedText = Settings.MessText;
  const bool savedSetMess = Settings.SetMess;
  struct TRestore {
    TSettings& s;
    std::string text;
    bool setMess;
    ~TRestore() {
      s.MessText = text;
      s.SetMess = setMess;
    }
  } restore{Settings, savedText, savedSetMess};
  Settings.MessText = pasted;
  Settings.SetMess = true;
  SetCurrentPicture();
}

void TVesko2MainForm::ShowPreview(const std::string& entry) {
  auto* preview = new THintImageForm(Handle());  // frees itself after its first tick
  preview->TimerInterval = 1000;
  // A large picture's memory, kept for a quick next change, goes back a while after it closed.
  preview->OnClosed = [window = Handle()] {
    SetTimer(window, kReleaseTimer, kReleaseDelayMs, nullptr);
  };
  try {
    const std::string ext = ExtractFileExt(entry);
    if (SameText(ext, ".ArcLink")) {
      Loader.LoadArcLink(entry, preview->HintImage);
    } else {
      Loader.LoadPictureFile(SameText(ext, ".lnk") ? ResolveShortcut(entry) : entry,
                             preview->HintImage);
    }
  } catch (...) {
    // A preview that cannot load shows its empty window.
  }
  int width = 218;
  int height = 186;
  const int w = preview->HintImage.Width();
  const int h = preview->HintImage.Height();
  if (w > 0 && h > 0) {
    if (w > h) {
      width = 200;
      height = static_cast<int>(static_cast<long double>(h) * (200.0L / w));
    } else {
      height = 200;
      width = static_cast<int>(static_cast<long double>(w) * (200.0L / h));
    }
  }
  RECT main{};
  GetWindowRect(Handle(), &main);
  const int desktopWidth = GetSystemMetrics(SM_CXSCREEN);
  const int desktopHeight = GetSystemMetrics(SM_CYSCREEN);
  const int left = main.left > desktopWidth / 2 ? main.left - width : main.right;
  const int top = main.top > desktopHeight / 2 ? main.top - height : main.bottom;
  preview->Show(left, top, width, height);
}

void TVesko2MainForm::ApplyWallpaper(const std::string& path, bool withMessage) {
  if (!path.empty() && Settings.PerMonitor && path == TmpPaperName) {
    ApplyPerMonitor(withMessage);
  } else {
    // The boss picture alone: in the display mode chosen for the monitors, not in the tiling
    // of the monitors' bitmap.
    if (!path.empty() && Settings.PerMonitor) RestoreDesktopMode();
    ApplySingleWallpaper(path, withMessage);
  }
  bossOnDesktop_ = !path.empty() && path == BossPaperName;
  HideWelcome();
  PanelHint = ExtractFileName(Settings.PaperName);
  TaskTray->SetTipString(Caption() + " - " + PanelHint);
  Image.Clear();
  // Once no further change follows for a while, the memory kept for quick changes goes back.
  SetTimer(Handle(), kReleaseTimer, kReleaseDelayMs, nullptr);
}

void TVesko2MainForm::ApplySingleWallpaper(const std::string& path, bool withMessage) {
  if (!path.empty()) {
    TRect desktop = VirtualDesktop();
    const int screenWidth = desktop.Right - desktop.Left;
    const int screenHeight = desktop.Bottom - desktop.Top;
    wallpaperCropped_ = false;
    if (!Settings.ColorManagement) Image.SetProfile(nullptr);
    if (Settings.FitMode != 0) {
      ScaleToScreen(Image, static_cast<TScreenFit>(Settings.FitMode), screenWidth, screenHeight,
                    DesktopColor(), Settings.SpeedpPriority, *this, 2, Settings.BlurBackground);
    } else if (Settings.ReSize) {
      FitToRect(Image, desktop, Settings.SpeedpPriority, *this, 2);
    } else if (bool tiled = false; DesktopShowsUnscaled(tiled)) {
      // Only the part the desktop can show is written: the screen looks the same, and the
      // file and the memory behind it are the screen's size, not the photo's.
      const TRect part = VisiblePart(Image.Width(), Image.Height(), screenWidth, screenHeight,
                                     tiled || !DesktopCentresLargePictures());
      if (part != TRect{0, 0, Image.Width(), Image.Height()}) {
        CropPicture(Image, part);
        wallpaperCropped_ = true;
      }
    }
    ConvertHeldToSrgb(Image, 2);
    Image.Realize();
    if (Settings.SetMess && withMessage && !Image.Empty())
      LastMessage = DrawMessage(Image, Settings.PaperName);
    SaveWallpaperBitmap(Image, path);
    WriteWallpaperOrigin(Image, Settings.TileCenterPosit);
  }
  SetDesktopWallpaper(path);
}

std::string TVesko2MainForm::GetMessageText() {
  LastMessage.clear();
  if (!FileExists(MessageFile)) return Settings.MessText;
  TMessageState state;
  state.SepString = Settings.SepString;
  state.SepLines = Settings.SepLines;
  state.SepIndex = Settings.SepIndex;
  state.SepRandom = Settings.SepRandom;
  const std::string text = ChooseMessage(ReadMessageFile(MessageFile), state, random_);
  Settings.SepIndex = state.SepIndex;
  SeparatorCount = state.SeparatorCount;
  return text;
}

std::string TVesko2MainForm::DrawMessage(TPicture& picture, const std::string& fileName) {
  if (picture.Empty()) return {};
  const std::string text = SubstituteFileName(GetMessageText(), ExtractFileName(fileName));
  DrawMessageText(picture, WidenLineEnds(text), Settings.MessFont, Settings.AddShadow,
                  Settings.ShadowColor);
  return text;
}

void TVesko2MainForm::SetTileMode(int mode) {
  if (Settings.PerMonitor) {
    // The program does the mode on every monitor; the desktop keeps tiling the result.
    Settings.MonitorTileMode = mode;
    Settings.FitMode = 0;
    if (List.MainListBox.Empty()) return;
    TTimerHold hold(*this);
    SetCurrentPicture();
    return;
  }
  WriteTileMode(mode);
  // A wallpaper the program fitted or cropped for the last mode is made again for this one.
  if ((Settings.FitMode != 0 || wallpaperCropped_) && !List.MainListBox.Empty()) {
    Settings.FitMode = 0;
    TTimerHold hold(*this);
    SetCurrentPicture();
    return;
  }
  Settings.FitMode = 0;
  SetDesktopWallpaper(TmpPaperName);
}

void TVesko2MainForm::SetScreenFit(int mode) {
  Settings.FitMode = mode;
  if (List.MainListBox.Empty()) return;
  TTimerHold hold(*this);
  SetCurrentPicture();
}

void TVesko2MainForm::ReleaseTimerTimer() {
  // A later tick once the program is no longer inside another step.
  Gate.Offer(TInput::Housekeeping, [this] { ReleaseMemory(); });
}

void TVesko2MainForm::ReleaseMemory() {
  KillTimer(Handle(), kReleaseTimer);
  ReleaseCachedPixelMemory();
  // Both heaps: the C runtime's malloc (libjpeg's buffers, the resampler's rows) has its own.
  HeapCompact(GetProcessHeap(), 0);
  HeapCompact(reinterpret_cast<HANDLE>(_get_heap_handle()), 0);
}
