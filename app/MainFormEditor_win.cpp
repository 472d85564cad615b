// The main window's editor commands: the current picture opened in the chosen graphics editor,
// or in a program picked from the user's list.
#include "app/MainForm_win.h"
#include "base/Dialogs.h"
#include "base/FileIO_win.h"
#include "base/Path.h"
#include "base/TextCase.h"
#include "base/Unicode_win.h"
#include "engine/PictureLoader_win.h"
#include "files/EditorList.h"

namespace {

// Starts a command line as WinExec would, in the show state the program itself was started
// with, through the W function so that paths outside the ANSI code page survive. Whether the
// program started is not reported.
void Launch(const std::string& commandLine) {
  STARTUPINFOW own{};
  own.cb = sizeof own;
  GetStartupInfoW(&own);
  STARTUPINFOW start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESHOWWINDOW;
  start.wShowWindow = (own.dwFlags & STARTF_USESHOWWINDOW) != 0 ? own.wShowWindow
                                                                : static_cast<WORD>(SW_SHOWNORMAL);
  std::wstring line = ToWide(commandLine);
  PROCESS_INFORMATION process{};
  if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start,
                     &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

}  // namespace

void TVesko2MainForm::G_EditorActionExecute() {
  if (!FileExists(Settings.G_Editor)) {
    TFileDialogOptions options;
    options.Title = "グラフィックソフトを開く";
    options.Filter = "実行ファイル|*.exe|全てのファイル|*.*";
    options.HideReadOnly = true;
    options.EnableSizing = true;
    std::string path;
    if (!env_.Dialogs.OpenFile(options, path)) return;
    Settings.G_Editor = path;
  }
  std::string file = Settings.PaperName;
  if (SameText(ExtractFileExt(file), ".lnk")) file = ResolveShortcut(file);
  Launch(EditorCommandLine(Settings.G_Editor, file));
}

void TVesko2MainForm::G_SelectEditorActionExecute(TAction& sender) {
  if (sender.Tag <= 0) return;
  if (Settings.CommandoFileName.empty()) {
    TFileDialogOptions options;
    options.Title = "エディタソフト リストファイル";
    options.Filter = "全てのファイル|*.*";
    options.HideReadOnly = true;
    options.EnableSizing = true;
    std::string path;
    if (!env_.Dialogs.OpenFile(options, path)) return;
    Settings.CommandoFileName = path;
  }
  if (!FileExists(Settings.CommandoFileName)) return;
  commandoEntries_.clear();
  const std::vector<std::string> lines = files_.ReadListFile(Settings.CommandoFileName);
  if (lines.empty()) return;
  commandoEntries_ = ParseEditorList(lines);
  POINT at{};
  GetCursorPos(&at);
  CommandoPopupMenu->Popup(at.x, at.y);
}

std::vector<TMenuEntry> TVesko2MainForm::CommandoMenuEntries() {
  std::vector<TMenuEntry> entries;
  for (const TEditorEntry& editor : commandoEntries_) {
    TMenuEntry entry;
    entry.Caption = editor.Caption;
    entry.Hint = editor.Program;
    entry.Sender = &commandoItem_;
    // The picture goes as it is: a shortcut is not resolved here.
    entry.OnClick = [this, program = editor.Program](TComponent&) {
      Launch(EditorCommandLine(program, Settings.PaperName));
    };
    entries.push_back(std::move(entry));
  }
  return entries;
}
