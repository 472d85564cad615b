#include "app/MainForm_win.h"

#include <windowsx.h>

#include <chrono>

#include "app/Application_win.h"
#include "app/HandOver.h"
#include "app/PluginSetup_win.h"
#include "app/StartUp.h"
#include "app/ViewMode_win.h"
#include "base/Dialogs.h"
#include "base/FileIO_win.h"
#include "base/Handles_win.h"
#include "base/IniFile.h"
#include "base/Path.h"
#include "base/TextCase.h"
#include "base/Unicode_win.h"
#include "decode/JPEGImage.h"
#include "decode/PictureFormats.h"
#include "files/ArchiveFile_win.h"

TVesko2MainForm::TVesko2MainForm(TMainFormEnv env)
    : List(Settings, {files_, env.Dialogs, *this, random_, clock_}),
      Loader(*this, env.Dialogs),
      env_(std::move(env)) {
  StartTick = GetTickCount();
  random_.Seed(
      static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  BindActions();
  HDC screen = GetDC(nullptr);
  Settings.MessFont.PixelsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
  TJPEGImage::ScreenHasPalette =
      GetDeviceCaps(screen, PLANES) * GetDeviceCaps(screen, BITSPIXEL) <= 8;
  ReleaseDC(nullptr, screen);
  Settings.MessFont.SetSize(9);

  CreateHandle(kClassName, ToWide(TApplication::kTitle).c_str(), WS_POPUP | WS_CLIPCHILDREN, 0, 0,
               0, kPanelWidth, kPanelHeight, env_.Application.Handle());
  env_.Application.SetMainWindow(Handle());
  // Brought back from outside (a second start): out of the notification area too, so that
  // window, taskbar button and tray icon agree.
  env_.Application.OnRestoreRequest = [this] {
    if (TaskTray && TaskTray->Registered()) {
      SetTrayMode(false);
    } else {
      env_.Application.Restore();
    }
  };
  ApplyDpi(WindowDpi(Handle()));
  CreateHints();
  // The shell's questions and progress belong to this window: no taskbar button of their own,
  // never behind it.
  FileOperation.SetOwner(Handle());
  PopupMenu = std::make_unique<TContextMenu>(Handle(), [this] { return ContextMenuEntries(); });
  HistoryMen = PopupMenuItems.Add(std::make_unique<TMenuItem>("HistoryMen", "履歴"));
  PopupMenu->History = HistoryMen;
  CommandoPopupMenu =
      std::make_unique<TContextMenu>(Handle(), [this] { return CommandoMenuEntries(); });
  TaskTray = std::make_unique<TTaskTray>(Handle());
  if (TaskTray->IconID() != 1) TaskTray->SetIconID(1);
  TaskTray->SetIcon(TApplication::Icon());
  TaskTray->SetPopupMenuR(PopupMenu.get());
  TaskTray->OnDblClick = [this](TTaskTray&, TMouseButton) { TaskTrayDblClick(); };
  FileDrop = std::make_unique<TFileDrop>(Handle());
  FileDrop->OnFileDrop = [this](TFileDrop& sender, int, const std::vector<std::string>& files,
                                int x, int y) { List.FileDropFileDrop(&sender, files, x, y); };
  HookHotKey = std::make_unique<THookHotKey>(Handle());
  HookHotKey->OnHotKey = [this](THookHotKey&, int index) { HookHotKeyHotKey(index); };

  RegisterBuiltInFormats();
  ConfigureMainWindowSPIs(SPIs);
  SPIs.AppFolder = ExtractFilePath(env_.ProgramPath);
  try {
    SPIs.Loaded();
  } catch (const std::exception& error) {
    env_.Dialogs.ShowError(error);
  }
  // One report for every file that is no usable plug-in; the others work.
  if (!SPIs.SkippedFiles.empty()) {
    std::string text = "プラグインとして使えないファイルがあります";
    for (const std::string& skipped : SPIs.SkippedFiles) text += "\r\r" + skipped;
    WarnMessage(env_.Dialogs, text);
  }
  List.PictureFilter = [] { return TPictureFormatRegistry::Instance().Filter(); };
  List.PicturesFolder = [] { return UserPicturesFolder(); };
  List.ExtensionList = TExtensionList::Build(PluginFirstFilters(SPIs));
  HelpFile = ChangeFileExt(env_.ProgramPath, ".hlp");
  IniFileName = IncludeTrailingPathDelimiter(env_.CurrentDirectory) +
                ChangeFileExt(ExtractFileName(env_.ProgramPath), ".ini");
  if (FileExists(HelpFile) && !FileExists(IniFileName)) {
    WinHelpW(Handle(), ToWide(HelpFile).c_str(), HELP_FINDER, 0);
  }
  // The history lives in the settings file: read with the settings, written with them.
  HistoryIni.IniName = IniFileName;
  HistoryIni.SetHistoryNum(5);
  HistoryIni.SetTargetMenuItem(HistoryMen);
  HistoryIni.SetActive(true);
  HistoryIni.OnHistorySelected = [this](const std::string& name) {
    HistoryIniHistorySelected(name);
  };
  const std::string folder = ExtractFileDir(IniFileName);
  TmpPaperName = IncludeTrailingPathDelimiter(folder) + "$" +
                 ChangeFileExt(ExtractFileName(env_.ProgramPath), ".bmp");
  BossPaperName = IncludeTrailingPathDelimiter(folder) + "$Boss" + ExtractFileName(TmpPaperName);

  // The default message file is known before the start-up sequence sets the first picture, so
  // that picture carries the file's message too; a "/M" argument replaces it during start-up.
  MessageFile = ChangeFileExt(env_.ProgramPath, ".mes");
  try {
    LoadSettings();
  } catch (const std::exception& error) {
    env_.Dialogs.ShowError(error);
  }
  if (TaskTray->TipString().empty()) TaskTray->SetTipString(Caption());
}

TVesko2MainForm::~TVesko2MainForm() {
  ReleaseAllArchivers();
  FileDrop.reset();
  HookHotKey.reset();
  TaskTray.reset();
  env_.Application.OnRestoreRequest = nullptr;
  env_.Application.SetMainWindow(nullptr);
  DestroyHandle();
}

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
  action->Execute();
  return true;
}

std::vector<TMenuEntry> TVesko2MainForm::ContextMenuEntries() {
  return ContextMenu([this](TComponent& sender) { NextActionExecute(sender); });
}

void TVesko2MainForm::ViewModeActionExecute() {
  IncomingBossAction.Tag = 1;
  TViewModeForm view(*this);
  view.ShowModal();
}

void TVesko2MainForm::HistoryIniHistorySelected(const std::string& fileName) {
  if (SameText(ExtractFileExt(fileName), ".V2List")) {
    Settings.PaperFolder = fileName;
    List.LoadPictureList();
    return;
  }
  List.OpenPath(nullptr, fileName);
}

void TVesko2MainForm::SetTrayMode(bool inTray) {
  TaskTray->SetRegistered(inTray);
  if (inTray) {
    ShowWindow(Handle(), SW_HIDE);
    env_.Application.Minimize();
    env_.Application.HideTaskbarButton();
  } else {
    env_.Application.Restore();
    env_.Application.ShowTaskbarButton();
    ShowWindow(Handle(), SW_SHOW);
  }
}

void TVesko2MainForm::ApplicationEventsDeactivate() {
  if (SkipDeactivate) {
    SkipDeactivate = false;
    return;
  }
  if (Tag == 0 && !TaskTray->Registered() && Settings.NotUsedInTray) SetTrayMode(true);
}

void TVesko2MainForm::PanelDblClick() {
  if (LastMessage.empty()) return;
  std::string text = LastMessage;
  // Empty lines at the start are dropped; the rest is shown as it is.
  for (;;) {
    if (text.rfind("\r\n", 0) == 0) {
      text.erase(0, 2);
    } else if (!text.empty() && (text[0] == '\n' || text[0] == '\r')) {
      text.erase(0, 1);
    } else {
      break;
    }
  }
  if (!text.empty()) env_.Dialogs.ShowMessage(text);
}

void TVesko2MainForm::SetPanelColor(uint32_t color) {
  panelColor_ = color;
  InvalidateRect(Handle(), nullptr, FALSE);
  UpdateWindow(Handle());
}

void TVesko2MainForm::SetAppTitle(const std::string& title) {
  env_.Application.SetTitle(title);
}

void TVesko2MainForm::SetWaitCursor(bool wait) {
  SetCursor(LoadCursorW(nullptr, wait ? IDC_WAIT : IDC_ARROW));
}

std::string TVesko2MainForm::Caption() {
  return WindowText(Handle());
}

void TVesko2MainForm::OnCopyData(const COPYDATASTRUCT& data) {
  const std::string path = AnsiToUtf8(ReadHandOverBuffer(data.lpData, data.cbData));
  ReceiveHandOver(List, files_, path, OpenFileAction);
}

LRESULT TVesko2MainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      Paint();
      if (!painted_) {
        // The first paint decides: a program closed in the tray goes back there.
        painted_ = true;
        SetTrayMode(Settings.Tray);
      }
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_LBUTTONDOWN:
      PanelMouseDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_LBUTTONDBLCLK:
      // The second click of a quick pair on a button is one more click of that button; only
      // the bare panel's double-click shows the message.
      if (PanelButtonAt(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam))) {
        PanelMouseDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      } else {
        PanelDblClick();
      }
      return 0;
    case WM_MOUSEMOVE:
      PanelMouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      break;
    case WM_CONTEXTMENU: {
      POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      if (at.x == -1 && at.y == -1) {
        at = {0, 0};
        ClientToScreen(Handle(), &at);
      }
      PopupMenu->Popup(at.x, at.y);
      return 0;
    }
    case WM_ACTIVATEAPP:
      if (wParam == FALSE) ApplicationEventsDeactivate();
      return 0;
    case WM_DPICHANGED: {
      ApplyDpi(HIWORD(wParam));
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(Handle(), nullptr, suggested->left, suggested->top, Scale(kPanelWidth),
                   Scale(kPanelHeight), SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      uint16_t shortCut = static_cast<uint16_t>(wParam & 0xFF);
      if (GetKeyState(VK_SHIFT) & 0x8000) shortCut |= 0x2000;
      if (GetKeyState(VK_CONTROL) & 0x8000) shortCut |= 0x4000;
      if (GetKeyState(VK_MENU) & 0x8000) shortCut |= 0x8000;
      if (RunShortCut(shortCut)) return 0;
      break;
    }
    case WM_TIMER:
      if (wParam == kChangeTimer) TimerTimer();
      if (wParam == kReleaseTimer) ReleaseTimerTimer();
      if (wParam == kWelcomeTimer) HideWelcome();
      return 0;
    case WM_COPYDATA:
      if (lParam != 0) OnCopyData(*reinterpret_cast<const COPYDATASTRUCT*>(lParam));
      return 0;
    case WM_CLOSE:
      FormCloseQuery();
      closing_ = true;
      DestroyWindow(Handle());
      return 0;
    case WM_QUERYENDSESSION:
      // A logoff or shutdown is never held up, nor met with a box.
      FormCloseQuery(false);
      return TRUE;
    case WM_DESTROY:
      if (closing_) env_.Application.Terminate();
      return 0;
    default:
      break;
  }
  return DefaultHandler(message, wParam, lParam);
}
