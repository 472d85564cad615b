// The file commands of the main window on the current picture's own file.
#include "app/FavoriteFoldersForm_win.h"
#include "app/MainForm_win.h"
#include "base/Dialogs.h"
#include "base/FileIO_win.h"
#include "base/Path.h"
#include "base/Unicode_win.h"
#include "decode/PluginHelper_win.h"
#include "decode/SPI_win.h"
#include "engine/ListRemoval.h"
#include "files/ShellLink_win.h"
#include "files/ShortcutName.h"

namespace {

class EListError : public Exception {
 public:
  using Exception::Exception;
};

// The busy display while the random order is renumbered after a picture left the lists; the
// scope lives in `scope` between the two calls.
std::function<void(bool)> ShowRenumbering(IBusyDisplay& busy, std::unique_ptr<TBusyScope>& scope) {
  return [&busy, &scope](bool on) {
    if (on) {
      scope = std::make_unique<TBusyScope>(busy, 0x00FFFF00, "Arrangement of List..");
    } else {
      scope.reset();
    }
  };
}

}  // namespace

void TVesko2MainForm::TrushActionExecute(TAction& sender) {
  // Next and previous rest while the lists change; every way out gives them back.
  NextAction.Enabled = false;
  PreAction.Enabled = false;
  struct TRestore {
    TVesko2MainForm& form;
    ~TRestore() {
      form.NextAction.Enabled = true;
      form.PreAction.Enabled = true;
    }
  } restore{*this};

  // The command acts on the picture current when it started, whatever happens while its
  // question is open.
  const std::string paper = Settings.PaperName;
  const std::string source = Settings.PaperFolder;
  bool removeFile = true;
  if (FileExists(source)) {
    const int answer = env_.Dialogs.Confirm(paper + "\r" + "ファイルリストからの削除ですか？",
                                            kButtonsYesNoCancel);
    if (answer != kAnswerYes && answer != kAnswerNo) return;
    if (answer == kAnswerYes) {
      TBusyScope busy(Busy(), 0x00FF0000, "Load List..");
      std::vector<std::string> lines = files_.ReadListFile(source);
      const std::string listFolder = ExtractFileDir(source);
      const auto resolve = [&](const std::string& line) {
        return ListEntryPath(files_, listFolder, line);
      };
      if (!RemoveListLine(lines, paper, resolve)) {
        throw EListError("リストのインデックスが範囲を超えています (-1)");
      }
      files_.WriteListFile(source, lines);
      removeFile = false;  // the list file loses the line; the picture stays on disk
    }
  }
  if (removeFile) {
    FileOperation.Options = sender.Tag > 0 ? TFileOpFlags{fofAllowUndo} : TFileOpFlags{0};
    struct TOptions {
      TFileOperation& op;
      ~TOptions() { op.Options = fofAllowUndo; }
    } options{FileOperation};
    FileOperation.FromFiles = {paper};
    FileOperation.ToFiles.clear();
    FileOperation.Title = ExtractFileName(paper) + " をゴミ箱へ";
    // A plug-in may have left the picture open in the helper: it goes, and the file with it.
    if (TSPI::Helper != nullptr) TSPI::Helper->StopIfIdle();
    // The shell asks, shows progress and reports errors itself; the picture leaves the lists
    // whatever it answered.
    FileOperation.Delete();
  }
  // The lists may have changed meanwhile (a source handed over by a second start): the entry
  // that leaves them is the command's own, or none.
  if (List.MainListBox.Current() != paper) {
    const int at = List.MainListBox.IndexOf(paper);
    if (at < 0) return;
    List.MainListBox.ItemIndex = at;
  }
  std::unique_ptr<TBusyScope> renumbering;
  List.RemoveCurrent(ShowRenumbering(Busy(), renumbering));
  NextActionExecute(NextAction);
}

void TVesko2MainForm::ExcludeActionUpdate(TAction& sender) {
  sender.Enabled = !bossOnDesktop_ && !Settings.PaperName.empty() &&
                   List.MainListBox.IndexOf(Settings.PaperName) >= 0;
}

void TVesko2MainForm::ExcludeActionExecute() {
  const std::string paper = Settings.PaperName;
  List.MainListBox.ItemIndex = List.MainListBox.IndexOf(paper);
  std::unique_ptr<TBusyScope> renumbering;
  List.ExcludeCurrent(ShowRenumbering(Busy(), renumbering));
  if (List.MainListBox.Empty()) {
    // The last picture gone: as after Del, the folder dialog offers another source, after a
    // word on why.
    WarnMessage(env_.Dialogs, "このフォルダの画像はすべて「今後表示しない」にしました\r" +
                                  ExtractFileName(paper) + " は Shift+X で取り消せます");
  }
  NextActionExecute(NextAction);
  // The tray's tooltip and the panel's hint say what went, and how to take it back.
  PanelHint += " （" + ExtractFileName(paper) + " を除外、Shift+X で取り消し）";
  TaskTray->SetTipString(Caption() + " - " + PanelHint);
}

void TVesko2MainForm::UndoExcludeActionExecute() {
  const std::string picture = List.UndoLastExclusion();
  if (picture.empty()) return;
  // The picture comes back into the list and onto the desktop; with another source open now
  // it only leaves the exclusion list, and the picture shown stays.
  TTimerHold hold(*this);
  List.LoadPictureList();
  const int back = List.MainListBox.IndexOf(picture);
  if (back < 0) return;
  List.MainListBox.ItemIndex = back;
  SetCurrentPicture();
}

void TVesko2MainForm::CopyFileNameActionExecute() {
  if (!OpenClipboard(Handle())) return;
  EmptyClipboard();
  const std::wstring text = ToWide(Settings.PaperName);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
  if (memory != nullptr) {
    if (void* bytes = GlobalLock(memory)) {
      memcpy(bytes, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
      GlobalUnlock(memory);
      // The clipboard owns the memory once it takes it.
      if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) GlobalFree(memory);
    } else {
      GlobalFree(memory);
    }
  }
  CloseClipboard();
}

std::string TVesko2MainForm::ChooseDestinationFolder(const std::string& word) {
  // The window stays up while the dialog has the focus.
  Tag = 1;
  struct TRestore {
    TVesko2MainForm& form;
    ~TRestore() { form.Tag = 0; }
  } restore{*this};

  TFavoriteFoldersForm dialog(Handle(), env_.Dialogs);
  dialog.SetPurpose(word + "先フォルダ");
  dialog.SetSlots(Settings.FavoriteFolder);
  dialog.AnotherFolder = Settings.AnotherFolder;
  const int result = dialog.ShowModal();
  // Slots edited in the dialog stay, also after Cancel.
  Settings.FavoriteFolder = dialog.Slots();
  if (result == TFavoriteFoldersForm::kOk) return dialog.SelectedFolder();
  if (result == TFavoriteFoldersForm::kYes) {
    Settings.AnotherFolder = dialog.AnotherFolder;
    return dialog.AnotherFolder;
  }
  return {};
}

void TVesko2MainForm::CopyActionExecute(TAction& sender) {
  const bool copy = sender.Tag > 0;
  // The picture current when the command started, whatever happens while its dialog is open.
  const std::string paper = Settings.PaperName;
  // The file may have gone since the command was enabled.
  if (!FileExists(paper)) {
    WarnMessage(env_.Dialogs, "ファイルがありません\r" + paper);
    return;
  }
  const auto favourites = Settings.FavoriteFolder;
  const std::string folder =
      Settings.FavoriteEnabled
          ? ChooseDestinationFolder(copy ? "コピー" : "ショートカット作成")
          : env_.Dialogs.BrowseForFolder({.Title = "送り先フォルダ",
                                          .InitialFolder = Settings.LastSendFolder,
                                          .Owner = Handle(),
                                          .NewStyle = true});
  if (folder.empty()) {
    if (Settings.FavoriteFolder != favourites) SaveSettingsQuietly();
    return;
  }
  // A favourite folder may be gone: the shell would write a file of the folder's name.
  if (!DirectoryExists(folder)) {
    if (Settings.FavoriteFolder != favourites) SaveSettingsQuietly();
    WarnMessage(env_.Dialogs, "フォルダがありません\r" + folder);
    return;
  }
  Settings.LastSendFolder = folder;
  // Chosen folders are worth keeping even if the program never closes normally; a settings
  // file that cannot be written does not stop the copy.
  SaveSettingsQuietly();

  FileOperation.FromFiles = {paper};
  FileOperation.ToFiles = {folder};
  if (copy) {
    // The shell asks before replacing a file of the same name and reports its own errors.
    FileOperation.Copy();
    return;
  }
  const std::string link = ShortcutLinkPath(folder, paper, Settings.AddSCName);
  if (FileExists(link) && env_.Dialogs.Confirm("同名ファイルが存在します\r上書きしますか",
                                               kButtonsOkCancel) != kAnswerOk) {
    return;
  }
  CreateShortcutFile(env_.Dialogs, paper, link, "", "");
}
