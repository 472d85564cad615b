// Global hotkeys, the boss picture and the screen-saver commands, on the real window, registry
// and system settings.
#include <doctest/doctest.h>

#include <stdexcept>

#include "FormFixture_win.h"
#include "app/HookHotKey_win.h"

namespace {

// A window of the test's own to own hotkeys and take the foreground.
class TPlainWindow final : public TWindowBase {
 public:
  TPlainWindow() {
    CreateHandle(L"VeskoTestPlain", L"plain", WS_POPUP | WS_VISIBLE, 0, 600, 600, 20, 20, nullptr);
  }
  ~TPlainWindow() override { DestroyHandle(); }
};

// A main window on a folder of three pictures, with a boss picture beside it.
struct BossFixture : FormFixture {
  std::unique_ptr<TVesko2MainForm> form;
  std::wstring boss = dir / L"boss.bmp";

  BossFixture() {
    CreateDirectoryW((dir / L"c").c_str(), nullptr);
    WriteBytes(dir / L"c\\a.bmp", MakeTestBmp(6, 4, 255, 0, 0));
    WriteBytes(dir / L"c\\b.bmp", MakeTestBmp(6, 4, 0, 255, 0));
    WriteBytes(boss, MakeTestBmp(8, 8, 10, 20, 30));
    form = Create({ToUtf8(dir / L"c")});
    form->Settings.IncomingBossFileName = ToUtf8(boss);
  }
  ~BossFixture() {
    if (form) Close(form);
  }
  void HotKey(int id) { SendMessageW(form->HookHotKey->Handle(), WM_HOTKEY, id, 0); }
};

// Where the context menu opens (and which entries it has), the next time it opens.
struct TMenuWatch {
  POINT at{-1, -1};
  int opened = 0;
  explicit TMenuWatch(TVesko2MainForm& form) {
    form.PopupMenu->Track = [this](HMENU, int x, int y) -> UINT {
      at = {x, y};
      ++opened;
      return 0;
    };
  }
};

bool ScreenSaverActive() {
  BOOL active = FALSE;
  SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
  return active != FALSE;
}

}  // namespace

TEST_CASE("shortcuts become the system's modifiers and key; a taken or empty key is refused") {
  UINT modifiers = 0;
  UINT key = 0;
  THookHotKey::SplitShortCut(0x8041, modifiers, key);
  CHECK(modifiers == MOD_ALT);
  CHECK(key == 'A');
  THookHotKey::SplitShortCut(24584, modifiers, key);  // Ctrl+Shift+Backspace
  CHECK(modifiers == (MOD_CONTROL | MOD_SHIFT));
  CHECK(key == VK_BACK);

  THookHotKey first(nullptr);
  THookHotKey second(nullptr);
  REQUIRE(first.RegisterKey(1, 0x8041));
  // Alt+A is taken now: the system refuses it to anyone else.
  CHECK_FALSE(RegisterHotKey(second.Handle(), 9, MOD_ALT, 'A'));
  CHECK_FALSE(second.RegisterKey(1, 0x8041));
  CHECK_FALSE(first.RegisterKey(2, 0));
  CHECK(first.UnregisterKey(1));
  CHECK_FALSE(first.UnregisterKey(1));
  CHECK(second.RegisterKey(1, 0x8041));
  // Re-registering a key that was not registered: the new key holds, the answer is false.
  CHECK_FALSE(first.ReRegisterKey(3, 0x8042));
  CHECK(first.ReRegisterKey(3, 0x8043));
  CHECK_FALSE(RegisterHotKey(nullptr, 9, MOD_ALT, 0x43));
}

TEST_CASE(
    "a hotkey raises its event after bringing the owner forward; a failing handler is shown") {
  TPlainWindow owner;
  TPlainWindow other;
  THookHotKey keys(owner.Handle());
  SendMessageW(keys.Handle(), WM_HOTKEY, 1, 0);  // no handler: nothing happens
  std::vector<int> pressed;
  keys.OnHotKey = [&](THookHotKey&, int index) {
    pressed.push_back(index);
    if (index == 7) throw std::runtime_error("handler failed");
  };
  SetForegroundWindow(other.Handle());
  SendMessageW(keys.Handle(), WM_HOTKEY, 2, 0);
  CHECK(pressed == std::vector<int>{2});
  CHECK(GetForegroundWindow() == owner.Handle());

  std::vector<std::string> shown;
  auto saved = TWindowBase::ErrorHandler;
  TWindowBase::ErrorHandler = [&](const std::exception& e) { shown.emplace_back(e.what()); };
  SendMessageW(keys.Handle(), WM_HOTKEY, 7, 0);
  SendMessageW(keys.Handle(), WM_HOTKEY, 1, 0);
  TWindowBase::ErrorHandler = saved;
  CHECK(shown == std::vector<std::string>{"handler failed"});
  CHECK(pressed == std::vector<int>{2, 7, 1});

  keys.Activate = false;
  SetForegroundWindow(other.Handle());
  SendMessageW(keys.Handle(), WM_HOTKEY, 2, 0);
  CHECK(GetForegroundWindow() == other.Handle());
}

TEST_CASE("the activation key: the menu at the window centre or the tray corner; HotAct returns") {
  FormFixture f;
  auto form = f.Create();
  // The default keys are registered at settings load: taking them again fails.
  CHECK_FALSE(RegisterHotKey(nullptr, 9, MOD_CONTROL | MOD_SHIFT, VK_BACK));
  CHECK_FALSE(RegisterHotKey(nullptr, 9, MOD_CONTROL | MOD_SHIFT, 'Q'));
  TMenuWatch menu(*form);
  SetWindowPos(form->Handle(), nullptr, 101, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  SendMessageW(form->HookHotKey->Handle(), WM_HOTKEY, 1, 0);
  CHECK(menu.opened == 1);
  CHECK(menu.at.x == 101 + 45 / 2);
  CHECK(menu.at.y == 50 + 35 / 2);

  form->SetTrayMode(true);
  SendMessageW(form->HookHotKey->Handle(), WM_HOTKEY, 1, 0);
  CHECK(menu.opened == 2);
  HWND area =
      FindWindowExW(FindWindowW(L"Shell_TrayWnd", nullptr), nullptr, L"TrayNotifyWnd", nullptr);
  if (area != nullptr) {
    RECT r{};
    GetWindowRect(area, &r);
    CHECK(menu.at.x == r.right);
    CHECK(menu.at.y == r.top);
  }
  CHECK(form->TaskTray->Registered());

  form->Settings.HotAct = true;
  SendMessageW(form->HookHotKey->Handle(), WM_HOTKEY, 1, 0);
  CHECK(menu.opened == 2);
  CHECK_FALSE(form->TaskTray->Registered());
  CHECK(IsWindowVisible(form->Handle()));
  f.Close(form);
}

TEST_CASE("the boss key swaps to the boss picture in its own file and back") {
  BossFixture f;
  REQUIRE(f.form->SetCurrentPicture());
  const std::string normal = ReadBytes(ToWide(f.form->TmpPaperName));
  CHECK(DesktopValue(L"Wallpaper") == ToWide(f.form->TmpPaperName));

  f.HotKey(2);
  CHECK(f.form->IncomingBossAction.Tag == -1);
  CHECK(DesktopValue(L"Wallpaper") == ToWide(f.form->BossPaperName));
  CHECK(Exists(ToWide(f.form->BossPaperName)));
  CHECK(ReadBytes(ToWide(f.form->TmpPaperName)) == normal);
  CHECK(f.form->Image.Empty());  // what the holder held is back

  f.HotKey(2);
  CHECK(f.form->IncomingBossAction.Tag == 1);
  CHECK(DesktopValue(L"Wallpaper") == ToWide(f.form->TmpPaperName));

  // The command from the menu does the same.
  f.form->IncomingBossAction.Execute();
  CHECK(DesktopValue(L"Wallpaper") == ToWide(f.form->BossPaperName));
  f.HotKey(2);

  // With the message on, the boss picture carries none (it would name what it hides), while
  // the pictures themselves do. Pictures big enough to show one.
  WriteBytes(f.boss, MakeTestBmp(200, 100, 10, 20, 30));
  WriteBytes(ToWide(f.form->Settings.PaperName), MakeTestBmp(200, 100, 255, 0, 0));
  f.HotKey(2);
  const std::string plainBoss = ReadBytes(ToWide(f.form->BossPaperName));
  f.HotKey(2);
  const std::string plainPicture = ReadBytes(ToWide(f.form->TmpPaperName));
  f.form->Settings.SetMess = true;
  f.form->Settings.MessText = "今日の壁紙 $FileName";
  f.HotKey(2);
  CHECK(f.form->IncomingBossAction.Tag == -1);
  CHECK(ReadBytes(ToWide(f.form->BossPaperName)) == plainBoss);
  f.HotKey(2);
  CHECK(ReadBytes(ToWide(f.form->TmpPaperName)) != plainPicture);

  // With a picture per monitor the desktop tiles the monitors' bitmap; the boss picture shows
  // in the mode chosen for the monitors instead.
  f.form->Settings.PerMonitor = true;
  f.form->Settings.MonitorTileMode = 0;
  REQUIRE(f.form->SetCurrentPicture());
  CHECK(DesktopValue(L"TileWallpaper") == L"1");
  f.HotKey(2);
  CHECK(DesktopValue(L"Wallpaper") == ToWide(f.form->BossPaperName));
  CHECK(DesktopValue(L"TileWallpaper") == L"0");
  f.HotKey(2);
  CHECK(DesktopValue(L"TileWallpaper") == L"1");
}

TEST_CASE("without the boss picture the command is greyed out and the key does nothing") {
  BossFixture f;
  REQUIRE(f.form->SetCurrentPicture());
  DeleteFileW(f.boss.c_str());
  f.form->IncomingBossAction.Update();
  CHECK_FALSE(f.form->IncomingBossAction.Enabled);
  f.HotKey(2);
  CHECK(f.form->IncomingBossAction.Tag == 1);
  CHECK(DesktopValue(L"Wallpaper") == ToWide(f.form->TmpPaperName));
  CHECK_FALSE(Exists(ToWide(f.form->BossPaperName)));
}

TEST_CASE("pausing the screen saver: off for the logon, the caption, on again at close") {
  FormFixture f;
  auto form = f.Create();
  SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, 0);
  form->PauseScreenSacverAction.Execute();
  CHECK_FALSE(ScreenSaverActive());
  CHECK(form->PauseScreenSacverAction.Caption == "スクリーンセーバ停止解除");
  CHECK(form->PauseScreenSacverAction.Tag == -1);
  form->PauseScreenSacverAction.Execute();
  CHECK(ScreenSaverActive());
  CHECK(form->PauseScreenSacverAction.Caption == "スクリーンセーバ一時停止");

  // Switched off in the system before: pausing, then resuming switches it on.
  SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, 0);
  form->PauseScreenSacverAction.Execute();
  form->PauseScreenSacverAction.Execute();
  CHECK(ScreenSaverActive());

  form->PauseScreenSacverAction.Execute();
  f.Close(form);
  CHECK(ScreenSaverActive());
}

TEST_CASE("the screen saver: system.ini first, then the registry; started through the shell") {
  FormFixture f;
  auto form = f.Create();
  HKEY desktop = nullptr;
  REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\desktop", 0, nullptr, 0,
                          KEY_ALL_ACCESS, nullptr, &desktop, nullptr) == ERROR_SUCCESS);
  const std::wstring saver = f.dir / L"saver.exe";
  REQUIRE(CopyFileW(EnvPath(L"VESKO2_FAKE_SCR").c_str(), saver.c_str(), FALSE));
  RegSetValueExW(desktop, L"SCRNSAVE.EXE", 0, REG_SZ, reinterpret_cast<const BYTE*>(saver.c_str()),
                 static_cast<DWORD>((saver.size() + 1) * sizeof(wchar_t)));
  CHECK(form->GetScreenSaverPath() == ToUtf8(saver));
  WritePrivateProfileStringW(L"boot", L"SCRNSAVE.EXE", L"C:\\windows\\ini.scr", L"system.ini");
  CHECK(form->GetScreenSaverPath() == "C:\\windows\\ini.scr");
  // A configured file that does not exist: nothing starts, the focus rule is untouched.
  form->StartScreenSacverAction.Execute();
  CHECK_FALSE(form->SkipDeactivate);
  WritePrivateProfileStringW(L"boot", L"SCRNSAVE.EXE", nullptr, L"system.ini");

  const std::wstring marker = f.dir / L"started";
  SetEnvironmentVariableW(L"VESKO_SCR_MARKER", marker.c_str());
  form->StartScreenSacverAction.Execute();
  CHECK(form->SkipDeactivate);
  CHECK(PumpUntil([&] { return Exists(marker); }, 10000));
  SetEnvironmentVariableW(L"VESKO_SCR_MARKER", nullptr);
  RegDeleteValueW(desktop, L"SCRNSAVE.EXE");
  RegCloseKey(desktop);
  CHECK(form->GetScreenSaverPath().empty());
  f.Close(form);
}
