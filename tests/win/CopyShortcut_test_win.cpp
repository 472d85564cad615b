// Copy and shortcut of the current picture on the real shell and window: the destination from
// the folder browser or the favourite folders dialog (driven for real), links named as users
// expect and never written over an existing file.
#include <doctest/doctest.h>

#include <atomic>
#include <thread>

#include "FormFixture_win.h"
// After windows.h.
#include <commctrl.h>
#include "app/Dialogs_win.h"
#include "app/FavoriteFoldersForm_win.h"
#include "base/TextCase.h"
#include "engine/PictureLoader_win.h"

namespace {

struct CopyFixture : FormFixture {
  std::unique_ptr<TVesko2MainForm> form;
  std::string picture;
  std::string dest;
  CopyFixture() {
    CreateDirectoryW((dir / L"c").c_str(), nullptr);
    CreateDirectoryW((dir / L"dest").c_str(), nullptr);
    for (const wchar_t* name : {L"a.bmp", L"b.bmp"}) {
      WriteBytes(dir / (std::wstring(L"c\\") + name), MakeTestBmp(4, 4));
    }
    form = Create({ToUtf8(dir / L"c")});
    auto& box = form->List.MainListBox;
    picture = ToUtf8(dir / L"c\\b.bmp");
    box.ItemIndex = box.IndexOf(picture);
    REQUIRE(form->SetCurrentPicture());
    dest = ToUtf8(dir / L"dest");
    form->Settings.FavoriteEnabled = false;
  }
  ~CopyFixture() {
    if (form) Close(form);
  }
  bool InDest(const std::string& name) const { return Exists(ToWide(dest + "\\" + name)); }
};

using TDriveFavourites = TDriveForm<TFavoriteFoldersForm>;

void Click(TColorPanel& panel) {
  SendMessageW(panel.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  SendMessageW(panel.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

// Keeps the text of a child window that shows a path.
BOOL CALLBACK CollectPath(HWND child, LPARAM data) {
  const std::string text = WindowText(child);
  if (text.find('\\') != std::string::npos) *reinterpret_cast<std::wstring*>(data) = ToWide(text);
  return TRUE;
}

std::string Text(HWND window) {
  return WindowText(window);
}

// How many tools the dialog's tooltip window holds.
int ToolCount(HWND dialog) {
  HWND hints = HintWindow(dialog);
  return hints == nullptr ? -1 : static_cast<int>(SendMessageW(hints, TTM_GETTOOLCOUNT, 0, 0));
}

// A right-click on the middle of a slot, as the mouse sends it to the slot's button (which
// turns it into the context-menu message that travels up through the page); the menu that
// opens is read by `track` (which answers with the entry to take). Whether a menu opened. (The
// journey right-clicks a slot with the real mouse.)
bool RightClickSlot(TFavoriteFoldersForm& dialog, int slot,
                    const std::function<UINT(HMENU)>& track) {
  bool opened = false;
  dialog.Track = [&](HMENU menu, POINT) {
    opened = true;
    return track(menu);
  };
  HWND button = dialog.SlotButton(slot);
  RECT r{};
  GetClientRect(button, &r);
  const LPARAM middle = MAKELPARAM(r.right / 2, r.bottom / 2);
  SendMessageW(button, WM_RBUTTONDOWN, MK_RBUTTON, middle);
  SendMessageW(button, WM_RBUTTONUP, 0, middle);
  dialog.Track = nullptr;
  return opened;
}

}  // namespace

TEST_CASE("copy lands the file in the browsed folder, which becomes the next initial folder") {
  CopyFixture f;
  f.form->Settings.LastSendFolder = "C:\\earlier";
  f.form->CopyAction.Update();
  CHECK(f.form->CopyAction.Enabled);

  f.dialogs.answers = {""};  // cancelled: nothing happens
  f.form->CopyAction.Execute();
  CHECK(f.form->Settings.LastSendFolder == "C:\\earlier");
  CHECK_FALSE(f.InDest("b.bmp"));

  f.dialogs.answers = {f.dest};
  f.form->CopyAction.Execute();
  CHECK(f.InDest("b.bmp"));
  CHECK(Exists(ToWide(f.picture)));  // a copy, not a move
  const TBrowseOptions& browse = f.dialogs.folderDialogs.back();
  CHECK(browse.Title == "送り先フォルダ");
  CHECK(browse.InitialFolder == "C:\\earlier");
  CHECK(browse.Owner == f.form->Handle());
  CHECK(browse.NewStyle);
  CHECK_FALSE(browse.AllowFiles);
  CHECK(f.form->Settings.LastSendFolder == f.dest);
  CHECK(f.Ini().ReadString("Edit", "LastSendFolder", "") == f.dest);  // kept at once
  CHECK(f.form->List.MainListBox.Count() == 2);                       // the lists stay

  // A file that went away after the command was enabled: a clear word, no dialog.
  DeleteFileW(ToWide(f.picture).c_str());
  const size_t dialogs = f.dialogs.folderDialogs.size();
  f.form->CopyActionExecute(f.form->CopyAction);
  REQUIRE(f.dialogs.messages.size() == 1);
  CHECK(f.dialogs.messages.back() == "ファイルがありません\r" + f.picture);
  CHECK(f.dialogs.folderDialogs.size() == dialogs);
  f.form->CopyAction.Update();
  CHECK_FALSE(f.form->CopyAction.Enabled);
}

TEST_CASE(
    "Ctrl+C copies the picture current at its start, with a running timer and a "
    "settings file that cannot be written") {
  CopyFixture f;
  WriteBytes(f.dir / L"Vesko2.ini", "[Window]\r\n");
  SetFileAttributesW((f.dir / L"Vesko2.ini").c_str(), FILE_ATTRIBUTE_READONLY);
  f.form->Settings.TimerInterval = 30;
  f.form->Settings.TimerEnabled = true;
  f.form->ApplyTimer();
  f.dialogs.answers = {f.dest};
  // The folder browser stays open for ten intervals of the timer.
  f.dialogs.whileOpen = [] { PumpUntil([] { return false; }, 300); };
  PressShortCut(f.form->Handle(), kCtrl | 'C');
  f.dialogs.whileOpen = nullptr;
  CHECK(f.InDest("b.bmp"));
  CHECK_FALSE(f.InDest("a.bmp"));
  CHECK(f.dialogs.errors.size() == 1);             // the settings file, said once when first met
  CHECK(f.form->Settings.PaperName == f.picture);  // no tick changed the picture meanwhile
  f.form->Settings.TimerEnabled = false;
  f.form->ApplyTimer();
  SetFileAttributesW((f.dir / L"Vesko2.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_CASE("shortcuts: named after the picture, never written over an existing file") {
  CopyFixture f;
  f.form->Settings.AddSCName = true;
  const std::string suffixed = "b.bmpへのショートカット.lnk";

  f.dialogs.answers = {f.dest};
  f.form->ShortCutAction.Execute();
  REQUIRE(f.InDest(suffixed));
  CHECK(UpperCase(ResolveShortcut(f.dest + "\\" + suffixed)) == UpperCase(f.picture));
  const std::string original = ReadBytes(ToWide(f.dest + "\\" + suffixed));

  // Taken: Cancel to the question ends the command.
  f.dialogs.answers = {f.dest};
  f.dialogs.confirmAnswers = {kAnswerCancel};
  f.form->ShortCutAction.Execute();
  CHECK(f.dialogs.confirmations.back() == "同名ファイルが存在します\r上書きしますか");
  CHECK(f.dialogs.confirmButtons.back() == kButtonsOkCancel);
  CHECK(f.dialogs.queries.empty());

  // OK: a new name is asked for, refused while a file name cannot hold it.
  f.dialogs.answers = {f.dest, "bad:name", "新しい"};
  f.dialogs.confirmAnswers = {kAnswerOk};
  f.form->ShortCutAction.Execute();
  REQUIRE(f.dialogs.queries.size() == 2);
  CHECK(f.dialogs.queries[0] == "同名ファイルが存在します|新しい名前|c-b.bmpへのショートカット");
  CHECK(f.dialogs.messages.back() == "ファイル名に使えない文字が含まれています\rbad:name");
  CHECK(f.dialogs.queries[1] == "同名ファイルが存在します|新しい名前|bad:name");
  CHECK(f.InDest("新しい.lnk"));
  CHECK(UpperCase(ResolveShortcut(f.dest + "\\新しい.lnk")) == UpperCase(f.picture));
  CHECK(ReadBytes(ToWide(f.dest + "\\" + suffixed)) == original);

  // The entered name is taken too: asked again; a cancelled prompt writes nothing.
  f.dialogs.queries.clear();
  f.dialogs.answers = {f.dest, "新しい", ""};
  f.dialogs.confirmAnswers = {kAnswerOk};
  f.form->ShortCutAction.Execute();
  CHECK(f.dialogs.queries.size() == 2);
  CHECK(f.dialogs.queries[1] == "同名ファイルが存在します|新しい名前|c-新しい");

  // Without the suffix: the full file name and ".lnk".
  f.form->Settings.AddSCName = false;
  f.dialogs.answers = {f.dest};
  f.form->ShortCutAction.Execute();
  CHECK(f.InDest("b.bmp.lnk"));

  // A destination that is not there: the user is told, and nothing is written.
  f.dialogs.answers = {ToUtf8(f.dir / L"missing\\folder")};
  f.form->ShortCutAction.Execute();
  CHECK(f.dialogs.messages.back() == "フォルダがありません\r" + ToUtf8(f.dir / L"missing\\folder"));
}

TEST_CASE("favourites: slots edited in place survive Cancel; OK takes the selected slot") {
  CopyFixture f;
  f.form->Settings.FavoriteEnabled = true;
  const std::string other = ToUtf8(f.dir / L"c");
  f.form->Settings.FavoriteFolder = {"", other, "", "", ""};

  // Slot 0 is free: nothing is selected. A click on a free slot asks for its folder.
  {
    TDriveFavourites drive([&](TFavoriteFoldersForm& d) {
      CHECK(f.form->Tag == 1);
      CHECK(Text(d.TitlePanel().Handle()) == "フォルダの選択 / 設定");
      CHECK(Text(d.HowDoRadioGroup()) == "コピー先フォルダ");
      CHECK(d.ItemIndex() == -1);
      CHECK(d.SlotHint(1) == other);
      CHECK_FALSE(d.PopupMenuPopup());
      SendMessageW(d.SlotButton(2), BM_CLICK, 0, 0);
      CHECK(d.ItemIndex() == 2);
      CHECK(SendMessageW(d.SlotButton(2), BM_GETCHECK, 0, 0) == BST_CHECKED);
      CHECK(d.PopupMenuPopup());
      CHECK(d.SlotHint(2) == f.dest);
      PostMessageW(d.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    });
    f.dialogs.answers = {f.dest};
    f.form->CopyAction.Execute();
    CHECK(drive.shown == 1);
  }
  const TBrowseOptions& slotBrowse = f.dialogs.folderDialogs.back();
  CHECK(slotBrowse.Title == "フォルダの選択");
  CHECK(slotBrowse.InitialFolder.empty());
  CHECK_FALSE(slotBrowse.NewStyle);
  CHECK(f.form->Tag == 0);
  CHECK(f.form->Settings.FavoriteFolder[2] == f.dest);  // kept after Cancel
  CHECK(f.Ini().ReadString("FavoriteFolder", "2", "") == f.dest);
  CHECK_FALSE(f.InDest("b.bmp"));
  CHECK(f.form->Settings.LastSendFolder.empty());

  // "削除" clears the selected slot; "変更" replaces it; OK sends to it. A shortcut's heading.
  f.form->Settings.FavoriteFolder[0] = other;
  f.form->Settings.AddSCName = true;
  {
    TDriveFavourites drive([&](TFavoriteFoldersForm& d) {
      CHECK(Text(d.HowDoRadioGroup()) == "ショートカット作成先フォルダ");
      CHECK(d.ItemIndex() == 0);  // slot 0 holds a folder
      // A right-click on a free slot while slot 0 is selected opens no menu about slot 0.
      CHECK_FALSE(RightClickSlot(d, 3, [](HMENU menu) { return FindEntry(menu, "削除"); }));
      CHECK(d.Slots()[0] == other);
      CHECK(d.ItemIndex() == 0);
      const int tools = ToolCount(d.Handle());
      CHECK(tools == 6);  // the five slots and the other-folder button
      // A right-click on a filled slot: the menu Windows shows holds both entries.
      std::vector<std::string> entries;
      REQUIRE(RightClickSlot(d, 0, [&](HMENU menu) {
        ReadMenu(menu, "", entries);
        return FindEntry(menu, "削除");
      }));
      CHECK(entries == std::vector<std::string>{"削除", "変更"});
      CHECK(d.Slots()[0].empty());
      CHECK_FALSE(d.PopupMenuPopup());
      // On a free slot no menu opens.
      CHECK_FALSE(RightClickSlot(d, 0, [](HMENU) { return 0u; }));
      // "変更" on another filled slot, chosen by a right-click on it: the slot under the mouse.
      REQUIRE(RightClickSlot(d, 1, [](HMENU menu) { return FindEntry(menu, "変更"); }));
      CHECK(d.ItemIndex() == 1);
      CHECK(d.Slots()[1] == f.dest);
      CHECK(ToolCount(d.Handle()) == tools);  // changed hints, no new tools
      PostMessageW(d.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    });
    f.dialogs.answers = {f.dest};
    f.form->ShortCutAction.Execute();
  }
  CHECK(f.InDest("b.bmpへのショートカット.lnk"));
  CHECK(f.form->Settings.FavoriteFolder == std::array<std::string, 5>{"", f.dest, f.dest, "", ""});
  CHECK(f.form->Settings.LastSendFolder == f.dest);

  // OK with nothing selected, or with a free slot selected: no folder, nothing copied.
  f.form->Settings.FavoriteFolder = {"", "", "", "", ""};
  {
    TDriveFavourites drive([&](TFavoriteFoldersForm& d) {
      CHECK(d.ItemIndex() == -1);
      Click(d.OkPanel());
    });
    f.form->CopyAction.Execute();
  }
  {
    f.dialogs.answers = {""};
    TDriveFavourites drive([&](TFavoriteFoldersForm& d) {
      SendMessageW(d.SlotButton(3), BM_CLICK, 0, 0);  // the browser is cancelled
      CHECK(d.ItemIndex() == 3);
      Click(d.OkPanel());
    });
    f.form->CopyAction.Execute();
  }
  CHECK_FALSE(f.InDest("b.bmp"));
}

TEST_CASE("a favourite folder that is gone is reported and nothing is written") {
  CopyFixture f;
  f.form->Settings.FavoriteEnabled = true;
  const std::string gone = ToUtf8(f.dir / L"gone");
  f.form->Settings.FavoriteFolder = {gone, "", "", "", ""};
  for (const uint16_t key : {uint16_t(kCtrl | 'C'), uint16_t(kCtrl | 'S')}) {
    TDriveFavourites drive([&](TFavoriteFoldersForm& d) {
      CHECK(d.SelectedFolder() == gone);
      PostMessageW(d.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    });
    PressShortCut(f.form->Handle(), key);
    CHECK(drive.shown == 1);
  }
  CHECK(f.dialogs.messages ==
        std::vector<std::string>{"フォルダがありません\r" + gone, "フォルダがありません\r" + gone});
  CHECK_FALSE(Exists(f.dir / L"gone"));
  CHECK(f.form->Settings.LastSendFolder.empty());
}

TEST_CASE("favourites: another folder ends the dialog at once and is offered next time") {
  CopyFixture f;
  f.form->Settings.FavoriteEnabled = true;
  f.form->Settings.AnotherFolder = "C:\\before";
  {
    TDriveFavourites drive([&](TFavoriteFoldersForm& d) {
      CHECK(Text(d.AnotherPanel().Handle()) == "他のフォルダ(&O)..");
      Click(d.AnotherPanel());  // cancelled: the dialog stays
      CHECK(d.ModalResult == 0);
      PostMessageW(d.Handle(), WM_SYSKEYDOWN, 'O', 1 << 29);  // Alt+O
    });
    f.dialogs.answers = {"", f.dest};
    f.form->CopyAction.Execute();
    CHECK(drive.shown == 1);
  }
  CHECK(f.InDest("b.bmp"));
  const TBrowseOptions& browse = f.dialogs.folderDialogs.back();
  CHECK(browse.Title == "フォルダの指定");
  CHECK(browse.InitialFolder == "C:\\before");
  CHECK(browse.NewStyle);
  CHECK(f.form->Settings.AnotherFolder == f.dest);
  CHECK(f.Ini().ReadString("FavoriteFolder", "AnotherFolder", "") == f.dest);

  // Next time the browser starts there; cancelling it leaves the dialog to Esc.
  DeleteFileW(ToWide(f.dest + "\\b.bmp").c_str());
  {
    TDriveFavourites drive([&](TFavoriteFoldersForm& d) {
      Click(d.AnotherPanel());
      CHECK(d.ModalResult == 0);
      PostMessageW(d.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
    });
    f.dialogs.answers = {""};
    f.form->CopyAction.Execute();
  }
  CHECK(f.dialogs.folderDialogs.back().InitialFolder == f.dest);
  CHECK_FALSE(f.InDest("b.bmp"));
}

TEST_CASE("the shell's folder browser opens on the initial folder and returns the choice") {
  TTempDir dir;
  const std::wstring folder = dir / L"選択";
  CreateDirectoryW(folder.c_str(), nullptr);
  HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               nullptr, nullptr);
  TWinDialogs dialogs([owner] { return owner; }, [] { return std::string("Vesko 2"); });
  std::atomic<bool> pressed{false};
  std::wstring status;
  // Waits for conditions, not for time: the browser of this owner, then its status line showing
  // the initial folder (the selection has then settled, however slowly on a busy machine). The
  // deadline only ends a hung run.
  std::thread answer([&] {
    const DWORD start = GetTickCount();
    const auto inTime = [&] { return GetTickCount() - start < 120000; };
    HWND box = nullptr;
    while (inTime() && box == nullptr) {
      HWND found = FindWindowW(L"#32770", nullptr);
      if (found != nullptr && GetWindow(found, GW_OWNER) == owner && IsWindowVisible(found)) {
        box = found;
      } else {
        Sleep(20);
      }
    }
    if (box == nullptr) return;
    const auto settled = [&] { return UpperCase(ToUtf8(status)) == UpperCase(ToUtf8(folder)); };
    // The browser's status line (its own control, else any child that shows a path).
    HWND line = GetDlgItem(box, 0x3743);
    while (inTime() && !settled()) {
      Sleep(20);
      if (line != nullptr) {
        status = ToWide(WindowText(line));
      } else {
        EnumChildWindows(box, CollectPath, reinterpret_cast<LPARAM>(&status));
      }
    }
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    pressed = true;
  });
  const std::string chosen =
      dialogs.BrowseForFolder({.Title = "選ぶ", .InitialFolder = ToUtf8(folder)});
  answer.join();
  DestroyWindow(owner);
  REQUIRE(pressed);
  CHECK(UpperCase(chosen) == UpperCase(ToUtf8(folder)));
  CHECK(UpperCase(ToUtf8(status)) == UpperCase(ToUtf8(folder)));
}
