// The main window: a tiny borderless panel that owns all program state (settings, the picture
// lists, the commands) for the life of the process. Creating it reads the settings and runs the
// start-up sequence; closing it writes the settings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "base/Action.h"
#include "base/Keyboard.h"
#include "base/Random.h"
#include "base/Window_win.h"
#include "decode/Picture.h"
#include "decode/SPIs_win.h"
#include "engine/BusyDisplay.h"
#include "engine/FileSystem_win.h"
#include "engine/PictureList.h"
#include "engine/PictureLoader_win.h"

class IDialogs;
class TApplication;

struct TMainFormEnv {
  TApplication& Application;
  IDialogs& Dialogs;
  std::vector<std::string> Arguments;   // the command line without the program
  std::string ProgramPath;              // the full path of the program file
  std::string CurrentDirectory;         // at start, without a trailing separator
  const IKeyboard* Keyboard = nullptr;  // null: the real keyboard
};

class TVesko2MainForm final : public TWindowBase, public TComponent, private IBusyDisplay {
 public:
  static constexpr const wchar_t* kClassName = L"TVesko2MainForm";
  static constexpr uint32_t kPanelColor = 0xD2E4F4;  // RGB(244, 228, 210)

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

  TAction OpenFileAction{1, "ファイル.."};
  TAction OpenFolderAction{-1, "フォルダ.."};
  TAction SaveListAction{0, "ファイルリストの保存.."};
  TAction LoadListAction{0, "ファイルリストの読み込み.."};
  TAction ReloadFolderAction{0, "フォルダの再読込"};
  TAction CloseAction{0, "終了"};
  TAction ViewModeAction{0, "ビューモード"};
  TAction NextAction{1, ""};
  TAction PreAction{-1, ""};
  TAction TimerAction{0, "タイマー"};
  TAction ReloadAction{0, "再読込"};
  TAction BetterReloadAction{0, "画質優先で再読込"};
  // The context menu's "次へ" and "前へ": plain entries without a tag, so both step backward.
  TComponent NextMenuItem{0};
  TComponent PreMenuItem{0};
  TAction JumpAction{0, "指定名を表示.."};
  TAction ClipPasteAction{0, "クリップボードの画像をセット"};
  TAction TileAction{1, "タイル"};
  TAction CenterAction{0, "センター"};
  TAction WideAction{2, "ワイド"};
  TAction NotWallpaperAction{0, "壁紙無し"};
  // Its tag is the boss-key toggle, which the view mode starts afresh.
  TAction IncomingBossAction{1, "ボスが来た"};

  IDialogs& Dialogs() { return env_.Dialogs; }
  IBusyDisplay& Busy() { return *this; }

  void ViewModeActionExecute();

  // Loads the entry under the PictureList cursor (skipping forward past entries that do not
  // load, each at most once) and makes it the wallpaper; true when a picture was set.
  bool SetCurrentPicture();
  // Next or previous by the sender's tag (> 0 forward); with Ctrl held (and not Shift) only a
  // preview of that entry. The change timer waits while it runs and restarts afterwards.
  void NextActionExecute(const TComponent& sender);
  void TimerTimer() { NextActionExecute(NextAction); }
  void ShowPreview(const std::string& entry);
  // Starts or stops the change timer from the settings (interval in ms, enabled state).
  void ApplyTimer();
  // Enables the file commands while the file PaperName exists.
  void FileExistsPaper(TAction& sender);
  // Runs the first command whose shortcut (key | 0x2000 Shift | 0x4000 Ctrl | 0x8000 Alt)
  // matches; false when none does.
  bool RunShortCut(uint16_t shortCut);
  void ClipPasteActionExecute();
  // Finishes the picture in Image (fit, message), writes it to `path` and sets it; an empty
  // path removes the wallpaper.
  void ApplyWallpaper(const std::string& path);
  std::string GetMessageText();
  void DrawMessage();
  void SetTileMode(int mode);

  std::string RealFileName;  // the target of a shortcut entry
  std::string LastMessage;
  int SeparatorCount = 0;
  std::string PanelHint;  // the file name of the current wallpaper
  std::string TrayTip;
  void LoadSettings();
  void SaveSettings();
  // Every close request: writes the settings. An error keeps the window open.
  void FormCloseQuery();

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
  bool closing_ = false;  // the close path ends the message loop
};
