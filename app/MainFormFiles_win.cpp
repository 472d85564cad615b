// The file commands of the main window on the current picture's own file.
#include "app/MainForm_win.h"
#include "base/Dialogs.h"
#include "base/FileIO_win.h"
#include "base/Path.h"
#include "base/Unicode_win.h"
#include "engine/ListRemoval.h"

namespace {

class EListError : public Exception {
 public:
  using Exception::Exception;
};

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

  bool removeFile = true;
  if (FileExists(Settings.PaperFolder)) {
    const int answer = env_.Dialogs.Confirm(
        Settings.PaperName + "\r" + "ファイルリストからの削除ですか？", kButtonsYesNoCancel);
    if (answer != kAnswerYes && answer != kAnswerNo) return;
    if (answer == kAnswerYes) {
      TBusyScope busy(Busy(), 0x00FF0000, "Load List..");
      std::vector<std::string> lines = files_.ReadListFile(Settings.PaperFolder);
      if (!RemoveListLine(lines, Settings.PaperName)) {
        throw EListError("リストのインデックスが範囲を超えています (-1)");
      }
      files_.WriteListFile(Settings.PaperFolder, lines);
      removeFile = false;  // the list file loses the line; the picture stays on disk
    }
  }
  if (removeFile) {
    FileOperation.Options = sender.Tag > 0 ? TFileOpFlags{fofAllowUndo} : TFileOpFlags{0};
    struct TOptions {
      TFileOperation& op;
      ~TOptions() { op.Options = fofAllowUndo; }
    } options{FileOperation};
    FileOperation.FromFiles = {Settings.PaperName};
    FileOperation.ToFiles.clear();
    FileOperation.Title = ExtractFileName(Settings.PaperName) + " をゴミ箱へ";
    // The shell asks, shows progress and reports errors itself; the picture leaves the lists
    // whatever it answered.
    FileOperation.Delete();
  }
  std::unique_ptr<TBusyScope> renumbering;
  RemoveCurrentPicture(
      List.MainListBox, List.RandomListBox, Settings.RandomLoad, [this, &renumbering](bool on) {
        if (on) {
          renumbering = std::make_unique<TBusyScope>(Busy(), 0x00FFFF00, "Arrangement of List..");
        } else {
          renumbering.reset();
        }
      });
  NextActionExecute(NextAction);
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
