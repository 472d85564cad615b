// The main window's commands wired to their handlers: the action table's events, the modifier
// keys they read, and shortcuts run through the menu and the table.
#include "app/Application_win.h"
#include "app/MainForm_win.h"
#include "app/ViewMode_win.h"
#include "base/Dialogs.h"
#include "base/FileIO_win.h"
#include "base/Path.h"
#include "base/TextCase.h"
#include "files/ArchiveFile_win.h"

void TVesko2MainForm::BindActions() {
  List.FormTag = &Tag;
  List.AddHistory = [this](const std::string& source) { HistoryIni.AddHistory(source); };
  List.SetCurrentPicture = [this] { return SetCurrentPicture(); };
  Loader.CreateArchiveExtractor = [this] {
    return std::make_unique<TArchiveExtractor>(env_.Application.Handle());
  };
  OpenFileAction.OnExecute = [this](TAction& a) { List.OpenFileActionExecute(a); };
  OpenFolderAction.OnExecute = [this](TAction& a) { List.OpenFileActionExecute(a); };
  SaveListAction.OnExecute = [this](TAction& a) { List.SaveListActionExecute(a); };
  SaveListAction.OnUpdate = [this](TAction& a) { List.SaveListActionUpdate(a); };
  LoadListAction.OnExecute = [this](TAction& a) { List.LoadListActionExecute(a); };
  ReloadFolderAction.OnExecute = [this](TAction& a) { List.ReloadFolderActionExecute(a); };
  ReloadFolderAction.OnUpdate = [this](TAction& a) { List.ReloadFolderActionUpdate(a); };
  CloseAction.OnExecute = [this](TAction&) { PostMessageW(Handle(), WM_CLOSE, 0, 0); };
  ViewModeAction.OnExecute = [this](TAction&) { ViewModeActionExecute(); };
  for (TAction* mode : {&TileAction, &CenterAction, &WideAction}) {
    mode->OnExecute = [this](TAction& a) { SetTileMode(a.Tag); };
  }
  for (TAction* fit : {&FillAction, &FitAction}) {
    fit->OnExecute = [this](TAction& a) { SetScreenFit(a.Tag - 2); };
    fit->OnUpdate = [this](TAction& a) { a.Checked = Settings.FitMode == a.Tag - 2; };
  }
  NotWallpaperAction.OnExecute = [this](TAction&) { ApplyWallpaper(""); };
  NextAction.OnExecute = [this](TAction& a) { NextActionExecute(a); };
  PreAction.OnExecute = [this](TAction& a) { NextActionExecute(a); };
  TimerAction.OnExecute = [this](TAction& a) {
    a.Checked = !a.Checked;
    Settings.TimerEnabled = a.Checked;
    ApplyTimer();
  };
  // Ticked only when the timer will fire; without an interval there is nothing to switch.
  TimerAction.OnUpdate = [this](TAction& a) {
    a.Enabled = Settings.TimerInterval > 0;
    a.Checked = Settings.TimerEnabled && Settings.TimerInterval > 0;
  };
  ReloadAction.OnExecute = [this](TAction&) {
    Loader.LoadPictureFile(Settings.PaperName, Image);
    ApplyWallpaper(TmpPaperName);
  };
  BetterReloadAction.OnExecute = [this](TAction&) {
    Settings.SpeedpPriority = false;
    struct TRestore {
      bool& speed;
      ~TRestore() { speed = true; }
    } restore{Settings.SpeedpPriority};
    Loader.LoadPictureFile(Settings.PaperName, Image);
    ApplyWallpaper(TmpPaperName);
  };
  BetterReloadAction.OnUpdate = [this](TAction& a) { a.Enabled = Settings.SpeedpPriority; };
  JumpAction.OnExecute = [this](TAction&) {
    std::string name;
    if (!env_.Dialogs.InputQuery("ファイル名の指定", "このフォルダにあればね", name)) return;
    const int index = List.MainListBox.IndexOf(name);
    if (index < 0) return;
    List.MainListBox.ItemIndex = index;
    SetCurrentPicture();
  };
  ClipPasteAction.OnExecute = [this](TAction&) { ClipPasteActionExecute(); };
  ClipPasteAction.OnUpdate = [](TAction& a) {
    a.Enabled = IsClipboardFormatAvailable(CF_BITMAP) || IsClipboardFormatAvailable(CF_TEXT);
  };
  TrayAction.OnExecute = [this](TAction&) { TrayActionExecute(); };
  OptionAction.OnExecute = [this](TAction& a) { OptionActionExecute(a); };
  PropAction.OnExecute = [this](TAction&) { PropActionExecute(); };
  AboutAction.OnExecute = [this](TAction&) { AboutActionExecute(); };
  G_EditorAction.OnExecute = [this](TAction&) { G_EditorActionExecute(); };
  G_SelectEditorAction.OnExecute = [this](TAction& a) { G_SelectEditorActionExecute(a); };
  IncomingBossAction.OnExecute = [this](TAction& a) { IncomingBossActionExecute(a); };
  IncomingBossAction.OnUpdate = [this](TAction& a) { IncomingBossActionUpdate(a); };
  StartScreenSacverAction.OnExecute = [this](TAction&) { StartScreenSacverActionExecute(); };
  PauseScreenSacverAction.OnExecute = [this](TAction& a) { PauseScreenSacverActionExecute(a); };
  TrayAction.OnUpdate = [this](TAction& a) { a.Checked = TaskTray && TaskTray->Registered(); };
  for (TAction* send : {&CopyAction, &ShortCutAction}) {
    send->OnExecute = [this](TAction& a) { CopyActionExecute(a); };
    send->OnUpdate = [this](TAction& a) { FileExistsPaper(a); };
  }
  for (TAction* remove : {&TrushAction, &DeleteAction}) {
    remove->OnExecute = [this](TAction& a) { TrushActionExecute(a); };
    remove->OnUpdate = [this](TAction& a) { FileExistsPaper(a); };
  }
  ExcludeAction.OnExecute = [this](TAction&) { ExcludeActionExecute(); };
  UndoExcludeAction.OnExecute = [this](TAction&) { UndoExcludeActionExecute(); };
  UndoExcludeAction.OnUpdate = [this](TAction& a) { a.Enabled = List.CanUndoExclusion(); };
  ExcludeAction.OnUpdate = [this](TAction& a) { ExcludeActionUpdate(a); };
  CopyFileNameAction.OnExecute = [this](TAction&) { CopyFileNameActionExecute(); };
  ViewModeAction.OnUpdate = [this](TAction& a) { a.Enabled = !List.MainListBox.Empty(); };
  // Every command holds the timer while it runs: a tick arriving through the nested loop of
  // its question or dialog would change the picture the command is about.
  for (TAction* action : ActionList()) {
    if (!action->OnExecute) continue;
    action->OnExecute = [this, run = std::move(action->OnExecute)](TAction& a) {
      TTimerHold hold(*this);
      run(a);
    };
  }
}

bool TVesko2MainForm::ShiftDown() const {
  if (env_.Keyboard != nullptr) return env_.Keyboard->ShiftDown();
  return (GetKeyState(VK_SHIFT) & 0x8000) != 0;
}

bool TVesko2MainForm::CtrlDown() const {
  if (env_.Keyboard != nullptr) return env_.Keyboard->CtrlDown();
  return (GetKeyState(VK_CONTROL) & 0x8000) != 0;
}

void TVesko2MainForm::FileExistsPaper(TAction& sender) {
  sender.Enabled = FileExists(Settings.PaperName);
}

bool TVesko2MainForm::RunShortCut(uint16_t shortCut) {
  TAction* action = FindShortCut(ContextMenuEntries(), shortCut);
  if (action == nullptr) return false;
  OfferCommand(
      action, [action] { action->Execute(); }, action);
  return true;
}

std::vector<TMenuEntry> TVesko2MainForm::ContextMenuEntries() {
  return ContextMenu([this](TComponent& sender) { NextActionExecute(sender); });
}
