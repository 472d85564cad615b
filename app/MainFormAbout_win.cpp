// The main window's about box.
#include "app/AboutForm_win.h"
#include "app/MainForm_win.h"

void TVesko2MainForm::AboutActionExecute() {
  // No automatic move into the tray while the box is open; the box gives the guard back.
  Tag = 1;
  auto* box = new TAboutForm(Handle(), env_.ProgramPath);  // frees itself when closed
  box->OnDestroyed = [this] { Tag = 0; };
  SysInfo.FileInfo().SetFileName(env_.ProgramPath);
  box->SetVersions(SysInfo.FileInfo().ProductVersion(), SysInfo.FileInfo().FileVersion());
  if (!Settings.PlayMidi) box->MediaPlayerTag = 1;
  box->Show();
}
