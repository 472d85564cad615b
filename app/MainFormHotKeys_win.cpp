// The main window's global hotkeys, the boss picture and the screen-saver commands.
#include "app/MainForm_win.h"
// After windows.h.
#include <shellapi.h>

#include "app/Application_win.h"
#include "base/FileIO_win.h"
#include "base/Path.h"
#include "base/Unicode_win.h"

namespace {

// The top-right corner of the shell's notification area, where the menu opens in tray mode;
// the pointer's position on a desktop without one.
POINT NotificationAreaCorner() {
  POINT at{};
  GetCursorPos(&at);
  HWND taskbar = FindWindowW(L"Shell_TrayWnd", L"");
  if (taskbar == nullptr) taskbar = FindWindowW(L"Shell_TrayWnd", nullptr);
  HWND area =
      taskbar != nullptr ? FindWindowExW(taskbar, nullptr, L"TrayNotifyWnd", nullptr) : nullptr;
  RECT r{};
  if (area != nullptr && GetWindowRect(area, &r)) at = {r.right, r.top};
  return at;
}

}  // namespace

void TVesko2MainForm::HookHotKeyHotKey(int index) {
  if (index != 1) {
    // The boss key: the handler itself checks for the boss picture.
    Gate.Offer(TInput::BossKey, [this] { IncomingBossActionExecute(IncomingBossAction); });
    return;
  }
  Gate.Offer(TInput::MenuHotKey, [this] { MenuHotKey(); });
}

void TVesko2MainForm::MenuHotKey() {
  if (Settings.HotAct) {
    if (TaskTray->Registered()) {
      TrayActionExecute();
    } else {
      env_.Application.Restore();
    }
    return;
  }
  if (TaskTray->Registered()) {
    const POINT at = NotificationAreaCorner();
    PopupMenu->Popup(at.x, at.y);
    return;
  }
  RECT r{};
  GetWindowRect(Handle(), &r);
  PopupMenu->Popup(r.left + (r.right - r.left) / 2, r.top + (r.bottom - r.top) / 2);
}

void TVesko2MainForm::IncomingBossActionExecute(TAction& sender) {
  if (!FileExists(Settings.IncomingBossFileName)) return;
  sender.Tag = -sender.Tag;
  if (sender.Tag < 0) {
    // The boss picture goes through the same composition as any picture, into its own file;
    // whatever the holder held is put back afterwards.
    std::unique_ptr<TGraphic> kept = Image.ReleaseGraphic();
    LoadPictureIntoImage(Settings.IncomingBossFileName, Image);
    // No message: it would name the picture the boss picture hides.
    ApplyWallpaper(BossPaperName, false);
    Image.TakeGraphic(std::move(kept));
    return;
  }
  Loader.LoadPictureFile(Settings.PaperName, Image);
  ApplyWallpaper(TmpPaperName);
}

void TVesko2MainForm::IncomingBossActionUpdate(TAction& sender) {
  sender.Enabled = FileExists(Settings.IncomingBossFileName);
}

std::string TVesko2MainForm::GetScreenSaverPath() {
  wchar_t path[MAX_PATH * 2] = {};
  GetPrivateProfileStringW(L"boot", L"SCRNSAVE.EXE", L"", path, MAX_PATH * 2, L"system.ini");
  if (path[0] != L'\0') return ToUtf8(path);
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\desktop", 0, nullptr, 0, KEY_QUERY_VALUE,
                      nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return {};
  }
  DWORD type = 0;
  DWORD size = sizeof path - sizeof(wchar_t);
  const LSTATUS status =
      RegQueryValueExW(key, L"SCRNSAVE.EXE", nullptr, &type, reinterpret_cast<BYTE*>(path), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
  path[size / sizeof(wchar_t)] = L'\0';
  return ToUtf8(path);
}

void TVesko2MainForm::StartScreenSacverActionExecute() {
  const std::string path = GetScreenSaverPath();
  if (path.empty() || !FileExists(path)) return;
  // Starting it takes the focus away: that one loss does not send the program to the tray.
  SkipDeactivate = true;
  ShellExecuteW(Handle(), L"open", ToWide(path).c_str(), L"", L"", SW_SHOW);
}

void TVesko2MainForm::PauseScreenSacverActionExecute(TAction& sender) {
  if (sender.Tag > 0) {
    // Off for this logon only; the user's profile keeps its setting.
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, 0, nullptr, 0);
    sender.Caption = "スクリーンセーバ停止解除";
  } else {
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, 1, nullptr, SPIF_UPDATEINIFILE);
    sender.Caption = "スクリーンセーバ一時停止";
  }
  sender.Tag = -sender.Tag;
}
