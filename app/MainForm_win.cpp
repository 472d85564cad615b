#include "app/MainForm_win.h"

#include <windowsx.h>

#include <chrono>

#include "app/Application_win.h"
#include "app/HandOver.h"
#include "app/PluginSetup_win.h"
#include "app/StartUp.h"
#include "app/SystemState_win.h"
#include "app/ViewMode_win.h"
#include "base/Dialogs.h"
#include "base/FileIO_win.h"
#include "base/Handles_win.h"
#include "base/IniFile.h"
#include "base/Path.h"
#include "base/PumpedWait_win.h"
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
  Gate.Busy = [this] { return BusyState(); };
  Gate.WakeWhenIdle = [this] {
    // Something the user or a second start sent ends the wait of a start at sign-in.
    if (startDeferred_) SetTimer(Handle(), kSignInTimer, USER_TIMER_MINIMUM, nullptr);
    SetTimer(Handle(), kGateTimer, kGatePollMs, nullptr);
  };
  Gate.SystemBusy = [this] {
    const TSystemState state = SystemState ? SystemState() : TSystemState{};
    return !TimedChangeWaitReason(state, Settings.WaitWhileBusy, Settings.WaitOnBatterySaver)
                .empty();
  };
  Gate.Refused = [] { MessageBeep(MB_ICONWARNING); };
  Gate.GiveUpCurrentStep = [this] {
    changeGivenUp_ = true;
    TPumpedWait::Cancel();
    PostMessageW(Handle(), kAfterWaitMessage, 0, 0);
  };
  TPumpedWait::OnOutermost = [this](bool begins) {
    if (begins) {
      SetTimer(Handle(), kBusyLookTimer, kBusyLookMs, nullptr);
    } else {
      EndBusyLook();
    }
  };
  PopupMenu = std::make_unique<TContextMenu>(Handle(), [this] { return ContextMenuEntries(); });
  HistoryMen = PopupMenuItems.Add(std::make_unique<TMenuItem>("HistoryMen", "履歴"));
  PopupMenu->History = HistoryMen;
  CommandoPopupMenu =
      std::make_unique<TContextMenu>(Handle(), [this] { return CommandoMenuEntries(); });
  for (TContextMenu* menu : {PopupMenu.get(), CommandoPopupMenu.get()}) {
    menu->RunChoice = [this](TAction* action, const void* key, std::function<void()> run) {
      OfferCommand(action, std::move(run), key);
    };
  }
  TaskTray = std::make_unique<TTaskTray>(Handle());
  if (TaskTray->IconID() != 1) TaskTray->SetIconID(1);
  TaskTray->SetIcon(TApplication::Icon());
  TaskTray->SetPopupMenuR(PopupMenu.get());
  // The icon's double click brings the window back, as the menu hotkey does.
  TaskTray->OnDblClick = [this](TTaskTray&, TMouseButton) {
    Gate.Offer(TInput::MenuHotKey, [this] { TaskTrayDblClick(); });
  };
  TaskTray->OnBalloonClick = [this](TTaskTray&) {
    Gate.Offer(
        TInput::Command, [this] { ShowHeldReport(); }, &heldReport_);
  };
  FileDrop = std::make_unique<TFileDrop>(Handle());
  FileDrop->OnFileDrop = [this](TFileDrop& sender, int, const std::vector<std::string>& files,
                                int x, int y) {
    Gate.Offer(TInput::Drop,
               [this, &sender, files, x, y] { List.FileDropFileDrop(&sender, files, x, y); });
  };
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
  SystemState = QuerySystemState;
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
  List.ExcludedFile = ChangeFileExt(IniFileName, ".exclude.txt");

  // The default message file is known before the start-up sequence sets the first picture, so
  // that picture carries the file's message too; a "/M" argument replaces it during start-up.
  MessageFile = ChangeFileExt(env_.ProgramPath, ".mes");
  try {
    RefreshMonitors();
    LoadSettings();
  } catch (const std::exception& error) {
    env_.Dialogs.ShowError(error);
  }
  if (!startDeferred_) FinishStart();
  if (TaskTray->TipString().empty()) TaskTray->SetTipString(Caption());
}

TVesko2MainForm::~TVesko2MainForm() {
  TAction::AfterCommand = nullptr;
  TPumpedWait::SetEnabled(false);
  TPumpedWait::OnOutermost = nullptr;
  ReleaseAllArchivers();
  FileDrop.reset();
  HookHotKey.reset();
  TaskTray.reset();
  env_.Application.OnRestoreRequest = nullptr;
  env_.Application.SetMainWindow(nullptr);
  DestroyHandle();
}

void TVesko2MainForm::ViewModeActionExecute() {
  IncomingBossAction.Tag = 1;
  {
    TViewModeForm view(*this);
    view.ShowModal();
  }
  // The view's picture is freed: its memory goes back a while later, as after a change.
  SetTimer(Handle(), kReleaseTimer, kReleaseDelayMs, nullptr);
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
    HideWelcome();  // it points at the panel, which goes
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
  Gate.Offer(TInput::HandOver,
             [this, path] { ReceiveHandOver(List, files_, path, OpenFileAction); });
}

TBusy TVesko2MainForm::BusyState() {
  if (TPumpedWait::Depth() > 0) return TBusy::HelperCall;
  if (!startedUp_) return TBusy::Starting;
  if (TContextMenu::OpenMenus() > 0) return TBusy::Menu;
  if (TModalScope::Open() > 0) return TBusy::Dialog;
  if (Tag != 0) return TBusy::OwnWindow;
  return TBusy::Idle;
}

void TVesko2MainForm::OfferCommand(TAction* action, std::function<void()> run, const void* key) {
  TInput input = TInput::Command;
  if (action == &CloseAction) input = TInput::Quit;
  if (action == &IncomingBossAction) input = TInput::BossKey;
  Gate.Offer(input, std::move(run), key);
}

void TVesko2MainForm::StartBusyLook() {
  KillTimer(Handle(), kBusyLookTimer);
  if (TPumpedWait::Depth() == 0 || busyLook_) return;
  busyLook_ = std::make_unique<TBusyScope>(Busy(), kWaitingColor, "Loading..");
  busyHint_ = "読み込み中 " + ExtractFileName(List.MainListBox.Current());
}

void TVesko2MainForm::EndBusyLook() {
  KillTimer(Handle(), kBusyLookTimer);
  busyLook_.reset();
  busyHint_.clear();
}

void TVesko2MainForm::AfterWait() {
  TPumpedWait::Resume();
  changeGivenUp_ = false;
  if (closeRequested_) {
    closeRequested_ = false;
    Gate.Clear();
    PostMessageW(Handle(), WM_CLOSE, 0, 0);
    return;
  }
  if (!Gate.Release()) KillTimer(Handle(), kGateTimer);
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
        static const char kShowMessage = 0;
        OfferCommand(
            nullptr, [this] { PanelDblClick(); }, &kShowMessage);
      }
      return 0;
    case WM_SETCURSOR:
      if (busyLook_ && LOWORD(lParam) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
        return TRUE;
      }
      break;
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
    case WM_DISPLAYCHANGE:
      DisplayChanged();
      break;
    case WM_DPICHANGED: {
      DisplayChanged();
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
      if (wParam == kDisplayTimer) DisplayTimerTimer();
      if (wParam == kWaitingTimer) WaitingTimerTimer();
      if (wParam == kSaveTimer) Gate.Offer(TInput::Housekeeping, [this] { SaveIfChanged(); });
      if (wParam == kGateTimer && !Gate.Release()) KillTimer(Handle(), kGateTimer);
      if (wParam == kBusyLookTimer) StartBusyLook();
      if (wParam == kSignInTimer) DeferredStart();
      return 0;
    case WM_COPYDATA:
      if (lParam != 0) OnCopyData(*reinterpret_cast<const COPYDATASTRUCT*>(lParam));
      return 0;
    case kAfterWaitMessage:
      AfterWait();
      return 0;
    case WM_CLOSE:
      if (TPumpedWait::Depth() > 0) {
        // Inside a plug-in call: it is given up, and the window closes once it has unwound.
        closeRequested_ = true;
        TPumpedWait::Cancel();
        PostMessageW(Handle(), kAfterWaitMessage, 0, 0);
        return 0;
      }
      if (!startedUp_ && !startDeferred_) {
        // A box of the start is open while the window is being made: the window closes once
        // it is answered, and the start's first change is left out.
        closeRequested_ = true;
        return 0;
      }
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
