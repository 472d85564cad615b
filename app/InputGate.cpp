#include "app/InputGate.h"

#include <algorithm>

namespace {

constexpr TVerdict N = TVerdict::Now;
constexpr TVerdict L = TVerdict::Later;
constexpr TVerdict F = TVerdict::Fold;
constexpr TVerdict I = TVerdict::Interrupt;
constexpr TVerdict S = TVerdict::Skip;
constexpr TVerdict R = TVerdict::Refuse;

// Rows in TInput's order, columns in TBusy's: Idle, HelperCall, Menu, Dialog, OwnWindow,
// FullScreen, Starting.
// - 終了 always acts; the boss key too, and a plug-in call is given up for it, since hiding
//   the picture cannot wait for a deadline.
// - Commands wait for the call, the menu or the box, and a repeated one counts once: three
//   presses of 次へ during a slow picture are one step.
// - Drops, hand-overs and display changes wait; the latest of each wins.
// - Timed changes and housekeeping come round again on their own: a tick under another step
//   is skipped, which also keeps a failure that repeats from showing once per tick.
// - The menu hotkey while a menu is open does nothing; under a box it beeps.
// - A full-screen program holds only the display remake: the timer asks about it itself,
//   with a tooltip that says why.
// - The view mode's keys (and its close) wait for the picture it loads; the latest counts.
// - During the start what the user or a second start sends waits for it (ticks are skipped):
//   a folder handed over while a box of the plug-in search is open would otherwise be
//   replaced by the start's own.
constexpr TVerdict kTable[][7] = {
    /* Quit          */ {N, N, N, N, N, N, N},
    /* BossKey       */ {N, I, N, N, N, N, L},
    /* Command       */ {N, F, F, F, N, N, F},
    /* MenuHotKey    */ {N, N, S, R, N, N, S},
    /* Drop          */ {N, L, L, L, N, N, L},
    /* HandOver      */ {N, L, L, L, N, N, L},
    /* DisplayChange */ {N, L, L, L, L, L, L},
    /* TimerTick     */ {N, S, S, S, S, N, S},
    /* Housekeeping  */ {N, S, S, S, N, N, S},
    /* ViewModeKey   */ {N, F, N, N, N, N, N},
};

}  // namespace

TVerdict GateVerdict(TInput input, TBusy busy) {
  return kTable[static_cast<int>(input)][static_cast<int>(busy)];
}

TBusy TInputGate::BusyFor(TInput input) const {
  const TBusy busy = Busy ? Busy() : TBusy::Idle;
  if (busy != TBusy::Idle || GateVerdict(input, TBusy::FullScreen) == TVerdict::Now) return busy;
  return SystemBusy && SystemBusy() ? TBusy::FullScreen : TBusy::Idle;
}

bool TInputGate::Offer(TInput input, std::function<void()> act, const void* key) {
  const TVerdict verdict = GateVerdict(input, BusyFor(input));
  switch (verdict) {
    case TVerdict::Now:
      act();
      return true;
    case TVerdict::Skip:
      return false;
    case TVerdict::Refuse:
      if (Refused) Refused();
      return false;
    case TVerdict::Later:
    case TVerdict::Fold:
    case TVerdict::Interrupt: {
      // The same kind waiting already (for a fold: the same command) gives way to this one.
      const bool byKey = verdict == TVerdict::Fold;
      held_.erase(std::remove_if(held_.begin(), held_.end(),
                                 [&](const THeld& held) {
                                   return held.input == input && (!byKey || held.key == key);
                                 }),
                  held_.end());
      held_.push_back({input, key, std::move(act)});
      if (verdict == TVerdict::Interrupt && GiveUpCurrentStep) GiveUpCurrentStep();
      if (WakeWhenIdle) WakeWhenIdle();
      return false;
    }
  }
  return false;
}

void TInputGate::Forget(const void* key) {
  held_.erase(std::remove_if(held_.begin(), held_.end(),
                             [key](const THeld& held) { return held.key == key; }),
              held_.end());
}

bool TInputGate::Release() {
  // An input run from here may pump messages itself (a plug-in call): the gate's timer must
  // not start the rest inside it.
  if (releasing_) return !held_.empty();
  releasing_ = true;
  struct TReset {
    bool& flag;
    ~TReset() { flag = false; }
  } reset{releasing_};
  for (;;) {
    const auto next = std::find_if(held_.begin(), held_.end(), [&](const THeld& held) {
      return GateVerdict(held.input, BusyFor(held.input)) == TVerdict::Now;
    });
    if (next == held_.end()) return !held_.empty();
    const std::function<void()> act = std::move(next->act);
    held_.erase(next);
    act();
  }
}
