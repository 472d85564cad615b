// The main window's settings: read at creation (with the start-up sequence after them), written
// when they change and at every close, and the close that never fails because the file cannot
// be written.
#include "app/Application_win.h"
#include "app/MainForm_win.h"
#include "app/QuietDialogs.h"
#include "app/StartUp.h"
#include "app/WelcomeBalloon_win.h"
#include "base/Dialogs.h"
#include "base/FileIO_win.h"
#include "base/IniFile.h"
#include "base/PumpedWait_win.h"
#include "base/Unicode_win.h"

void TVesko2MainForm::LoadSettings() {
  IniFile ini;
  const bool firstStart = !FileExists(IniFileName);
  if (!firstStart) {
    // An existing file that cannot be read (held by another program, no permission): say so,
    // start with the defaults, and never overwrite it at close.
    try {
      ini = IniFile::Parse(FileTextToUtf8(ReadWholeFile(IniFileName)));
    } catch (const std::exception& error) {
      settingsReadable_ = false;
      env_.Dialogs.ShowError(error);
    }
  }
  // Whatever goes wrong while the values are read, the program keeps its window, hotkeys and
  // start-up: the error is shown and the defaults stand for what was not read.
  try {
    TScreenMetrics screen;
    screen.WindowHeight = Scale(kPanelHeight);
    screen.DesktopHeight = GetSystemMetrics(SM_CYSCREEN);
    ReadSettings(ini, Settings, screen);
    if (firstStart) ApplyFirstStartDefaults(Settings);
    HistoryIni.Load(ini);
  } catch (const std::exception& error) {
    env_.Dialogs.ShowError(error);
  }
  // A key another program holds is simply not active.
  HookHotKey->RegisterKey(1, Settings.ActiveKey);
  HookHotKey->RegisterKey(2, Settings.IncomingBossKey);
  SetWindowPos(Handle(), nullptr, Settings.Left, Settings.Top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  savedPaper_ = Settings.PaperName;
  savedText_ = SettingsText(savedPaper_);
  savedAt_ = GetTickCount();
  TAction::AfterCommand = [this] { SaveIfChanged(); };
  ApplyTimer();
  ApplyPluginTimeout();

  ShowWindow(Handle(), SW_SHOWNORMAL);
  env_.Application.ShowTaskbarButton();
  UpdateWindow(Handle());
  // At sign-in the first change waits until the desktop has settled, rather than compete with
  // the sign-in for the disk; the picture of the last session is on the desktop meanwhile.
  if (env_.Quiet != nullptr) {
    startDeferred_ = true;
    SetTimer(Handle(), kSignInTimer, kSignInSettleMs, nullptr);
    return;
  }
  if (!closeRequested_) RunStart();
}

void TVesko2MainForm::DeferredStart() {
  KillTimer(Handle(), kSignInTimer);
  if (!startDeferred_) return;
  startDeferred_ = false;
  try {
    RunStart();
  } catch (const std::exception& error) {
    env_.Dialogs.ShowError(error);
  }
  FinishStart();
}

void TVesko2MainForm::FinishStart() {
  // What arrived during the start (a second start's folder, keys) acts now, after its change.
  startedUp_ = true;
  EndQuietStart();
  if (closeRequested_) {
    closeRequested_ = false;
    PostMessageW(Handle(), WM_CLOSE, 0, 0);
    return;
  }
  if (Gate.Holding()) SetTimer(Handle(), kGateTimer, kGatePollMs, nullptr);
}

void TVesko2MainForm::EndQuietStart() {
  if (env_.Quiet == nullptr || !env_.Quiet->Quiet()) return;
  env_.Quiet->SetQuiet(false);
  const std::vector<std::string> held = env_.Quiet->TakeHeld();
  if (held.empty()) return;
  heldReport_.clear();
  for (const std::string& text : held) heldReport_ += (heldReport_.empty() ? "" : "\r\r") + text;
  // Once, in the tray icon's balloon: its first line, the whole text behind a click.
  std::string first = held.front().substr(0, held.front().find_first_of("\r\n"));
  if (first.size() > 180) first = first.substr(0, 180) + "…";
  if (held.size() > 1) first += "（ほか " + std::to_string(held.size() - 1) + " 件）";
  if (TaskTray->Registered() &&
      TaskTray->ShowBalloon("Vesko 2 の起動", first + "\r\nクリックすると詳しく表示します")) {
    return;
  }
  // Without the tray icon, the panel's balloon says it, and a click on the panel tells it all.
  HideWelcome();
  const std::wstring text = ToWide(first + "\r\nパネルをクリックすると詳しく表示します");
  Welcome = std::make_unique<TWelcomeBalloon>(Handle(), dpi_, L"Vesko 2 の起動", text.c_str());
}

void TVesko2MainForm::ShowHeldReport() {
  const std::string report = std::exchange(heldReport_, {});
  if (!report.empty()) env_.Dialogs.ShowMessage(report);
}

void TVesko2MainForm::RunStart() {
  TStartUpHooks hooks;
  // /R: the start's change is made first, plug-in calls and all; the program then ends, with
  // exit code 1 when no wallpaper could be set, for the scripts and scheduled tasks that use it.
  bool quitAfterStart = false;
  hooks.RequestQuit = [this, &quitAfterStart] {
    quitting_ = true;  // a start that only sets a wallpaper writes no settings
    quitAfterStart = true;
  };
  hooks.SetMessageFile = [this](const std::string& file) { MessageFile = file; };
  hooks.ReportError = [this](const std::exception& error) {
    reportedFailure_ = error.what();
    env_.Dialogs.ShowError(error);
  };
  // From the first picture on, a plug-in call keeps the window answering (the plug-in search
  // before it waits plainly: the window is not ready for its messages then).
  TPumpedWait::SetEnabled(true);
  const int setBefore = wallpapersSet_;
  const TUnattended unattended(*this);
  RunStartUpSequence(List, Settings, files_, env_.Arguments, OpenFileAction, hooks);
  if (quitAfterStart) {
    env_.Application.Terminate(wallpapersSet_ > setBefore ? 0 : 1);
    return;
  }
  // Until a source has been chosen, a start explains the panel.
  if (List.MainListBox.Empty() && Settings.PaperFolder.empty()) ShowWelcome();
}

std::string TVesko2MainForm::SettingsText(const std::string& paperName) {
  TSettings settings = Settings;
  RECT r{};
  GetWindowRect(Handle(), &r);
  settings.Top = r.top;
  settings.Left = r.left;
  // Until the first paint has put the program back where it was, the file's word stands.
  if (painted_) settings.Tray = TaskTray->Registered();
  settings.PaperName = paperName;
  IniFile ini;
  WriteSettings(ini, settings);
  return ini.ToText();
}

void TVesko2MainForm::SaveSettings() {
  if (!settingsReadable_) return;
  const std::string text = SettingsText(Settings.PaperName);
  RECT r{};
  GetWindowRect(Handle(), &r);
  Settings.Top = r.top;
  Settings.Left = r.left;
  if (painted_) Settings.Tray = TaskTray->Registered();
  IniFile ini;
  if (FileExists(IniFileName)) ini = IniFile::Parse(FileTextToUtf8(ReadWholeFile(IniFileName)));
  WriteSettings(ini, Settings);
  HistoryIni.Save(ini);
  WriteFileAtomically(IniFileName, Utf8ToFileText(ini.ToText()));
  savedText_ = text;
  savedPaper_ = Settings.PaperName;
  savedAt_ = GetTickCount();
}

bool TVesko2MainForm::SaveReportingOnce() {
  try {
    SaveSettings();
    saveFailureShown_ = false;
    return true;
  } catch (const std::exception& error) {
    // Kept in memory, and tried again at the next change and at the close.
    if (!saveFailureShown_) {
      saveFailureShown_ = true;
      env_.Dialogs.ShowError(error);
    }
    return false;
  }
}

void TVesko2MainForm::SaveIfChanged() {
  KillTimer(Handle(), kSaveTimer);
  if (quitting_ || closing_ || closeRequested_ || !settingsReadable_) return;
  // Inside a plug-in call a change is under way, its picture not yet the wallpaper.
  if (TPumpedWait::Depth() > 0 || TModalScope::Open() > 0) {
    SetTimer(Handle(), kSaveTimer, 1000, nullptr);
    return;
  }
  const std::string text = SettingsText(Settings.PaperName);
  if (text == savedText_) return;
  // Only the picture moved: written at most every few seconds, the last one always.
  const uint32_t since = GetTickCount() - savedAt_;
  if (SettingsText(savedPaper_) == savedText_ && since < kPictureSaveMs) {
    SetTimer(Handle(), kSaveTimer, kPictureSaveMs - since, nullptr);
    return;
  }
  SaveReportingOnce();
}

void TVesko2MainForm::SaveSettingsQuietly() {
  SaveReportingOnce();
}

void TVesko2MainForm::FormCloseQuery(bool report) {
  // A screen saver paused by the program is switched on again.
  // Through the command itself, so that its tag and caption say so too (a logoff that is
  // cancelled leaves the program running).
  if (PauseScreenSacverAction.Tag < 0) PauseScreenSacverActionExecute(PauseScreenSacverAction);
  if (FileExists(HelpFile)) WinHelpW(Handle(), ToWide(HelpFile).c_str(), HELP_QUIT, 0);
  KillTimer(Handle(), kSaveTimer);
  try {
    SaveSettings();
  } catch (const std::exception& error) {
    // Said once already when it first failed.
    if (report && !saveFailureShown_) env_.Dialogs.ShowError(error);
  }
}
