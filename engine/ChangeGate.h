// Whether a timed change may happen now: not while the user is busy with a full-screen game,
// film or presentation, nor while battery saver is on, when the settings say so. Changes the
// user asks for (a key, a click, a hotkey) never ask here.
#pragma once

#include <string>

// What the system says, in its own terms: SHQueryUserNotificationState's answer (1 to 7; 5,
// "accepts notifications", when nothing is going on; 0 when the system gave none, which waits
// for nothing) and whether battery saver is on.
struct TSystemState {
  int NotificationState = 0;
  bool BatterySaver = false;
};

// Why timed changes wait now, as the tray icon's tooltip says it; empty when they may go.
std::string TimedChangeWaitReason(const TSystemState& state, bool waitWhileBusy,
                                  bool waitOnBatterySaver);
