// The plug-in helper: a second copy of the program, started with /spi-helper, that loads the
// plug-ins users install and makes the calls into them, so that one that loops, faults, raises
// a foreign exception or ends its process costs one picture and never the program. The two
// speak plugin_wire messages over a named pipe; pixels come back in a named memory section.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "base/Handles_win.h"
#include "decode/PluginWire.h"

// The helper stopped, ended or answered nonsense: the call's picture is unreadable.
class EHelperFailed : public Exception {
 public:
  using Exception::Exception;
};

// The call was given up because the program is closing (TPumpedWait::Cancel): no fault of
// the plug-in's.
class EHelperCancelled : public EHelperFailed {
 public:
  using EHelperFailed::EHelperFailed;
};

// No helper could be started (the program's file is gone, the system refuses a process): no
// fault of the plug-in being called.
class EHelperUnavailable : public EHelperFailed {
 public:
  using EHelperFailed::EHelperFailed;
};

// The switch that makes the program a helper: "Vesko2.exe /spi-helper <pipe name>".
constexpr const wchar_t* kPluginHelperSwitch = L"/spi-helper";

class TPluginHelper {
 public:
  // `exe`: the program file the helper runs (the program itself).
  explicit TPluginHelper(std::wstring exe);
  ~TPluginHelper();
  TPluginHelper(const TPluginHelper&) = delete;
  TPluginHelper& operator=(const TPluginHelper&) = delete;

  // One call. The helper starts at the first call (unless prepared) and again after it stopped.
  // Progress messages go to `progress` (false aborts the call) and count as signs of life; with
  // none for `silenceMs`, the helper is stopped. EHelperFailed when it stops, ends or answers
  // nonsense. A window thread's messages go on being handled while it waits (TPumpedWait).
  plugin_wire::TMessage Call(const plugin_wire::TMessage& request,
                             const std::function<bool(int done, int total)>& progress,
                             DWORD silenceMs);
  // The pixels of a result (its Section and SectionSize), copied out of the helper's section:
  // into `into` (SectionSize bytes), or into a new vector.
  void PixelsInto(const plugin_wire::TMessage& result, void* into) const;
  std::vector<uint8_t> Pixels(const plugin_wire::TMessage& result) const;
  // Starts a helper, if none runs, without waiting for it: the first call then finds it
  // ready, its process start (a fifth of a second and more under Wine) spent meanwhile.
  void Prepare();
  // Ends the helper now; the next call starts another.
  void Stop();
  // Ends the helper unless a call is in progress: what a plug-in left open (a file it never
  // closed) goes with it, so that the file can be deleted or moved.
  void StopIfIdle();
  // A helper without calls for this long is ended, its memory given back to the system.
  DWORD IdleMs = 60000;
  // The helper's process id, 0 while none runs.
  DWORD ProcessId() const { return processId_; }

 private:
  // Starts the helper's process and the pipe's wait for it; Connect waits for it to connect.
  void Launch();
  void Connect();
  void Send(const plugin_wire::TMessage& message, DWORD silenceMs);
  plugin_wire::TMessage Receive(DWORD silenceMs);
  void Transfer(void* data, DWORD size, bool write, DWORD silenceMs);

  std::wstring exe_;
  // One call at a time: another thread waits its turn; a call made from inside a call's
  // progress (a message handled while a picture loads) fails at once instead of mixing
  // messages.
  std::mutex mutex_;
  std::atomic<DWORD> caller_{0};
  std::atomic<DWORD> lastCall_{0};  // GetTickCount at the end of the last call
  HANDLE idleTimer_ = nullptr;
  static void CALLBACK IdleCheck(void* self, BOOLEAN);
  THandle job_;
  THandle process_;
  THandle pipe_;
  THandle event_;
  OVERLAPPED connect_{};     // the pipe's wait for a launched helper
  bool connecting_ = false;  // that wait is under way
  DWORD processId_ = 0;
};

// Serves the calls the plug-in host does not know (archives): fills in the result, and hands
// back bytes through `publish` (false when there is no memory for them).
using THelperService =
    std::function<void(const plugin_wire::TMessage& request, plugin_wire::TMessage& result,
                       const std::function<bool(const void* bytes, size_t size)>& publish)>;

// The helper's side: serves the program at the other end of `pipeName` until the pipe closes
// or a call into a plug-in faulted (after its answer); the process's exit code. It loads each
// plug-in at the first call naming it and keeps it for the next.
int RunPluginHelper(const std::wstring& pipeName, THelperService service = nullptr);
