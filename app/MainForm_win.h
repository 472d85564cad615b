// The main window: a tiny borderless panel that owns all program state (settings, the picture
// lists, the commands) for the life of the process. Creating it reads the settings and runs the
// start-up sequence; closing it writes the settings.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/Commands.h"
#include "app/ContextMenu_win.h"
#include "app/HookHotKey_win.h"
#include "app/InputGate.h"
#include "app/Settings.h"
#include "app/TaskTray_win.h"
#include "app/WelcomeBalloon_win.h"
#include "base/Action.h"
#include "base/Keyboard.h"
#include "base/Random.h"
#include "base/Window_win.h"
#include "decode/Picture.h"
#include "decode/SPIs_win.h"
#include "engine/BusyDisplay.h"
#include "engine/ChangeGate.h"
#include "engine/FileSystem_win.h"
#include "engine/HistoryIni.h"
#include "engine/Monitors_win.h"
#include "engine/PictureList.h"
#include "engine/PictureLoader_win.h"
#include "files/EditorList.h"
#include "files/FileDrop_win.h"
#include "files/FileOperation_win.h"
#include "files/SysInfo_win.h"

class IDialogs;
class TApplication;
class TQuietDialogs;

struct TMainFormEnv {
  TApplication& Application;
  IDialogs& Dialogs;
  std::vector<std::string> Arguments;   // the command line without the program
  std::string ProgramPath;              // the full path of the program file
  std::string CurrentDirectory;         // at start, without a trailing separator
  const IKeyboard* Keyboard = nullptr;  // null: the real keyboard
  // A start at sign-in: Dialogs holds its boxes until the start is over (null otherwise).
  TQuietDialogs* Quiet = nullptr;
};

class TVesko2MainForm final : public TWindowBase,
                              public TComponent,
                              public TCommands,
                              private IBusyDisplay {
 public:
  static constexpr const wchar_t* kClassName = L"TVesko2MainForm";
  static constexpr uint32_t kPanelColor = 0xD2E4F4;  // RGB(244, 228, 210)
  // The panel at 96 dots per inch; the window scales it to its screen.
  static constexpr int kPanelWidth = 45;
  static constexpr int kPanelHeight = 35;

  // FormCreate: everything up to and including the start-up sequence.
  explicit TVesko2MainForm(TMainFormEnv env);
  ~TVesko2MainForm() override;

  TSettings Settings;
  // The plug-in host: made and searched before the window's creation step.
  TSPIs SPIs;
  TPictureList List;
  // The picture being set, and the loading that fills it.
  TPicture Image;
  TPictureLoader Loader;
  std::string IniFileName;
  std::string TmpPaperName;
  std::string BossPaperName;
  std::string MessageFile;
  std::string HelpFile;
  uint32_t StartTick = 0;

  // The notification-area icon (identifier 1) and the context menu it shares with the window.
  std::unique_ptr<TTaskTray> TaskTray;
  std::unique_ptr<TContextMenu> PopupMenu;
  // The context menu's items as data: the history fills the "履歴" item.
  TMenuItem PopupMenuItems{"", ""};
  TMenuItem* HistoryMen = nullptr;
  THistoryIni HistoryIni;
  // A source picked from the history: a list file (".V2List") is loaded, anything else opened.
  void HistoryIniHistorySelected(const std::string& fileName);
  // The activation key (1) and the boss key (2), working from any program.
  std::unique_ptr<THookHotKey> HookHotKey;
  // Set by the screen-saver start: the next loss of focus does not send the program to the tray.
  bool SkipDeactivate = false;

  IDialogs& Dialogs() { return env_.Dialogs; }
  IBusyDisplay& Busy() { return *this; }

  void ViewModeActionExecute();

  // Loads the entry under the PictureList cursor (skipping past entries that do not load, in
  // the direction of travel, each at most once) and makes it the wallpaper; true when a
  // picture was set.
  bool SetCurrentPicture(bool forward = true);
  // Next or previous by the sender's tag (> 0 forward); with Ctrl held (and not Shift) only a
  // preview of that entry. The change timer waits while it runs and restarts afterwards.
  void NextActionExecute(const TComponent& sender);
  // A tick steps forward, unless a command or one of the program's dialogs is under way; while
  // the system says the user is busy (and the settings ask for it) the change waits, the tray
  // icon's tooltip says why, and it happens once the user is free again.
  void TimerTimer();
  // What the system says of the user: the real query, or a stand-in in tests.
  std::function<TSystemState()> SystemState;
  void ShowPreview(const std::string& entry);
  // Starts or stops the change timer from the settings (interval in ms, enabled state); while
  // a command holds it, it stays stopped until the command ends.
  void ApplyTimer();
  // Holds the change timer for the life of a command: ticks wait for the command (and its
  // dialogs), and a full interval starts afresh when the last hold ends.
  class TTimerHold {
   public:
    explicit TTimerHold(TVesko2MainForm& form);
    TTimerHold(const TTimerHold&) = delete;
    TTimerHold& operator=(const TTimerHold&) = delete;
    ~TTimerHold();

   private:
    TVesko2MainForm& form_;
  };
  // Enables the file commands while the file PaperName exists.
  void FileExistsPaper(TAction& sender);
  // Runs the command of a key (key | 0x2000 Shift | 0x4000 Ctrl | 0x8000 Alt): the context
  // menu's entries first, then the command table; false when none has it.
  bool RunShortCut(uint16_t shortCut);
  // The context menu's tree, as it is built each time the menu opens.
  std::vector<TMenuEntry> ContextMenuEntries();
  // Window mode (false) or notification-area mode (true). Fails with the tray icon's error,
  // leaving the window as it was, when the icon cannot be added.
  void SetTrayMode(bool inTray);
  void TrayActionExecute() { SetTrayMode(!TaskTray->Registered()); }
  void TaskTrayDblClick() { SetTrayMode(false); }
  // The application lost the focus.
  void ApplicationEventsDeactivate();
  // Shows the message last drawn on the wallpaper, without its leading empty lines.
  void PanelDblClick();
  // A hotkey: 1 pops the context menu up (or, with HotAct, brings the window back); any other
  // runs the boss command.
  void HookHotKeyHotKey(int index);
  // Swaps the wallpaper for the boss picture (the sender's tag turning negative) and back.
  void IncomingBossActionExecute(TAction& sender);
  void IncomingBossActionUpdate(TAction& sender);
  // The configured screen saver: system.ini's [boot] SCRNSAVE.EXE, else the user's
  // Control Panel\desktop value; empty when neither names one.
  std::string GetScreenSaverPath();
  void StartScreenSacverActionExecute();
  void PauseScreenSacverActionExecute(TAction& sender);
  // The options dialog over the window (or, with Shift and without Ctrl, the settings file in
  // the shell's editor); on OK the settings, the timer and the hotkeys take the new values.
  void OptionActionExecute(TAction& sender);
  // The program's state as a plain message box.
  void PropActionExecute();
  // The about box with the program's versions, shown without waiting.
  void AboutActionExecute();
  // The current picture in the graphics editor (asked for when its file is gone).
  void G_EditorActionExecute();
  // A menu of the programs in the user's list file at the mouse; the one picked opens the
  // current picture.
  void G_SelectEditorActionExecute(TAction& sender);
  std::unique_ptr<TContextMenu> CommandoPopupMenu;
  // Files dragged onto the window open as a source.
  std::unique_ptr<TFileDrop> FileDrop;
  // The shell's copies and deletes of the file commands.
  TFileOperation FileOperation{nullptr};
  // Moves the current picture's file to the recycle bin (tag 1) or deletes it (tag -1), or,
  // for a picture of a list file, takes it out of the list file on request; then the picture
  // leaves the lists and the next one is shown.
  void TrushActionExecute(TAction& sender);
  // Puts the current picture on the exclusion list, and the next one is shown; the boss
  // picture on the desktop is no list picture and stays.
  void ExcludeActionExecute();
  void UndoExcludeActionExecute();
  void ExcludeActionUpdate(TAction& sender);
  // The current entry's path as the clipboard's text.
  void CopyFileNameActionExecute();
  // Copies the current picture's file (tag 1) or makes a shortcut to it (tag -1) in a folder
  // chosen through the favourites or the folder browser.
  void CopyActionExecute(TAction& sender);
  // The favourite folders dialog for a copy or shortcut (`word` names which); the chosen folder
  // or an empty text. The slots edited in the dialog are kept whatever its outcome.
  std::string ChooseDestinationFolder(const std::string& word);
  TSysInfo SysInfo;
  void ClipPasteActionExecute();
  // Finishes the picture in Image (fit, message unless `withMessage` is off), writes it to
  // `path` and sets it; an empty path removes the wallpaper.
  void ApplyWallpaper(const std::string& path, bool withMessage = true);
  std::string GetMessageText();
  // Draws the next message, its $FileName the name of `fileName`, on the picture; the text.
  std::string DrawMessage(TPicture& picture, const std::string& fileName);
  // The desktop's tile (1), centre (0) or wide (2) mode; the program's own fill or fit ends.
  void SetTileMode(int mode);
  // The program's own scaling (the FitMode setting); the current picture is made again.
  void SetScreenFit(int mode);
  // The monitors, read again on a change of the display or its density.
  TMonitorLayout Monitors;
  void RefreshMonitors();
  // Where the layout comes from (the system's when empty) and the system's wallpaper per
  // monitor: tests put made-up ones in place.
  std::function<TMonitorLayout()> ReadMonitors;
  std::function<std::unique_ptr<IMonitorWallpaper>()> OpenSystemWallpaper = OpenMonitorWallpaper;
  // The bitmap file of monitor `index` where the system takes one per monitor.
  std::string MonitorPaperName(size_t index) const;

  std::string RealFileName;  // the target of a shortcut entry
  std::string LastMessage;
  int SeparatorCount = 0;
  std::string PanelHint;  // the file name of the current wallpaper
  void LoadSettings();
  void SaveSettings();
  // SaveSettings for the commands that keep a chosen folder at once: a file that cannot be
  // written never stops the command; its first failure is reported once.
  void SaveSettingsQuietly();
  // Settings are written when they change, not only at close, so that a kill or a power cut
  // loses none: after every command that changed one, at once, and after a change of picture
  // at most every kPictureSaveMs (the picture alone changes often). Never inside a plug-in call,
  // where a change is only under way: a timer tries again.
  void SaveIfChanged();
  // SaveSettings that reports the first failure in a row, once; false when it failed.
  bool SaveReportingOnce();
  // The settings as the file would hold them, the window's place and the tray as they are now.
  std::string SettingsText(const std::string& paperName);
  // Every close request: writes the settings. Closing is always allowed: a settings file that
  // cannot be written is reported (when `report`, never during a logoff) and the close goes on.
  void FormCloseQuery(bool report = true);

  // The balloon that explains the panel on a start without a source (null when none shows).
  std::unique_ptr<TWelcomeBalloon> Welcome;
  // Everything that arrives from outside passes here (the table is beside the commands), the
  // view mode's keys too.
  TInputGate Gate;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  class TTickClock final : public IClock {
   public:
    uint32_t TickCount() override { return GetTickCount(); }
  };

  void BindActions();
  void Paint();
  void PanelMouseDown(int x, int y);
  // Whether a point of the client area lies on one of the panel's buttons.
  bool PanelButtonAt(int x, int y) const;
  void PanelMouseMove(int x, int y);
  // Window sizes at the window's current dots per inch (designed at 96).
  int Scale(int size) const;
  RECT ScaleRect(const RECT& rect) const;
  void ApplyDpi(UINT dpi);
  void CreateHints();
  bool ShiftDown() const;
  bool CtrlDown() const;
  void ShowContextMenu(POINT at);
  void OnCopyData(const COPYDATASTRUCT& data);

  uint32_t PanelColor() override { return panelColor_; }
  void SetPanelColor(uint32_t color) override;
  void SetAppTitle(const std::string& title) override;
  std::string Caption() override;
  void SetWaitCursor(bool wait) override;

  TMainFormEnv env_;
  TWinFileSystem files_;
  TRandom random_{0};
  TTickClock clock_;
  uint32_t panelColor_ = kPanelColor;
  // False when an existing settings file could not be read: it is then never overwritten.
  bool settingsReadable_ = true;
  std::string savedText_;          // the settings as last written (or read)
  std::string savedPaper_;         // the picture they name
  uint32_t savedAt_ = 0;           // when they were last written (the tick count)
  bool saveFailureShown_ = false;  // the last write failed and that was reported
  static constexpr UINT_PTR kSaveTimer = 6;
  static constexpr uint32_t kPictureSaveMs = 5000;
  bool quitting_ = false;        // /R: the start ends without writing the settings
  int wallpapersSet_ = 0;        // pictures made the wallpaper since the start
  std::string reportedFailure_;  // the last failure of a start or a tick that was reported
  // A change nobody asked for just now (the start's, the timer's) is under way: a failure that
  // repeats on every tick (a folder that cannot be written, no readable picture, a vanished
  // source) is reported once, until a change succeeds or another failure comes.
  int unattended_ = 0;
  struct TUnattended {
    explicit TUnattended(TVesko2MainForm& form) : form_(form) { ++form_.unattended_; }
    TUnattended(const TUnattended&) = delete;
    TUnattended& operator=(const TUnattended&) = delete;
    ~TUnattended() { --form_.unattended_; }

   private:
    TVesko2MainForm& form_;
  };
  // Whether to report `failure` now (and remember it as reported).
  bool ReportOnce(const std::string& failure);
  bool closing_ = false;  // the close path ends the message loop
  // A close asked for inside a plug-in call, or while a box of the start is open: the change
  // stops (or the start leaves it out) and the window closes after it.
  bool closeRequested_ = false;
  // The boss key gave up the plug-in call under way: the change stops, the boss comes after it.
  bool changeGivenUp_ = false;
  bool bossOnDesktop_ = false;               // the last wallpaper set was the boss picture
  static constexpr UINT_PTR kGateTimer = 7;  // looks whether what the gate holds may act
  static constexpr UINT kGatePollMs = 100;
  TBusy BusyState();
  bool startedUp_ = false;  // the start-up sequence is over
  // At sign-in the start-up sequence waits for the desktop to settle, or for the user.
  static constexpr UINT_PTR kSignInTimer = 9;
  static constexpr UINT kSignInSettleMs = 8000;
  bool startDeferred_ = false;
  void RunStart();
  void DeferredStart();
  // The start is over: what arrived meanwhile may act, and what a start at sign-in held is told.
  void FinishStart();
  std::string heldReport_;  // told by a click on the balloon (or on the panel without a tray)
  void EndQuietStart();
  void ShowHeldReport();
  // A plug-in call that lasts: the panel takes a signal colour, the hourglass-and-arrow cursor
  // and the picture's name in its hint, until the call ends.
  static constexpr UINT_PTR kBusyLookTimer = 8;
  static constexpr UINT kBusyLookMs = 500;
  static constexpr uint32_t kWaitingColor = 0x0000FFFF;  // yellow
  std::unique_ptr<TBusyScope> busyLook_;
  std::string busyHint_;
  void StartBusyLook();
  void EndBusyLook();
  void MenuHotKey();  // the menu, or the window back, as the settings say
  // A command chosen by a key, the menu, the tray or a panel button.
  void OfferCommand(TAction* action, std::function<void()> run, const void* key);
  std::set<std::string> reportedPlugins_;  // plug-ins named as left for this session
  // Puts the cursors back on the picture shown, so that the next change steps from there.
  void BackToShownPicture();
  // Names, in one box, the plug-ins a change left for the rest of the session (their calls
  // failed on three files), each once.
  void ReportLeftPlugins();
  void AfterWait();
  // The plug-in calls' deadline from the settings.
  void ApplyPluginTimeout();
  int timerHolds_ = 0;  // commands under way that hold the change timer
  static constexpr UINT_PTR kChangeTimer = 1;
  // After a change has settled, the pixel memory kept for quick changes is given back.
  static constexpr UINT_PTR kReleaseTimer = 2;
  static constexpr UINT kReleaseDelayMs = 2000;
  void ReleaseTimerTimer();
  void ReleaseMemory();
  // With a picture per monitor: the further monitors' pictures, the making of every monitor's
  // picture and handing them to the system.
  void ApplyPerMonitor(bool withMessage);
  // The desktop's display mode from before a picture per monitor: kept once, given back.
  void KeepDesktopMode();
  void RestoreDesktopMode();
  void ApplySingleWallpaper(const std::string& path, bool withMessage);
  void LoadFurtherPicture(const std::string& entry, TPicture& holder);
  // How many entries a change steps: forward with a picture per monitor, past the pictures the
  // last change showed in a row.
  int StepsPerChange(bool forward) const;
  int monitorsStep_ = 1;
  static constexpr UINT_PTR kWelcomeTimer = 3;
  // The display changed (a monitor plugged in, turned, another DPI): the wallpaper is made
  // again once the layout has settled for this long.
  static constexpr UINT_PTR kDisplayTimer = 4;
  // While a timed change waits for the user, the system is asked again every few seconds.
  static constexpr UINT_PTR kWaitingTimer = 5;
  static constexpr UINT kWaitingPollMs = 3000;
  std::string timedChangeWaits_;  // why a timed change waits; empty when none does
  void WaitingTimerTimer();
  void TimedChange();
  // No timed change waits any more: the polling stops and the tooltip names the picture again.
  void EndTimedWait();
  static constexpr UINT kDisplaySettleMs = 1500;
  void DisplayChanged();
  void DisplayTimerTimer();
  static constexpr UINT kWelcomeMs = 60000;
  void ShowWelcome();
  void HideWelcome();
  bool wallpaperCropped_ = false;  // the last wallpaper holds only what its mode showed
  bool painted_ = false;           // the first paint has decided between window and tray mode
  UINT dpi_ = 96;
  HWND hints_ = nullptr;  // the tooltip window (destroyed with this window)
  int hintArea_ = -1;     // which part of the panel the hint describes
  std::string hintText_;
  std::vector<TMenuEntry> CommandoMenuEntries();
  std::vector<TEditorEntry> commandoEntries_;
  TComponent commandoItem_;
};
