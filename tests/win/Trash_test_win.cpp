// Trash and delete of the current picture on the real shell and window: the shell's own
// question answered by the test, the successor shown, list files edited on request.
#include <doctest/doctest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "FormFixture_win.h"
#include "app/TaskTray_win.h"
#include "base/Path.h"
#include "engine/ListFile.h"

namespace {

// Answers the shell's confirmation box (the first dialog window of the process) with Yes and
// keeps the window that owns it.
class TShellAnswer {
 public:
  TShellAnswer()
      : thread_([this] {
          for (int i = 0; i < 200 && !stop_; ++i) {
            HWND box = FindWindowW(L"#32770", nullptr);
            if (box != nullptr && GetWindowThreadProcessId(box, nullptr) != GetCurrentThreadId()) {
              owner_ = GetWindow(box, GW_OWNER);
              PostMessageW(box, WM_COMMAND, IDYES, 0);
              answered_ = true;
            }
            Sleep(50);
          }
        }) {}
  ~TShellAnswer() {
    stop_ = true;
    thread_.join();
  }
  HWND Owner() const { return owner_; }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<bool> answered_{false};
  std::atomic<HWND> owner_{nullptr};
  std::thread thread_;
};

// Whether Wine's recycle bin (the XDG trash under $HOME) took the file `name` (with "/") of
// `folder` since `since`: its record names the original place, ending in the folder's last part.
bool InTrash(const std::wstring& folder, const std::wstring& name, const FILETIME& since) {
  // Wine names the host's home folder in WINEHOMEDIR ("\\??\\Z:\\...").
  std::wstring home = EnvPath(L"WINEHOMEDIR");
  if (home.rfind(L"\\??\\", 0) == 0) home.erase(0, 4);
  const std::wstring info = home + L"\\.local\\share\\Trash\\info";
  const std::wstring last = folder.substr(folder.rfind(L'\\') + 1);
  const std::string wanted = "/" + ToUtf8(last) + "/" + ToUtf8(name) + "\n";
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((info + L"\\*.trashinfo").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool seen = false;
  do {
    if (CompareFileTime(&found.ftLastWriteTime, &since) < 0) continue;
    const std::string record = ReadBytes(info + L"\\" + found.cFileName);
    seen = record.find(wanted) != std::string::npos;
  } while (!seen && FindNextFileW(search, &found));
  FindClose(search);
  return seen;
}

FILETIME Now() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  // The file system keeps times more coarsely than the clock.
  ULARGE_INTEGER value{{now.dwLowDateTime, now.dwHighDateTime}};
  value.QuadPart -= 20000000;  // two seconds
  return {value.LowPart, value.HighPart};
}

struct TrashFixture : FormFixture {
  std::unique_ptr<TVesko2MainForm> form;
  TrashFixture() {
    CreateDirectoryW((dir / L"c").c_str(), nullptr);
    for (const wchar_t* name : {L"a.bmp", L"b.bmp", L"c.bmp"}) {
      WriteBytes(dir / (std::wstring(L"c\\") + name), MakeTestBmp(4, 4));
    }
    form = Create({ToUtf8(dir / L"c")});
  }
  ~TrashFixture() {
    if (form) Close(form);
  }
  void MoveTo(const std::wstring& name) {
    auto& box = form->List.MainListBox;
    box.ItemIndex = box.IndexOf(ToUtf8(dir / (L"c\\" + name)));
    REQUIRE(form->SetCurrentPicture());
  }
};

}  // namespace

TEST_CASE("trash sends the file away and shows its successor; the lists stay consistent") {
  TrashFixture f;
  f.form->Settings.RandomLoad = false;
  f.MoveTo(L"b.bmp");
  const FILETIME start = Now();
  {
    TShellAnswer yes;
    PressShortCut(f.form->Handle(), kKeyDelete);
    // The shell's question belongs to the program's window.
    CHECK(yes.Owner() == f.form->Handle());
  }
  CHECK_FALSE(Exists(f.dir / L"c\\b.bmp"));
  // Del put it in the recycle bin, from where it can come back.
  CHECK(InTrash(f.dir.Path(), L"c/b.bmp", start));
  CHECK(f.form->List.MainListBox.Count() == 2);
  CHECK(f.form->List.RandomListBox.Count() == 2);
  CHECK(f.form->Settings.PaperName == ToUtf8(f.dir / L"c\\c.bmp"));
  CHECK(f.form->NextAction.Enabled);
  CHECK(f.form->PreAction.Enabled);

  // The first entry: the new first one follows.
  f.MoveTo(L"a.bmp");
  {
    TShellAnswer yes;
    PressShortCut(f.form->Handle(), kShift | kKeyDelete);
  }
  CHECK_FALSE(Exists(f.dir / L"c\\a.bmp"));
  CHECK_FALSE(InTrash(f.dir.Path(), L"c/a.bmp", start));  // Shift+Del deletes for good
  CHECK(f.form->Settings.PaperName == ToUtf8(f.dir / L"c\\c.bmp"));
  f.form->DeleteAction.Update();
  CHECK(f.form->DeleteAction.Enabled);
  DeleteFileW((f.dir / L"c\\c.bmp").c_str());
  f.form->DeleteAction.Update();
  CHECK_FALSE(f.form->DeleteAction.Enabled);  // the file is gone
}

TEST_CASE("a picture of a list file: Yes edits the list file only, No keeps it, Cancel stops") {
  TrashFixture f;
  const std::wstring list = f.dir / L"pics.V2List";
  const std::string a = ToUtf8(f.dir / L"c\\a.bmp");
  const std::string b = ToUtf8(f.dir / L"c\\b.bmp");
  const std::string c = ToUtf8(f.dir / L"c\\c.bmp");
  WriteBytes(list, a + "\r\n" + b + "\r\n" + c + "\r\n" + b + "\r\n");
  f.form->Settings.PaperFolder = ToUtf8(list);
  f.form->List.LoadPictureList();
  f.MoveTo(L"b.bmp");

  f.dialogs.confirmAnswers = {kAnswerCancel};
  f.form->TrushAction.Execute();
  CHECK(f.dialogs.confirmations.back() == b + "\rファイルリストからの削除ですか？");
  CHECK(f.dialogs.confirmButtons.back() == kButtonsYesNoCancel);
  CHECK(f.form->List.MainListBox.Count() == 4);

  f.dialogs.confirmAnswers = {kAnswerYes};
  f.form->TrushAction.Execute();
  CHECK(Exists(f.dir / L"c\\b.bmp"));                              // the picture itself stays
  CHECK(ReadBytes(list) == a + "\r\n" + c + "\r\n" + b + "\r\n");  // one line, order kept
  CHECK(f.form->List.MainListBox.Count() == 3);

  f.MoveTo(L"a.bmp");
  f.dialogs.confirmAnswers = {kAnswerNo};
  {
    TShellAnswer yes;
    f.form->DeleteAction.Execute();
  }
  CHECK_FALSE(Exists(f.dir / L"c\\a.bmp"));
  CHECK(ReadBytes(list) == a + "\r\n" + c + "\r\n" + b + "\r\n");  // unchanged on No
  CHECK(f.form->List.MainListBox.Count() == 2);
}

TEST_CASE("Del on a list of relative and script-written lines: the line naming the picture goes") {
  TrashFixture f;
  const std::wstring list = f.dir / L"script.V2List";
  std::string slashes = ToUtf8(f.dir.Path());
  std::replace(slashes.begin(), slashes.end(), '\\', '/');
  const std::string written = "c\\b.bmp\r\n" + slashes + "/c/A.BMP\r\n.\\c\\.\\c.bmp\r\n";
  WriteBytes(list, written);
  f.form->Settings.PaperFolder = ToUtf8(list);
  f.form->List.LoadPictureList();
  REQUIRE(f.form->List.MainListBox.Count() == 3);
  f.MoveTo(L"b.bmp");
  f.dialogs.confirmAnswers = {kAnswerYes};
  PressShortCut(f.form->Handle(), kKeyDelete);
  CHECK(f.dialogs.errors.empty());
  CHECK(ReadBytes(list) == slashes + "/c/A.BMP\r\n.\\c\\.\\c.bmp\r\n");
  CHECK(Exists(f.dir / L"c\\b.bmp"));
  CHECK(f.form->List.MainListBox.Count() == 2);

  // The picture shown now is found again at the next start, though its line is not in the
  // system's form.
  const std::string shown = f.form->Settings.PaperName;
  f.form->List.LoadPictureList();
  CHECK(f.form->List.MainListBox.Current() == shown);

  f.MoveTo(L"a.bmp");
  f.dialogs.confirmAnswers = {kAnswerYes};
  PressShortCut(f.form->Handle(), kKeyDelete);
  CHECK(ReadBytes(list) == ".\\c\\.\\c.bmp\r\n");
}

TEST_CASE("the current entry's path goes to the clipboard") {
  TrashFixture f;
  f.MoveTo(L"c.bmp");
  f.form->CopyFileNameAction.Execute();
  REQUIRE(OpenClipboard(nullptr));
  auto* handle = GetClipboardData(CF_UNICODETEXT);
  const std::wstring text =
      handle != nullptr ? static_cast<const wchar_t*>(GlobalLock(handle)) : L"";
  if (handle != nullptr) GlobalUnlock(handle);
  CloseClipboard();
  CHECK(text == f.dir / L"c\\c.bmp");
}

TEST_CASE("a read-only list file: a clear error, the list file and both lists unchanged") {
  TrashFixture f;
  const std::wstring list = f.dir / L"pics.V2List";
  const std::string a = ToUtf8(f.dir / L"c\\a.bmp");
  const std::string b = ToUtf8(f.dir / L"c\\b.bmp");
  WriteBytes(list, a + "\r\n" + b + "\r\n");
  f.form->Settings.PaperFolder = ToUtf8(list);
  f.form->List.LoadPictureList();
  f.MoveTo(L"b.bmp");
  SetFileAttributesW(list.c_str(), FILE_ATTRIBUTE_READONLY);

  f.dialogs.confirmAnswers = {kAnswerYes};
  CHECK_THROWS_WITH(f.form->TrushAction.Execute(), doctest::Contains("pics.V2List"));
  SetFileAttributesW(list.c_str(), FILE_ATTRIBUTE_NORMAL);
  CHECK(ReadBytes(list) == a + "\r\n" + b + "\r\n");
  CHECK(f.form->List.MainListBox.Count() == 2);
  CHECK(f.form->List.RandomListBox.Count() == 2);
  CHECK(f.form->Settings.PaperName == b);
  CHECK(Exists(f.dir / L"c\\b.bmp"));
  CHECK(f.form->NextAction.Enabled);
  CHECK(f.form->PreAction.Enabled);
  // No stray temporary file is left beside the list.
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((f.dir / L"v2~*").c_str(), &found);
  CHECK(search == INVALID_HANDLE_VALUE);
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

TEST_CASE(
    "この画像を今後表示しない: from the menu, the tray menu and X; never back after a restart") {
  TrashFixture f;
  f.form->Settings.RandomLoad = false;
  f.MoveTo(L"b.bmp");
  const std::wstring excludeFile = f.dir / L"Vesko2.exclude.txt";
  const auto excludedLines = [&] { return SplitListLines(FileTextToUtf8(ReadBytes(excludeFile))); };
  const std::string a = ToUtf8(f.dir / L"c\\a.bmp");
  const std::string b = ToUtf8(f.dir / L"c\\b.bmp");
  const std::string c = ToUtf8(f.dir / L"c\\c.bmp");

  // The context menu: the next picture shows, the file stays on disk, the list file beside the
  // settings names it.
  OpenMenu(*f.form, "この画像を今後表示しない");
  CHECK(f.form->Settings.PaperName == c);
  CHECK(Exists(f.dir / L"c\\b.bmp"));
  CHECK(excludedLines() == std::vector<std::string>{b});
  for (int i = 0; i < 4; ++i) {
    PressShortCut(f.form->Handle(), kKeyReturn);
    CHECK(f.form->Settings.PaperName != b);
  }

  // Closed and started again: the folder comes back without it, also after a reload.
  f.Close(f.form);
  f.form = f.Create();
  CHECK(f.form->List.MainListBox.Items == std::vector<std::string>{a, c});
  PressShortCut(f.form->Handle(), kCtrl | kKeyF5);
  CHECK(f.form->List.MainListBox.IndexOf(b) < 0);

  // While the boss picture is on the desktop the command rests: the picture it hides stays.
  WriteBytes(f.dir / L"boss.bmp", MakeTestBmp(4, 4, 10, 20, 30));
  f.form->Settings.IncomingBossFileName = ToUtf8(f.dir / L"boss.bmp");
  const std::string hidden = f.form->Settings.PaperName;
  OpenMenu(*f.form, "ボスが来た");
  const std::vector<std::string> lines = OpenMenu(*f.form);
  CHECK(std::find(lines.begin(), lines.end(), "  この画像を今後表示しない\tX [grey]") !=
        lines.end());
  PressShortCut(f.form->Handle(), 'X');
  CHECK(f.form->List.MainListBox.Count() == 2);
  CHECK(f.form->Settings.PaperName == hidden);
  OpenMenu(*f.form, "ボスが来た");

  // The tray icon's menu: the same entry.
  PressShortCut(f.form->Handle(), kCtrl | 'T');
  REQUIRE(f.form->TaskTray->Registered());
  f.form->PopupMenu->Track = [](HMENU menu, int, int) -> UINT {
    return FindEntry(menu, "この画像を今後表示しない");
  };
  SendMessageW(TTaskTray::CallbackWindow(), TTaskTray::kCallbackMessage, 1, WM_RBUTTONDOWN);
  CHECK(f.form->List.MainListBox.Items == std::vector<std::string>{hidden == a ? c : a});
  CHECK(excludedLines() == std::vector<std::string>{b, hidden});
  // The panel's hint and the tray's tooltip say what went and how to take it back.
  CHECK(f.form->PanelHint.find(ExtractFileName(hidden) + " を除外、Shift+X で取り消し") !=
        std::string::npos);

  // X on the only picture: as after Del of the last one, the folder dialog offers another
  // source; cancelled, the list stays empty and the command rests.
  f.dialogs.answers.push_back("");
  PressShortCut(f.form->Handle(), 'X');
  CHECK(f.dialogs.folderTitles.size() == 1);
  CHECK(f.form->List.MainListBox.Empty());
  CHECK(excludedLines().size() == 3);
  CHECK(f.dialogs.messages.back().rfind("このフォルダの画像はすべて「今後表示しない」にしました",
                                        0) == 0);
  f.form->ExcludeAction.Update();
  CHECK_FALSE(f.form->ExcludeAction.Enabled);
  // Shift+X takes this session's exclusions back, the latest first: each picture returns to
  // the list and the desktop, and leaves the file; the one of the earlier session stays.
  PressShortCut(f.form->Handle(), kShift | 'X');
  CHECK(f.form->List.MainListBox.Count() == 1);
  CHECK(excludedLines() == std::vector<std::string>{b, hidden});
  CHECK(f.form->Settings.PaperName == f.form->List.MainListBox.Items[0]);
  PressShortCut(f.form->Handle(), kShift | 'X');
  CHECK(f.form->Settings.PaperName == hidden);
  CHECK(excludedLines() == std::vector<std::string>{b});
  f.form->UndoExcludeAction.Update();
  CHECK_FALSE(f.form->UndoExcludeAction.Enabled);
  // Taken back after another folder was opened: it leaves the file, and the picture shown and
  // its name stay as they were.
  PressShortCut(f.form->Handle(), 'X');
  CreateDirectoryW((f.dir / L"d").c_str(), nullptr);
  WriteBytes(f.dir / L"d\\z.bmp", MakeTestBmp(4, 4));
  f.form->Settings.PaperFolder = ToUtf8(f.dir / L"d");
  f.form->List.LoadPictureList();
  REQUIRE(f.form->SetCurrentPicture());
  PressShortCut(f.form->Handle(), kShift | 'X');
  CHECK(excludedLines() == std::vector<std::string>{b});
  CHECK(f.form->Settings.PaperName == ToUtf8(f.dir / L"d\\z.bmp"));
  CHECK(f.form->List.MainListBox.Current() == f.form->Settings.PaperName);
}
