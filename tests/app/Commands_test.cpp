#include <doctest/doctest.h>

#include <set>

#include "app/Commands.h"
#include "app/InputGate.h"

namespace {

std::vector<std::string> Texts(const std::vector<TMenuEntry>& entries) {
  std::vector<std::string> texts;
  for (const TMenuEntry& e : entries) {
    texts.push_back(e.Text() + (e.Action != nullptr ? "\t" + ShortCutToText(e.Action->ShortCut)
                                                    : std::string()));
  }
  return texts;
}

void Collect(const std::vector<TMenuEntry>& entries, std::set<const TAction*>& found) {
  for (const TMenuEntry& e : entries) {
    if (e.Action != nullptr) found.insert(e.Action);
    Collect(e.Items, found);
  }
}

}  // namespace

TEST_CASE("the command table: 37 actions in order, with the tags handlers read") {
  TCommands c;
  const std::vector<TAction*>& list = c.ActionList();
  REQUIRE(list.size() == 37);
  CHECK(std::set<TAction*>(list.begin(), list.end()).size() == 37);
  CHECK(list.front() == &c.TileAction);
  CHECK(list[6] == &c.ReloadFolderAction);
  CHECK(list[32] == &c.LoadListAction);
  CHECK(list[34] == &c.FitAction);
  CHECK(list[35] == &c.ExcludeAction);
  CHECK(list.back() == &c.UndoExcludeAction);
  CHECK(c.FillAction.Tag == 3);  // the FitMode setting plus 2
  CHECK(c.FitAction.Tag == 4);
  CHECK(c.TileAction.Tag == 1);
  CHECK(c.CenterAction.Tag == 0);
  CHECK(c.WideAction.Tag == 2);
  CHECK(c.OpenFolderAction.Tag == -1);
  CHECK(c.PreAction.Tag == -1);
  CHECK(c.DeleteAction.Tag == -1);
  CHECK(c.ShortCutAction.Tag == -1);
  CHECK(c.PauseScreenSacverAction.Tag == 1);
  CHECK(c.G_SelectEditorAction.Caption == "G_SelectEditorAction");
  CHECK(c.NextAction.Caption.empty());
  CHECK(c.NextAction.Hint == "Next (Ctrl + Click = Preview)");
  int view = 0, operation = 0, edit = 0;
  for (const TAction* a : list) {
    view += a->Category == "表示";
    operation += a->Category == "操作";
    edit += a->Category == "編集";
  }
  CHECK(view == 14);
  CHECK(operation == 14);
  CHECK(edit == 9);
}

TEST_CASE("shortcut texts") {
  CHECK(ShortCutToText('T') == "T");
  CHECK(ShortCutToText(kCtrl | kKeyF5) == "Ctrl+F5");
  CHECK(ShortCutToText(kShift | kKeyDelete) == "Shift+Del");
  CHECK(ShortCutToText(kAlt | kKeyReturn) == "Alt+Enter");
  CHECK(ShortCutToText(kCtrl | kShift | 'S') == "Shift+Ctrl+S");
  CHECK(ShortCutToText(kKeyBack) == "BkSp");
  CHECK(ShortCutToText(0).empty());
}

TEST_CASE("the context menu tree: five submenus, then properties, about and close") {
  TCommands c;
  int nextRuns = 0;
  const TComponent* lastSender = nullptr;
  const std::vector<TMenuEntry> menu = c.ContextMenu([&](TComponent& sender) {
    ++nextRuns;
    lastSender = &sender;
  });
  REQUIRE(menu.size() == 8);
  CHECK(Texts(menu) == std::vector<std::string>{"操作", "表示", "設定", "編集", "履歴",
                                                "情報..\tAlt+Enter", "About Me ..\tA", "終了\t"});
  CHECK(menu[4].IsHistory);
  CHECK(Texts(menu[0].Items) ==
        std::vector<std::string>{"ファイル..\tF", "フォルダ..\tD", "ファイルリストの保存..\t",
                                 "ファイルリストの読み込み..\t", "次へ", "前へ", "ボスが来た\t",
                                 "スクリーンセーバ起動\tS",
                                 "スクリーンセーバ一時停止\tShift+Ctrl+S"});
  CHECK(Texts(menu[1].Items) ==
        std::vector<std::string>{"タイル\tT", "センター\tC", "塗りつぶし\tR",
                                 "ページ幅に合わせる\tP", "壁紙無し\tN", "再読込\tF5",
                                 "フォルダの再読込\tCtrl+F5", "クリップボード\tCtrl+V",
                                 "指定名を表示..\t", "画質優先で再読込\tShift+F5"});
  CHECK(Texts(menu[2].Items) ==
        std::vector<std::string>{"設定..\tCtrl+O", "タスクトレイ\tCtrl+T", "タイマー\t"});
  CHECK(Texts(menu[3].Items) ==
        std::vector<std::string>{"グラフィックソフト..\tG", "ファイルのコピー..\tCtrl+C",
                                 "ショートカットの作成..\tCtrl+S", "【ファイル名の】コピー\t",
                                 "ゴミ箱..\tDel", "削除..\tShift+Del",
                                 "この画像を今後表示しない\tX", "直前の除外を取り消す\tShift+X"});
  // The plain entries run the next handler with senders whose tags give the direction.
  const TMenuEntry& next = menu[0].Items[4];
  const TMenuEntry& pre = menu[0].Items[5];
  next.OnClick(*next.Sender);
  CHECK(lastSender == &c.NextMenuItem);
  pre.OnClick(*pre.Sender);
  CHECK(lastSender == &c.PreMenuItem);
  CHECK(nextRuns == 2);
  CHECK(c.NextMenuItem.Tag == 1);
  CHECK(c.PreMenuItem.Tag == -1);
  CHECK(next.Hint == "Next");

  // Reached only by their keys (and the buttons).
  std::set<const TAction*> inMenu;
  Collect(menu, inMenu);
  CHECK(inMenu.size() == 31);
  for (const TAction* a : {&c.WideAction, &c.ViewModeAction, &c.G_SelectEditorAction, &c.NextAction,
                           &c.PreAction, &c.SetNowAction}) {
    CHECK(inMenu.count(a) == 0);
  }
}

TEST_CASE("keys: menu entries first, then the table; Ctrl+F5 reloads the folder") {
  TCommands c;
  const std::vector<TMenuEntry> menu = c.ContextMenu([](TComponent&) {});
  CHECK(c.FindShortCut(menu, kCtrl | kKeyF5) == &c.ReloadFolderAction);
  CHECK(c.FindShortCut({}, kCtrl | kKeyF5) == &c.SetNowAction);  // what the menu prevents
  CHECK(c.FindShortCut(menu, kKeyReturn) == &c.NextAction);
  CHECK(c.FindShortCut(menu, kKeyBack) == &c.PreAction);
  CHECK(c.FindShortCut(menu, kAlt | kKeyReturn) == &c.PropAction);
  CHECK(c.FindShortCut(menu, 'W') == &c.WideAction);
  CHECK(c.FindShortCut(menu, kShift | 'W') == nullptr);
  CHECK(c.FindShortCut(menu, 0) == nullptr);
  // No action has an empty shortcut that a bare modifier could reach.
  CHECK(c.FindShortCut(menu, kCtrl) == nullptr);
  // Every shortcut of the table reaches its own action, except the one Ctrl+F5 shadows.
  for (TAction* a : c.ActionList()) {
    if (a->ShortCut == 0 || a == &c.SetNowAction) continue;
    CHECK(c.FindShortCut(menu, a->ShortCut) == a);
  }
  c.SetNowAction.OnExecute = [](TAction&) { FAIL("never runs"); };
  CHECK_FALSE(c.SetNowAction.Execute());
}

TEST_CASE("the input gate: what waits runs once afterwards, in order, folded or the latest") {
  TBusy busy = TBusy::HelperCall;
  std::string ran;
  int wakes = 0, beeps = 0, givenUp = 0;
  TInputGate gate;
  gate.Busy = [&] { return busy == TBusy::FullScreen ? TBusy::Idle : busy; };
  int systemAsked = 0;
  gate.SystemBusy = [&] {
    ++systemAsked;
    return busy == TBusy::FullScreen;
  };
  gate.WakeWhenIdle = [&] { ++wakes; };
  gate.Refused = [&] { ++beeps; };
  gate.GiveUpCurrentStep = [&] { ++givenUp; };
  const auto add = [&](const char* what) { return [&ran, what] { ran += what; }; };
  const int next = 0, previous = 0;
  // During a plug-in call: 終了 acts, three 次へ are one, drops and hand-overs keep the latest,
  // ticks are skipped, and the boss key gives the call up.
  CHECK(gate.Offer(TInput::Quit, add("Q")));
  CHECK_FALSE(gate.Offer(TInput::Command, add("n"), &next));
  CHECK_FALSE(gate.Offer(TInput::Drop, add("d1")));
  CHECK_FALSE(gate.Offer(TInput::Command, add("p"), &previous));
  CHECK_FALSE(gate.Offer(TInput::Command, add("n"), &next));
  CHECK_FALSE(gate.Offer(TInput::Drop, add("d2")));
  CHECK_FALSE(gate.Offer(TInput::HandOver, add("h")));
  CHECK_FALSE(gate.Offer(TInput::TimerTick, add("T")));
  CHECK(ran == "Q");
  CHECK(givenUp == 0);
  CHECK_FALSE(gate.Offer(TInput::BossKey, add("B")));
  CHECK(givenUp == 1);
  CHECK(wakes == 7);
  // Still inside: nothing runs. A box of ours next lets the boss key act, the rest waits.
  CHECK(gate.Release());
  busy = TBusy::Dialog;
  CHECK(gate.Release());
  CHECK(ran == "QB");
  busy = TBusy::Idle;
  CHECK_FALSE(gate.Release());
  CHECK(ran == "QBpnd2h");
  // A menu hotkey under a box beeps; a display remake waits out a full-screen game.
  busy = TBusy::Dialog;
  CHECK_FALSE(gate.Offer(TInput::MenuHotKey, add("M")));
  CHECK(beeps == 1);
  busy = TBusy::FullScreen;
  CHECK(gate.Offer(TInput::TimerTick, add("T")));
  CHECK_FALSE(gate.Offer(TInput::DisplayChange, add("D")));
  CHECK(gate.Release());
  busy = TBusy::Idle;
  CHECK_FALSE(gate.Release());
  CHECK(ran == "QBpnd2hTD");
  CHECK(systemAsked == 3);  // for the display remake only
}
