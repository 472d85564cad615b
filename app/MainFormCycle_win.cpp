// The main window's change cycle: setting the picture under the cursor (skipping what does not
// load, in the direction of travel), next and previous, and the change timer that waits for
// commands and dialogs.
#include <new>
#include <system_error>

#include "app/MainForm_win.h"
#include "base/Dialogs.h"
#include "base/Path.h"
#include "base/TextCase.h"
#include "base/Unicode_win.h"
#include "decode/ColorProfile.h"
#include "decode/DIBErrors.h"
#include "decode/Graphic.h"
#include "decode/PluginHelper_win.h"
#include "decode/SPI_win.h"

TVesko2MainForm::TTimerHold::TTimerHold(TVesko2MainForm& form) : form_(form) {
  if (form_.timerHolds_++ == 0) KillTimer(form_.Handle(), kChangeTimer);
}

TVesko2MainForm::TTimerHold::~TTimerHold() {
  if (--form_.timerHolds_ == 0) form_.ApplyTimer();
}

bool TVesko2MainForm::SetCurrentPicture(bool forward) {
  struct TReport {
    TVesko2MainForm& form;
    ~TReport() {
      try {
        form.ReportLeftPlugins();
      } catch (...) {
      }
    }
  } report{*this};
  Image.Clear();
  int attempts = 0;
  for (;;) {
    // The program is closing: no further picture.
    if (closeRequested_) return false;
    if (changeGivenUp_) {
      // The boss key gave the call up: the next change steps from the picture still shown.
      BackToShownPicture();
      return false;
    }
    if (!Image.Empty()) {
      const int randomIndex = List.RandomListBox.ItemIndex;
      const std::string paperName = Settings.PaperName;
      List.RandomListBox.ItemIndex =
          List.RandomListBox.IndexOf(std::to_string(List.MainListBox.ItemIndex));
      Settings.PaperName = List.MainListBox.Current();
      bool applied = false;
      try {
        ApplyWallpaper(TmpPaperName);
        applied = true;
      } catch (const EInvalidGraphic&) {
      } catch (const EDIBError&) {
      } catch (const std::bad_alloc&) {
      } catch (const std::system_error&) {
      } catch (...) {
        // The wallpaper itself cannot be written: every picture would fail alike. The error is
        // said, and the name and the cursors stay with the picture still shown.
        Settings.PaperName = paperName;
        Image.Clear();
        BackToShownPicture();
        throw;
      }
      if (applied) {
        ++wallpapersSet_;
        reportedFailure_.clear();
        SaveIfChanged();
        return true;
      }
      // Data that fails only once it is decoded (a JPEG's header reads, its rows do not), no
      // room for the shrink, or no thread for it: the picture fails like an unreadable one,
      // and the cursors and PaperName stay as they were.
      List.RandomListBox.ItemIndex = randomIndex;
      Settings.PaperName = paperName;
      Image.Clear();
      List.StepActiveOrder(forward);
      continue;
    }
    if (attempts > List.MainListBox.Count() - 1) {
      const std::string text = "このフォルダにはもう画像がありません";
      if (ReportOnce(text)) WarnMessage(env_.Dialogs, text);
      return false;
    }
    ++attempts;
    std::string entry = List.MainListBox.Current();
    RealFileName.clear();
    const std::string ext = ExtractFileExt(entry);
    if (SameText(ext, ".ArcLink")) {
      Loader.LoadArcLink(entry, Image);
    } else {
      if (SameText(ext, ".lnk")) {
        entry = ResolveShortcut(entry);
        RealFileName = entry;
      }
      Loader.LoadPictureFile(entry, Image);
    }
    if (Image.Empty()) List.StepActiveOrder(forward);
  }
}

void TVesko2MainForm::BackToShownPicture() {
  const int shown = List.MainListBox.IndexOf(Settings.PaperName);
  if (shown >= 0) {
    List.MainListBox.ItemIndex = shown;
    List.RandomListBox.ItemIndex = List.RandomListBox.IndexOf(std::to_string(shown));
  }
}

void TVesko2MainForm::ApplyTimer() {
  KillTimer(Handle(), kChangeTimer);
  const bool on = Settings.TimerEnabled && Settings.TimerInterval > 0;
  if (timerHolds_ == 0 && on) {
    SetTimer(Handle(), kChangeTimer, static_cast<UINT>(Settings.TimerInterval), nullptr);
  }
  // A timer switched off takes its waiting change with it.
  if (!on) EndTimedWait();
}

void TVesko2MainForm::ReportLeftPlugins() {
  if (closeRequested_) return;
  std::string text;
  for (int i = 0; i < SPIs.Count(); ++i) {
    const TSPI& spi = SPIs.Item(i);
    if (!spi.Faulted() || !reportedPlugins_.insert(spi.FileName).second) continue;
    text += "\r\r" + spi.FileName + "\r応答しないか異常終了したため、次に起動するまで使いません";
  }
  if (!text.empty()) WarnMessage(env_.Dialogs, "プラグインとして使えないファイルがあります" + text);
}

void TVesko2MainForm::ApplyPluginTimeout() {
  TSPI::HelperSilenceMs = static_cast<unsigned>(Settings.PluginTimeout) * 1000;
  // Our plug-ins convert a picture with alpha and a profile themselves when the program would
  // convert it (so that the desktop's colour shows through unchanged); they read this, and a
  // helper takes it when it starts: an idle one goes, so that the next starts with the change.
  const wchar_t* value = Settings.ColorManagement ? L"1" : L"0";
  wchar_t before[8] = {};
  GetEnvironmentVariableW(ToWide(kColorManagementVariable).c_str(), before, 8);
  SetEnvironmentVariableW(ToWide(kColorManagementVariable).c_str(), value);
  if (lstrcmpW(before, value) != 0 && TSPI::Helper != nullptr) TSPI::Helper->StopIfIdle();
}

void TVesko2MainForm::TimerTimer() {
  Gate.Offer(TInput::TimerTick, [this] { TimedChange(); });
}

void TVesko2MainForm::TimedChange() {
  const std::string wait =
      TimedChangeWaitReason(SystemState ? SystemState() : TSystemState{}, Settings.WaitWhileBusy,
                            Settings.WaitOnBatterySaver);
  if (!wait.empty()) {
    // One change waits, however many ticks pass; the system is asked again meanwhile. The
    // tooltip says why each time (a change the user asked for meanwhile named its picture).
    TaskTray->SetTipString(Caption() + " - " + wait);
    if (timedChangeWaits_.empty()) SetTimer(Handle(), kWaitingTimer, kWaitingPollMs, nullptr);
    timedChangeWaits_ = wait;
    return;
  }
  EndTimedWait();
  const TUnattended unattended(*this);
  try {
    NextActionExecute(NextAction);
  } catch (const std::exception& error) {
    if (ReportOnce(error.what())) throw;
  }
}

bool TVesko2MainForm::ReportOnce(const std::string& failure) {
  if (unattended_ == 0) return true;
  if (reportedFailure_ == failure) return false;
  reportedFailure_ = failure;
  return true;
}

void TVesko2MainForm::EndTimedWait() {
  if (timedChangeWaits_.empty()) return;
  KillTimer(Handle(), kWaitingTimer);
  timedChangeWaits_.clear();
  TaskTray->SetTipString(Caption() + (PanelHint.empty() ? "" : " - " + PanelHint));
}

void TVesko2MainForm::WaitingTimerTimer() {
  // The waiting change happens at the first tick the user is free, as the timer's would.
  if (timedChangeWaits_.empty()) {
    KillTimer(Handle(), kWaitingTimer);
    return;
  }
  TimerTimer();
}

void TVesko2MainForm::NextActionExecute(const TComponent& sender) {
  // The timer waits while the change runs and starts a full interval afresh afterwards.
  TTimerHold hold(*this);
  if (List.MainListBox.Empty()) {
    // The source has gone: asked for once, not at every tick after a Cancel.
    if (ReportOnce("no source")) OpenFolderAction.Execute();
    return;
  }
  const bool forward = sender.Tag > 0;
  if (ShiftDown() || !CtrlDown()) {
    // With a picture per monitor, past every picture the change showed (or back as many).
    for (int step = StepsPerChange(forward); step > 0; --step) List.StepActiveOrder(forward);
    SetCurrentPicture(forward);
    return;
  }
  // Preview: the stepped entry, without moving a cursor.
  int position = 0;
  if (Settings.RandomLoad && !List.RandomListBox.Empty()) {
    const int r = StepIndex(List.RandomListBox.Count(), List.RandomListBox.ItemIndex, forward);
    position = std::stoi(List.RandomListBox.Items[static_cast<size_t>(r)]);
  } else {
    position = StepIndex(List.MainListBox.Count(), List.MainListBox.ItemIndex, forward);
  }
  if (position >= 0 && position < List.MainListBox.Count()) {
    ShowPreview(List.MainListBox.Items[static_cast<size_t>(position)]);
  }
}
