#include "decode/PluginHelper_win.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include "base/PumpedWait_win.h"
#include "base/Unicode_win.h"
#include "decode/DIBStore.h"
#include "decode/SPI_win.h"

using plugin_wire::TKind;
using plugin_wire::TMessage;

namespace {

constexpr DWORD kStartMs = 10000;  // the helper's start, up to its connection

// The memory section a helper puts a result's pixels in, named after the helper and a number.
std::wstring SectionName(DWORD helper, uint64_t number) {
  return L"Local\\Vesko2-spi-" + std::to_wstring(helper) + L"-" + std::to_wstring(number);
}

// A large picture's pixels copied by two threads, each half of them: under Wine most of the
// time goes to the first touch of fresh pages, which two threads take side by side.
void CopyPixels(void* to, const void* from, size_t size) {
  constexpr size_t kAlone = size_t{4} << 20;
  std::thread other;
  const size_t half = size / 2 & ~size_t{4095};
  if (size >= kAlone) {
    try {
      other = std::thread([=] {
        std::memcpy(static_cast<uint8_t*>(to) + half, static_cast<const uint8_t*>(from) + half,
                    size - half);
      });
    } catch (const std::system_error&) {
    }
  }
  std::memcpy(to, from, other.joinable() ? half : size);
  if (other.joinable()) other.join();
}

}  // namespace

TPluginHelper::TPluginHelper(std::wstring exe) : exe_(std::move(exe)) {}

TPluginHelper::~TPluginHelper() {
  if (idleTimer_ != nullptr) DeleteTimerQueueTimer(nullptr, idleTimer_, INVALID_HANDLE_VALUE);
  Stop();
}

void TPluginHelper::StopIfIdle() {
  const std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
  if (lock.owns_lock()) Stop();
}

void CALLBACK TPluginHelper::IdleCheck(void* context, BOOLEAN) {
  auto* self = static_cast<TPluginHelper*>(context);
  const std::unique_lock<std::mutex> lock(self->mutex_, std::try_to_lock);
  if (lock.owns_lock() && self->process_ && GetTickCount() - self->lastCall_ >= self->IdleMs) {
    self->Stop();
  }
}

void TPluginHelper::Stop() {
  if (process_) {
    TerminateProcess(process_.get(), 1);
    const HANDLE process = process_.get();
    WaitPumping(&process, 1, 5000);
  }
  if (connecting_) {
    // The pipe's wait for the helper is given up before its record goes (from whichever thread
    // stops it: the idle check runs on another).
    DWORD ignored = 0;
    CancelIoEx(pipe_.get(), &connect_);
    GetOverlappedResult(pipe_.get(), &connect_, &ignored, TRUE);
    connecting_ = false;
  }
  pipe_.reset();
  process_.reset();
  processId_ = 0;
}

void TPluginHelper::Prepare() {
  const std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
  if (!lock.owns_lock() || process_) return;
  try {
    Launch();
    lastCall_ = GetTickCount();  // the idle check counts from now
  } catch (const EHelperFailed&) {
    // The first call starts one again, and says why when it cannot.
  }
}

void TPluginHelper::Launch() {
  Stop();
  // No helper outlives the program: the job ends it when the program's handle goes.
  if (!job_) {
    job_.reset(CreateJobObjectW(nullptr, nullptr));
    if (!job_) throw EHelperFailed("CreateJobObject");
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
  }
  if (!event_) event_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  static LONG counter = 0;
  const std::wstring name = L"\\\\.\\pipe\\vesko2-spi-" + std::to_wstring(GetCurrentProcessId()) +
                            L"-" + std::to_wstring(InterlockedIncrement(&counter));
  pipe_.reset(CreateNamedPipeW(
      name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 1 << 16, 1 << 16, 0, nullptr));
  if (!pipe_) throw EHelperFailed("CreateNamedPipe");
  std::wstring commandLine = L"\"" + exe_ + L"\" " + kPluginHelperSwitch + L" \"" + name + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(exe_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                      nullptr, nullptr, &si, &info)) {
    pipe_.reset();
    throw EHelperUnavailable("the plug-in helper could not start");
  }
  process_.reset(info.hProcess);
  THandle thread(info.hThread);
  processId_ = info.dwProcessId;
  AssignProcessToJobObject(job_.get(), process_.get());
  // A plug-in's message box comes up over the program, not behind it.
  AllowSetForegroundWindow(processId_);
  ResumeThread(thread.get());
  if (idleTimer_ == nullptr) {
    const DWORD period = std::max<DWORD>(IdleMs / 4, 50);
    CreateTimerQueueTimer(&idleTimer_, nullptr, IdleCheck, this, period, period, WT_EXECUTEDEFAULT);
  }
  // The pipe waits for the helper from now; Connect waits for it to be there.
  connect_ = OVERLAPPED{};
  connect_.hEvent = event_.get();
  ResetEvent(connect_.hEvent);
  if (!ConnectNamedPipe(pipe_.get(), &connect_)) {
    const DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) {
      connecting_ = true;
    } else if (error != ERROR_PIPE_CONNECTED) {
      Stop();
      throw EHelperUnavailable("the plug-in helper did not connect");
    }
  }
}

void TPluginHelper::Connect() {
  if (!connecting_) return;
  const HANDLE waits[] = {connect_.hEvent, process_.get()};
  const DWORD woke = WaitPumping(waits, 2, kStartMs);
  DWORD ignored = 0;
  const bool connected =
      woke == WAIT_OBJECT_0 && GetOverlappedResult(pipe_.get(), &connect_, &ignored, FALSE);
  if (connected) {
    connecting_ = false;
    return;
  }
  Stop();
  if (woke == kWaitCancelled) throw EHelperCancelled("the plug-in call was given up");
  throw EHelperUnavailable("the plug-in helper did not answer");
}

void TPluginHelper::Transfer(void* data, DWORD size, bool write, DWORD silenceMs) {
  auto* bytes = static_cast<uint8_t*>(data);
  while (size > 0) {
    OVERLAPPED o{};
    o.hEvent = event_.get();
    ResetEvent(o.hEvent);
    DWORD done = 0;
    const BOOL ok = write ? WriteFile(pipe_.get(), bytes, size, nullptr, &o)
                          : ReadFile(pipe_.get(), bytes, size, nullptr, &o);
    if (!ok && GetLastError() != ERROR_IO_PENDING) {
      Stop();
      throw EHelperFailed("the plug-in helper ended");
    }
    const HANDLE event = o.hEvent;
    const DWORD woke = WaitPumping(&event, 1, silenceMs);
    if (woke != WAIT_OBJECT_0) {
      CancelIo(pipe_.get());
      GetOverlappedResult(pipe_.get(), &o, &done, TRUE);
      Stop();
      if (woke == kWaitCancelled) throw EHelperCancelled("the plug-in call was given up");
      throw EHelperFailed("the plug-in did not answer in time");
    }
    if (!GetOverlappedResult(pipe_.get(), &o, &done, FALSE) || done == 0) {
      Stop();
      throw EHelperFailed("the plug-in helper ended");
    }
    bytes += done;
    size -= done;
  }
}

void TPluginHelper::Send(const TMessage& message, DWORD silenceMs) {
  std::vector<uint8_t> frame = plugin_wire::Encode(message);
  Transfer(frame.data(), static_cast<DWORD>(frame.size()), true, silenceMs);
}

TMessage TPluginHelper::Receive(DWORD silenceMs) {
  uint8_t head[4];
  Transfer(head, 4, false, silenceMs);
  try {
    std::vector<uint8_t> body(plugin_wire::FrameLength(head));
    Transfer(body.data(), static_cast<DWORD>(body.size()), false, silenceMs);
    return plugin_wire::Decode(body.data(), body.size());
  } catch (const plugin_wire::EWireError&) {
    Stop();
    throw EHelperFailed("the plug-in helper answered nonsense");
  } catch (const std::bad_alloc&) {
    // No room for the answer: the helper goes, so that the next call starts in step.
    Stop();
    throw EHelperFailed("the plug-in helper's answer is too large");
  }
}

TMessage TPluginHelper::Call(const TMessage& request, const std::function<bool(int, int)>& progress,
                             DWORD silenceMs) {
  if (caller_ == GetCurrentThreadId()) throw EHelperCancelled("the plug-in helper is busy");
  const std::lock_guard<std::mutex> lock(mutex_);
  caller_ = GetCurrentThreadId();
  struct TDone {
    std::atomic<DWORD>& caller;
    std::atomic<DWORD>& lastCall;
    ~TDone() {
      lastCall = GetTickCount();
      caller = 0;
    }
  } done{caller_, lastCall_};
  if (!process_ || WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0) Launch();
  Connect();
  Send(request, silenceMs);
  for (;;) {
    TMessage answer = Receive(silenceMs);
    if (answer.Kind == TKind::Result) {
      // The helper ends after this answer (a plug-in faulted in it): it is ended here at once,
      // since a plug-in that faulted holding a lock can keep its process from ending by itself.
      if (answer.Total == 1) Stop();
      return answer;
    }
    if (answer.Kind == TKind::Alive) continue;  // a box of the plug-in's waits on the user
    if (answer.Kind != TKind::Progress) {
      Stop();
      throw EHelperFailed("the plug-in helper answered nonsense");
    }
    TMessage go;
    go.Kind = TKind::Continue;
    go.Number = progress && !progress(answer.Number, answer.Total) ? 1 : 0;
    Send(go, silenceMs);
  }
}

std::vector<uint8_t> TPluginHelper::Pixels(const TMessage& result) const {
  std::vector<uint8_t> pixels(result.SectionSize);
  if (!pixels.empty()) PixelsInto(result, pixels.data());
  return pixels;
}

void TPluginHelper::PixelsInto(const TMessage& result, void* into) const {
  if (result.SectionSize == 0) return;
  THandle section(
      OpenFileMappingW(FILE_MAP_READ, FALSE, SectionName(processId_, result.Section).c_str()));
  if (!section) throw EHelperFailed("the plug-in helper's pixels are gone");
  const void* view = MapViewOfFile(section.get(), FILE_MAP_READ, 0, 0, result.SectionSize);
  if (view == nullptr) throw EHelperFailed("the plug-in helper's pixels cannot be read");
  MEMORY_BASIC_INFORMATION info{};
  const bool whole = VirtualQuery(view, &info, sizeof info) == sizeof info &&
                     info.RegionSize >= result.SectionSize;
  if (whole) CopyPixels(into, view, result.SectionSize);
  UnmapViewOfFile(view);
  if (!whole) throw EHelperFailed("the plug-in helper's pixels are cut short");
}

// ---- the helper's side ----

namespace {

class THelperServer {
 public:
  THelperServer(HANDLE pipe, THelperService service) : pipe_(pipe), service_(std::move(service)) {}

  // Serves requests until the pipe closes or a plug-in faulted; the exit code.
  int Run() {
    THandle watch(CreateThread(nullptr, 64 * 1024, Watch, this, 0, nullptr));
    struct TStopWatch {
      THelperServer& server;
      HANDLE thread;
      ~TStopWatch() {
        server.ended_ = true;
        if (thread != nullptr) WaitForSingleObject(thread, 2000);
      }
    } stopWatch{*this, watch.get()};
    for (;;) {
      TMessage request;
      if (!Receive(request)) return 0;
      TMessage result;
      result.Kind = TKind::Result;
      calling_ = true;
      progressSent_ = GetTickCount();
      stopped_ = false;
      Serve(request, result);
      calling_ = false;
      // After a fault the plug-in's locks and state are not to be trusted: the helper ends,
      // and says so with its answer.
      bool ending = result.Total == 1;  // a service's call faulted
      for (const auto& [path, spi] : plugins_) ending = ending || spi->Faulted();
      if (ending) result.Total = 1;
      if (!Send(result)) return 0;
      // Nothing of the process is trusted any more (a lock the plug-in held stays held): no
      // orderly exit, which could wait on it.
      if (ending) TerminateProcess(GetCurrentProcess(), 2);
    }
  }

 private:
  bool Receive(TMessage& message) {
    uint8_t head[4];
    if (!ReadExact(head, 4)) return false;
    try {
      std::vector<uint8_t> body(plugin_wire::FrameLength(head));
      if (!ReadExact(body.data(), body.size())) return false;
      message = plugin_wire::Decode(body.data(), body.size());
      return true;
    } catch (const plugin_wire::EWireError&) {
      return false;
    }
  }
  bool Send(const TMessage& message) {
    const std::vector<uint8_t> frame = plugin_wire::Encode(message);
    const std::lock_guard<std::mutex> lock(sending_);  // the watch sends between the calls' frames
    DWORD written = 0;
    return WriteFile(pipe_, frame.data(), static_cast<DWORD>(frame.size()), &written, nullptr) &&
           written == frame.size();
  }
  bool ReadExact(void* data, size_t size) {
    auto* p = static_cast<uint8_t*>(data);
    while (size > 0) {
      DWORD read = 0;
      if (!ReadFile(pipe_, p, static_cast<DWORD>(size), &read, nullptr) || read == 0) return false;
      p += read;
      size -= read;
    }
    return true;
  }

  // While a call runs and the process shows a window of its own (a plug-in's message box, its
  // own dialog), tells the program twice a second that the call waits on the user, not stalls.
  static DWORD WINAPI Watch(void* context) {
    auto* self = static_cast<THelperServer*>(context);
    while (!self->ended_) {
      Sleep(500);
      if (!self->calling_ || !ShowsWindow()) continue;
      TMessage alive;
      alive.Kind = TKind::Alive;
      if (!self->Send(alive)) return 0;
    }
    return 0;
  }
  struct TWindowSearch {
    DWORD process;
    bool found;
  };
  static BOOL CALLBACK FindOwnWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<TWindowSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == search->process && IsWindowVisible(window)) search->found = true;
    return search->found ? FALSE : TRUE;
  }
  static bool ShowsWindow() {
    TWindowSearch search{GetCurrentProcessId(), false};
    EnumWindows(FindOwnWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
  }

  // A plug-in's progress is a round trip to the program (half a millisecond and more under
  // Wine; a large PNG reports a hundred steps): steps in quick succession are answered here,
  // and one goes on once the program has heard nothing for kProgressEveryMs, so that it still
  // sees life and its answer still stops the call. Once it said stop, every step hears it.
  static int WINAPI Progress(int done, int total, LONG_PTR user) {
    auto* self = reinterpret_cast<THelperServer*>(user);
    if (self->stopped_) return 1;
    if (GetTickCount() - self->progressSent_ < kProgressEveryMs) return 0;
    TMessage progress;
    progress.Kind = TKind::Progress;
    progress.Number = done;
    progress.Total = total;
    TMessage answer;
    self->stopped_ = !self->Send(progress) || !self->Receive(answer) ||
                     answer.Kind != TKind::Continue || answer.Number != 0;
    self->progressSent_ = GetTickCount();
    return self->stopped_ ? 1 : 0;
  }

  void Serve(const TMessage& request, TMessage& result) {
    try {
      switch (request.Kind) {
        case TKind::Load: {
          const TSPI& spi = Plugin(request.Plugin);
          result.Text = spi.ClassName();
          result.Number = static_cast<int32_t>(spi.EntryMask());
          return;
        }
        case TKind::PluginInfo: {
          char buffer[256] = {};
          result.Number = Plugin(request.Plugin).GetPluginInfo(request.Number, buffer, 255);
          result.Data.assign(buffer, buffer + strnlen(buffer, 255));
          return;
        }
        case TKind::IsSupported: {
          std::vector<uint8_t> header(kSusieHeaderBlock, 0);
          std::memcpy(header.data(), request.Data.data(),
                      std::min(request.Data.size(), header.size()));
          result.Number = Plugin(request.Plugin).IsSupported(request.Text, header.data());
          return;
        }
        case TKind::PictureInfo: {
          TSusiePictureInfo info{};
          result.Number =
              Plugin(request.Plugin)
                  .GetPictureInfo(Source(request), Length(request), Flag(request), &info);
          if (info.hInfo != 0)
            LocalFree(reinterpret_cast<HLOCAL>(static_cast<uintptr_t>(info.hInfo)));
          info.hInfo = 0;
          const auto* p = reinterpret_cast<const uint8_t*>(&info);
          result.Data.assign(p, p + sizeof info);
          return;
        }
        case TKind::Picture:
        case TKind::Preview:
          Picture(request, result);
          return;
        case TKind::Extract:
          if (service_) {
            service_(request, result, [this, &result](const void* bytes, size_t size) {
              return Publish(bytes, size, result);
            });
            return;
          }
          [[fallthrough]];
        default:
          result.Number = SusieResult::kInternalError;
          result.Text = "unexpected message";
      }
    } catch (const std::exception& error) {
      result.Number = request.Kind == TKind::Load ? -1 : SusieResult::kInternalError;
      result.Text = error.what();
    }
  }

  void Picture(const TMessage& request, TMessage& result) {
    HLOCAL info = nullptr;
    HLOCAL pixels = nullptr;
    const bool preview = request.Kind == TKind::Preview;
    const TSPI& spi = Plugin(request.Plugin);
    const auto self = reinterpret_cast<LONG_PTR>(this);
    const bool into = !preview && spi.HasPictureInto();
    intoBytes_ = 0;
    if (into) {
      result.Number = spi.GetPictureInto(Source(request), Length(request), Flag(request), &info,
                                         SectionFor, self, Progress, self);
    } else {
      result.Number = preview ? spi.GetPreview(Source(request), Length(request), Flag(request),
                                               &info, &pixels, Progress, self)
                              : spi.GetPicture(Source(request), Length(request), Flag(request),
                                               &info, &pixels, Progress, self);
    }
    struct TFree {
      HLOCAL h;
      ~TFree() {
        if (h != nullptr) LocalFree(h);
      }
    } freeInfo{info}, freePixels{pixels};
    if (result.Number != SusieResult::kSuccess) return;
    if (info != nullptr) {
      const auto* p = static_cast<const uint8_t*>(LocalLock(info));
      if (p != nullptr) result.Data.assign(p, p + LocalSize(info));
      LocalUnlock(info);
    }
    if (into) {
      if (intoBytes_ == 0) return;
      result.Section = sectionNumber_;
      result.SectionSize = static_cast<uint32_t>(intoBytes_);
      return;
    }
    if (pixels == nullptr) return;
    const SIZE_T size = LocalSize(pixels);
    if (size == 0) return;
    // Pixels past the limit every decoder keeps are too large a picture, not broken data.
    if (size > kMaxPixelBytes) {
      result.Number = SusieResult::kNoMemory;
      return;
    }
    const void* source = LocalLock(pixels);
    const bool published = source != nullptr && Publish(source, size, result);
    LocalUnlock(pixels);
    if (!published) result.Number = SusieResult::kNoMemory;
  }

  // Puts bytes into the memory section the program reads them from, named in the result. The
  // section stays for the next result that fits (the program has read this one by then): its
  // pages are touched once, not for every picture.
  bool Publish(const void* bytes, size_t size, TMessage& result) {
    if (!Section(size)) return false;
    // A large picture's copy into fresh pages takes long under Wine (0.7 s for 48 megapixels on
    // a busy machine): the program hears that the helper lives between its parts, so that the
    // deadline counts silence, not size.
    constexpr size_t kPart = size_t{16} << 20;
    for (size_t done = 0; done < size; done += kPart) {
      if (done > 0) {
        TMessage alive;
        alive.Kind = TKind::Alive;
        Send(alive);
      }
      CopyPixels(static_cast<uint8_t*>(sectionView_.get()) + done,
                 static_cast<const uint8_t*>(bytes) + done, std::min(kPart, size - done));
    }
    result.Section = sectionNumber_;
    result.SectionSize = static_cast<uint32_t>(size);
    return true;
  }

  // Makes the section hold at least `size` bytes: the one in use, or a new one.
  bool Section(size_t size) {
    if (size <= sectionSize_) return true;
    section_.reset();
    sectionView_.reset();
    sectionSize_ = 0;
    const uint64_t number = ++sectionNumber_;
    THandle section(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                       static_cast<DWORD>(size),
                                       SectionName(GetCurrentProcessId(), number).c_str()));
    if (!section) return false;
    TMappedView view(MapViewOfFile(section.get(), FILE_MAP_WRITE, 0, 0, size));
    if (!view) return false;
    section_ = std::move(section);
    sectionView_ = std::move(view);
    sectionSize_ = size;
    return true;
  }

  // Where our own plug-ins write a picture (Vesko2GetPictureInto): straight into the section,
  // which spares the picture a block of its own and the copy out of it. Called once, on the
  // plug-in's decoding thread while the call waits for it.
  static void* WINAPI SectionFor(size_t size, LONG_PTR user) {
    auto* self = reinterpret_cast<THelperServer*>(user);
    // Pixels past the limit every decoder keeps are too large a picture (kNoMemory).
    if (size == 0 || size > kMaxPixelBytes || self->intoBytes_ != 0) return nullptr;
    try {
      if (!self->Section(size)) return nullptr;
    } catch (...) {  // nothing may cross the plug-in's frames
      return nullptr;
    }
    self->intoBytes_ = size;
    return self->sectionView_.get();
  }

  // The plug-in at a full path, loaded at its first call.
  const TSPI& Plugin(const std::string& path) {
    auto found = plugins_.find(path);
    if (found == plugins_.end()) {
      std::unique_ptr<TSPI> spi = CreateSPIByKind(path);
      if (!spi) throw ESPIFOpenErrorSPI(path + ":Susie Pluginがロードできませんでした");
      found = plugins_.emplace(path, std::move(spi)).first;
    }
    return *found->second;
  }
  static const char* Source(const TMessage& m) {
    return m.Source.InMemory ? reinterpret_cast<const char*>(m.Source.Bytes.data())
                             : m.Source.FileName.c_str();
  }
  static LONG Length(const TMessage& m) {
    return m.Source.InMemory ? static_cast<LONG>(m.Source.Bytes.size()) : m.Source.Offset;
  }
  static UINT Flag(const TMessage& m) {
    return (m.Source.Flag & ~7u) | (m.Source.InMemory ? 1 : 0);
  }

  HANDLE pipe_;
  THelperService service_;
  std::mutex sending_;
  std::atomic<bool> calling_{false};
  std::atomic<bool> ended_{false};
  static constexpr DWORD kProgressEveryMs = 100;
  DWORD progressSent_ = 0;  // when the program last heard of the call (GetTickCount)
  bool stopped_ = false;    // the program said stop during this call
  std::map<std::string, std::unique_ptr<TSPI>> plugins_;
  // The section results go back in, and its view here.
  struct TViewTraits {
    using Handle = void*;
    static Handle Invalid() { return nullptr; }
    static bool Valid(Handle view) { return view != nullptr; }
    static void Close(Handle view) { UnmapViewOfFile(view); }
  };
  using TMappedView = TUniqueHandle<TViewTraits>;
  THandle section_;
  TMappedView sectionView_;
  size_t sectionSize_ = 0;
  uint64_t sectionNumber_ = 0;
  size_t intoBytes_ = 0;  // what the call's Vesko2GetPictureInto took of the section
};

}  // namespace

int RunPluginHelper(const std::wstring& pipeName, THelperService service) {
  THandle pipe(CreateFileW(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr));
  if (!pipe) return 1;
  THelperServer server(pipe.get(), std::move(service));
  return server.Run();
}
