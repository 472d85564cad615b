#include <doctest/doctest.h>

#include "base/IniFile.h"
#include "engine/HistoryIni.h"

namespace {

// A context menu whose top-level "履歴" item the history fills.
struct THistoryMenu {
  TMenuItem root{"", ""};
  TMenuItem* target = root.Add(std::make_unique<TMenuItem>("HistoryMen", "履歴"));
  THistoryIni history;

  explicit THistoryMenu(int shown = 5) {
    history.SetTargetMenuItem(target);
    history.SetHistoryNum(shown);
    history.SetActive(true);
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> out;
    for (int i = 0; i < history.Entries().Count(); ++i)
      out.push_back(history.Entries().Item(i)->Text);
    return out;
  }
  std::vector<std::string> Captions() const {
    std::vector<std::string> out;
    for (int i = 0; i < target->Count(); ++i) out.push_back(target->Item(i)->Caption);
    return out;
  }
};

}  // namespace

TEST_CASE("recording uses: new first, known ones swap with the first, 32 at most") {
  THistoryMenu m;
  for (const char* s : {"A", "B", "C", "D"}) m.history.AddHistory(s);
  CHECK(m.Entries() == std::vector<std::string>{"D", "C", "B", "A"});
  m.history.AddHistory("  B\t");  // trimmed, then found at 2: swaps with the first
  CHECK(m.Entries() == std::vector<std::string>{"B", "C", "D", "A"});
  m.history.AddHistory("B");  // the same twice in a row: unchanged
  CHECK(m.Entries() == std::vector<std::string>{"B", "C", "D", "A"});
  m.history.AddHistory(" \r\n");
  CHECK(m.Entries().size() == 4);
  m.history.AddHistory("C:\\Pics");
  m.history.AddHistory("c:\\pics");  // another entry: the comparison keeps the case
  CHECK(m.Entries().size() == 6);

  THistoryMenu full;
  for (int i = 0; i < 33; ++i) full.history.AddHistory("folder " + std::to_string(i));
  CHECK(full.Entries().size() == 32);
  CHECK(full.Entries().front() == "folder 32");
  CHECK(full.Entries().back() == "folder 1");  // the oldest went
  IniFile ini;
  full.history.Save(ini);
  CHECK(ini.ReadInteger("History", "Count", 0) == 32);
  CHECK(ini.ReadString("History", "H31", "") == "folder 1");
}

TEST_CASE("the menu: numbered captions of the first entries, hints, clicks reopen and reorder") {
  THistoryMenu m;
  std::vector<std::string> selected;
  m.history.OnHistorySelected = [&](const std::string& name) { selected.push_back(name); };
  for (int i = 11; i >= 0; --i) m.history.AddHistory("P" + std::to_string(i));
  CHECK(m.Captions() == std::vector<std::string>{"&0 P0", "&1 P1", "&2 P2", "&3 P3", "&4 P4"});
  CHECK(m.target->Item(3)->Hint == "P3");
  IniFile ini;
  m.history.Save(ini);
  CHECK(ini.ReadInteger("History", "Count", 0) == 12);

  // A, B, C, D: choosing the third gives C, B, A, D.
  THistoryMenu abcd;
  abcd.history.OnHistorySelected = [&](const std::string& name) { selected.push_back(name); };
  for (const char* s : {"D", "C", "B", "A"}) abcd.history.AddHistory(s);
  TMenuItem* third = abcd.target->Item(2);
  third->OnClick(*third);
  CHECK(selected.back() == "C");
  CHECK(abcd.Entries() == std::vector<std::string>{"C", "B", "A", "D"});
  CHECK(abcd.Captions().front() == "&0 C");

  abcd.history.ShowCounter = false;
  abcd.history.BuildMenu();
  CHECK(abcd.Captions().front() == "C");
}

TEST_CASE("loading: missing keys read BUG; keys of a longer earlier list stay unread") {
  IniFile ini = IniFile::Parse("[History]\r\nCount=3\r\nH0=C:\\a\r\nH2=C:\\c\r\nH3=old\r\n");
  THistoryMenu m;
  m.history.Load(ini);
  CHECK(m.Entries() == std::vector<std::string>{"C:\\a", "BUG", "C:\\c"});
  m.history.AddHistory("C:\\a");
  IniFile out = ini;
  m.history.Save(out);
  CHECK(out.ReadInteger("History", "Count", 0) == 3);
  CHECK(out.ReadString("History", "H3", "") == "old");
  // A count past what the history holds reads only the 32 entries it keeps.
  for (const char* count : {"100000", "2000000000"}) {
    THistoryMenu big;
    big.history.Load(IniFile::Parse(std::string("[History]\r\nCount=") + count + "\r\n"));
    CHECK(big.Entries().size() == 32);
  }
  THistoryMenu negative;
  negative.history.Load(IniFile::Parse("[History]\r\nCount=-5\r\nH0=C:\\a\r\n"));
  CHECK(negative.Entries().empty());
  THistoryMenu none;
  none.history.Load(IniFile());
  CHECK(none.Entries().empty());
  CHECK(none.Captions().empty());  // a top-level target shows nothing when empty
}

TEST_CASE("long entries are shortened between their first and last parts") {
  THistoryIni h;
  CHECK(h.ShortenCaption("C:\\Users\\someone\\Pictures\\Holiday\\2003\\Beach\\img0001.jpg") ==
        "C:\\Users\\someone\\Pictures\\...\\img0001.jpg");
  CHECK(h.ShortenCaption("C:\\short\\path") == "C:\\short\\path");
  CHECK(h.ShortenCaption("\\\\server\\share\\folder\\deeper\\and\\deeper\\still\\picture.bmp") ==
        "\\\\server\\share\\folder\\deeper\\...\\picture.bmp");
  CHECK(h.ShortenCaption("relative\\folder\\with\\a\\rather\\long\\name\\list.V2List") ==
        "relative\\folder\\with\\a\\...\\list.V2List");
  // Japanese characters count twice, as in Shift-JIS.
  CHECK(AnsiWidth("写真ｱ") == 5);
  CHECK(h.ShortenCaption("D:\\写真\\旅行\\二千三年\\海辺の町\\夕方\\一枚目.jpg") ==
        "D:\\写真\\旅行\\二千三年\\...\\一枚目.jpg");
}

TEST_CASE("placement: top level, inside a submenu, in place of a separator; only own items go") {
  TMenuItem root{"", ""};
  TMenuItem* file = root.Add(std::make_unique<TMenuItem>("FileMenu", "ファイル"));
  file->Add(std::make_unique<TMenuItem>("Open", "開く"));
  TMenuItem* line = file->Add(std::make_unique<TMenuItem>("HistoryLine", "-"));
  file->Add(std::make_unique<TMenuItem>("Quit", "終了"));
  TMenuItem* recent = file->Add(std::make_unique<TMenuItem>("Recent", "最近"));

  THistoryIni inPlace;
  inPlace.SetTargetMenuItem(line);
  CHECK(inPlace.PlacementMode() == 2);
  inPlace.SetActive(true);
  inPlace.AddHistory("X");
  // A new line, then the item, where the separator stands.
  CHECK(file->Item(1)->Caption == "-");
  CHECK(file->Item(2)->Caption == "&0 X");
  CHECK(file->Item(3) == line);
  inPlace.SetActive(false);
  CHECK(file->Count() == 4);

  THistoryIni below;
  below.SetTargetMenuItem(recent);
  CHECK(below.PlacementMode() == 0);
  below.SetActive(true);
  REQUIRE(recent->Count() == 1);
  CHECK(recent->Item(0)->Caption == "(なし)");
  CHECK_FALSE(recent->Item(0)->Enabled);
  below.AddHistory("Y");
  CHECK(recent->Count() == 1);
  CHECK(recent->Item(0)->Caption == "&0 Y");

  THistoryIni top;
  top.SetTargetMenuItem(file);
  CHECK(top.PlacementMode() == 1);
  top.SetActive(true);
  top.AddHistory("Z");
  CHECK(file->Count() == 6);  // a line parts it from the items that were there
  CHECK(file->Item(4)->Caption == "-");
  top.SetActive(false);
  CHECK(file->Count() == 4);

  THistoryIni nowhere;
  CHECK_THROWS_WITH_AS(nowhere.SetActive(true), "ターゲットが指定されていません", EMenuCreator);
  CHECK_FALSE(nowhere.Active());
}
