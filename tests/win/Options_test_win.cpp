// The options dialog, driven for real: the command opens it modally over the window, the test
// works its controls from inside its message loop and confirms or cancels with the keys.
#include <doctest/doctest.h>

#include <cwctype>
#include <functional>
#include <map>

#include "FormFixture_win.h"
#include "app/InputSepStringForm_win.h"
#include "app/OptionsForm_win.h"
#include "app/ShellMenuEntry_win.h"
#include "decode/SPI_win.h"
#include "engine/MessageOverlay_win.h"
// After windows.h.
#include <commctrl.h>

namespace {

using TDriveOptions = TDriveForm<TOptionsForm>;

void PostKey(HWND window, WPARAM key) {
  PostMessageW(window, WM_KEYDOWN, key, 0);
}

// A wheel notch down with the mouse at the middle of `control`, as the system posts it.
void WheelOver(HWND focus, HWND control) {
  RECT r{};
  GetWindowRect(control, &r);
  PostMessageW(focus, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA),
               MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
}

void Click(TColorPanel& panel) {
  SendMessageW(panel.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  SendMessageW(panel.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

void Tick(HWND box) {
  SendMessageW(box, BM_CLICK, 0, 0);
}

std::string Text(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return ToUtf8(text);
}

// Shown by its own style, whichever page is in front.
bool Shown(HWND control) {
  return (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

bool HotKeyFree(UINT modifiers, UINT key) {
  if (!RegisterHotKey(nullptr, 77, modifiers, key)) return false;
  UnregisterHotKey(nullptr, 77);
  return true;
}

}  // namespace

TEST_CASE("the timer in whole minutes; the message file round trip; settings saved at OK") {
  FormFixture f;
  auto form = f.Create();
  form->Settings.TimerInterval = 90000;
  const std::string memo = "ここにメッセージ café";
  TDriveOptions drive([&](TOptionsForm& dialog) {
    CHECK(Text(dialog.Control("TimerEdit")) == "1");
    CHECK(form->Tag == 1);
    CHECK_FALSE(IsWindowEnabled(form->Handle()));
    // Ctrl+O reaches no command while the dialog is open.
    CHECK(form->FindShortCut(form->ContextMenuEntries(), kCtrl | 'O') == nullptr);
    // A second line typed into the message (Enter there breaks the line: tests/e2e/options.sh
    // types it); Enter elsewhere confirms.
    HWND box = dialog.Control("Memo");
    SendMessageW(box, EM_SETSEL, 1000, 1000);
    SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"\r\nx"));
    PostKey(dialog.Control("SubDir"), VK_RETURN);
  });
  form->Settings.MessText = memo;
  form->OptionAction.Execute();
  CHECK(drive.shown == 1);
  CHECK(form->Settings.TimerInterval == 60000);
  CHECK(form->Settings.MessText == memo + "\r\nx");
  CHECK(form->Tag == 0);
  CHECK(IsWindowEnabled(form->Handle()));
  CHECK(form->OptionAction.ShortCut == (kCtrl | 'O'));
  CHECK(form->FindShortCut(form->ContextMenuEntries(), kCtrl | 'O') == &form->OptionAction);
  // The memo's lines are saved beside the program, and read back as they were written.
  CHECK(FileTextToUtf8(ReadBytes(f.dir / L"Vesko2.mes")) == memo + "\r\nx\r\n");
  CHECK(ReadMessageFile(ToUtf8(f.dir / L"Vesko2.mes")) == std::vector<std::string>{memo, "x"});
  // The settings file has the new values before the program closes: a kill loses nothing.
  CHECK(f.Ini().ReadInteger("Timer", "Interval", 0) == 60000);
  f.Close(form);
}

TEST_CASE("Cancel changes nothing, re-registers nothing and remembers the page last shown") {
  FormFixture f;
  auto form = f.Create();
  const TSettings before = form->Settings;
  form->OptionAction.Tag = 1;
  TDriveOptions drive([&](TOptionsForm& dialog) {
    CHECK(dialog.Page() == 1);
    CHECK(IsWindowVisible(dialog.Control("Page1")));
    CHECK_FALSE(IsWindowVisible(dialog.Control("Page0")));
    Tick(dialog.Control("SubDir"));
    Tick(dialog.Control("NotUsedInTray"));
    SendMessageW(dialog.Control("ActiveKey"), HKM_SETHOTKEY, MAKEWORD('K', HOTKEYF_CONTROL), 0);
    PostMessageW(dialog.Control("Memo"), WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
    WheelOver(dialog.Control("SubDir"), dialog.Control("Tabs"));  // to the third page
    PostKey(dialog.Control("SubDir"), VK_ESCAPE);
  });
  form->OptionAction.Execute();
  CHECK(form->Settings == before);
  CHECK(form->OptionAction.Tag == 2);
  CHECK_FALSE(HotKeyFree(MOD_CONTROL | MOD_SHIFT, VK_BACK));  // still the window's
  CHECK(HotKeyFree(MOD_CONTROL, 'K'));
  CHECK_FALSE(Exists(f.dir / L"Vesko2.mes"));
  CHECK(form->OptionAction.ShortCut == (kCtrl | 'O'));
  CHECK(form->Tag == 0);
  f.Close(form);
}

TEST_CASE("every setting goes through the dialog and back, and into the settings file") {
  FormFixture f;
  auto form = f.Create();
  TSettings& s = form->Settings;
  s.SubDir = s.NextLoad = s.RandomLoad = s.TileCenterPosit = s.ReSize = true;
  s.SpeedpPriority = s.PlayMidi = s.NotUsedInTray = s.FavoriteEnabled = s.AddSCName = true;
  s.HotAct = true;
  s.SetMess = s.AddShadow = true;
  s.ActiveKey = 0x8041;        // Alt+A
  s.IncomingBossKey = 0x6051;  // Ctrl+Shift+Q
  s.TimerInterval = 300000;
  s.G_Editor = "C:\\tools\\paint.exe";
  s.IncomingBossFileName = "C:\\boss.bmp";
  s.ShadowColor = 0x123456;
  s.SepLines = 3;
  s.SepIndex = 7;
  s.SepString = "--";
  s.SepRandom = true;
  s.MessText = "一行目\r\n二行目";
  s.MessFont.Name = "IPAGothic";
  s.MessFont.Height = -20;
  s.FitMode = 2;
  const TSettings expected = s;
  TDriveOptions same([&](TOptionsForm& dialog) { PostKey(dialog.Control("SubDir"), VK_RETURN); });
  form->OptionAction.Execute();
  CHECK(s == expected);
  CHECK_FALSE(HotKeyFree(MOD_ALT, 'A'));  // the new activation key is registered
  CHECK(HotKeyFree(MOD_CONTROL | MOD_SHIFT, VK_BACK));

  // Now every control changed once.
  TDriveOptions changed([&](TOptionsForm& dialog) {
    for (const char* box : {"SubDir", "NextLoad", "RandomLoad", "TileCenterPosit", "ReSize",
                            "SpeedpPriority", "PlayMidi", "NotUsedInTray", "FavoriteFolder",
                            "AddSCName", "SetMess", "AddShadow", "PerMonitor", "ColorManagement",
                            "BlurBackground", "WaitWhileBusy", "WaitOnBatterySaver"}) {
      Tick(dialog.Control(box));
    }
    Tick(dialog.Control("HotActMenu"));
    SendMessageW(dialog.Control("FitMode"), CB_SETCURSEL, 1, 0);
    SendMessageW(dialog.Control("ActiveKey"), HKM_SETHOTKEY,
                 MAKEWORD('J', HOTKEYF_CONTROL | HOTKEYF_ALT), 0);
    SendMessageW(dialog.Control("IncomingBossKey"), HKM_SETHOTKEY, MAKEWORD('B', HOTKEYF_ALT), 0);
    SetWindowTextW(dialog.Control("TimerEdit"), L"7");
    SetWindowTextW(dialog.Control("G_EditorEdit"), L"D:\\其他\\edit.exe");
    SetWindowTextW(dialog.Control("Memo"), L"新しい\r\nメッセージ");
    f.dialogs.colors = {0x00FF00};
    Click(*dialog.Panel("ShadowColor"));
    f.dialogs.fontAnswer = [](TMessFont& font) { font.Name = "IPAMincho"; };
    Click(*dialog.Panel("MessFont"));
    f.dialogs.answers = {"C:\\other boss.bmp"};
    Click(*dialog.Panel("IncomingBossKeyPanel"));
    SendMessageW(dialog.Control("Tabs"), CB_SETCURSEL, 2, 0);
    SendMessageW(GetParent(dialog.Control("Tabs")), WM_COMMAND,
                 MAKEWPARAM(GetDlgCtrlID(dialog.Control("Tabs")), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(dialog.Control("Tabs")));
    PostKey(dialog.Control("Tabs"), VK_RETURN);  // Enter in the memo would break its line
  });
  form->OptionAction.Execute();
  CHECK_FALSE(s.SubDir);
  CHECK_FALSE(s.NotUsedInTray);
  CHECK_FALSE(s.AddShadow);
  CHECK_FALSE(s.HotAct);
  CHECK(s.FitMode == 1);
  CHECK(s.PerMonitor);
  CHECK_FALSE(s.ColorManagement);
  // Our plug-ins hear it (and a helper started from now on): they leave colours as stored.
  wchar_t told[8] = {};
  GetEnvironmentVariableW(L"VESKO2_COLOR_MANAGEMENT", told, 8);
  CHECK(std::wstring(told) == L"0");
  CHECK(s.BlurBackground);
  CHECK_FALSE(s.WaitWhileBusy);  // on for a first start, as here; ticked off
  CHECK_FALSE(s.WaitOnBatterySaver);
  CHECK(s.ActiveKey == (0xC000 | 'J'));
  CHECK(s.IncomingBossKey == (0x8000 | 'B'));
  CHECK(s.TimerInterval == 7 * 60000);
  CHECK(s.G_Editor == "D:\\其他\\edit.exe");
  CHECK(form->G_EditorAction.Caption == "グラフィックソフト..");  // no such file
  CHECK(s.MessText == "新しい\r\nメッセージ");
  CHECK(s.ShadowColor == 0x00FF00);
  CHECK(f.dialogs.colorPresets == std::vector<TColor>{0x123456});
  CHECK(s.MessFont.Name == "IPAMincho");
  CHECK(s.MessFont.Height == -20);
  CHECK(s.IncomingBossFileName == "C:\\other boss.bmp");
  CHECK(f.dialogs.fileDialogs.back().Title == "画像ファイルを開く");
  CHECK(f.dialogs.fileDialogs.back().Filter == "Bmp ファイル|*.Bmp");
  CHECK(f.dialogs.fileDialogs.back().Preview);
  CHECK(form->OptionAction.Tag == 2);  // the page shown at OK
  CHECK_FALSE(HotKeyFree(MOD_CONTROL | MOD_ALT, 'J'));
  CHECK_FALSE(HotKeyFree(MOD_ALT, 'B'));
  CHECK(HotKeyFree(MOD_ALT, 'A'));

  const TSettings kept = s;
  f.Close(form);
  TSettings read;
  ReadSettings(f.Ini(), read, TScreenMetrics{35, GetSystemMetrics(SM_CYSCREEN)});
  read.Top = kept.Top;
  read.Left = kept.Left;
  read.MessFont.PixelsPerInch = kept.MessFont.PixelsPerInch;
  CHECK(read.MessText == kept.MessText);
  CHECK(read.MessFont == kept.MessFont);
  CHECK(read == kept);
}

TEST_CASE("the separator: panel shown only with a message file, its dialog, its hint") {
  FormFixture f;
  auto form = f.Create();
  bool visible = true;
  TDriveOptions hidden([&](TOptionsForm& dialog) {
    visible = Shown(dialog.Panel("InputSep")->Handle());
    PostKey(dialog.Control("SubDir"), VK_ESCAPE);
  });
  form->OptionAction.Execute();
  CHECK_FALSE(visible);

  WriteBytes(ToWide(form->MessageFile), "a\r\n");
  form->Settings.SepLines = 2;
  form->Settings.SepString.clear();
  HWND optionsBox = nullptr;
  TModalForm::OnShown = [&](TModalForm& shown) {
    if (auto* sep = dynamic_cast<TInputSepStringForm*>(&shown)) {
      CHECK(Text(sep->SepLinesEdit()) == "2");
      CHECK(Text(sep->SepEdit()).empty());
      // Enter and Esc do nothing here: only its panels close it.
      PostKey(sep->SepEdit(), VK_ESCAPE);
      SetWindowTextW(sep->SepEdit(), L"%%");
      SetWindowTextW(sep->SepLinesEdit(), L"4");
      SendMessageW(sep->SepRandomCheckBox(), BM_CLICK, 0, 0);
      PostMessageW(sep->OkPanel().Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
      PostMessageW(sep->OkPanel().Handle(), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
      // Queued behind the click that closes this dialog: the options dialog gets it.
      PostKey(optionsBox, VK_RETURN);
      return;
    }
    auto& dialog = dynamic_cast<TOptionsForm&>(shown);
    optionsBox = dialog.Control("SubDir");
    CHECK(Shown(dialog.Panel("InputSep")->Handle()));
    PostMessageW(dialog.Panel("InputSep")->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    PostMessageW(dialog.Panel("InputSep")->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  };
  form->OptionAction.Execute();
  TModalForm::OnShown = nullptr;
  CHECK(form->Settings.SepString == "%%");
  CHECK(form->Settings.SepLines == 4);
  CHECK(form->Settings.SepRandom);
  f.Close(form);
}

TEST_CASE("with Shift the command opens the settings file; with Ctrl+Shift the dialog") {
  FormFixture f;
  auto form = f.Create();
  TDriveOptions drive([&](TOptionsForm& dialog) { PostKey(dialog.Control("SubDir"), VK_ESCAPE); });
  f.keys.shift = true;
  form->OptionAction.Execute();
  CHECK(f.dialogs.opened == std::vector<std::string>{form->IniFileName});
  CHECK(drive.shown == 0);
  CHECK(form->Tag == 0);
  CHECK(form->OptionAction.ShortCut == (kCtrl | 'O'));
  f.keys.ctrl = true;
  form->OptionAction.Execute();
  CHECK(drive.shown == 1);
  f.Close(form);
}

TEST_CASE("the shell menu entry: written under the user's classes, then removed by the panel") {
  FormFixture f;
  auto form = f.Create();
  const wchar_t* const key = L"Software\\Classes\\*\\shell\\menu";
  RegDeleteTreeW(HKEY_CURRENT_USER, key);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, L"*\\shell\\menu");
  std::string captionBefore;
  std::string captionAfter;
  TDriveOptions drive([&](TOptionsForm& dialog) {
    captionBefore = Text(dialog.Panel("AddMen")->Handle());
    Click(*dialog.Panel("AddMen"));
    captionAfter = Text(dialog.Panel("AddMen")->Handle());
    PostKey(dialog.Control("SubDir"), VK_ESCAPE);
  });
  form->OptionAction.Execute();
  CHECK(captionBefore == "右クリックに「Vesko2」メニューを追加");
  CHECK(captionAfter == "右クリックの「Vesko2」メニューを削除");
  CHECK(f.dialogs.messages == std::vector<std::string>{"設定しました"});
  wchar_t value[MAX_PATH * 2] = {};
  DWORD size = sizeof value;
  CHECK(RegGetValueW(HKEY_CURRENT_USER, key, nullptr, RRF_RT_REG_SZ, nullptr, value, &size) ==
        ERROR_SUCCESS);
  CHECK(std::wstring(value) == L"&Vesko2");
  size = sizeof value;
  CHECK(RegGetValueW(HKEY_CURRENT_USER, (std::wstring(key) + L"\\command").c_str(), nullptr,
                     RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS);
  CHECK(std::wstring(value) == L"\"" + (f.dir / L"Vesko2.exe") + L"\" \"%1\"");

  // Opened again, the panel offers the removal, which takes the entry away.
  form->OptionAction.Execute();
  CHECK(captionBefore == "右クリックの「Vesko2」メニューを削除");
  CHECK(captionAfter == "右クリックに「Vesko2」メニューを追加");
  CHECK(f.dialogs.messages.back() == "削除しました");
  HKEY gone = nullptr;
  CHECK(RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &gone) == ERROR_FILE_NOT_FOUND);

  // Another program's "menu" (user-wide, then machine-wide) is not ours: the panel offers to
  // add ours, and a removal would never touch theirs.
  for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    const wchar_t* const theirs =
        root == HKEY_CURRENT_USER ? key : L"Software\\Classes\\*\\shell\\menu";
    HKEY created = nullptr;
    REQUIRE(RegCreateKeyExW(root, (std::wstring(theirs) + L"\\command").c_str(), 0, nullptr, 0,
                            KEY_SET_VALUE, nullptr, &created, nullptr) == ERROR_SUCCESS);
    const std::wstring command = L"\"C:\\Tools\\menutool.exe\" \"%1\"";
    RegSetValueExW(created, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(created);
    CHECK_FALSE(ShellMenuEntryExists());
    TDriveOptions look([&](TOptionsForm& dialog) {
      captionBefore = Text(dialog.Panel("AddMen")->Handle());
      PostKey(dialog.Control("SubDir"), VK_ESCAPE);
    });
    form->OptionAction.Execute();
    CHECK(captionBefore == "右クリックに「Vesko2」メニューを追加");
    RemoveShellMenuEntry();
    HKEY kept = nullptr;
    CHECK(RegOpenKeyExW(root, theirs, 0, KEY_READ, &kept) == ERROR_SUCCESS);
    if (kept != nullptr) RegCloseKey(kept);
    RegDeleteTreeW(root, theirs);
  }
  f.Close(form);
}

TEST_CASE(
    "the timer minutes and the plug-in wait: typed; out of range a message, and the dialog stays") {
  FormFixture f;
  auto form = f.Create();
  form->Settings.TimerInterval = 60000;
  form->Settings.TimerEnabled = false;  // stopped from the menu
  std::string label;
  std::string waitShown;
  TDriveOptions drive([&](TOptionsForm& dialog) {
    label = Text(dialog.Control("TimerLabel"));
    waitShown = Text(dialog.Control("PluginWaitEdit"));
    HWND edit = dialog.Control("TimerEdit");
    HWND wait = dialog.Control("PluginWaitEdit");
    // Typed as keys: 2000 (past a day) and a wait of 0 seconds, Enter; the wait's message
    // comes first and selects it: 25, Enter; the timer's: 90, Enter.
    PostMessageW(edit, EM_SETSEL, 0, -1);
    for (const wchar_t c : std::wstring(L"2000")) PostMessageW(edit, WM_CHAR, c, 0);
    PostMessageW(wait, EM_SETSEL, 0, -1);
    PostMessageW(wait, WM_CHAR, L'0', 0);
    PostKey(edit, VK_RETURN);
    for (const wchar_t c : std::wstring(L"25")) PostMessageW(wait, WM_CHAR, c, 0);
    PostKey(wait, VK_RETURN);
    for (const wchar_t c : std::wstring(L"90")) PostMessageW(edit, WM_CHAR, c, 0);
    PostKey(edit, VK_RETURN);
  });
  form->OptionAction.Execute();
  CHECK(label == "分ごとに切り替え（停止中）");
  CHECK(waitShown == "10");
  CHECK(f.dialogs.messages ==
        std::vector<std::string>{"プラグインの応答待ちは 1 から 600 秒の間で入れてください",
                                 "タイマーは 0 から 1440 分の間で入れてください"});
  CHECK(form->Settings.TimerInterval == 90 * 60000);
  CHECK(form->Settings.TimerEnabled);  // new minutes: the timer runs
  // The wait is the plug-in calls' deadline from now on.
  CHECK(form->Settings.PluginTimeout == 25);
  CHECK(TSPI::HelperSilenceMs == 25000);
  TSPI::HelperSilenceMs = 10000;
  f.Close(form);
}

TEST_CASE("a 36-point bold message font: the font button keeps the dialog's font") {
  FormFixture f;
  auto form = f.Create();
  HFONT buttonFont = nullptr;
  HFONT dialogFont = nullptr;
  LOGFONTW memo{};
  TDriveOptions drive([&](TOptionsForm& dialog) {
    f.dialogs.fontAnswer = [](TMessFont& font) {
      font.SetSize(36);
      font.Style = TMessFont::Bold;
      font.Name = "IPAMincho";
    };
    Click(*dialog.Panel("MessFont"));
    buttonFont = dialog.Panel("MessFont")->Font();
    dialogFont = reinterpret_cast<HFONT>(SendMessageW(dialog.Control("SubDir"), WM_GETFONT, 0, 0));
    const auto font =
        reinterpret_cast<HFONT>(SendMessageW(dialog.Control("Memo"), WM_GETFONT, 0, 0));
    GetObjectW(font, sizeof memo, &memo);
    PostKey(dialog.Control("SubDir"), VK_RETURN);
  });
  form->OptionAction.Execute();
  CHECK(buttonFont == dialogFont);
  // The memo shows the chosen face and weight at the dialog's size.
  CHECK(ToUtf8(memo.lfFaceName) == "IPAMincho");
  CHECK(memo.lfWeight == FW_BOLD);
  CHECK(memo.lfHeight == -12);
  CHECK(form->Settings.MessFont.Size() == 36);
  f.Close(form);
}

TEST_CASE("the excluded pictures: their count, and 除外を解除 brings them back at OK, not at Esc") {
  FormFixture f;
  CreateDirectoryW((f.dir / L"p").c_str(), nullptr);
  for (const wchar_t* name : {L"a.bmp", L"b.bmp", L"c.bmp"}) {
    WriteBytes(f.dir / (std::wstring(L"p\\") + name), MakeTestBmp(4, 4));
  }
  const std::wstring excludeFile = f.dir / L"Vesko2.exclude.txt";
  const std::string lines =
      ToUtf8(f.dir / L"p\\a.bmp") + "\r\n" + ToUtf8(f.dir / L"P\\B.BMP") + "\r\n";
  WriteBytes(excludeFile, lines);
  auto form = f.Create({ToUtf8(f.dir / L"p")});
  const std::string c = ToUtf8(f.dir / L"p\\c.bmp");
  CHECK(form->List.MainListBox.Items == std::vector<std::string>{c});
  for (const WPARAM key : {VK_ESCAPE, VK_RETURN}) {
    CAPTURE(key);
    TDriveOptions drive([&](TOptionsForm& dialog) {
      HWND label = dialog.Control("ExcludedLabel");
      CHECK(Text(label) == "今後表示しない画像: 2 枚");
      TColorPanel& clear = *dialog.Panel("ClearExcluded");
      CHECK(clear.Enabled());
      Click(clear);
      CHECK(Text(label) == "今後表示しない画像: 0 枚（OK で解除）");
      CHECK_FALSE(clear.Enabled());
      PostKey(dialog.Control("SubDir"), key);
    });
    PressShortCut(form->Handle(), kCtrl | 'O');
    CHECK(drive.shown == 1);
  }
  // Esc left the file as it was; OK emptied it and the pictures are back, the current one kept.
  CHECK(ReadBytes(excludeFile).empty());
  CHECK(form->List.MainListBox.Count() == 3);
  CHECK(form->Settings.PaperName == c);
  CHECK(form->List.MainListBox.Current() == c);
  f.Close(form);
}

namespace {

// Runs once the queue has run dry (a timer's message comes last), inside the dialog's loop.
std::function<void()> gLater;
void CALLBACK RunLater(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  const std::function<void()> later = std::move(gLater);
  if (later) later();
}
void Later(std::function<void()> later) {
  gLater = std::move(later);
  SetTimer(nullptr, 0, 10, RunLater);
}

}  // namespace

TEST_CASE("keys an open list or the message box take stay there; Tab leaves the message box") {
  FormFixture f;
  auto form = f.Create();
  const TSettings before = form->Settings;
  SUBCASE("Esc in an open list closes the list, not the dialog") {
    TDriveOptions drive([&](TOptionsForm& dialog) {
      Tick(dialog.Control("SubDir"));
      HWND list = dialog.Control("FitMode");
      SetFocus(list);
      SendMessageW(list, CB_SHOWDROPDOWN, TRUE, 0);
      PostKey(list, VK_ESCAPE);
      PostKey(dialog.Control("SubDir"), VK_RETURN);  // OK, once the list has closed
    });
    form->OptionAction.Execute();
    CHECK(form->Settings.SubDir != before.SubDir);  // confirmed by the Enter, not cancelled
  }
  SUBCASE("Down and Enter in an open list choose an entry, and the dialog stays") {
    TDriveOptions drive([&](TOptionsForm& dialog) {
      HWND list = dialog.Control("FitMode");
      SetFocus(list);
      SendMessageW(list, CB_SHOWDROPDOWN, TRUE, 0);
      PostKey(list, VK_DOWN);
      PostKey(list, VK_RETURN);
      PostKey(dialog.Control("SubDir"), VK_ESCAPE);  // then cancelled
    });
    form->OptionAction.Execute();
    CHECK(form->Settings == before);  // the Enter did not confirm the dialog
  }
  SUBCASE("背景をぼかした… answers only while 画面に合わせる is ページ幅に合わせる") {
    REQUIRE(before.FitMode == 0);
    bool atFirst = true;
    bool afterDown = false;
    TDriveOptions drive([&](TOptionsForm& dialog) {
      HWND blur = dialog.Control("BlurBackground");
      HWND list = dialog.Control("FitMode");
      atFirst = IsWindowEnabled(blur) != FALSE;
      SetFocus(list);
      PostKey(list, VK_DOWN);
      PostKey(list, VK_DOWN);
      Later([&, blur] {
        afterDown = IsWindowEnabled(blur) != FALSE;
        PostKey(dialog.Control("SubDir"), VK_ESCAPE);
      });
    });
    form->OptionAction.Execute();
    CHECK_FALSE(atFirst);
    CHECK(afterDown);
  }
  SUBCASE("the wheel turns pages over the page chooser only") {
    int pageAfterMemo = -1;
    int pageAfterChooser = -1;
    TDriveOptions drive([&](TOptionsForm& dialog) {
      HWND memo = dialog.Control("Memo");
      for (int page = 0; page < 3 && !IsWindowVisible(memo); ++page) dialog.SetPage(page);
      const int memoPage = dialog.Page();
      SetFocus(memo);
      WheelOver(memo, memo);
      Later([&, memo, memoPage] {
        pageAfterMemo = dialog.Page() - memoPage;
        WheelOver(memo, dialog.Control("Tabs"));
        Later([&, memoPage] {
          pageAfterChooser = dialog.Page() - memoPage;
          PostKey(dialog.Control("SubDir"), VK_ESCAPE);
        });
      });
    });
    form->OptionAction.Execute();
    CHECK(pageAfterMemo == 0);
    CHECK(pageAfterChooser != 0);
  }
  SUBCASE("arrow keys move between the check boxes of a group, round within it") {
    HWND afterDown = nullptr;
    HWND afterUp = nullptr;
    HWND second = nullptr;
    HWND last = nullptr;
    TDriveOptions drive([&](TOptionsForm& dialog) {
      HWND first = dialog.Control("SubDir");
      second = dialog.Control("NextLoad");
      last = dialog.Control("SpeedpPriority");
      SetFocus(first);
      PostKey(first, VK_DOWN);
      Later([&, first] {
        afterDown = GetFocus();
        SetFocus(first);
        PostKey(first, VK_UP);
        Later([&] {
          afterUp = GetFocus();
          PostKey(GetFocus(), VK_ESCAPE);
        });
      });
    });
    form->OptionAction.Execute();
    CHECK(afterDown == second);
    CHECK(afterUp == last);
  }
  SUBCASE("a hint never covers the drop-down list it belongs to") {
    bool shownBefore = false;
    bool shownOpen = true;
    std::function<void()> waitForHint;
    std::function<void()> watch;
    TDriveOptions drive([&](TOptionsForm& dialog) {
      HWND list = dialog.Control("FitMode");
      HWND tip = HintWindow(dialog.Handle());
      RECT r{};
      GetWindowRect(list, &r);
      SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
      const DWORD delay = static_cast<DWORD>(SendMessageW(tip, TTM_GETDELAYTIME, TTDT_INITIAL, 0));
      const DWORD start = GetTickCount();
      // The hint over the list, as the mouse rests there; then the list opened by its key, the
      // mouse resting over it again for the hint's delay, three times over.
      waitForHint = [&, list, tip, r, delay, start] {
        shownBefore = IsWindowVisible(tip) != FALSE;
        if (!shownBefore && GetTickCount() - start < 10000) return Later(waitForHint);
        SetFocus(list);
        PostKey(list, VK_F4);
        Later([&, list, tip, r, delay] {
          SetCursorPos((r.left + r.right) / 2 + 8, (r.top + r.bottom) / 2);
          const DWORD opened = GetTickCount();
          watch = [&, list, tip, delay, opened] {
            shownOpen = IsWindowVisible(tip) != FALSE;
            if (!shownOpen && GetTickCount() - opened < 3 * delay + 500) return Later(watch);
            PostKey(list, VK_ESCAPE);
            PostKey(dialog.Control("SubDir"), VK_ESCAPE);
          };
          Later(watch);
        });
      };
      Later(waitForHint);
    });
    form->OptionAction.Execute();
    CHECK(shownBefore);
    CHECK_FALSE(shownOpen);
  }
  SUBCASE("Tab and Shift+Tab leave the message box") {
    for (const bool shift : {false, true}) {
      CAPTURE(shift);
      HWND memo = nullptr;
      HWND focusSeen = nullptr;
      TDriveOptions drive([&](TOptionsForm& dialog) {
        memo = dialog.Control("Memo");
        SetFocus(memo);
        BYTE state[256];
        GetKeyboardState(state);
        state[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(state);
        PostKey(memo, VK_TAB);
        Later([&] {
          focusSeen = GetFocus();
          PostKey(dialog.Control("SubDir"), VK_ESCAPE);
        });
      });
      form->OptionAction.Execute();
      BYTE state[256];
      GetKeyboardState(state);
      state[VK_SHIFT] = 0;
      SetKeyboardState(state);
      CHECK(focusSeen != memo);
      CHECK(focusSeen != nullptr);
    }
  }
  f.Close(form);
}

TEST_CASE("Windows の起動時に起動する: the Run value is written, shown, taken over and removed") {
  FormFixture f;
  auto form = f.Create();
  const wchar_t* const run = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  auto value = [&]() -> std::wstring {
    wchar_t text[MAX_PATH * 2] = {};
    DWORD size = sizeof text;
    if (RegGetValueW(HKEY_CURRENT_USER, run, L"Vesko 2", RRF_RT_REG_SZ, nullptr, text, &size) !=
        ERROR_SUCCESS)
      return L"(none)";
    return text;
  };
  auto setValue = [&](const std::wstring& command) {
    HKEY key = nullptr;
    REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, run, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr) == ERROR_SUCCESS);
    RegSetValueExW(key, L"Vesko 2", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  };
  RegDeleteKeyValueW(HKEY_CURRENT_USER, run, L"Vesko 2");
  const std::wstring ours = L"\"" + (f.dir / L"Vesko2.exe") + L"\" /startup";
  const std::wstring other = L"\"C:\\Old copy\\Vesko2.exe\" /startup";
  // Each step: the value before, whether the box shows ticked and another copy named, the key
  // the user presses on the box (Space ticks or unticks it) and the one that closes the dialog,
  // and the value after.
  struct TStep {
    std::wstring before;
    bool shownTicked;
    const char* named;
    bool press;
    WPARAM close;
    std::wstring after;
  };
  for (const TStep& step : {
           TStep{L"(none)", false, "", true, VK_RETURN, ours},
           TStep{ours, true, "", false, VK_RETURN, ours},
           TStep{ours, true, "", true, VK_ESCAPE, ours},
           TStep{ours, true, "", true, VK_RETURN, L"(none)"},
           // Changed by something else: shown as it is; left alone unless the user ticks.
           TStep{other, false, "C:\\Old copy\\Vesko2.exe", false, VK_RETURN, other},
           TStep{other, false, "C:\\Old copy\\Vesko2.exe", true, VK_RETURN, ours},
       }) {
    CAPTURE(ToUtf8(step.before));
    CAPTURE(step.press);
    if (step.before == L"(none)") {
      RegDeleteKeyValueW(HKEY_CURRENT_USER, run, L"Vesko 2");
    } else {
      setValue(step.before);
    }
    bool ticked = false;
    std::string named;
    TDriveOptions drive([&](TOptionsForm& dialog) {
      HWND box = dialog.Control("StartWithWindows");
      ticked = SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
      named = Text(dialog.Control("StartsOther"));
      SetFocus(box);
      if (step.press) {
        PostMessageW(box, WM_KEYDOWN, VK_SPACE, 0);
        PostMessageW(box, WM_KEYUP, VK_SPACE, 0xC0000001);
      }
      PostKey(dialog.Control("SubDir"), step.close);
    });
    form->OptionAction.Execute();
    CHECK(ticked == step.shownTicked);
    CHECK(named.find(step.named) != std::string::npos);
    if (*step.named == 0) CHECK(named.empty());
    CHECK(ToUtf8(value()) == ToUtf8(step.after));
  }
  RegDeleteKeyValueW(HKEY_CURRENT_USER, run, L"Vesko 2");
  f.Close(form);
}

TEST_CASE("on every page each key letter is one control's, and every caption fits its control") {
  FormFixture f;
  auto form = f.Create();
  TDriveOptions drive([&](TOptionsForm& dialog) {
    for (const char* page : {"Page0", "Page1", "Page2"}) {
      CAPTURE(std::string(page));
      std::vector<HWND> controls;
      for (HWND child = GetWindow(dialog.Control(page), GW_CHILD); child != nullptr;
           child = GetWindow(child, GW_HWNDNEXT)) {
        controls.push_back(child);
      }
      std::map<wchar_t, std::string> letters;
      for (HWND control : controls) {
        wchar_t kind[32] = {};
        GetClassNameW(control, kind, 32);
        const bool button = lstrcmpiW(kind, WC_BUTTONW) == 0;
        if (!button && lstrcmpiW(kind, WC_STATICW) != 0) continue;
        wchar_t text[256] = {};
        GetWindowTextW(control, text, 256);
        std::wstring shown;
        for (const wchar_t* p = text; *p != 0; ++p) {
          if (*p == L'&' && p[1] != 0) {
            ++p;
            const wchar_t letter = static_cast<wchar_t>(towupper(*p));
            CAPTURE(ToUtf8(text));
            CHECK(letters.emplace(letter, ToUtf8(text)).second);
          }
          shown += *p;
        }
        const LONG style = GetWindowLongW(control, GWL_STYLE);
        if (button && (style & BS_TYPEMASK) == BS_GROUPBOX) continue;
        HDC dc = GetDC(control);
        const HGDIOBJ old =
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
        SIZE extent{};
        GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &extent);
        SelectObject(dc, old);
        ReleaseDC(control, dc);
        RECT r{};
        GetClientRect(control, &r);
        const int box = button ? GetSystemMetrics(SM_CXMENUCHECK) + 4 : 0;
        CAPTURE(ToUtf8(text));
        CHECK(extent.cx + box <= r.right);
      }
    }
    PostKey(dialog.Control("SubDir"), VK_ESCAPE);
  });
  form->OptionAction.Execute();
  CHECK(drive.shown == 1);
  f.Close(form);
}
