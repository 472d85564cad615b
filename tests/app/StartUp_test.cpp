#include <doctest/doctest.h>

#include <algorithm>
#include <stdexcept>

#include "app/HandOver.h"
#include "app/QuietDialogs.h"
#include "app/Settings.h"
#include "app/StartUp.h"
#include "engine/PictureList.h"
#include "engine/ShuffleRound.h"
#include "support/Fakes.h"

TEST_CASE("hand-over payload from a second start") {
  CHECK(HandOverPath("a.jpg", "C:\\work") == "C:\\work\\a.jpg");
  CHECK(HandOverPath("C:\\pics\\a.jpg", "C:\\work") == "C:\\pics\\a.jpg");
  CHECK(HandOverPath("sub/a.jpg", "C:\\work") == "C:\\work\\sub/a.jpg");
  CHECK(HandOverPath("..\\x", "C:\\work") == "C:\\work\\..\\x");
  CHECK(HandOverPath("\\\\server\\p", "C:\\work") == "\\\\server\\p");
  CHECK(HandOverPath("-r", "C:\\work") == "-r");
  CHECK(HandOverPath("/R", "C:\\work") == "/R");
  CHECK(HandOverPath("?@xyz", "C:\\work") == "?@xyz");
  CHECK(HandOverPath("?x", "C:\\work") == "C:\\work\\?x");

  const std::string longPath(300, 'x');
  const THandOverBuffer buffer = MakeHandOverBuffer(longPath);
  CHECK(buffer[254] == 'x');
  CHECK(buffer[255] == '\0');
  CHECK(ReadHandOverBuffer(buffer.data(), buffer.size()) == std::string(255, 'x'));

  const THandOverBuffer shortBuffer = MakeHandOverBuffer("C:\\a");
  CHECK(ReadHandOverBuffer(shortBuffer.data(), 256) == "C:\\a");
  CHECK(shortBuffer[4] == '\0');
  CHECK(shortBuffer[255] == '\0');
}

TEST_CASE("command lines split as the program's users write them") {
  using V = std::vector<std::string>;
  CHECK(SplitCommandLine("\"C:\\P F\\Vesko2.exe\" \"D:\\My pics\\\"") ==
        V{"C:\\P F\\Vesko2.exe", "D:\\My pics\\"});
  CHECK(SplitCommandLine("v.exe  /R\t-MC:\\m.txt  pics\\ ") ==
        V{"v.exe", "/R", "-MC:\\m.txt", "pics\\"});
  CHECK(SplitCommandLine("v.exe \"a b\"c \"\"") == V{"v.exe", "a bc", ""});
  CHECK(SplitCommandLine("v.exe \"D:\\open") == V{"v.exe", "D:\\open"});
  CHECK(SplitCommandLine("  ").empty());
}

TEST_CASE("reading a payload never goes past the buffer or the declared size") {
  std::vector<char> noNul(400, 'y');
  CHECK(ReadHandOverBuffer(noNul.data(), noNul.size()) == std::string(256, 'y'));
  CHECK(ReadHandOverBuffer(noNul.data(), 10) == std::string(10, 'y'));
  CHECK(ReadHandOverBuffer(noNul.data(), 0).empty());
  CHECK(ReadHandOverBuffer(nullptr, 256).empty());
}

TEST_CASE("command-line switches") {
  CHECK(IsQuitSwitch("/R"));
  CHECK(IsQuitSwitch("-r"));
  CHECK(IsQuitSwitch("/Rest"));
  CHECK_FALSE(IsQuitSwitch("R"));
  CHECK_FALSE(IsQuitSwitch("/"));
  CHECK(IsSignInSwitch("/startup"));
  CHECK(IsSignInSwitch("/StartUp"));
  CHECK_FALSE(IsSignInSwitch("/start"));
  CHECK_FALSE(IsSignInSwitch("-startup"));
  CHECK(IsMessageFileSwitch("-mC:\\m.txt"));
  CHECK(MessageFileOfSwitch("/MC:\\m.txt") == "C:\\m.txt");
  CHECK(MessageFileOfSwitch("/M").empty());
  std::string longName = "/M";
  std::string expected;
  for (int i = 0; i < 300; ++i) longName += "あ";
  for (int i = 0; i < 256; ++i) expected += "あ";
  CHECK(MessageFileOfSwitch(longName) == expected);  // 256 characters, none cut in two
}

namespace {

struct StartFixture {
  TFakeFileSystem files;
  TScriptedDialogs dialogs;
  TRecordingBusy busy;
  TFixedRandom random;
  TFakeClock clock;
  TSettings settings;
  TPictureList list{settings, {files, dialogs, busy, random, clock}};
  TComponent openFileAction{1};
  std::vector<std::string> sets;
  int quits = 0;
  std::string messageFile;
  TStartUpHooks hooks{[this] { ++quits; }, [this](const std::string& f) { messageFile = f; },
                      nullptr};

  StartFixture() {
    list.SetCurrentPicture = [this] {
      settings.PaperName = list.MainListBox.Current();
      sets.push_back(settings.PaperName);
      return true;
    };
    files.AddFolder("C:\\p");
    files.AddFile("C:\\p\\a.jpg");
    files.AddFile("C:\\p\\b.jpg");
    files.AddFile("C:\\p\\c.jpg");
    files.AddFolder("C:\\q");
    files.AddFile("C:\\q\\x.bmp");
    files.AddFile("C:\\m.txt");
    settings.PaperFolder = "C:\\p";
    settings.PaperName = "C:\\p\\b.jpg";
  }
  void Run(const std::vector<std::string>& args) {
    RunStartUpSequence(list, settings, files, args, openFileAction, hooks);
  }
};

}  // namespace

TEST_CASE("start-up without arguments, or at sign-in, sets the saved picture again") {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, std::vector<std::string>{kSignInSwitch}}) {
    CAPTURE(args.size());
    StartFixture f;
    f.Run(args);
    CHECK(f.sets == std::vector<std::string>{"C:\\p\\b.jpg"});
    CHECK(f.settings.PaperFolder == "C:\\p");
    CHECK(f.quits == 0);
    CHECK(f.messageFile.empty());
  }
}

TEST_CASE("start-up with NextLoad advances one entry") {
  StartFixture f;
  f.settings.NextLoad = true;
  f.Run({});
  CHECK(f.sets == std::vector<std::string>{"C:\\p\\c.jpg"});
}

TEST_CASE("start-up in a random round whose picture is gone shows the one after its place") {
  for (const bool nextLoad : {false, true}) {
    CAPTURE(nextLoad);
    StartFixture f;
    f.settings.RandomLoad = true;
    f.settings.RandomSeed = 4242;
    f.settings.RandomSource = "C:\\p";
    f.settings.RandomFirst = "C:\\p\\a.jpg";
    f.settings.NextLoad = nextLoad;
    f.settings.PaperName = "C:\\p\\gone.jpg";  // deleted while the program was closed
    // The round's order is that of the entries' keys: the one after the gone picture's key.
    std::vector<std::pair<uint64_t, std::string>> keyed;
    for (const char* name : {"C:\\p\\a.jpg", "C:\\p\\b.jpg", "C:\\p\\c.jpg", "C:\\p\\gone.jpg"})
      keyed.emplace_back(RoundKey(name, 4242), name);
    std::sort(keyed.begin(), keyed.end());
    size_t at = 0;
    while (keyed[at].second != "C:\\p\\gone.jpg") ++at;
    f.Run({});
    REQUIRE(f.sets.size() == 1);
    CHECK(f.sets[0] == keyed[(at + 1) % keyed.size()].second);
  }
}

TEST_CASE("start-up: a folder argument wins and later arguments are not looked at") {
  StartFixture f;
  f.Run({"C:\\q", "C:\\p\\a.jpg"});
  CHECK(f.settings.PaperFolder == "C:\\q");
  CHECK(f.sets == std::vector<std::string>{"C:\\q\\x.bmp"});
}

TEST_CASE("start-up: a file argument moves the source to its folder") {
  StartFixture f;
  f.Run({"nonexistent", "C:\\q\\x.bmp"});
  CHECK(f.settings.PaperFolder == "C:\\q");
  CHECK(f.sets == std::vector<std::string>{"C:\\q\\x.bmp"});
}

TEST_CASE("start-up: /R still sets the picture and asks to quit; /M takes existing files") {
  StartFixture f;
  f.Run({"-r", "/MC:\\missing.txt", "-MC:\\m.txt"});
  CHECK(f.quits == 1);
  CHECK(f.messageFile == "C:\\m.txt");
  CHECK(f.sets == std::vector<std::string>{"C:\\p\\b.jpg"});

  StartFixture g;
  g.Run({"/MC:\\missing.txt"});
  CHECK(g.messageFile.empty());
}

TEST_CASE("start-up: a saved source that is gone is reported and the argument still opens") {
  StartFixture f;
  f.settings.PaperFolder = "C:\\gone";
  std::vector<std::string> errors;
  f.hooks.ReportError = [&](const std::exception& error) { errors.push_back(error.what()); };
  f.Run({"C:\\q"});
  CHECK(errors == std::vector<std::string>{"Cannot open file \"C:\\gone\""});
  CHECK(f.settings.PaperFolder == "C:\\q");
  CHECK(f.sets == std::vector<std::string>{"C:\\q\\x.bmp"});

  // Without an argument: the error, an empty list, and the program goes on.
  StartFixture g;
  g.settings.PaperFolder = "C:\\gone";
  g.hooks.ReportError = [&](const std::exception& error) { errors.push_back(error.what()); };
  g.Run({});
  CHECK(errors.size() == 2);
  CHECK(g.sets.empty());
}

TEST_CASE("start-up: a relative folder argument becomes the full path of the source") {
  StartFixture f;
  f.files.AddFolder("C:\\cwd");
  f.files.AddFolder("C:\\cwd\\pics");
  f.files.AddFile("C:\\cwd\\pics\\r.jpg");
  f.Run({"pics"});
  CHECK(f.settings.PaperFolder == "C:\\cwd\\pics");
  CHECK(f.sets == std::vector<std::string>{"C:\\cwd\\pics\\r.jpg"});
}

TEST_CASE("a handed-over path opens like a drop; anything else is ignored") {
  StartFixture f;
  f.Run({});
  ReceiveHandOver(f.list, f.files, "C:\\q\\x.bmp", f.openFileAction);
  CHECK(f.settings.PaperFolder == "C:\\q");
  ReceiveHandOver(f.list, f.files, "C:\\p", f.openFileAction);
  CHECK(f.settings.PaperFolder == "C:\\p");
  const size_t sets = f.sets.size();
  for (const char* ignored : {"/R", "?@C:\\p", "C:\\nothing", ""}) {
    ReceiveHandOver(f.list, f.files, ignored, f.openFileAction);
  }
  CHECK(f.sets.size() == sets);
  CHECK(f.settings.PaperFolder == "C:\\p");
}

TEST_CASE("a start at sign-in holds its boxes, each once, and asks nothing") {
  TScriptedDialogs inner;
  TQuietDialogs quiet(inner);
  quiet.SetQuiet(true);
  WarnMessage(quiet, "プラグインとして使えないファイルがあります");
  quiet.ShowError(std::runtime_error("Cannot open file \"C:\\gone\""));
  WarnMessage(quiet, "プラグインとして使えないファイルがあります");
  CHECK(quiet.Confirm("削除しますか？", kButtonsYesNoCancel) == kAnswerCancel);
  CHECK(quiet.BrowseForFolder({}).empty());  // the scripted dialogs would throw if asked
  std::string path;
  CHECK_FALSE(quiet.OpenFile({}, path));
  CHECK(inner.messages.empty());
  CHECK(inner.errors.empty());
  CHECK(inner.beeps.empty());
  CHECK(quiet.TakeHeld() == std::vector<std::string>{"プラグインとして使えないファイルがあります",
                                                     "Cannot open file \"C:\\gone\""});
  CHECK(quiet.TakeHeld().empty());
  // After the start, every box is shown again.
  quiet.SetQuiet(false);
  WarnMessage(quiet, "このフォルダにはもう画像がありません");
  CHECK(inner.messages == std::vector<std::string>{"このフォルダにはもう画像がありません"});
  CHECK(quiet.TakeHeld().empty());
}
