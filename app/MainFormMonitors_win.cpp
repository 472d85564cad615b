// The main window's wallpaper with a picture of its own on each monitor: the further monitors
// take the next entries of the list (upright monitors the upright pictures among them), each
// picture is made for its monitor with its own message, and the result goes to the system's
// wallpaper per monitor or, where there is none, into one bitmap that the desktop tiles over
// all monitors from the primary's corner.
#include "app/MainForm_win.h"
#include "base/Path.h"
#include "base/TextCase.h"
#include "base/Unicode_win.h"
#include "decode/DIBErrors.h"
#include "engine/MonitorPicture.h"
#include "engine/Wallpaper_win.h"

void TVesko2MainForm::RefreshMonitors() {
  Monitors = ReadMonitors ? ReadMonitors() : ReadMonitorLayout();
}

void TVesko2MainForm::DisplayChanged() {
  RefreshMonitors();
  // Each message of a change (several come while a monitor is plugged in) starts the wait anew.
  SetTimer(Handle(), kDisplayTimer, kDisplaySettleMs, nullptr);
}

void TVesko2MainForm::DisplayTimerTimer() {
  KillTimer(Handle(), kDisplayTimer);
  Gate.Offer(TInput::DisplayChange, [this] {
    if (List.MainListBox.ItemIndex < 0 || Settings.PaperName.empty()) return;
    // The boss picture stays until the boss key takes it away.
    if (bossOnDesktop_) return;
    // The current picture again, made for the new layout (a failure passes on like a change's).
    TTimerHold hold(*this);
    SetCurrentPicture(true);
  });
}

void TVesko2MainForm::KeepDesktopMode() {
  if (Settings.MonitorWallpaperStyle < 0) Settings.MonitorWallpaperStyle = ReadWallpaperStyle();
}

void TVesko2MainForm::RestoreDesktopMode() {
  WriteTileMode(Settings.MonitorTileMode);
  if (Settings.MonitorWallpaperStyle >= 0) WriteWallpaperStyle(Settings.MonitorWallpaperStyle);
}

std::string TVesko2MainForm::MonitorPaperName(size_t index) const {
  return ChangeFileExt(TmpPaperName, "") + "-" + std::to_string(index + 1) + ".bmp";
}

int TVesko2MainForm::StepsPerChange(bool forward) const {
  // Back is the entry before the primary's picture, as with one monitor.
  return Settings.PerMonitor && forward ? monitorsStep_ : 1;
}

void TVesko2MainForm::LoadFurtherPicture(const std::string& entry, TPicture& holder) {
  // The properties text keeps describing the primary monitor's picture.
  const TImageSize size = Loader.ImageSize;
  try {
    if (SameText(ExtractFileExt(entry), ".ArcLink")) {
      Loader.LoadArcLink(entry, holder);
    } else {
      Loader.LoadPictureFile(
          SameText(ExtractFileExt(entry), ".lnk") ? ResolveShortcut(entry) : entry, holder);
    }
  } catch (const std::exception&) {
    holder.Clear();  // a further monitor passes over what does not load
  }
  Loader.ImageSize = size;
}

void TVesko2MainForm::ApplyPerMonitor(bool withMessage) {
  const TMonitorLayout layout = Monitors;
  const std::vector<size_t> order = PictureOrder(layout);
  std::vector<TPicture> holders(layout.size());
  holders[order.front()].TakeGraphic(Image.ReleaseGraphic());
  // The next entries that load: one for each further monitor and a few more, so that an
  // upright monitor finds an upright picture among them.
  constexpr size_t kLookAhead = 2;
  std::vector<TPicture> candidates;
  std::vector<int> offsets;  // each candidate's place after the cursor
  std::vector<std::string> entries;
  const size_t wanted = layout.size() - 1;
  int consumed = 0;
  while (wanted > 0 && candidates.size() < wanted + kLookAhead &&
         consumed < List.MainListBox.Count() - 1) {
    ++consumed;
    TPicture picture;
    LoadFurtherPicture(List.EntryAhead(consumed), picture);
    if (picture.Empty()) continue;
    candidates.push_back(std::move(picture));
    offsets.push_back(consumed);
    entries.push_back(List.EntryAhead(consumed));
  }
  std::vector<bool> monitorPortrait;
  for (size_t k = 1; k < order.size(); ++k) {
    const TRect& b = layout[order[k]].Bounds;
    monitorPortrait.push_back(IsPortrait(RectWidth(b), RectHeight(b)));
  }
  std::vector<bool> picturePortrait;
  for (const TPicture& c : candidates) picturePortrait.push_back(IsPortrait(c.Width(), c.Height()));
  const std::vector<size_t> chosen = AssignPictures(monitorPortrait, picturePortrait);
  std::vector<bool> shown(candidates.size(), false);
  std::vector<std::string> names(layout.size());  // for each monitor's message
  names[order.front()] = Settings.PaperName;
  for (size_t k = 0; k < chosen.size(); ++k) {
    holders[order[k + 1]].TakeGraphic(candidates[chosen[k]].ReleaseGraphic());
    names[order[k + 1]] = entries[chosen[k]];
    shown[chosen[k]] = true;
  }
  candidates.clear();
  // The next change starts at the first entry no monitor showed: none is passed over.
  size_t firstUnshown = 0;
  while (firstUnshown < shown.size() && shown[firstUnshown]) ++firstUnshown;
  monitorsStep_ = firstUnshown < offsets.size() ? offsets[firstUnshown] : consumed + 1;

  TMonitorFit fit;
  fit.FitMode = Settings.FitMode;
  fit.TileMode = Settings.MonitorTileMode;
  fit.ReSize = Settings.ReSize;
  fit.SpeedPriority = Settings.SpeedpPriority;
  fit.TileCentred = Settings.TileCenterPosit;
  fit.Background = DesktopColor();
  fit.ColorManagement = Settings.ColorManagement;
  fit.BlurBackground = Settings.BlurBackground;
  std::vector<std::unique_ptr<TBitmap>> bitmaps =
      RenderMonitors(holders, layout, order.front(), fit, *this);
  holders.clear();
  if (Settings.SetMess && withMessage) {
    for (size_t i = 0; i < bitmaps.size(); ++i) {
      TPicture monitor;
      monitor.Take(std::move(bitmaps[i]));
      const std::string text = DrawMessage(monitor, names[i]);
      if (i == order.front()) LastMessage = text;
      std::unique_ptr<TGraphic> drawn = monitor.ReleaseGraphic();
      if (dynamic_cast<TBitmap*>(drawn.get()) != nullptr)
        bitmaps[i].reset(static_cast<TBitmap*>(drawn.release()));
    }
  }

  // The system's wallpaper per monitor, where it knows every monitor of the layout.
  if (std::unique_ptr<IMonitorWallpaper> system =
          OpenSystemWallpaper ? OpenSystemWallpaper() : nullptr) {
    const auto known = system->Monitors();
    std::vector<std::wstring> ids;
    for (const TMonitor& m : layout) {
      for (const auto& [id, rect] : known) {
        if (rect == m.Bounds) {
          ids.push_back(id);
          break;
        }
      }
    }
    if (ids.size() == layout.size()) {
      KeepDesktopMode();  // a settings file that turned the option on by hand keeps it here
      bool all = system->SetFillPosition();
      for (size_t i = 0; i < layout.size(); ++i) {
        TPicture one;
        one.Take(std::move(bitmaps[i]));
        SaveWallpaperBitmap(one, MonitorPaperName(i));
        all = system->SetWallpaper(ids[i], ToWide(MonitorPaperName(i))) && all;
      }
      if (all) return;
      throw Exception("モニターごとの壁紙を設定できません");
    }
  }
  // One bitmap over the whole virtual screen, tiled from the primary's top-left corner.
  std::vector<const TBitmap*> pictures;
  for (const auto& bitmap : bitmaps) pictures.push_back(bitmap.get());
  Image.Take(ComposeSpanning(layout, pictures, DesktopColor()));
  bitmaps.clear();
  SaveWallpaperBitmap(Image, TmpPaperName);
  WriteTileMode(1);
  WriteWallpaperOrigin(Image, false);
  SetDesktopWallpaper(TmpPaperName);
}
