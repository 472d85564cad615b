// The notification-area icon: identifiers, the shell record, retries of a refusing shell, the
// mouse callbacks on the real shared window, popup menus, a restarted shell, and the real shell.
#include <doctest/doctest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../support/Fakes.h"
#include "TestSupport_win.h"
#include "app/TaskTray_win.h"
#include "base/Unicode_win.h"
#include "base/Window_win.h"

namespace {

// Records every request and takes it, after refusing the next `refusals` (all with refuseAll).
class TFakeShell final : public ITrayShell {
 public:
  struct TCall {
    DWORD message;
    TNotifyIconData data;
  };
  bool NotifyIcon(DWORD message, const TNotifyIconData& data) override {
    calls.push_back({message, data});
    if (refuseAll) return false;
    if (refusals > 0) {
      --refusals;
      return false;
    }
    return true;
  }
  void Wait(unsigned milliseconds) override { waits.push_back(milliseconds); }
  bool ShowBalloon(const TNotifyIconData& data, const std::wstring& title,
                   const std::wstring& text) override {
    balloons.push_back(std::to_string(data.uID) + " " + ToUtf8(title) + ": " + ToUtf8(text));
    return !refuseAll;
  }
  std::vector<std::string> balloons;

  std::vector<DWORD> Messages() const {
    std::vector<DWORD> messages;
    for (const TCall& call : calls) messages.push_back(call.message);
    return messages;
  }

  std::vector<TCall> calls;
  std::vector<unsigned> waits;
  int refusals = 0;
  bool refuseAll = false;
};

// The fake shell and a fixed random sequence in place for one test. Trays are declared after
// it, so they are gone before the real shell returns.
struct TTrayFixture {
  TFakeShell shell;
  TFixedRandom random{{5000, 2999, 7}};
  ITrayShell* previousShell = TTaskTray::SetShell(&shell);
  IRandom* previousRandom = TTaskTray::SetRandom(&random);
  ~TTrayFixture() {
    TTaskTray::SetShell(previousShell);
    TTaskTray::SetRandom(previousRandom);
  }
};

HICON SystemIcon(int id) {
  return LoadIconW(nullptr, MAKEINTRESOURCEW(id));
}
constexpr int kApplicationIcon = 32512;  // IDI_APPLICATION
constexpr int kWarningIcon = 32515;      // IDI_WARNING

std::string Tip(const TNotifyIconData& data) {
  return std::string(data.szTip, strnlen(data.szTip, sizeof data.szTip));
}

// A tray with an icon, registered and shown through the fake shell.
std::unique_ptr<TTaskTray> ShownTray(HWND owner = nullptr) {
  auto tray = std::make_unique<TTaskTray>(owner);
  tray->SetIcon(SystemIcon(kApplicationIcon));
  tray->SetRegistered(true);
  return tray;
}

const char* Name(TMouseButton button) {
  switch (button) {
    case TMouseButton::Left:
      return "L";
    case TMouseButton::Right:
      return "R";
    case TMouseButton::Middle:
      return "M";
  }
  return "?";
}

// Every event of the trays it watches, as lines "id event button shift x,y".
struct TEventLog {
  std::vector<std::string> lines;

  void Add(const std::string& line) { lines.push_back(line); }
  void Watch(TTaskTray& tray) {
    tray.OnMouseMove = [this](TTaskTray& sender, TShiftState shift, int x, int y) {
      Add(std::to_string(sender.IconID()) + " move " + std::to_string(shift) + " " +
          std::to_string(x) + "," + std::to_string(y));
    };
    tray.OnMouseDown = [this](TTaskTray& sender, TMouseButton button, TShiftState shift, int x,
                              int y) {
      Add(std::to_string(sender.IconID()) + " down " + Name(button) + " " + std::to_string(shift) +
          " " + std::to_string(x) + "," + std::to_string(y));
    };
    tray.OnMouseUp = [this](TTaskTray& sender, TMouseButton button, TShiftState shift, int x,
                            int y) {
      Add(std::to_string(sender.IconID()) + " up " + Name(button) + " " + std::to_string(shift) +
          " " + std::to_string(x) + "," + std::to_string(y));
    };
    tray.OnDblClick = [this](TTaskTray& sender, TMouseButton button) {
      Add(std::to_string(sender.IconID()) + " dblclick " + Name(button));
    };
    tray.OnBalloonClick = [this](TTaskTray& sender) {
      Add(std::to_string(sender.IconID()) + " balloon");
    };
  }
};

class TTestMenu final : public TPopupMenu {
 public:
  TTestMenu(std::string name, TEventLog& log) : name_(std::move(name)), log_(log) {}
  void Popup(int x, int y) override {
    log_.Add("popup " + name_ + " " + std::to_string(x) + "," + std::to_string(y));
    if (OnPopup) OnPopup();
  }
  std::function<void()> OnPopup;

 private:
  std::string name_;
  TEventLog& log_;
};

// A visible top-level window that notes when a posted WM_APP reaches it.
class TTestForm final : public TWindowBase {
 public:
  explicit TTestForm(TEventLog& log, int x = 10) : log_(log) {
    CreateHandle(L"TTaskTrayTestForm", L"form", WS_POPUP | WS_VISIBLE, 0, x, 10, 60, 40, nullptr);
  }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_APP) {
      log_.Add("posted");
      return 0;
    }
    return DefaultHandler(message, wParam, lParam);
  }

 private:
  TEventLog& log_;
};

void SendCallback(WPARAM id, LPARAM mouseMessage) {
  REQUIRE(TTaskTray::CallbackWindow() != nullptr);
  SendMessageW(TTaskTray::CallbackWindow(), TTaskTray::kCallbackMessage, id, mouseMessage);
}

// Errors that escape a window's message handler, collected instead of shown.
struct TErrorCatcher {
  std::vector<std::string> errors;
  TErrorCatcher() {
    TWindowBase::ErrorHandler = [this](const std::exception& e) { errors.push_back(e.what()); };
  }
  ~TErrorCatcher() { TWindowBase::ErrorHandler = nullptr; }
};

}  // namespace

namespace doctest {
// Lists in failure reports.
template <typename T>
struct StringMaker<std::vector<T>> {
  static String convert(const std::vector<T>& values) {
    String text = "{";
    for (size_t i = 0; i < values.size(); ++i) {
      if (i > 0) text += ", ";
      text += toString(values[i]);
    }
    return text + "}";
  }
};
}  // namespace doctest

TEST_CASE("tray identifiers: the last entry's successor, unique and positive") {
  TTrayFixture f;
  auto a = std::make_unique<TTaskTray>();
  auto b = std::make_unique<TTaskTray>();
  CHECK(a->IconID() == 1);
  CHECK(b->IconID() == 2);
  CHECK_THROWS_WITH_AS(b->SetIconID(1), "同じアイコン識別子が有ります", EInvalidOperation);
  CHECK_THROWS_WITH_AS(b->SetIconID(0), "0以下は指定できません", EInvalidOperation);
  CHECK_THROWS_WITH_AS(b->SetIconID(-3), "0以下は指定できません", EInvalidOperation);
  CHECK(b->IconID() == 2);
  b->SetIconID(2);

  auto c = std::make_unique<TTaskTray>();
  CHECK(c->IconID() == 3);
  c.reset();
  auto d = std::make_unique<TTaskTray>();
  CHECK(d->IconID() == 3);
  a.reset();
  auto e = std::make_unique<TTaskTray>();
  CHECK(e->IconID() == 4);

  // Entries keep their places when identifiers change: the last one still counts.
  b->SetIconID(10);
  auto g = std::make_unique<TTaskTray>();
  CHECK(g->IconID() == 5);
  // A successor another entry already holds is passed over.
  b->SetIconID(6);
  auto h = std::make_unique<TTaskTray>();
  CHECK(h->IconID() == 7);
  CHECK(f.shell.calls.empty());

  b.reset();
  d.reset();
  e.reset();
  g.reset();
  h.reset();
  CHECK(TTaskTray().IconID() == 1);
}

TEST_CASE("the shell record: an icon is needed, the tip waits for registration, flags follow it") {
  TTrayFixture f;
  const HICON application = SystemIcon(kApplicationIcon);
  auto tray = std::make_unique<TTaskTray>();
  CHECK_THROWS_WITH_AS(tray->SetRegistered(true), "アイコンが指定されていません",
                       EInvalidOperation);
  CHECK_FALSE(tray->Registered());

  const std::string tip = "Vesko 2 - 赤い花.bmp";
  tray->SetTipString(tip);
  tray->SetIcon(application);
  CHECK(tray->TipString() == tip);
  CHECK(f.shell.calls.empty());
  CHECK(TTaskTray::CallbackWindow() == nullptr);
  // The component holds a copy of its own.
  REQUIRE(tray->Icon() != nullptr);
  CHECK(tray->Icon() != application);
  ICONINFO info{};
  REQUIRE(GetIconInfo(tray->Icon(), &info));
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);

  tray->SetRegistered(true);
  REQUIRE(f.shell.calls.size() == 1);
  const TNotifyIconData& added = f.shell.calls[0].data;
  CHECK(f.shell.calls[0].message == NIM_ADD);
  CHECK(added.cbSize == 88);
  CHECK(added.hWnd == TTaskTray::CallbackWindow());
  CHECK(IsWindow(added.hWnd));
  CHECK(added.uID == 1);
  CHECK(added.uFlags == 7);
  CHECK(added.uCallbackMessage == 0x466);
  CHECK(added.hIcon == tray->Icon());
  CHECK(Tip(added) == Utf8ToAnsi(tip));

  tray->SetTipString("");
  REQUIRE(f.shell.calls.size() == 2);
  CHECK(f.shell.calls[1].message == NIM_MODIFY);
  CHECK(f.shell.calls[1].data.uFlags == 3);
  CHECK(Tip(f.shell.calls[1].data).empty());
  tray->SetTipString("");
  tray->SetIcon(tray->Icon());
  CHECK(f.shell.calls.size() == 2);

  tray->SetIcon(SystemIcon(kWarningIcon));
  REQUIRE(f.shell.calls.size() == 3);
  CHECK(f.shell.calls[2].message == NIM_MODIFY);
  CHECK(f.shell.calls[2].data.hIcon == tray->Icon());

  SUBCASE("a new identifier deletes the shown icon and adds it under the new one") {
    tray->SetIconID(5);
    REQUIRE(f.shell.calls.size() == 5);
    CHECK(f.shell.calls[3].message == NIM_DELETE);
    CHECK(f.shell.calls[3].data.uID == 1);
    CHECK(f.shell.calls[4].message == NIM_ADD);
    CHECK(f.shell.calls[4].data.uID == 5);
    CHECK(tray->Registered());
  }
  SUBCASE("an empty icon releases the copy and deletes the shown icon") {
    const HICON copy = tray->Icon();
    tray->SetIcon(nullptr);
    CHECK(tray->Icon() == nullptr);
    CHECK_FALSE(tray->Registered());
    CHECK(f.shell.Messages().back() == NIM_DELETE);
    CHECK_FALSE(GetIconInfo(copy, &info));
    tray->SetTipString("not shown");
    CHECK(f.shell.calls.size() == 4);
  }
  SUBCASE("unregistering deletes it; registering again adds it") {
    tray->SetRegistered(false);
    tray->SetRegistered(true);
    CHECK(f.shell.Messages() ==
          std::vector<DWORD>{NIM_ADD, NIM_MODIFY, NIM_MODIFY, NIM_DELETE, NIM_ADD});
  }
  SUBCASE("destruction deletes the shown icon") {
    tray.reset();
    REQUIRE(f.shell.calls.size() == 4);
    CHECK(f.shell.calls[3].message == NIM_DELETE);
    CHECK(f.shell.calls[3].data.uID == 1);
    CHECK(f.shell.calls[3].data.hWnd == f.shell.calls[0].data.hWnd);
  }
}

TEST_CASE("the tip is cut to 63 ANSI bytes between characters") {
  TTrayFixture f;
  auto tray = ShownTray();
  auto shown = [&](const std::string& tip) {
    tray->SetTipString(tip);
    const TNotifyIconData& data = f.shell.calls.back().data;
    CHECK(data.szTip[63] == '\0');
    return Tip(data);
  };

  const std::string ascii63(63, 'a');
  CHECK(shown(ascii63) == ascii63);
  CHECK(shown(ascii63 + "b") == std::string(60, 'a') + "...");

  // Nine single bytes, then two-byte characters: 9 + 25 * 2 = 59 bytes fit before "...".
  std::string japanese = "Vesko2 - ";
  for (int i = 0; i < 40; ++i) japanese += "壁";
  const std::string cut = shown(japanese);
  REQUIRE(cut.size() == 62);
  CHECK(cut.substr(59) == "...");
  CHECK(AnsiToUtf8(cut.substr(0, 59)) == japanese.substr(0, 9 + 25 * 3));

  // Exactly 63 bytes of two-byte characters and one single byte stay whole.
  std::string full = "x";
  for (int i = 0; i < 31; ++i) full += "花";
  CHECK(shown(full) == Utf8ToAnsi(full));
}

TEST_CASE("a refusing shell is asked again after random pauses, 51 times at most") {
  TTrayFixture f;
  auto tray = std::make_unique<TTaskTray>();
  tray->SetIcon(SystemIcon(kApplicationIcon));

  SUBCASE("three refusals, then the icon is added") {
    f.shell.refusals = 3;
    tray->SetRegistered(true);
    CHECK(f.shell.Messages() == std::vector<DWORD>(4, NIM_ADD));
    // The pauses are the generator's draws below 3000.
    CHECK(f.shell.waits == std::vector<unsigned>{2000, 2999, 7});
    tray->SetTipString("shown");
    CHECK(f.shell.Messages().back() == NIM_MODIFY);
  }
  SUBCASE("a modification is retried the same way") {
    tray->SetRegistered(true);
    f.shell.refusals = 2;
    tray->SetTipString("again");
    CHECK(f.shell.Messages() == std::vector<DWORD>{NIM_ADD, NIM_MODIFY, NIM_MODIFY, NIM_MODIFY});
  }
  SUBCASE("always refused: the error after the 51st attempt; registered but not added") {
    f.shell.refuseAll = true;
    CHECK_THROWS_WITH_AS(tray->SetRegistered(true), "タスクトレイに登録できません",
                         EInvalidOperation);
    CHECK(f.shell.Messages() == std::vector<DWORD>(51, NIM_ADD));
    CHECK(f.shell.waits.size() == 50);
    for (unsigned wait : f.shell.waits) CHECK(wait < 3000);
    CHECK(tray->Registered());

    f.shell.refuseAll = false;
    f.shell.calls.clear();
    tray->SetTipString("later");
    CHECK(f.shell.Messages() == std::vector<DWORD>{NIM_ADD});
  }
  SUBCASE("an icon never added is not deleted") {
    f.shell.refuseAll = true;
    CHECK_THROWS(tray->SetRegistered(true));
    f.shell.calls.clear();
    tray.reset();
    CHECK(f.shell.calls.empty());
  }
}

TEST_CASE("mouse callbacks: each message raises its event with buttons and screen position") {
  TTrayFixture f;
  TEventLog log;
  auto first = ShownTray();
  auto second = ShownTray();
  TTestMenu left("L", log);
  TTestMenu right("R", log);
  second->SetPopupMenuL(&left);
  second->SetPopupMenuR(&right);
  log.Watch(*first);
  log.Watch(*second);
  REQUIRE(SetCursorPos(321, 234));

  struct TCase {
    LPARAM message;
    std::vector<std::string> expected;
  };
  const TCase cases[] = {
      {0x200, {"2 move 0 321,234"}},
      {0x201, {"2 down L 8 321,234", "popup L 321,234"}},
      {0x202, {"2 up L 8 321,234"}},
      {0x203, {"2 dblclick L"}},
      {0x204, {"2 down R 16 321,234", "popup R 321,234"}},
      {0x205, {"2 up R 16 321,234"}},
      {0x206, {"2 dblclick R"}},
      {0x207, {"2 down M 32 321,234"}},
      {0x208, {"2 up M 32 321,234"}},
      {0x405, {"2 balloon"}},  // NIN_BALLOONUSERCLICK
      {0x209, {}},             // middle double click
      {0x20A, {}},
      {0x1FF, {}},
  };
  for (const TCase& c : cases) {
    CAPTURE(c.message);
    log.lines.clear();
    SendCallback(2, c.message);
    CHECK(log.lines == c.expected);
  }

  log.lines.clear();
  SendCallback(1, 0x204);  // the first has no menus
  SendCallback(3, 0x201);  // no such icon
  SendCallback(0xFFFFFFFF, 0x201);
  CHECK(log.lines == std::vector<std::string>{"1 down R 16 321,234"});

  // A balloon goes over a shown icon only.
  CHECK(second->ShowBalloon("Vesko 2 の起動", "フォルダがありません"));
  TTaskTray hidden;
  CHECK_FALSE(hidden.ShowBalloon("Vesko 2 の起動", "フォルダがありません"));
  CHECK(f.shell.balloons == std::vector<std::string>{"2 Vesko 2 の起動: フォルダがありません"});

  // Callbacks follow a changed identifier.
  second->SetIconID(7);
  log.lines.clear();
  SendCallback(2, 0x203);
  SendCallback(7, 0x206);
  CHECK(log.lines == std::vector<std::string>{"7 dblclick R"});
}

TEST_CASE("a button press brings the owner forward and runs waiting messages first") {
  TTrayFixture f;
  TEventLog log;
  TTestForm owner(log, 10);
  TTestForm other(log, 200);
  TTestMenu right("R", log);
  auto tray = ShownTray(owner.Handle());
  tray->SetPopupMenuR(&right);
  log.Watch(*tray);
  REQUIRE(SetCursorPos(40, 50));
  SetForegroundWindow(other.Handle());
  REQUIRE(GetForegroundWindow() == other.Handle());

  PostMessageW(owner.Handle(), WM_APP, 0, 0);
  SendCallback(1, WM_RBUTTONDOWN);
  CHECK(log.lines == std::vector<std::string>{"posted", "1 down R 16 40,50", "popup R 40,50"});
  CHECK(GetForegroundWindow() == owner.Handle());

  SUBCASE("a destroyed menu is forgotten") {
    auto menu = std::make_unique<TTestMenu>("gone", log);
    tray->SetPopupMenuL(menu.get());
    CHECK(tray->PopupMenuL() == menu.get());
    menu.reset();
    CHECK(tray->PopupMenuL() == nullptr);
    log.lines.clear();
    SendCallback(1, WM_LBUTTONDOWN);
    CHECK(log.lines == std::vector<std::string>{"1 down L 8 40,50"});
  }
  SUBCASE("a menu command that destroys the last instance takes the window with it") {
    const HWND window = TTaskTray::CallbackWindow();
    right.OnPopup = [&] { tray.reset(); };
    SendCallback(1, WM_RBUTTONDOWN);
    CHECK(tray == nullptr);
    CHECK(f.shell.Messages().back() == NIM_DELETE);
    CHECK(TTaskTray::CallbackWindow() == nullptr);
    CHECK_FALSE(IsWindow(window));
  }
}

TEST_CASE("a callback that arrives while one is handled is ignored, also after an error") {
  TTrayFixture f;
  TErrorCatcher catcher;
  TEventLog log;
  auto tray = ShownTray();
  log.Watch(*tray);
  SetCursorPos(5, 6);

  tray->OnMouseMove = [&](TTaskTray&, TShiftState, int, int) {
    log.Add("move");
    SendCallback(1, WM_LBUTTONDBLCLK);
  };
  SendCallback(1, WM_MOUSEMOVE);
  CHECK(log.lines == std::vector<std::string>{"move"});

  tray->OnMouseMove = [&](TTaskTray&, TShiftState, int, int) { throw Exception("broken"); };
  SendCallback(1, WM_MOUSEMOVE);
  CHECK(catcher.errors == std::vector<std::string>{"broken"});
  SendCallback(1, WM_LBUTTONDBLCLK);
  CHECK(log.lines == std::vector<std::string>{"move", "1 dblclick L"});
}

TEST_CASE("the callback window lives from the first addition until the last instance goes") {
  TTrayFixture f;
  auto a = std::make_unique<TTaskTray>();
  auto b = std::make_unique<TTaskTray>();
  b->SetIcon(SystemIcon(kApplicationIcon));
  CHECK(TTaskTray::CallbackWindow() == nullptr);
  b->SetRegistered(true);
  const HWND window = TTaskTray::CallbackWindow();
  REQUIRE(IsWindow(window));
  b->SetRegistered(false);
  b.reset();
  CHECK(TTaskTray::CallbackWindow() == window);
  CHECK(IsWindow(window));
  a.reset();
  CHECK(TTaskTray::CallbackWindow() == nullptr);
  CHECK_FALSE(IsWindow(window));
}

TEST_CASE("a restarted shell gets every registered icon again") {
  TTrayFixture f;
  auto shown = ShownTray();
  auto hidden = std::make_unique<TTaskTray>();
  hidden->SetIcon(SystemIcon(kApplicationIcon));
  auto removed = ShownTray();
  removed->SetRegistered(false);
  f.shell.calls.clear();

  // The shell announces itself to every top-level window.
  PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  CHECK(PumpUntil([&] { return !f.shell.calls.empty(); }, 5000));
  PumpUntil([] { return false; }, 100);
  REQUIRE(f.shell.calls.size() == 1);
  CHECK(f.shell.calls[0].message == NIM_ADD);
  CHECK(f.shell.calls[0].data.uID == static_cast<UINT>(shown->IconID()));
  shown->SetTipString("after the restart");
  CHECK(f.shell.Messages().back() == NIM_MODIFY);
}

namespace {

// The real shell, with every answer kept; a pause would mean a refusal.
class TRecordingShell final : public ITrayShell {
 public:
  bool NotifyIcon(DWORD message, const TNotifyIconData& data) override {
    NOTIFYICONDATAA record{};
    std::memcpy(&record, &data, sizeof data);
    const bool taken = Shell_NotifyIconA(message, &record) != FALSE;
    answers.push_back({message, taken});
    return taken;
  }
  void Wait(unsigned) override { ++waits; }

  std::vector<std::pair<DWORD, bool>> answers;
  int waits = 0;
};

// Whether the shell knows the icon: it takes an empty modification only of an icon it has.
bool ShellHas(HWND window, UINT id) {
  NOTIFYICONDATAA probe{};
  probe.cbSize = NOTIFYICONDATAA_V1_SIZE;
  probe.hWnd = window;
  probe.uID = id;
  return Shell_NotifyIconA(NIM_MODIFY, &probe) != FALSE;
}

}  // namespace

TEST_CASE("the desktop's notification area takes, changes and deletes the icon") {
  REQUIRE(FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr);
  TRecordingShell shell;
  ITrayShell* previous = TTaskTray::SetShell(&shell);
  {
    auto tray = std::make_unique<TTaskTray>();
    tray->SetIcon(SystemIcon(kApplicationIcon));
    tray->SetTipString("Vesko 2 - 試験.bmp");
    tray->SetRegistered(true);
    const HWND window = TTaskTray::CallbackWindow();
    CHECK(ShellHas(window, 1));
    tray->SetTipString("Vesko 2 - 二枚目の壁紙.bmp");
    tray->SetIcon(SystemIcon(kWarningIcon));
    tray->SetRegistered(false);
    CHECK_FALSE(ShellHas(window, 1));
    tray->SetRegistered(true);
    CHECK(ShellHas(window, 1));
    tray.reset();
    CHECK_FALSE(ShellHas(window, 1));
  }
  TTaskTray::SetShell(previous);
  CHECK(shell.waits == 0);
  const std::vector<std::pair<DWORD, bool>> expected{{NIM_ADD, true},    {NIM_MODIFY, true},
                                                     {NIM_MODIFY, true}, {NIM_DELETE, true},
                                                     {NIM_ADD, true},    {NIM_DELETE, true}};
  CHECK(shell.answers == expected);
}
