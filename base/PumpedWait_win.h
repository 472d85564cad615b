// Waiting on another process without freezing the windows of the waiting thread: while the
// wait lasts, the thread's messages go on being handled (paint, sent messages, menus); the
// program's input gate decides what they may do then. A close asked for meanwhile cancels the
// wait.
#pragma once

#include <windows.h>

#include <functional>

// Posted to run once no pumped wait is in progress: the wait leaves it in the queue.
constexpr UINT kAfterWaitMessage = WM_APP + 0x3FF0;

class TPumpedWait {
 public:
  // How many pumped waits the calling thread is inside.
  static int Depth();
  // Ends the waits in progress (they answer kWaitCancelled) and every later one until Resume:
  // the program is closing.
  static void Cancel();
  static void Resume();
  static bool Cancelled();
  // Whether waits on this thread pump at all: off until the windows they would reach are
  // ready for their messages (the main window turns it on once it is made).
  static void SetEnabled(bool enabled);
  // Told true when the outermost wait begins and false when it ends (the window's busy look).
  static inline std::function<void(bool begins)> OnOutermost;
};

// WaitForMultipleObjects (any of `handles`) that keeps a window thread's messages going.
// Answers WAIT_OBJECT_0 + i, WAIT_TIMEOUT, or kWaitCancelled after TPumpedWait::Cancel. On a
// thread without windows, or before pumping is enabled there, it is a plain wait.
constexpr DWORD kWaitCancelled = 0xFFFF0001u;
DWORD WaitPumping(const HANDLE* handles, DWORD count, DWORD timeoutMs);
