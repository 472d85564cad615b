// The options command of the main window (the settings through the options dialog and back) and
// the properties text.
#include "app/Application_win.h"
#include "app/MainForm_win.h"
#include "app/OptionsForm_win.h"
#include "app/PropertiesText.h"
#include "app/ShellMenuEntry_win.h"
#include "app/StartWithWindows_win.h"
#include "base/Dialogs.h"
#include "base/FileIO_win.h"
#include "base/Path.h"
#include "base/Unicode_win.h"
#include "engine/ListFile.h"
#include "engine/Wallpaper_win.h"

void TVesko2MainForm::OptionActionExecute(TAction& sender) {
  // No command of the window runs while the dialog is open; every path gives the keys back.
  std::vector<uint16_t> shortCuts;
  for (TAction* action : ActionList()) {
    shortCuts.push_back(action->ShortCut);
    action->ShortCut = 0;
  }
  Tag = 1;
  struct TRestore {
    TVesko2MainForm& form;
    const std::vector<uint16_t>& shortCuts;
    ~TRestore() {
      form.Tag = 0;
      for (size_t i = 0; i < shortCuts.size(); ++i) form.ActionList()[i]->ShortCut = shortCuts[i];
    }
  } restore{*this, shortCuts};

  if (ShiftDown() && !CtrlDown()) {
    env_.Dialogs.ShellOpen(IniFileName);
    return;
  }
  TOptionsForm dialog(Handle(), env_.Dialogs, TApplication::kTitle, env_.ProgramPath);
  dialog.SetShellMenuEntry(ShellMenuEntryExists());
  dialog.Load(Settings, sender.Tag, FileExists(MessageFile));
  List.ReadExcluded();
  dialog.SetExcludedCount(List.Excluded.Count());
  const int result = dialog.ShowModal();
  sender.Tag = dialog.Page();  // it opens again on the page last shown, after OK or Cancel
  if (result != TOptionsForm::kOk) return;
  const bool wasRandom = Settings.RandomLoad;
  const int32_t fitMode = Settings.FitMode;
  const bool perMonitor = Settings.PerMonitor;
  const bool colorManagement = Settings.ColorManagement;
  const bool blurBackground = Settings.BlurBackground;
  dialog.Store(Settings);
  // A picture per monitor takes over the desktop's display mode, and gives it back.
  if (Settings.PerMonitor && !perMonitor) {
    Settings.MonitorTileMode = ReadTileMode();
    Settings.MonitorWallpaperStyle = -1;
    KeepDesktopMode();
  }
  if (!Settings.PerMonitor && perMonitor) RestoreDesktopMode();
  if (Settings.RandomLoad && !wasRandom) List.BeginRoundHere();
  G_EditorAction.Caption =
      FileExists(Settings.G_Editor) ? ExtractFileName(Settings.G_Editor) : "グラフィックソフト..";
  ApplyTimer();
  ApplyPluginTimeout();
  HookHotKey->ReRegisterKey(1, Settings.ActiveKey);
  HookHotKey->ReRegisterKey(2, Settings.IncomingBossKey);
  try {
    dialog.ApplyStartWithWindows();
  } catch (const EStartWithWindows& error) {
    env_.Dialogs.ShowError(error);
  }
  // Last, so that a program folder that cannot be written loses none of the settings above:
  // its error is shown after they all took effect.
  SaveSettingsQuietly();
  files_.WriteListFile(ChangeFileExt(env_.ProgramPath, ".mes"), SplitListLines(dialog.MemoText()));
  // The excluded pictures come back into the lists; the current one stays current.
  if (dialog.ExcludedCleared()) {
    List.ClearExcluded();
    List.LoadPictureList();
  }
  // A new way of fitting, or of treating colours, shows at once on the current picture.
  if (Settings.FitMode != fitMode || Settings.PerMonitor != perMonitor ||
      Settings.ColorManagement != colorManagement ||
      (Settings.BlurBackground != blurBackground && Settings.FitMode == 2)) {
    SetScreenFit(Settings.FitMode);
  }
}

namespace {

// A count as the user's locale groups it ("#,##0": 1,234,567 under a Japanese locale).
std::string GroupThousands(int64_t value) {
  wchar_t separator[8] = L",";
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, separator, 8);
  std::wstring digits = std::to_wstring(value < 0 ? -value : value);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(i, separator);
  return (value < 0 ? "-" : "") + ToUtf8(digits);
}

}  // namespace

void TVesko2MainForm::PropActionExecute() {
  TPropertiesState state;
  state.StartTick = StartTick;
  state.ListLoadedTick = List.ListLoadedTick;
  state.RealFileName = RealFileName;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!Settings.PaperName.empty() &&
      GetFileAttributesExW(ToWide(Settings.PaperName).c_str(), GetFileExInfoStandard, &data)) {
    state.FileSize = static_cast<int64_t>((uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow);
  }
  state.ImageWidth = Loader.ImageSize.Width;
  state.ImageHeight = Loader.ImageSize.Height;
  state.SeparatorCount = SeparatorCount;
  state.FilesCount = List.MainListBox.Count();
  state.TmpPaperName = TmpPaperName;
  state.IniFileName = IniFileName;
  env_.Dialogs.ShowMessage(PropertiesText(Settings, state, GroupThousands));
}
