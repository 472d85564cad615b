// The one gate for everything that reaches the program while it may be inside another step: a
// plug-in call keeps the window answering, and so do our boxes, the shell's file prompts and
// an open menu. Each input says what it is; one table says, for each busy state, whether it
// acts now, waits and acts once afterwards, is folded with others of its kind, or is dropped.
// No handler decides this for itself: a new kind of input adds a row.
#pragma once

#include <functional>
#include <vector>

enum class TInput {
  Quit,           // 終了, a close of the window
  BossKey,        // ボスが来た by its key, hotkey or menu
  Command,        // any other command: key, menu, tray, panel button
  MenuHotKey,     // the hotkey that opens the menu or brings the window back; the tray
                  // icon's double click
  Drop,           // files dropped on the window
  HandOver,       // a second start's files
  DisplayChange,  // the remake of the wallpaper for a new display layout
  TimerTick,      // a timed change
  Housekeeping,   // giving memory back, writing settings on a timer
  ViewModeKey,    // a key or close of the view mode, which is itself a dialog of ours
};

enum class TBusy {
  Idle,
  HelperCall,  // a call into the plug-in helper, pumping messages while it waits
  Menu,        // a menu of ours is open
  Dialog,      // a modal box or dialog of ours, or the shell's file prompt
  OwnWindow,   // a window of ours is up beside the main one (options, about, folders)
  FullScreen,  // a full-screen program or battery saver asks timed changes to wait
  Starting,    // the start (plug-in search, settings, the first change) is not over yet
};

enum class TVerdict {
  Now,        // acts at once
  Later,      // waits, then acts once; the latest of its kind wins
  Fold,       // waits, then acts once; repeats of the same command are one
  Interrupt,  // the step under way is given up, then it acts
  Skip,       // dropped quietly: a later tick comes anyway
  Refuse,     // dropped, with a beep the user hears
};

// The table.
TVerdict GateVerdict(TInput input, TBusy busy);

class TInputGate {
 public:
  std::function<TBusy()> Busy;  // the program's state now, short of FullScreen
  // Whether a full-screen program or battery saver holds timed work; asked only when the
  // answer matters, since it asks the system.
  std::function<bool()> SystemBusy;
  std::function<void()> WakeWhenIdle;       // asks for Release() soon (a timer)
  std::function<void()> Refused;            // the sign of a refused input
  std::function<void()> GiveUpCurrentStep;  // ends the plug-in call under way

  // Runs `act` now, keeps it or drops it, as the table says for the state now. `key` tells
  // commands apart for folding. Answers whether it ran now.
  bool Offer(TInput input, std::function<void()> act, const void* key = nullptr);
  // Runs, in the order they came, the kept inputs the state now lets act. Answers whether
  // some are still kept.
  bool Release();
  bool Holding() const { return !held_.empty(); }
  // A closing program runs nothing it kept.
  void Clear() { held_.clear(); }
  // A window that goes takes what it was offered with: nothing kept under `key` runs.
  void Forget(const void* key);

 private:
  TBusy BusyFor(TInput input) const;
  struct THeld {
    TInput input;
    const void* key;
    std::function<void()> act;
  };
  std::vector<THeld> held_;
  bool releasing_ = false;
};
