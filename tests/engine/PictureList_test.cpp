#include <doctest/doctest.h>

#include <algorithm>
#include <memory>
#include <set>

#include "app/Settings.h"
#include "base/Exception.h"
#include "base/IniFile.h"
#include "base/Random.h"
#include "base/TextCase.h"
#include "engine/ExtensionList.h"
#include "engine/FileSystem.h"
#include "engine/FolderIdentity.h"
#include "engine/ListFile.h"
#include "engine/PictureList.h"
#include "engine/ShuffleRound.h"
#include "support/Fakes.h"

namespace {

struct Fixture {
  TFakeFileSystem files;
  TScriptedDialogs dialogs;
  TRecordingBusy busy;
  TFixedRandom random;
  TFakeClock clock;
  TSettings settings;
  TPictureList list{settings, {files, dialogs, busy, random, clock}};
  int pictureSets = 0;
  std::vector<std::string> history;
  int formTag = 0;

  Fixture() {
    list.SetCurrentPicture = [this] {
      ++pictureSets;
      settings.PaperName = list.MainListBox.Current();
      return true;
    };
    list.AddHistory = [this](const std::string& source) { history.push_back(source); };
    list.FormTag = &formTag;
    files.AddFolder("C:\\p");
    files.AddFile("C:\\p\\a.JPG");
    files.AddFile("C:\\p\\b.txt");
    files.AddFile("C:\\p\\c.jpeg");
    files.AddFolder("C:\\p\\s");
    files.AddFile("C:\\p\\s\\d.bmp");
    files.AddFile("C:\\p\\e.Bmp");
    files.AddFile("C:\\p\\noext");
  }
};

bool IsPermutation(const TListBox& random, int n) {
  if (random.Count() != n) return false;
  std::set<std::string> seen(random.Items.begin(), random.Items.end());
  for (int i = 0; i < n; ++i) {
    if (!seen.count(std::to_string(i))) return false;
  }
  return seen.size() == static_cast<size_t>(n);
}

}  // namespace

TEST_CASE("extension list: built-ins, plug-in filters, removals") {
  const TExtensionList list =
      TExtensionList::Build({"*.pic;*.pict", "*.*", "*.sue;*.Mag", "*.jpg"});
  CHECK(list.Masks() == std::vector<std::string>{"*.ArcLink", "*.BMP", "*.ICO", "*.JPEG", "*.JPG",
                                                 "*.lnk", "*.MAG", "*.PIC", "*.PICT"});
  CHECK(list.Accepts("C:\\a.pic"));
  CHECK(list.Accepts("C:\\x.arclink"));
  CHECK_FALSE(list.Accepts("C:\\a.sue"));
  CHECK_FALSE(list.Accepts("C:\\noext"));
  CHECK_FALSE(list.Accepts("C:\\dir.jpg\\noext"));
}

TEST_CASE("folder scan: enumeration order, subfolders depth first, filter") {
  Fixture f;
  f.settings.PaperFolder = "C:\\p";
  f.list.LoadPictureList();
  CHECK(f.list.MainListBox.Items ==
        std::vector<std::string>{"C:\\p\\a.JPG", "C:\\p\\c.jpeg", "C:\\p\\e.Bmp"});
  f.settings.SubDir = true;
  f.list.LoadPictureList();
  CHECK(f.list.MainListBox.Items == std::vector<std::string>{"C:\\p\\a.JPG", "C:\\p\\c.jpeg",
                                                             "C:\\p\\s\\d.bmp", "C:\\p\\e.Bmp"});
}

TEST_CASE("folder scan: links back up the tree or across it are entered once") {
  using TIndexes = TFakeFileSystem::TIndexes;
  // Also where the volume answers index 0 for every folder or repeats one (ReFS, network
  // redirectors): no folder of the tree may drop out, and no loop may run on.
  for (const TIndexes indexes :
       {TIndexes::Unique, TIndexes::Zero, TIndexes::Repeated, TIndexes::RepeatedWithTime}) {
    CAPTURE(static_cast<int>(indexes));
    TFakeFileSystem files;
    files.indexes = indexes;
    files.AddFolder("C:\\t");
    files.AddFile("C:\\t\\a.jpg");
    files.AddFolder("C:\\t\\s");
    files.AddFile("C:\\t\\s\\b.jpg");
    files.AddLink("C:\\t\\s\\up", "C:\\t");     // a junction to the parent
    files.AddLink("C:\\t\\again", "C:\\t\\s");  // a second way into a subfolder
    files.AddFolder("C:\\t\\u");
    files.AddFile("C:\\t\\u\\d.jpg");
    files.AddFolder("C:\\other");
    files.AddFile("C:\\other\\c.jpg");
    files.AddLink("C:\\t\\out", "C:\\other");  // a link out of the tree is followed
    std::vector<std::string> list;
    ScanFolder(files, "C:\\t", true, list);
    CHECK(list == std::vector<std::string>{"C:\\t\\a.jpg", "C:\\t\\s\\b.jpg", "C:\\t\\u\\d.jpg",
                                           "C:\\t\\out\\c.jpg"});
  }
}

TEST_CASE("a folder's identity: the 128-bit id, the 64-bit index, else the final path") {
  TFolderFacts facts;
  CHECK(FolderIdentityText(facts).empty());
  facts.FinalPath = "\\\\?\\C:\\Pics";
  const std::string byPath = FolderIdentityText(facts);
  CHECK(byPath == "path:\\\\?\\C:\\PICS");
  facts.FinalPath = "\\\\?\\c:\\pics";
  CHECK(FolderIdentityText(facts) == byPath);  // one folder however its name is cased
  facts.FileIndex = 42;
  facts.VolumeSerial = 9;
  facts.CreationTime = 100;
  const std::string byIndex = FolderIdentityText(facts);
  CHECK(byIndex == "9:42:100:\\\\?\\C:\\PICS");
  facts.CreationTime = 101;  // a volume that repeats its indexes: still another folder
  CHECK(FolderIdentityText(facts) != byIndex);
  facts.FileId[15] = 0xAB;  // the 128-bit id wins over the index
  CHECK(FolderIdentityText(facts) == "9:000000000000000000000000000000ab:101:\\\\?\\C:\\PICS");
}

TEST_CASE("relative sources and list lines become full paths") {
  Fixture f;
  TFakeFileSystem& files = f.files;
  files.AddFolder("C:\\cwd");
  files.AddFolder("C:\\cwd\\pics");
  files.AddFile("C:\\cwd\\pics\\a.jpg");
  files.AddFolder("D:\\lists");
  files.AddFile("D:\\lists\\my.V2List", FileAttr::Archive,
                {"sub\\x.jpg", "", "E:\\full\\y.jpg", "\\\\server\\share\\z.jpg"});
  TSettings& settings = f.settings;
  TPictureList& list = f.list;
  settings.PaperFolder = "pics";
  list.LoadPictureList();
  CHECK(settings.PaperFolder == "C:\\cwd\\pics");
  CHECK(list.MainListBox.Items == std::vector<std::string>{"C:\\cwd\\pics\\a.jpg"});
  settings.PaperFolder = "D:\\lists\\my.V2List";
  list.LoadPictureList();
  CHECK(list.MainListBox.Items == std::vector<std::string>{"D:\\lists\\sub\\x.jpg", "",
                                                           "E:\\full\\y.jpg",
                                                           "\\\\server\\share\\z.jpg"});
}

TEST_CASE("list lines in any form a script writes name the same files; the resume finds them") {
  TFakeFileSystem files;
  const struct {
    const char* listFolder;
    const char* line;
    const char* entry;
  } lines[] = {
      {"D:\\lists", "C:/pics/a.jpg", "C:\\pics\\a.jpg"},
      {"D:\\lists", "C:\\pics\\.\\a.jpg", "C:\\pics\\a.jpg"},
      {"D:\\lists", "C:\\pics\\old\\..\\a.jpg", "C:\\pics\\a.jpg"},
      {"D:\\lists", "sub\\x.jpg", "D:\\lists\\sub\\x.jpg"},
      {"D:\\lists", ".\\sub/x.jpg", "D:\\lists\\sub\\x.jpg"},
      {"D:\\lists", "..\\x.jpg", "D:\\x.jpg"},
      {"D:\\lists", "\\pics\\a.jpg", "D:\\pics\\a.jpg"},  // rooted: the list's drive
      {"D:\\", "\\pics\\a.jpg", "D:\\pics\\a.jpg"},
      {"\\\\srv\\share\\lists", "\\pics\\a.jpg", "\\\\srv\\share\\pics\\a.jpg"},
      {"\\\\srv\\share\\lists", "a.jpg", "\\\\srv\\share\\lists\\a.jpg"},
      {"\\\\srv\\share", "\\pics\\a.jpg",
       "\\\\srv\\share\\pics\\a.jpg"},  // a list at the share's root
      {"D:\\lists", "//srv/share/a.jpg", "\\\\srv\\share\\a.jpg"},
      {"D:\\lists", "", ""},
  };
  for (const auto& l : lines) {
    CAPTURE(l.line);
    CHECK(ListEntryPath(files, l.listFolder, l.line) == l.entry);
  }

  // A list written by a script: the saved picture is found again at every start, and random
  // order goes on with its round.
  Fixture f;
  f.files.AddFolder("D:\\lists");
  f.files.AddFile("D:\\lists\\script.V2List", FileAttr::Archive,
                  {"C:/p/a.JPG", "c:\\P\\.\\c.jpeg", "\\p\\e.Bmp", "s\\d.bmp"});
  for (const bool random : {false, true}) {
    f.settings.RandomLoad = random;
    f.settings.PaperFolder = "D:\\lists\\script.V2List";
    for (const char* saved : {"C:\\p\\a.JPG", "C:\\p\\c.jpeg", "D:\\p\\e.Bmp"}) {
      CAPTURE(saved);
      f.settings.PaperName = saved;
      const int32_t seed = f.settings.RandomSeed;
      f.list.LoadPictureList();
      CHECK(SameText(f.list.MainListBox.Current(), saved));
      if (seed != 0) CHECK(f.settings.RandomSeed == seed);
    }
  }
  // A folder named with a trailing separator is the same source: one history entry, the same
  // round.
  f.settings.PaperName.clear();
  f.list.FileDropFileDrop(nullptr, {"C:\\p"}, 0, 0);
  const int32_t seed = f.settings.RandomSeed;
  f.list.FileDropFileDrop(nullptr, {"C:\\p\\"}, 0, 0);
  CHECK(f.settings.PaperFolder == "C:\\p");
  CHECK(f.settings.RandomSeed == seed);
  CHECK(f.history.back() == "C:\\p");
  CHECK(f.history[f.history.size() - 2] == "C:\\p");
  f.files.AddFolder("E:\\");
  f.files.AddFile("E:\\x.jpg");
  f.list.FileDropFileDrop(nullptr, {"E:\\"}, 0, 0);
  CHECK(f.settings.PaperFolder == "E:\\");  // a root keeps its separator
}

TEST_CASE("folder scan: every file joins whatever its attributes") {
  TFakeFileSystem files;
  files.AddFolder("C:\\q");
  // A file whose archive bit a backup tool cleared carries only "normal".
  files.AddFile("C:\\q\\normal.jpg", FileAttr::Normal);
  files.AddFile("C:\\q\\ro.jpg", FileAttr::ReadOnly);
  files.AddFile("C:\\q\\hidden.jpg", FileAttr::Hidden | FileAttr::Normal);
  files.AddFile("C:\\q\\indexed.jpg", 0x2000);  // not content indexed, nothing else
  std::vector<std::string> list{"stale"};
  ScanFolder(files, "C:\\q\\", false, list);
  CHECK(list == std::vector<std::string>{"C:\\q\\normal.jpg", "C:\\q\\ro.jpg", "C:\\q\\hidden.jpg",
                                         "C:\\q\\indexed.jpg"});
}

TEST_CASE("cursors land on PaperName, else on a random entry; RandomList is a permutation") {
  Fixture f;
  f.settings.PaperFolder = "C:\\p";
  f.settings.PaperName = "c:\\P\\C.JPEG";
  f.list.LoadPictureList();
  CHECK(f.list.MainListBox.ItemIndex == 1);
  CHECK(f.list.RandomListBox.Current() == "1");
  CHECK(IsPermutation(f.list.RandomListBox, 3));
  CHECK(f.history == std::vector<std::string>{"C:\\p"});
  CHECK(f.list.ListLoadedTick != 0);

  f.settings.PaperName = "C:\\p\\gone.jpg";
  f.list.LoadPictureList();
  CHECK(f.list.MainListBox.ItemIndex >= 0);
  CHECK(f.list.MainListBox.ItemIndex < 3);
  CHECK(f.list.RandomListBox.Current() == std::to_string(f.list.MainListBox.ItemIndex));
}

TEST_CASE("a round's order is a permutation, follows from its seed, and outlives changes") {
  TRandom random(12345);
  for (int n : {1, 2, 3, 10, 257, 1000}) {
    std::vector<std::string> items;
    for (int i = 0; i < n; ++i) items.push_back("C:\\p\\" + std::to_string(i) + ".jpg");
    for (int round = 0; round < 20; ++round) {
      const uint32_t seed = RoundSeed(random.Next(UINT32_MAX));
      std::vector<std::string> order;
      for (const int position : RoundOrder(items, seed)) order.push_back(std::to_string(position));
      TListBox box;
      box.Assign(order);
      CHECK(IsPermutation(box, n));
      CHECK(RoundOrder(items, seed) == RoundOrder(items, seed));
    }
  }
  CHECK(RoundOrder({}, 7).empty());
  // The seed decides: two seeds give two orders of a long list.
  std::vector<std::string> items;
  for (int i = 0; i < 50; ++i) items.push_back(std::to_string(i) + ".jpg");
  CHECK(RoundOrder(items, 1) != RoundOrder(items, 2));
  // A picture added to the folder leaves the others in their order.
  std::vector<std::string> more = items;
  more.insert(more.begin() + 10, "new.jpg");
  std::vector<std::string> before;
  std::vector<std::string> after;
  for (const int p : RoundOrder(items, 99)) before.push_back(items[static_cast<size_t>(p)]);
  for (const int p : RoundOrder(more, 99)) {
    if (more[static_cast<size_t>(p)] != "new.jpg") after.push_back(more[static_cast<size_t>(p)]);
  }
  CHECK(before == after);
  // The same folder named in another case is the same round: Windows names are case-blind.
  std::vector<std::string> upper;
  std::vector<std::string> lower;
  for (const std::string& item : items) {
    upper.push_back("C:\\PICS\\" + UpperCase(item));
    lower.push_back("c:\\pics\\" + item);
  }
  CHECK(RoundOrder(upper, 99) == RoundOrder(lower, 99));
  CHECK(RoundKey("C:\\Pics\\A.jpg", 5) == RoundKey("c:\\pics\\a.JPG", 5));
  // Seeds are never 0 (no round) and fit the settings file's numbers.
  for (uint32_t draw : {0u, 1u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    CHECK(RoundSeed(draw) >= 1);
    CHECK(RoundSeed(draw) <= INT32_MAX);
  }
  // A new round never begins with the picture that ended the last: it begins after it, so that
  // it is the new round's last. Entries that turn out unreadable are passed over forwards, so
  // they cannot lead back to it either (an unreadable first entry once did).
  CHECK(RoundStart({3, 1, 2}, 3) == 1);
  CHECK(RoundStart({3, 1, 2}, 1) == 2);
  CHECK(RoundStart({3, 1, 2}, 2) == 0);
  CHECK(RoundStart({0, 3, 1, 2}, 3) == 2);
  CHECK(RoundStart({3}, 3) == 0);
  CHECK(RoundStart({2, 1, 0}, 5) == 0);
}

TEST_CASE("random order: 50 pictures, 120 changes, two restarts: each once per round") {
  TFakeFileSystem files;
  files.AddFolder("C:\\r");
  for (int i = 0; i < 50; ++i) files.AddFile("C:\\r\\" + std::to_string(100 + i) + ".jpg");
  TScriptedDialogs dialogs;
  TRecordingBusy busy;
  TRandom random(2024);
  TFakeClock clock;
  TSettings settings;
  settings.RandomLoad = true;
  std::vector<std::string> shown;
  auto start = [&](TSettings& s) {
    auto list =
        std::make_unique<TPictureList>(s, TPictureListEnv{files, dialogs, busy, random, clock});
    list->SetCurrentPicture = [&s, &shown, raw = list.get()] {
      s.PaperName = raw->MainListBox.Current();
      shown.push_back(s.PaperName);
      return true;
    };
    return list;
  };
  auto restart = [&] {
    // Closing writes the settings file; the next start reads it.
    IniFile ini;
    WriteSettings(ini, settings);
    TSettings read;
    ReadSettings(IniFile::Parse(ini.ToText()), read, TScreenMetrics{});
    settings = read;
    auto list = start(settings);
    list->LoadPictureList();
    return list;
  };
  auto list = start(settings);
  list->FileDropFileDrop(nullptr, {"C:\\r"}, 0, 0);  // the first change
  for (int change = 2; change <= 120; ++change) {
    if (change == 31 || change == 77) list = restart();
    list->StepActiveOrder(true);
    REQUIRE(list->SetCurrentPicture());
  }
  REQUIRE(shown.size() == 120);
  const std::set<std::string> first(shown.begin(), shown.begin() + 50);
  const std::set<std::string> second(shown.begin() + 50, shown.begin() + 100);
  CHECK(first.size() == 50);
  CHECK(second.size() == 50);
  CHECK(shown[50] != shown[49]);

  // Switched on in the middle of the list, random order begins its round at the picture shown:
  // the next 49 changes show every other picture once.
  settings.RandomLoad = false;
  for (int i = 0; i < 17; ++i) list->StepActiveOrder(true);
  REQUIRE(list->SetCurrentPicture());
  settings.RandomLoad = true;
  list->BeginRoundHere();
  std::set<std::string> round{settings.PaperName};
  for (int change = 0; change < 49; ++change) {
    list->StepActiveOrder(true);
    REQUIRE(list->SetCurrentPicture());
    round.insert(settings.PaperName);
  }
  CHECK(round.size() == 50);
  const std::string last = settings.PaperName;
  list->StepActiveOrder(true);
  CHECK(list->MainListBox.Current() != last);
  // Another source starts a round of its own; a reload of the same one goes on with it.
  const int32_t seed = settings.RandomSeed;
  TAction reload{0, "reload"};
  list->ReloadFolderActionExecute(reload);
  CHECK(settings.RandomSeed == seed);
  files.AddFolder("C:\\s");
  files.AddFile("C:\\s\\x.jpg");
  list->FileDropFileDrop(nullptr, {"C:\\s"}, 0, 0);
  CHECK(settings.RandomSource == "C:\\s");
  // A new source's round starts afresh: 6 steps into a round of 12 pictures, a folder of 6
  // shows all 6 in one round (it once inherited the 6 steps and began another at once).
  files.AddFolder("C:\\t");
  files.AddFolder("C:\\u");
  for (int i = 0; i < 12; ++i) files.AddFile("C:\\t\\" + std::to_string(i) + ".jpg");
  for (int i = 0; i < 6; ++i) files.AddFile("C:\\u\\" + std::to_string(i) + ".jpg");
  list->FileDropFileDrop(nullptr, {"C:\\t"}, 0, 0);
  for (int change = 0; change < 6; ++change) {
    list->StepActiveOrder(true);
    REQUIRE(list->SetCurrentPicture());
  }
  shown.clear();
  list->FileDropFileDrop(nullptr, {"C:\\u"}, 0, 0);
  const int32_t newSeed = settings.RandomSeed;
  for (int change = 0; change < 5; ++change) {
    list->StepActiveOrder(true);
    REQUIRE(list->SetCurrentPicture());
    CHECK(settings.RandomSeed == newSeed);  // no reshuffle before the round is through
  }
  CHECK(std::set<std::string>(shown.begin(), shown.end()).size() == 6);
}

TEST_CASE("random rounds: Del, a picture gone at a restart, back and forth, big lists") {
  TScriptedDialogs dialogs;
  TRecordingBusy busy;
  TRandom random(77);
  TFakeClock clock;
  struct TRun {
    TFakeFileSystem files;
    TSettings settings;
    std::unique_ptr<TPictureList> list;
  };
  auto make = [&](int count) {
    auto run = std::make_unique<TRun>();
    run->files.AddFolder("C:\\r");
    for (int i = 0; i < count; ++i)
      run->files.AddFile("C:\\r\\" + std::to_string(1000 + i) + ".jpg");
    run->settings.RandomLoad = true;
    run->list = std::make_unique<TPictureList>(
        run->settings, TPictureListEnv{run->files, dialogs, busy, random, clock});
    TPictureList* list = run->list.get();
    TSettings* settings = &run->settings;
    list->SetCurrentPicture = [list, settings] {
      settings->PaperName = list->MainListBox.Current();
      return true;
    };
    list->FileDropFileDrop(nullptr, {"C:\\r"}, 0, 0);
    return run;
  };
  // Steps forward until the round's seed changes; the pictures shown on the way.
  auto restOfRound = [](TRun& run) {
    std::vector<std::string> shown;
    const int32_t seed = run.settings.RandomSeed;
    for (int i = 0; i < 1000; ++i) {
      run.list->StepActiveOrder(true);
      run.list->SetCurrentPicture();
      if (run.settings.RandomSeed != seed) break;
      shown.push_back(run.settings.PaperName);
    }
    return shown;
  };
  // The picture shown and the next ones, `count` in all.
  auto firstOfRound = [](TRun& run, int count) {
    std::vector<std::string> shown{run.settings.PaperName};
    while (static_cast<int>(shown.size()) < count) {
      run.list->StepActiveOrder(true);
      run.list->SetCurrentPicture();
      shown.push_back(run.settings.PaperName);
    }
    return shown;
  };
  auto distinct = [](const std::vector<std::string>& v) {
    return std::set<std::string>(v.begin(), v.end()).size() == v.size();
  };

  SUBCASE("Del on the round's first picture: the rest of the round still shows, once each") {
    auto run = make(12);
    const std::string first = run->settings.PaperName;
    CHECK(run->settings.RandomFirst == first);
    run->list->RemoveCurrent();
    const std::vector<std::string> rest = restOfRound(*run);
    CHECK(rest.size() == 11);
    CHECK(distinct(rest));
    CHECK(std::find(rest.begin(), rest.end(), first) == rest.end());
  }
  SUBCASE("Del in the middle of the round, the round's first picture after the wrap") {
    auto run = make(12);
    std::vector<std::string> shown = firstOfRound(*run, 5);
    run->list->RemoveCurrent();
    shown.pop_back();
    const std::vector<std::string> rest = restOfRound(*run);
    shown.insert(shown.end(), rest.begin(), rest.end());
    CHECK(shown.size() == 11);
    CHECK(distinct(shown));
  }
  SUBCASE("the current picture gone at a restart: the round goes on after it, no repeats") {
    auto run = make(20);
    std::vector<std::string> shown = firstOfRound(*run, 7);
    // Closed, the picture deleted by another program, started again (NextLoad steps on).
    TRun& r = *run;
    r.files = TFakeFileSystem();
    r.files.AddFolder("C:\\r");
    for (int i = 0; i < 20; ++i) {
      const std::string path = "C:\\r\\" + std::to_string(1000 + i) + ".jpg";
      if (path != shown.back()) r.files.AddFile(path);
    }
    r.list->LoadPictureList();
    r.list->StepActiveOrder(true);
    r.list->SetCurrentPicture();
    shown.push_back(r.settings.PaperName);
    const std::vector<std::string> rest = restOfRound(r);
    shown.insert(shown.end(), rest.begin(), rest.end());
    CHECK(shown.size() == 20);
    CHECK(distinct(shown));
  }
  SUBCASE("back then forward on the round's first picture stays in the round") {
    auto run = make(10);
    const int32_t seed = run->settings.RandomSeed;
    const std::string first = run->settings.PaperName;
    run->list->StepActiveOrder(false);
    run->list->StepActiveOrder(true);
    run->list->SetCurrentPicture();
    CHECK(run->settings.RandomSeed == seed);
    CHECK(run->settings.PaperName == first);
    const std::vector<std::string> rest = restOfRound(*run);
    CHECK(rest.size() == 9);
    CHECK(distinct(rest));
  }
  SUBCASE("an unreadable picture that ends a round: the next round never begins where it ended") {
    auto run = make(9);
    const std::string bad = "C:\\r\\1003.jpg";
    TRun& r = *run;
    // As the program changes: an unreadable entry is stepped past, and the picture shown (the
    // settings' PaperName) stays the last one that could be read.
    auto change = [&r, &bad] {
      for (int tries = 0; tries < 9; ++tries) {
        r.list->StepActiveOrder(true);
        if (r.list->MainListBox.Current() != bad) break;
      }
      r.settings.PaperName = r.list->MainListBox.Current();
    };
    if (r.settings.PaperName == bad) change();
    int roundsEndedByBad = 0;
    for (int step = 0; step < 8 * 300; ++step) {
      const std::string before = r.settings.PaperName;
      const int32_t seed = r.settings.RandomSeed;
      const int at = r.list->RandomListBox.ItemIndex;
      const bool badLast =
          r.list->RandomListBox.Count() == 9 &&
          r.list->MainListBox.Items[static_cast<size_t>(
              std::stoi(r.list->RandomListBox.Items[static_cast<size_t>((at + 1) % 9)]))] == bad;
      change();
      if (r.settings.RandomSeed == seed) continue;
      if (badLast) ++roundsEndedByBad;
      CAPTURE(step);
      REQUIRE(r.settings.PaperName != before);
    }
    CHECK(roundsEndedByBad > 0);
  }
  SUBCASE("400,000 entries whose round's first picture is gone: every step costs little") {
    auto run = make(400000);
    run->settings.RandomFirst = "C:\\r\\gone.jpg";
    // The skip loop over an unplugged drive steps once per entry; quadratic steps would take
    // hours here.
    for (int i = 0; i < 400000; ++i) run->list->StepActiveOrder(true);
    CHECK(run->list->MainListBox.ItemIndex >= 0);
  }
}

TEST_CASE("excluded pictures: passed over by every source, order and round, also after a restart") {
  TScriptedDialogs dialogs;
  TRecordingBusy busy;
  TRandom random(91);
  TFakeClock clock;
  const std::string excludeFile = "C:\\app\\Vesko2.exclude.txt";
  struct TRun {
    TFakeFileSystem files;
    TSettings settings;
    std::unique_ptr<TPictureList> list;
  };
  // A program started on the folder C:\r of `count` pictures (C:\r\s holds two more); `files`
  // is the disk it finds, the exclusion file among them.
  auto start = [&](TFakeFileSystem files, TSettings settings) {
    auto run = std::make_unique<TRun>();
    run->files = std::move(files);
    run->settings = std::move(settings);
    run->list = std::make_unique<TPictureList>(
        run->settings, TPictureListEnv{run->files, dialogs, busy, random, clock});
    TPictureList* list = run->list.get();
    TSettings* s = &run->settings;
    list->ExcludedFile = excludeFile;
    list->SetCurrentPicture = [list, s] {
      s->PaperName = list->MainListBox.Current();
      return true;
    };
    list->LoadPictureList();
    list->SetCurrentPicture();
    return run;
  };
  auto disk = [](int count) {
    TFakeFileSystem files;
    files.AddFolder("C:\\app");
    files.AddFolder("C:\\r");
    for (int i = 0; i < count; ++i) files.AddFile("C:\\r\\" + std::to_string(1000 + i) + ".jpg");
    files.AddFolder("C:\\r\\s");
    files.AddFile("C:\\r\\s\\x.jpg");
    files.AddFile("C:\\r\\s\\y.jpg");
    return files;
  };
  auto source = [](bool randomLoad, bool subDir = false) {
    TSettings s;
    s.PaperFolder = "C:\\r";
    s.PaperName = "C:\\r\\1000.jpg";
    s.RandomLoad = randomLoad;
    s.SubDir = subDir;
    return s;
  };
  // The pictures `steps` changes show, forward.
  auto show = [](TRun& run, int steps) {
    std::vector<std::string> shown;
    for (int i = 0; i < steps; ++i) {
      run.list->StepActiveOrder(true);
      run.list->SetCurrentPicture();
      shown.push_back(run.settings.PaperName);
    }
    return shown;
  };
  auto contains = [](const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
  };
  auto distinct = [](const std::vector<std::string>& v) {
    return std::set<std::string>(v.begin(), v.end()).size() == v.size();
  };

  SUBCASE("in folder order: the next picture follows, the file names it, a restart keeps it out") {
    auto run = start(disk(6), source(false));
    run->list->StepActiveOrder(true);
    run->list->SetCurrentPicture();
    const std::string gone = run->settings.PaperName;
    CHECK(gone == "C:\\r\\1001.jpg");
    REQUIRE(run->list->ExcludeCurrent());
    CHECK(run->files.ReadListFile(excludeFile) == std::vector<std::string>{gone});
    CHECK(run->list->MainListBox.Count() == 5);
    CHECK(show(*run, 1) == std::vector<std::string>{"C:\\r\\1002.jpg"});
    CHECK_FALSE(contains(show(*run, 12), gone));
    // A reload and a restart read the file again.
    run->list->LoadPictureList();
    CHECK(run->list->MainListBox.IndexOf(gone) < 0);
    auto again = start(run->files, run->settings);
    CHECK(again->list->MainListBox.Count() == 5);
    CHECK(again->list->Excluded.Count() == 1);
    CHECK_FALSE(contains(show(*again, 12), gone));
    // 直前の除外を取り消す takes back this session's exclusions, the latest first: every line
    // naming the picture leaves the file (the one written by hand meanwhile too), the rest stay.
    CHECK_FALSE(again->list->CanUndoExclusion());
    const std::string second = again->settings.PaperName;
    REQUIRE(again->list->ExcludeCurrent());
    again->files.AddFile(excludeFile, FileAttr::Archive,
                         {gone, "c:/R/" + second.substr(5), second});
    CHECK(again->list->UndoLastExclusion() == second);
    CHECK(again->files.ReadListFile(excludeFile) == std::vector<std::string>{gone});
    CHECK_FALSE(again->list->Excluded.Contains(second));
    CHECK(again->list->UndoLastExclusion().empty());  // the other came from an earlier session
    again->list->LoadPictureList();
    CHECK(again->list->MainListBox.IndexOf(second) >= 0);
    CHECK(again->list->MainListBox.IndexOf(gone) < 0);
  }
  SUBCASE("in a random round: the round goes on without it and no later round brings it back") {
    auto run = start(disk(20), source(true));
    std::vector<std::string> shown{run->settings.PaperName};
    const std::vector<std::string> more = show(*run, 5);
    shown.insert(shown.end(), more.begin(), more.end());
    const std::string gone = shown.back();
    REQUIRE(run->list->ExcludeCurrent());
    shown.pop_back();
    // The rest of this round: every other picture once, then whole rounds of 19.
    const int32_t seed = run->settings.RandomSeed;
    while (true) {
      run->list->StepActiveOrder(true);
      run->list->SetCurrentPicture();
      if (run->settings.RandomSeed != seed) break;
      shown.push_back(run->settings.PaperName);
    }
    CHECK(shown.size() == 19);
    CHECK(distinct(shown));
    CHECK_FALSE(contains(shown, gone));
    const std::vector<std::string> later = show(*run, 19 * 3);
    CHECK_FALSE(contains(later, gone));
    // Closed mid-round and started again: the round goes on, still without it.
    auto again = start(run->files, run->settings);
    CHECK(again->settings.RandomSeed == run->settings.RandomSeed);
    CHECK_FALSE(contains(show(*again, 40), gone));
  }
  SUBCASE("subfolders and list files, whatever form their lines and the file's lines take") {
    TFakeFileSystem files = disk(3);
    // Lines written by hand: another case, forward slashes, relative to the file's folder.
    files.AddFile(excludeFile, FileAttr::Archive,
                  {"c:\\R\\S\\X.JPG", "", "..\\r\\1000.jpg", "C:/r/1002.jpg"});
    auto run = start(files, source(false, true));
    CHECK(run->list->MainListBox.Items ==
          std::vector<std::string>{"C:\\r\\1001.jpg", "C:\\r\\s\\y.jpg"});
    // A list file naming the same pictures its own way.
    run->files.AddFile("C:\\lists\\all.lst", FileAttr::Archive,
                       {"..\\r\\1000.jpg", "\\r\\1001.jpg", "C:\\r\\s\\x.jpg", "C:/r/1002.jpg"});
    run->settings.PaperFolder = "C:\\lists\\all.lst";
    run->list->LoadPictureList();
    CHECK(run->list->MainListBox.Items == std::vector<std::string>{"C:\\r\\1001.jpg"});
    // An excluded picture dropped on the window: its folder opens without it, and a message
    // says why another picture shows.
    TComponent dropTarget;
    run->list->FileDropFileDrop(&dropTarget, {"C:\\r\\1002.jpg"}, 0, 0);
    CHECK(run->list->MainListBox.Items ==
          std::vector<std::string>{"C:\\r\\1001.jpg", "C:\\r\\s\\y.jpg"});
    CHECK(run->settings.PaperName != "C:\\r\\1002.jpg");
    CHECK(dialogs.messages.back() ==
          "「この画像を今後表示しない」にした画像です\rC:\\r\\1002.jpg"
          "\r\r設定の「その他」ページの「除外を解除」で、また表示されます");
    run->list->FileDropFileDrop(&dropTarget, {"C:\\r\\1001.jpg"}, 0, 0);
    CHECK(dialogs.messages.size() == 1);
    CHECK(run->settings.PaperName == "C:\\r\\1001.jpg");
    run->settings.PaperFolder = "C:\\lists\\all.lst";
    run->list->LoadPictureList();
    // Excluding the last picture leaves an empty list, and the file keeps every line as written.
    run->list->SetCurrentPicture();
    REQUIRE(run->list->ExcludeCurrent());
    CHECK(run->list->MainListBox.Empty());
    CHECK_FALSE(run->list->ExcludeCurrent());
    CHECK(run->files.ReadListFile(excludeFile) ==
          std::vector<std::string>{"c:\\R\\S\\X.JPG", "", "..\\r\\1000.jpg", "C:/r/1002.jpg",
                                   "C:\\r\\1001.jpg"});
  }
  SUBCASE("a file that cannot be read or written: the error shows and nothing changes") {
    TFakeFileSystem files = disk(4);
    files.AddFile(excludeFile, FileAttr::Archive, {"C:\\r\\1000.jpg"});
    auto run = start(files, source(false));
    const std::string current = run->settings.PaperName;
    run->files.Lock(excludeFile);
    CHECK_THROWS_AS(run->list->ExcludeCurrent(), EFOpenError);
    CHECK(run->list->MainListBox.Current() == current);
    CHECK(run->list->MainListBox.Count() == 3);
    // A load meanwhile keeps the pictures excluded so far out.
    run->list->LoadPictureList();
    CHECK(run->list->MainListBox.Count() == 3);
    CHECK(run->list->MainListBox.IndexOf("C:\\r\\1000.jpg") < 0);
  }
  SUBCASE("a picture a list file names twice, in two forms, goes with both its lines") {
    for (const bool randomLoad : {false, true}) {
      CAPTURE(randomLoad);
      TFakeFileSystem files = disk(3);
      files.AddFile("C:\\r\\list.txt", FileAttr::Archive,
                    {"C:\\r\\1000.jpg", "C:\\r\\1001.jpg", "c:/R/1000.JPG", "C:\\r\\1002.jpg"});
      TSettings s = source(randomLoad);
      s.PaperFolder = "C:\\r\\list.txt";
      auto run = start(files, s);
      REQUIRE(run->settings.PaperName == "C:\\r\\1000.jpg");
      REQUIRE(run->list->ExcludeCurrent());
      CHECK(run->list->MainListBox.Count() == 2);
      CHECK(IsPermutation(run->list->RandomListBox, 2));
      const std::vector<std::string> shown = show(*run, 4);
      CHECK(std::count(shown.begin(), shown.end(), "C:\\r\\1000.jpg") == 0);
    }
  }
  SUBCASE("clearing the list brings every picture back; a file deleted by hand means none") {
    TFakeFileSystem files = disk(4);
    files.AddFile(excludeFile, FileAttr::Archive, {"C:\\r\\1000.jpg", "C:\\r\\1003.jpg"});
    auto run = start(files, source(true));
    CHECK(run->list->MainListBox.Count() == 2);
    CHECK(run->list->Excluded.Count() == 2);
    run->list->ClearExcluded();
    CHECK(run->files.ReadListFile(excludeFile).empty());
    run->list->LoadPictureList();
    CHECK(run->list->MainListBox.Count() == 4);
    CHECK(IsPermutation(run->list->RandomListBox, 4));
    REQUIRE(run->list->ExcludeCurrent());
    run->files = disk(4);
    run->list->LoadPictureList();
    CHECK(run->list->MainListBox.Count() == 4);
    CHECK(run->list->Excluded.Empty());
  }
}

TEST_CASE("list files: every kind of line end; empty lines kept") {
  CHECK(SplitListLines("a\r\nb\rc\nd") == std::vector<std::string>{"a", "b", "c", "d"});
  CHECK(SplitListLines("a\r\n\r\nb\r\n") == std::vector<std::string>{"a", "", "b"});
  CHECK(SplitListLines("\n\r") == std::vector<std::string>{"", ""});
  CHECK(SplitListLines("\r\n") == std::vector<std::string>{""});
  CHECK(SplitListLines("").empty());
  CHECK(SplitListLines(std::string("x\0y\n", 4)) ==
        std::vector<std::string>{std::string("x\0y", 3)});
  const std::vector<std::string> lines{"C:\\a.jpg", "", "D:\\壁紙\\b.lnk", "E:\\c.ArcLink",
                                       "x.zzz"};
  CHECK(JoinListLines(lines) == "C:\\a.jpg\r\n\r\nD:\\壁紙\\b.lnk\r\nE:\\c.ArcLink\r\nx.zzz\r\n");
  CHECK(SplitListLines(JoinListLines(lines)) == lines);
}

TEST_CASE("a list file source is read unfiltered") {
  Fixture f;
  f.files.AddFile("C:\\lists\\my.V2List", FileAttr::Archive,
                  {"C:\\p\\b.txt", "", "C:\\x.lnk", "C:\\p\\a.JPG"});
  f.settings.PaperFolder = "C:\\lists\\my.V2List";
  f.settings.PaperName = "C:\\p\\a.jpg";
  f.list.LoadPictureList();
  CHECK(f.list.MainListBox.Count() == 4);
  CHECK(f.list.MainListBox.ItemIndex == 3);
  CHECK(f.busy.titles ==
        std::vector<std::string>{"Load List..", "Load FileList..", "Set RandomList..", "Vesko 2"});
  CHECK(f.busy.colors == std::vector<uint32_t>{kBusyBlue, 0xD2E4F4});
}

TEST_CASE("an unreadable source keeps both lists and restores the busy display") {
  Fixture f;
  f.settings.PaperFolder = "C:\\p";
  f.list.LoadPictureList();
  const auto before = f.list.MainListBox.Items;
  const auto randomBefore = f.list.RandomListBox.Items;
  f.settings.PaperFolder = "C:\\missing.V2List";
  CHECK_THROWS_AS(f.list.LoadPictureList(), EFOpenError);
  CHECK(f.list.MainListBox.Items == before);
  CHECK(f.list.RandomListBox.Items == randomBefore);
  CHECK(f.busy.color == 0xD2E4F4);
  CHECK(f.busy.title == "Vesko 2");
}

TEST_CASE("an empty source is an empty list without an error") {
  Fixture f;
  f.settings.PaperFolder = "";
  f.list.LoadPictureList();
  CHECK(f.list.MainListBox.Empty());
  CHECK(f.list.RandomListBox.Empty());
  CHECK(f.history.empty());
}

TEST_CASE("drops: one item only; a file makes its folder the source") {
  Fixture f;
  TComponent dropTarget;
  f.list.FileDropFileDrop(&dropTarget, {"C:\\p\\a.JPG", "C:\\p\\c.jpeg"}, 0, 0);
  CHECK(f.dialogs.messages == std::vector<std::string>{"ドラッグ＆ドロップは一つだけ"});
  CHECK(f.dialogs.beeps == std::vector<unsigned>{0x30});
  CHECK(f.pictureSets == 0);

  f.list.FileDropFileDrop(&dropTarget, {"C:\\p\\c.jpeg"}, 10, 20);
  CHECK(f.settings.PaperFolder == "C:\\p");
  CHECK(f.list.MainListBox.Current() == "C:\\p\\c.jpeg");
  CHECK(f.pictureSets == 1);
  CHECK(f.history == std::vector<std::string>{"C:\\p", "C:\\p"});

  // Without a sender the source stays: the file is looked up in the current source.
  f.settings.PaperFolder = "C:\\p\\s";
  f.list.OpenPath(nullptr, "C:\\p\\a.JPG");
  CHECK(f.settings.PaperFolder == "C:\\p\\s");
  CHECK(f.settings.PaperName == "C:\\p\\s\\d.bmp");
}

TEST_CASE("drops: a folder becomes the source and a random picture is set") {
  Fixture f;
  f.settings.PaperName = "C:\\p\\a.JPG";
  f.list.OpenPath(nullptr, "C:\\p\\s");
  CHECK(f.settings.PaperFolder == "C:\\p\\s");
  CHECK(f.settings.PaperName == "C:\\p\\s\\d.bmp");
  CHECK(f.pictureSets == 1);

  f.files.AddFolder("C:\\empty");
  f.list.OpenPath(nullptr, "C:\\empty");
  CHECK(f.dialogs.messages == std::vector<std::string>{"ファイルがありません"});
  CHECK(f.pictureSets == 1);

  f.list.OpenPath(nullptr, "C:\\nowhere");  // neither folder nor file: nothing happens
  CHECK(f.settings.PaperFolder == "C:\\empty");
}

TEST_CASE("open commands go through their dialogs with the main window's tag set") {
  Fixture f;
  TAction openFile(1, "ファイル..");
  TAction openFolder(-1, "フォルダ..");
  f.settings.PaperFolder = "C:\\p";
  f.list.PictureFilter = [] { return std::string("Bitmaps (*.bmp)|*.bmp"); };

  // A newcomer's first folder dialog opens on their Pictures folder; later ones on the chosen
  // folder, as before.
  f.list.PicturesFolder = [] { return std::string("C:\\Users\\me\\Pictures"); };
  f.settings.PaperFolder.clear();
  f.dialogs.answers = {""};
  f.list.OpenFileActionExecute(openFolder);
  CHECK(f.dialogs.folderInitials == std::vector<std::string>{"C:\\Users\\me\\Pictures"});
  f.dialogs.folderTitles.clear();
  f.dialogs.folderInitials.clear();
  f.settings.PaperFolder = "C:\\p";

  f.dialogs.answers = {"C:\\p\\s"};
  f.list.OpenFileActionExecute(openFolder);
  CHECK(f.dialogs.folderTitles == std::vector<std::string>{"フォルダを開く"});
  CHECK(f.dialogs.folderInitials == std::vector<std::string>{"C:\\p"});
  CHECK(f.settings.PaperFolder == "C:\\p\\s");
  CHECK(f.formTag == 0);

  f.dialogs.answers = {"C:\\p\\e.Bmp"};
  f.list.OpenFileActionExecute(openFile);
  REQUIRE(f.dialogs.fileDialogs.size() == 1);
  CHECK(f.dialogs.fileDialogs[0].Title == "画像ファイルを開く");
  CHECK(f.dialogs.fileDialogs[0].Filter == "Bitmaps (*.bmp)|*.bmp");
  CHECK(f.dialogs.fileDialogs[0].HideReadOnly);
  CHECK(f.dialogs.fileDialogs[0].Preview);  // the picture is shown as it is selected
  CHECK(f.dialogs.fileDialogs[0].InitialDir == "C:\\p\\s");  // the source, not the program's
  CHECK(f.settings.PaperFolder == "C:\\p");
  CHECK(f.settings.PaperName == "C:\\p\\e.Bmp");

  f.dialogs.answers = {""};  // cancelled
  f.list.OpenFileActionExecute(openFolder);
  CHECK(f.settings.PaperFolder == "C:\\p");

  // Where the dialog starts: the source folder; for a list file the current picture's folder;
  // with neither, the user's pictures folder.
  f.list.PicturesFolder = [] { return std::string("C:\\Users\\u\\Pictures"); };
  f.settings.PaperFolder = "C:\\lists\\x.V2List";
  f.settings.PaperName = "C:\\p\\e.Bmp";
  CHECK(f.list.InitialPictureFolder() == "C:\\p");
  f.settings.PaperName.clear();
  CHECK(f.list.InitialPictureFolder() == "C:\\Users\\u\\Pictures");
  f.settings.PaperFolder.clear();
  CHECK(f.list.InitialPictureFolder() == "C:\\Users\\u\\Pictures");
  f.settings.PaperFolder = "C:\\p";

  // The tag comes back even when opening fails.
  f.dialogs.answers = {"C:\\p\\e.Bmp"};
  f.list.SetCurrentPicture = [&]() -> bool {
    CHECK(f.formTag == 1);
    throw Exception("boom");
  };
  CHECK_THROWS(f.list.OpenFileActionExecute(openFile));
  CHECK(f.formTag == 0);
}

TEST_CASE("save and load list commands") {
  Fixture f;
  TAction save(0, "ファイルリストの保存..");
  TAction load(0, "ファイルリストの読み込み..");
  f.list.SaveListActionUpdate(save);
  CHECK_FALSE(save.Enabled);

  f.settings.PaperFolder = "C:\\p";
  f.list.LoadPictureList();
  f.list.SaveListActionUpdate(save);
  CHECK(save.Enabled);
  f.dialogs.answers = {"C:\\lists\\saved.lst"};
  f.files.AddFolder("C:\\lists");
  f.list.SaveListActionExecute(save);
  const TFileDialogOptions& options = f.dialogs.fileDialogs.back();
  CHECK(options.Title == "ファイルリストの保存");
  CHECK(options.FileName == "p");
  CHECK(options.Filter == "List Files|*.V2List|All Files|*.*");
  CHECK(options.DefaultExt == "lst");
  CHECK(options.OverwritePrompt);
  CHECK(options.NoReadOnlyReturn);
  CHECK(f.files.ReadListFile("C:\\lists\\saved.lst") == f.list.MainListBox.Items);

  const int setsBefore = f.pictureSets;
  f.dialogs.answers = {"C:\\lists\\saved.lst"};
  f.list.LoadListActionExecute(load);
  CHECK(f.dialogs.fileDialogs.back().Title == "ファイルリストを開く");
  CHECK(f.dialogs.fileDialogs.back().Filter == "リスト ファイル|*.V2List|全てのファイル|*.*");
  CHECK(f.dialogs.fileDialogs.back().FileMustExist);
  CHECK(f.settings.PaperFolder == "C:\\lists\\saved.lst");
  CHECK(f.list.MainListBox.Count() == 3);
  CHECK(f.pictureSets == setsBefore);  // loading a list does not change the wallpaper
}

TEST_CASE("reload command caption follows the source") {
  Fixture f;
  TAction reload(0, "フォルダの再読込");
  f.settings.PaperFolder = "C:\\p";
  f.list.ReloadFolderActionUpdate(reload);
  CHECK(reload.Enabled);
  CHECK(reload.Caption == "フォルダの再読込");
  f.files.AddFile("C:\\l.V2List", FileAttr::Archive, {"C:\\p\\a.JPG"});
  f.settings.PaperFolder = "C:\\l.V2List";
  f.list.ReloadFolderActionUpdate(reload);
  CHECK(reload.Caption == "ファイルリストの再読込");
  f.settings.PaperFolder = "C:\\gone";
  f.list.ReloadFolderActionUpdate(reload);
  CHECK_FALSE(reload.Enabled);

  // Reloading keeps the cursor on PaperName while it is listed.
  f.settings.PaperFolder = "C:\\p";
  f.settings.PaperName = "C:\\p\\e.Bmp";
  f.list.ReloadFolderActionExecute(reload);
  CHECK(f.list.MainListBox.Current() == "C:\\p\\e.Bmp");
  CHECK(f.pictureSets == 0);
}

TEST_CASE("stepping wraps around, through RandomList when RandomLoad is on") {
  CHECK(StepIndex(3, 2, true) == 0);
  CHECK(StepIndex(3, 0, false) == 2);
  CHECK(StepIndex(3, -1, true) == 0);
  CHECK(StepIndex(1, 0, true) == 0);

  Fixture f;
  f.settings.PaperFolder = "C:\\p";
  f.settings.PaperName = "C:\\p\\a.JPG";
  f.list.LoadPictureList();
  f.list.StepActiveOrder(true);
  CHECK(f.list.MainListBox.ItemIndex == 1);
  // Looking ahead moves no cursor.
  CHECK(f.list.EntryAhead(1) == f.list.MainListBox.Items[2]);
  CHECK(f.list.EntryAhead(2) == f.list.MainListBox.Items[0]);
  CHECK(f.list.MainListBox.ItemIndex == 1);
  f.settings.RandomLoad = true;
  const int randomCursor = f.list.RandomListBox.ItemIndex;
  const std::string ahead = f.list.EntryAhead(1);
  f.list.StepActiveOrder(false);
  CHECK(f.list.RandomListBox.ItemIndex == StepIndex(3, randomCursor, false));
  CHECK(std::to_string(f.list.MainListBox.ItemIndex) == f.list.RandomListBox.Current());
  f.list.StepActiveOrder(true);
  f.list.StepActiveOrder(true);
  CHECK(f.list.MainListBox.Current() == ahead);  // in the shuffled order
}
