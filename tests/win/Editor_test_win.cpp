// The editor commands on the real window: the picture reaches a real program as one quoted
// argument after the quoted program, from the chosen editor or from the user's list.
#include <doctest/doctest.h>

#include "FormFixture_win.h"

namespace {

// A main window showing a picture whose path holds a space, and a stand-in editor that logs
// its command line.
struct EditorFixture : FormFixture {
  std::unique_ptr<TVesko2MainForm> form;
  std::wstring editor = dir / L"edit tool.exe";
  std::wstring log = dir / L"editor.log";
  std::string picture;

  EditorFixture() {
    REQUIRE(CopyFileW(EnvPath(L"VESKO2_FAKE_EDITOR").c_str(), editor.c_str(), FALSE));
    CreateDirectoryW((dir / L"my pics").c_str(), nullptr);
    WriteBytes(dir / L"my pics\\夏 の 海.bmp", MakeTestBmp(4, 4));
    picture = ToUtf8(dir / L"my pics\\夏 の 海.bmp");
    SetEnvironmentVariableW(L"VESKO_EDITOR_LOG", log.c_str());
    form = Create();
    form->Settings.PaperName = picture;
  }
  ~EditorFixture() {
    SetEnvironmentVariableW(L"VESKO_EDITOR_LOG", nullptr);
    if (form) Close(form);
  }
  // The command line the stand-in editor received, once it has run.
  std::string Logged() {
    if (!PumpUntil([&] { return Exists(log) && !ReadBytes(log).empty(); }, 10000)) return {};
    std::string text = ReadBytes(log);
    DeleteFileW(log.c_str());
    return text;
  }
};

}  // namespace

TEST_CASE("the graphics editor: asked for when missing, then given the picture quoted") {
  EditorFixture f;
  f.form->Settings.G_Editor = ToUtf8(f.dir / L"gone.exe");
  f.dialogs.answers = {""};  // cancelled: nothing starts
  f.form->G_EditorAction.Execute();
  REQUIRE(f.dialogs.fileDialogs.size() == 1);
  CHECK(f.dialogs.fileDialogs[0].Title == "グラフィックソフトを開く");
  CHECK(f.dialogs.fileDialogs[0].Filter == "実行ファイル|*.exe|全てのファイル|*.*");
  CHECK(f.form->Settings.G_Editor == ToUtf8(f.dir / L"gone.exe"));

  f.dialogs.answers = {ToUtf8(f.editor)};
  f.form->G_EditorAction.Execute();
  CHECK(f.form->Settings.G_Editor == ToUtf8(f.editor));
  CHECK(f.Logged() == "\"" + ToUtf8(f.editor) + "\" \"" + f.picture + "\"");
  f.form->G_EditorAction.Execute();  // known now: no second question
  CHECK(f.dialogs.fileDialogs.size() == 2);
  CHECK_FALSE(f.Logged().empty());
}

TEST_CASE("the list of programs: a menu in file order, built afresh; the pick opens the picture") {
  EditorFixture f;
  const std::wstring list = f.dir / L"editors.txt";
  const std::string editor = ToUtf8(f.editor);
  WriteBytes(list, Utf8ToAnsi("一つ目???C:\\none\\a.exe\r\n二つ目???" + editor +
                              "\r\n三つ目???C:\\none\\c.exe\r\n"));
  f.dialogs.answers = {ToUtf8(list)};
  std::vector<std::vector<std::string>> shown;
  std::string choose;
  f.form->CommandoPopupMenu->Track = [&](HMENU menu, int, int) -> UINT {
    std::vector<std::string> captions;
    UINT chosen = 0;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      wchar_t text[256] = {};
      GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
      captions.push_back(ToUtf8(text));
      if (captions.back() == choose) chosen = GetMenuItemID(menu, i);
    }
    shown.push_back(captions);
    return chosen;
  };
  f.form->G_SelectEditorAction.Execute();
  CHECK(f.dialogs.fileDialogs.back().Title == "エディタソフト リストファイル");
  choose = "二つ目";
  f.form->G_SelectEditorAction.Execute();  // the list file is known now: no question
  CHECK(f.dialogs.fileDialogs.size() == 1);
  REQUIRE(shown.size() == 2);
  CHECK(shown[0] == std::vector<std::string>{"一つ目", "二つ目", "三つ目"});
  CHECK(shown[1] == shown[0]);
  CHECK(f.Logged() == "\"" + editor + "\" \"" + f.picture + "\"");

  WriteBytes(list, "");
  f.form->G_SelectEditorAction.Execute();
  CHECK(shown.size() == 2);  // an empty list shows no menu
  DeleteFileW(list.c_str());
  f.form->G_SelectEditorAction.Execute();
  CHECK(shown.size() == 2);
  CHECK(f.dialogs.fileDialogs.size() == 1);  // never asked again
}
