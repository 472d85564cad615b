#include "base/PumpedWait_win.h"

namespace {

thread_local int depth = 0;
thread_local bool cancelled = false;
thread_local bool enabled = false;

// Hands on the messages waiting now, except those left for after the wait.
void PumpMessages() {
  MSG msg;
  for (;;) {
    BOOL got = PeekMessageW(&msg, nullptr, 0, kAfterWaitMessage - 1, PM_REMOVE);
    if (!got) got = PeekMessageW(&msg, nullptr, kAfterWaitMessage + 1, 0xFFFFFFFFu, PM_REMOVE);
    if (!got) return;
    if (msg.message == WM_QUIT) {
      // Belongs to the outer loop: put it back and stop the wait's pumping there.
      PostQuitMessage(static_cast<int>(msg.wParam));
      cancelled = true;
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    if (cancelled) return;
  }
}

}  // namespace

int TPumpedWait::Depth() {
  return depth;
}

void TPumpedWait::Cancel() {
  cancelled = true;
}

void TPumpedWait::SetEnabled(bool on) {
  enabled = on;
}

void TPumpedWait::Resume() {
  cancelled = false;
}

bool TPumpedWait::Cancelled() {
  return cancelled;
}

DWORD WaitPumping(const HANDLE* handles, DWORD count, DWORD timeoutMs) {
  if (!enabled || !IsGUIThread(FALSE)) {
    return WaitForMultipleObjects(count, handles, FALSE, timeoutMs);
  }
  if (cancelled) return kWaitCancelled;
  struct TScope {
    TScope() {
      if (depth++ == 0 && TPumpedWait::OnOutermost != nullptr) TPumpedWait::OnOutermost(true);
    }
    ~TScope() {
      if (--depth == 0 && TPumpedWait::OnOutermost != nullptr) TPumpedWait::OnOutermost(false);
    }
  } scope;
  const DWORD start = GetTickCount();
  // What is queued already first; then the wait wakes for messages that arrive after it looked,
  // so a message left for after the wait never keeps it spinning.
  PumpMessages();
  for (;;) {
    if (cancelled) return kWaitCancelled;
    const DWORD spent = GetTickCount() - start;
    // Messages arriving without pause (a mouse moving over the window) never put the deadline
    // off: once it has passed, only the handles are looked at.
    if (timeoutMs != INFINITE && spent >= timeoutMs) {
      return WaitForMultipleObjects(count, handles, FALSE, 0);
    }
    const DWORD left = timeoutMs == INFINITE ? INFINITE : timeoutMs - spent;
    const DWORD woke = MsgWaitForMultipleObjectsEx(count, handles, left, QS_ALLINPUT, 0);
    if (woke < WAIT_OBJECT_0 + count || woke == WAIT_TIMEOUT || woke == WAIT_FAILED) return woke;
    PumpMessages();
  }
}
