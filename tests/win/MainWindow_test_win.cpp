// The main window as a user meets it: every shortcut of the command table through the window's
// keys, the context menu as Windows builds it, the panel, tray mode and the deactivation rule.
#include <doctest/doctest.h>

#include <map>

#include "FormFixture_win.h"
#include "app/Commands.h"
#include "app/Dialogs_win.h"
#include "base/Handles_win.h"
// After windows.h.
#include <commctrl.h>

namespace {

std::string HintAt(TVesko2MainForm& form, int x, int y) {
  SendMessageW(form.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
  HWND hints = HintWindow(form.Handle());
  if (hints == nullptr) return "(no hint window)";
  wchar_t text[256] = {};
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = form.Handle();
  tool.uId = 1;
  tool.lpszText = text;
  SendMessageW(hints, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
  return ToUtf8(text);
}

COLORREF PixelOf(HWND window, int x, int y) {
  HDC dc = GetDC(window);
  const COLORREF colour = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return colour;
}

}  // namespace

TEST_CASE("every shortcut of the table runs its command through the window's keys") {
  FormFixture f;
  auto form = f.Create();
  const TAction* ran = nullptr;
  for (TAction* action : form->ActionList()) {
    if (action == &form->SetNowAction) continue;
    action->OnUpdate = [](TAction& a) { a.Enabled = true; };
    action->OnExecute = [&ran](TAction& a) { ran = &a; };
  }
  std::map<const TAction*, const TAction*> expected;
  for (const TAction* action : form->ActionList()) {
    if (action->ShortCut != 0) expected[action] = action;
  }
  // Ctrl+F5 belongs to the folder reload, found in the menu first; SetNowAction never runs.
  expected[&form->SetNowAction] = &form->ReloadFolderAction;
  REQUIRE(expected.size() == 30);
  for (const auto& [action, runs] : expected) {
    CAPTURE(ShortCutToText(action->ShortCut));
    ran = nullptr;
    PressShortCut(form->Handle(), action->ShortCut);
    CHECK(ran == runs);
  }
  ran = nullptr;
  PressShortCut(form->Handle(), kShift | 'T');  // no command has it
  CHECK(ran == nullptr);
  f.Close(form);
}

TEST_CASE("the context menu as Windows shows it; its entries run their commands") {
  FormFixture f;
  auto form = f.Create();
  form->Settings.TimerEnabled = true;
  const std::vector<std::string> lines = OpenMenu(*form);
  CHECK(lines ==
        std::vector<std::string>{
            "操作",
            "  ファイル..\tF",
            "  フォルダ..\tD",
            "  ファイルリストの保存.. [grey]",
            "  ファイルリストの読み込み..",
            "  次へ",
            "  前へ",
            "  ボスが来た [grey]",
            "  スクリーンセーバ起動\tS",
            "  スクリーンセーバ一時停止\tShift+Ctrl+S",
            "表示",
            "  タイル\tT",
            "  センター\tC",
            "  塗りつぶし\tR",
            "  ページ幅に合わせる\tP",
            "  壁紙無し\tN",
            "  再読込\tF5",
            "  フォルダの再読込\tCtrl+F5 [grey]",
            "  クリップボード\tCtrl+V" + std::string(IsClipboardFormatAvailable(CF_BITMAP) ||
                                                             IsClipboardFormatAvailable(CF_TEXT)
                                                         ? ""
                                                         : " [grey]"),
            "  指定名を表示..",
            "  画質優先で再読込\tShift+F5 [grey]",
            "設定",
            "  設定..\tCtrl+O",
            "  タスクトレイ\tCtrl+T",
            "  タイマー [grey]",  // a first start has no interval: nothing would tick
            "編集",
            "  グラフィックソフト..\tG",
            "  ファイルのコピー..\tCtrl+C [grey]",
            "  ショートカットの作成..\tCtrl+S [grey]",
            "  【ファイル名の】コピー",
            "  ゴミ箱..\tDel [grey]",
            "  削除..\tShift+Del [grey]",
            "  この画像を今後表示しない\tX [grey]",
            "  直前の除外を取り消す\tShift+X [grey]",
            "履歴 [grey]",
            "情報..\tAlt+Enter",
            "About Me ..\tA",
            "終了",
        });
  // The update handlers run each time the menu opens.
  form->Settings.TimerInterval = 60000;
  form->Settings.TimerEnabled = false;
  form->Settings.SpeedpPriority = true;
  const std::vector<std::string> again = OpenMenu(*form);
  CHECK(std::find(again.begin(), again.end(), "  タイマー") != again.end());
  CHECK(std::find(again.begin(), again.end(), "  画質優先で再読込\tShift+F5") != again.end());

  OpenMenu(*form, "タイマー");
  CHECK(form->Settings.TimerEnabled);
  const std::vector<std::string> ticked = OpenMenu(*form);
  CHECK(std::find(ticked.begin(), ticked.end(), "  タイマー [check]") != ticked.end());
  // "次へ" runs the next handler: with no list, the folder dialog.
  f.dialogs.answers = {""};
  OpenMenu(*form, "次へ");
  CHECK(f.dialogs.folderTitles.size() == 1);
  const HWND window = form->Handle();
  OpenMenu(*form, "終了");
  CHECK(PumpUntil([&] { return !IsWindow(window); }, 2000));
  DrainQuit();
  CHECK(Exists(f.dir / L"Vesko2.ini"));
  form.reset();
}

TEST_CASE("the panel: colour, glyph buttons, hints, and the last message on a double click") {
  FormFixture f;
  auto form = f.Create();
  RedrawWindow(form->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  CHECK(PixelOf(form->Handle(), 30, 4) == RGB(244, 228, 210));
  CHECK(PixelOf(form->Handle(), 12, 21) == RGB(96, 80, 64));  // the previous triangle
  CHECK(PixelOf(form->Handle(), 32, 21) == RGB(96, 80, 64));  // the next triangle

  CHECK(HintAt(*form, 12, 21) == "Pre (Ctrl + Click = Preview)");
  CHECK(HintAt(*form, 32, 21) == "Next (Ctrl + Click = Preview)");
  CHECK(HintAt(*form, 3, 3) == "Minimize");
  form->PanelHint = "夏.jpg";
  CHECK(HintAt(*form, 30, 5) == "夏.jpg");

  // A click on a button runs its command (with an empty list: the folder dialog).
  f.dialogs.answers = {""};
  SendMessageW(form->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(32, 21));
  CHECK(f.dialogs.folderTitles.size() == 1);

  SendMessageW(form->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(30, 5));
  CHECK(f.dialogs.messages.empty());  // no message drawn yet
  form->LastMessage = "\r\n\r\n今日の言葉\r\n\r\n二行目";
  SendMessageW(form->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(30, 5));
  CHECK(f.dialogs.messages == std::vector<std::string>{"今日の言葉\r\n\r\n二行目"});
  f.Close(form);
}

TEST_CASE("on a screen of twice the density the panel, its buttons and hints scale") {
  FormFixture f;
  auto form = f.Create();
  RECT suggested{100, 80, 190, 150};
  SendMessageW(form->Handle(), WM_DPICHANGED, MAKEWPARAM(192, 192),
               reinterpret_cast<LPARAM>(&suggested));
  RECT r{};
  GetWindowRect(form->Handle(), &r);
  CHECK(r.left == 100);
  CHECK(r.top == 80);
  CHECK(r.right - r.left == 90);
  CHECK(r.bottom - r.top == 70);
  RedrawWindow(form->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  CHECK(PixelOf(form->Handle(), 60, 8) == RGB(244, 228, 210));
  CHECK(PixelOf(form->Handle(), 24, 42) == RGB(96, 80, 64));
  CHECK(PixelOf(form->Handle(), 64, 42) == RGB(96, 80, 64));
  CHECK(HintAt(*form, 64, 42) == "Next (Ctrl + Click = Preview)");
  CHECK(HintAt(*form, 40, 25) == "Pre (Ctrl + Click = Preview)");
  f.Close(form);
}

TEST_CASE("tray mode: the command, a double click of either button, and the tip") {
  FormFixture f;
  auto form = f.Create();
  REQUIRE(form->TaskTray->IconID() == 1);
  CHECK(form->TaskTray->TipString() == "Vesko 2");
  CHECK(form->TaskTray->Icon() != nullptr);
  PressShortCut(form->Handle(), kCtrl | 'T');
  CHECK(form->TaskTray->Registered());
  CHECK_FALSE(IsWindowVisible(form->Handle()));
  CHECK_FALSE(IsWindowVisible(f.application.Handle()));  // no taskbar button
  HWND callback = TTaskTray::CallbackWindow();
  REQUIRE(callback != nullptr);

  // The right button pops the context menu up at the cursor.
  SetCursorPos(300, 200);
  std::vector<std::string> shown;
  POINT at{};
  form->PopupMenu->Track = [&](HMENU menu, int x, int y) -> UINT {
    ReadMenu(menu, "", shown);
    at = {x, y};
    return 0;
  };
  SendMessageW(callback, TTaskTray::kCallbackMessage, 1, WM_RBUTTONDOWN);
  CHECK(shown.size() == 38);
  CHECK(at.x == 300);
  CHECK(at.y == 200);

  // While a box of ours is open the icon's double click does not bring the window out (a beep
  // says so); once it has closed, it does.
  {
    TModalScope box;
    SendMessageW(callback, TTaskTray::kCallbackMessage, 1, WM_LBUTTONDBLCLK);
    CHECK(form->TaskTray->Registered());
    CHECK_FALSE(IsWindowVisible(form->Handle()));
  }
  SendMessageW(callback, TTaskTray::kCallbackMessage, 1, WM_LBUTTONDBLCLK);
  CHECK_FALSE(form->TaskTray->Registered());
  CHECK(IsWindowVisible(form->Handle()));
  CHECK(IsWindowVisible(f.application.Handle()));
  form->TrayActionExecute();
  CHECK(form->TaskTray->Registered());
  SendMessageW(callback, TTaskTray::kCallbackMessage, 1, WM_RBUTTONDBLCLK);
  CHECK_FALSE(form->TaskTray->Registered());
  CHECK(IsWindowVisible(form->Handle()));
  f.Close(form);
}

TEST_CASE("losing the focus sends the program to the tray only when set, and not during dialogs") {
  FormFixture f;
  auto form = f.Create();
  auto deactivate = [&] { SendMessageW(form->Handle(), WM_ACTIVATEAPP, FALSE, 0); };
  deactivate();
  CHECK_FALSE(form->TaskTray->Registered());  // NotUsedInTray off

  form->Settings.NotUsedInTray = true;
  form->Tag = 1;  // one of the window's own dialogs is open
  deactivate();
  CHECK_FALSE(form->TaskTray->Registered());
  form->Tag = 0;
  form->SkipDeactivate = true;  // the screen saver was started by the program
  deactivate();
  CHECK_FALSE(form->TaskTray->Registered());
  CHECK_FALSE(form->SkipDeactivate);
  deactivate();
  CHECK(form->TaskTray->Registered());
  CHECK_FALSE(IsWindowVisible(form->Handle()));
  f.Close(form);
}

TEST_CASE("closing in tray mode saves it; the next start goes to the tray at its first paint") {
  FormFixture f;
  auto form = f.Create();
  form->SetTrayMode(true);
  f.Close(form);
  CHECK(f.Ini().ReadInteger("Window", "Tray", 0) == 1);

  form = f.Create();
  PumpUntil([&] { return form->TaskTray->Registered(); }, 2000);
  CHECK(form->TaskTray->Registered());
  CHECK_FALSE(IsWindowVisible(form->Handle()));
  form->TrayActionExecute();
  CHECK(IsWindowVisible(form->Handle()));
  f.Close(form);
  CHECK(f.Ini().ReadInteger("Window", "Tray", 1) == 0);
}

TEST_CASE("a second start while in the tray brings the window back out of the tray") {
  FormFixture f;
  auto form = f.Create();
  PumpUntil([&] { return IsWindowVisible(form->Handle()) != FALSE; }, 2000);
  form->SetTrayMode(true);
  REQUIRE(form->TaskTray->Registered());
  // The real program as a second start: it finds this window behind the mutex.
  THandle mutex(CreateMutexA(nullptr, FALSE, "hVesko2"));
  const std::wstring exe = EnvPath(L"VESKO2_EXE");
  std::wstring commandLine = L"\"" + exe + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION info{};
  REQUIRE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                         f.dir.Path().c_str(), &si, &info));
  THandle process(info.hProcess);
  THandle thread(info.hThread);
  CHECK(PumpUntil([&] { return WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0; }, 20000));
  // One mode: the window and its taskbar button, no icon left in the tray.
  CHECK(IsWindowVisible(form->Handle()));
  CHECK(IsWindowVisible(f.application.Handle()));
  CHECK_FALSE(form->TaskTray->Registered());
  f.Close(form);
  CHECK(f.Ini().ReadInteger("Window", "Tray", 1) == 0);
}

namespace {

COLORREF gQueryFace = CLR_INVALID;

// Reads the face of the open "ファイル名の指定" box away from its controls, then closes it.
void CALLBACK ReadQueryFace(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = FindWindowW(L"TInputQueryForm", nullptr);
  if (box == nullptr || !IsWindowVisible(box)) return;
  KillTimer(nullptr, timer);
  RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  gQueryFace = PixelOf(box, 4, 90);
  PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
}

}  // namespace

TEST_CASE("the file name box paints the dialog face, not black") {
  HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               nullptr, nullptr);
  TWinDialogs dialogs([owner] { return owner; }, [] { return std::string("Vesko 2"); });
  gQueryFace = CLR_INVALID;
  SetTimer(nullptr, 0, 50, ReadQueryFace);
  std::string name;
  CHECK_FALSE(dialogs.InputQuery("ファイル名の指定", "このフォルダにあればね", name));
  DestroyWindow(owner);
  CHECK(gQueryFace == GetSysColor(COLOR_BTNFACE));
}

TEST_CASE("closing switches a screen saver paused by the program back on") {
  FormFixture f;
  auto form = f.Create();
  // Paused with its key; a logoff that is then cancelled leaves the command saying so.
  PressShortCut(form->Handle(), kCtrl | kShift | 'S');
  REQUIRE(form->PauseScreenSacverAction.Tag == -1);
  CHECK(SendMessageW(form->Handle(), WM_QUERYENDSESSION, 0, 0) == TRUE);
  BOOL on = FALSE;
  SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &on, 0);
  CHECK(on);
  CHECK(form->PauseScreenSacverAction.Tag == 1);
  CHECK(form->PauseScreenSacverAction.Caption == "スクリーンセーバ一時停止");
  PressShortCut(form->Handle(), kCtrl | kShift | 'S');
  REQUIRE(form->PauseScreenSacverAction.Tag == -1);
  f.Close(form);
  BOOL active = FALSE;
  SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
  CHECK(active);
}

TEST_CASE("Alt+Enter shows the properties text with the locale's grouping") {
  FormFixture f;
  CreateDirectoryW((f.dir / L"p").c_str(), nullptr);
  WriteBytes(f.dir / L"p\\big.bmp", MakeTestBmp(700, 600));  // 1,260,054 bytes
  auto form = f.Create({ToUtf8(f.dir / L"p")});
  PressShortCut(form->Handle(), kAlt | kKeyReturn);
  REQUIRE(f.dialogs.messages.size() == 1);
  const std::string& text = f.dialogs.messages[0];
  CHECK(text.rfind("LoadTime = ", 0) == 0);
  CHECK(text.find("\rFileSize = 1,260,054\rImageSize = 700 x 600\rSepString = False\r"
                  "FilesCount = 1\r") != std::string::npos);
  CHECK(text.find("\rIniFileName = " + form->IniFileName) != std::string::npos);
  f.Close(form);
}
