// The options command of the main window: the settings through the options dialog and back.
#include "app/Application_win.h"
#include "app/MainForm_win.h"
#include "app/OptionsForm_win.h"
#include "base/Dialogs.h"
#include "base/FileIO_win.h"
#include "base/Path.h"
#include "base/Unicode_win.h"

namespace {

// The memo's lines as a text file: each line ends with CR LF, in the ANSI code page.
std::string MessageFileText(const std::string& memo) {
  std::string text = memo;
  if (!text.empty() && (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0)) {
    text += "\r\n";
  }
  return Utf8ToAnsi(text);
}

}  // namespace

void TVesko2MainForm::OptionActionExecute(TAction& sender) {
  // No command of the window runs while the dialog is open; every path gives the keys back.
  std::vector<uint16_t> shortCuts;
  for (TAction* action : ActionList()) {
    shortCuts.push_back(action->ShortCut);
    action->ShortCut = 0;
  }
  Tag = 1;
  struct TRestore {
    TVesko2MainForm& form;
    const std::vector<uint16_t>& shortCuts;
    ~TRestore() {
      form.Tag = 0;
      for (size_t i = 0; i < shortCuts.size(); ++i) form.ActionList()[i]->ShortCut = shortCuts[i];
    }
  } restore{*this, shortCuts};

  if (ShiftDown() && !CtrlDown()) {
    env_.Dialogs.ShellOpen(IniFileName);
    return;
  }
  TOptionsForm dialog(Handle(), env_.Dialogs, TApplication::kTitle, env_.ProgramPath);
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"*\\shell\\menu", 0, KEY_READ, &key) == ERROR_SUCCESS) {
    RegCloseKey(key);
    dialog.DisableAddMenu();
  }
  dialog.Load(Settings, sender.Tag, FileExists(MessageFile));
  if (dialog.ShowModal() != TOptionsForm::kOk) return;
  dialog.Store(Settings);
  G_EditorAction.Caption =
      FileExists(Settings.G_Editor) ? ExtractFileName(Settings.G_Editor) : "グラフィックソフト..";
  ApplyTimer();
  sender.Tag = dialog.Page();
  HookHotKey->ReRegisterKey(1, Settings.ActiveKey);
  HookHotKey->ReRegisterKey(2, Settings.IncomingBossKey);
  // Last, so that a program folder that cannot be written loses none of the settings above:
  // its error is shown after they all took effect.
  WriteFileAtomically(ChangeFileExt(env_.ProgramPath, ".mes"), MessageFileText(dialog.MemoText()));
}
