#include "app/TaskTray_win.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>
#include <exception>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Random.h"
#include "base/Unicode_win.h"
#include "base/Window_win.h"

static_assert(sizeof(TNotifyIconData) == NOTIFYICONDATAA_V1_SIZE);
static_assert(offsetof(TNotifyIconData, uID) == offsetof(NOTIFYICONDATAA, uID));
static_assert(offsetof(TNotifyIconData, hIcon) == offsetof(NOTIFYICONDATAA, hIcon));
static_assert(offsetof(TNotifyIconData, szTip) == offsetof(NOTIFYICONDATAA, szTip));

// The hidden window the shell reports mouse events to. It is a top-level window of its own,
// not a child of a form: it must outlive any one instance's owner, and only top-level windows
// hear the shell's "TaskbarCreated" broadcast.
class TTaskTray::TNotifyWindow final : public TWindowBase {
 public:
  TNotifyWindow() : taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")) {
    CreateHandle(L"TNotifyWindow", L"", WS_POPUP, WS_EX_TOOLWINDOW, 0, 0, 0, 0, nullptr);
  }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    // A handler may destroy the last instance and with it this window: nothing here touches
    // the window after a dispatch.
    if (message == kCallbackMessage) {
      Callback(wParam, lParam);
      return 0;
    }
    if (message == taskbarCreated_ && taskbarCreated_ != 0) {
      ShellRestarted();
      return 0;
    }
    return DefaultHandler(message, wParam, lParam);
  }

 private:
  UINT taskbarCreated_;
};

namespace {

constexpr UINT kFlagsWithoutTip = NIF_MESSAGE | NIF_ICON;
constexpr UINT kFlagsWithTip = NIF_MESSAGE | NIF_ICON | NIF_TIP;
constexpr unsigned kMaxWaitMs = 3000;  // pauses of 0 to 2999 ms between attempts

class TRealTrayShell final : public ITrayShell {
 public:
  bool NotifyIcon(DWORD message, const TNotifyIconData& data) override {
    NOTIFYICONDATAA record{};
    std::memcpy(&record, &data, sizeof data);
    return Shell_NotifyIconA(message, &record) != FALSE;
  }
  void Wait(unsigned milliseconds) override { Sleep(milliseconds); }
};

struct TRegistryEntry {
  int id;
  TTaskTray* tray;
};

// Process-wide state, on the user-interface thread only.
struct TTrayProcess {
  // In order of creation; an entry keeps its place when its identifier changes.
  std::vector<TRegistryEntry> registry;
  std::unique_ptr<TWindowBase> window;
  bool dispatching = false;
  ITrayShell* shell = nullptr;
  IRandom* random = nullptr;
};

TTrayProcess& Process() {
  static TTrayProcess process;
  return process;
}

ITrayShell& Shell() {
  static TRealTrayShell real;
  ITrayShell* shell = Process().shell;
  return shell != nullptr ? *shell : real;
}

IRandom& Random() {
  static TRandom real(GetTickCount());
  IRandom* random = Process().random;
  return random != nullptr ? *random : real;
}

bool Taken(int id) {
  const auto& registry = Process().registry;
  return std::any_of(registry.begin(), registry.end(),
                     [id](const TRegistryEntry& e) { return e.id == id; });
}

// The last entry's identifier + 1, or 1; past identifiers that are taken (an entry whose
// identifier was changed may already hold it).
int NextFreeId() {
  const auto& registry = Process().registry;
  int id = registry.empty() || registry.back().id == INT_MAX ? 1 : registry.back().id + 1;
  while (Taken(id)) id = id == INT_MAX ? 1 : id + 1;
  return id;
}

// The tip in the ANSI code page within the field's 63 bytes. A longer text is cut between
// characters, never inside a double-byte one, and ends with "...".
void FillTip(char (&field)[64], const std::string& tip) {
  constexpr size_t kLimit = sizeof field - 1;
  std::string ansi = Utf8ToAnsi(tip);
  if (ansi.size() > kLimit) {
    constexpr std::string_view kEllipsis = "...";
    size_t keep = 0;
    while (keep < ansi.size()) {
      const size_t length =
          IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(ansi[keep])) && keep + 1 < ansi.size() ? 2 : 1;
      if (keep + length > kLimit - kEllipsis.size()) break;
      keep += length;
    }
    ansi.resize(keep);
    ansi += kEllipsis;
  }
  std::memset(field, 0, sizeof field);
  std::memcpy(field, ansi.data(), std::min(ansi.size(), kLimit));
}

// Dispatches what is waiting in the thread's queue; a quit request is put back for the loop.
void ProcessMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace

TTaskTray::TTaskTray(HWND ownerForm) : ownerForm_(ownerForm) {
  iconId_ = NextFreeId();
  Process().registry.push_back({iconId_, this});
}

TTaskTray::~TTaskTray() {
  RemoveIcon();
  auto& process = Process();
  std::erase_if(process.registry, [this](const TRegistryEntry& e) { return e.tray == this; });
  if (process.registry.empty()) process.window.reset();
}

void TTaskTray::SetTipString(const std::string& tip) {
  if (tip == tipString_) return;
  tipString_ = tip;
  UpdateIcon();
}

void TTaskTray::SetIcon(HICON icon) {
  if (icon == icon_.get()) return;
  if (icon == nullptr) {
    RemoveIcon();
    icon_.reset();
    data_.hIcon = nullptr;
    return;
  }
  TIconHandle copy(CopyIcon(icon));
  if (!copy) throw Exception("CopyIcon failed");
  icon_ = std::move(copy);
  UpdateIcon();
}

void TTaskTray::SetIconID(int id) {
  if (id <= 0) throw EInvalidOperation("0以下は指定できません");
  if (id == iconId_) return;
  if (Taken(id)) throw EInvalidOperation("同じアイコン識別子が有ります");
  if (registered_) {
    RemoveIcon();
    registered_ = true;
  }
  iconId_ = id;
  for (TRegistryEntry& e : Process().registry) {
    if (e.tray == this) e.id = id;
  }
  UpdateIcon();
}

void TTaskTray::SetRegistered(bool registered) {
  if (registered == registered_) return;
  if (!registered) {
    RemoveIcon();
    return;
  }
  if (!icon_) throw EInvalidOperation("アイコンが指定されていません");
  registered_ = true;
  UpdateIcon();
}

void TTaskTray::UpdateIcon() {
  if (!registered_) return;
  auto& process = Process();
  if (!process.window) process.window = std::make_unique<TNotifyWindow>();
  if (!added_) {
    data_.cbSize = sizeof data_;
    data_.hWnd = process.window->Handle();
    data_.uCallbackMessage = kCallbackMessage;
  }
  data_.uID = static_cast<UINT>(iconId_);
  data_.uFlags = tipString_.empty() ? kFlagsWithoutTip : kFlagsWithTip;
  data_.hIcon = icon_.get();
  FillTip(data_.szTip, tipString_);

  const DWORD message = added_ ? NIM_MODIFY : NIM_ADD;
  // This blocks the user interface while the shell refuses: up to 50 pauses of 0 to 3 s.
  for (int attempt = 1;; ++attempt) {
    if (Shell().NotifyIcon(message, data_)) break;
    if (attempt == kMaxAttempts) throw EInvalidOperation("タスクトレイに登録できません");
    Shell().Wait(Random().Next(kMaxWaitMs));
  }
  added_ = true;
}

bool ITrayShell::ShowBalloon(const TNotifyIconData& data, const std::wstring& title,
                             const std::wstring& text) {
  NOTIFYICONDATAW record{};
  record.cbSize = sizeof record;
  record.hWnd = data.hWnd;
  record.uID = data.uID;
  record.uFlags = NIF_INFO;
  record.dwInfoFlags = NIIF_WARNING;
  lstrcpynW(record.szInfoTitle, title.c_str(), ARRAYSIZE(record.szInfoTitle));
  lstrcpynW(record.szInfo, text.c_str(), ARRAYSIZE(record.szInfo));
  return Shell_NotifyIconW(NIM_MODIFY, &record) != FALSE;
}

bool TTaskTray::ShowBalloon(const std::string& title, const std::string& text) {
  return added_ && Shell().ShowBalloon(data_, ToWide(title), ToWide(text));
}

void TTaskTray::RemoveIcon() {
  if (added_) Shell().NotifyIcon(NIM_DELETE, data_);
  added_ = false;
  registered_ = false;
}

HWND TTaskTray::CallbackWindow() {
  const auto& window = Process().window;
  return window ? window->Handle() : nullptr;
}

ITrayShell* TTaskTray::SetShell(ITrayShell* shell) {
  return std::exchange(Process().shell, shell);
}

IRandom* TTaskTray::SetRandom(IRandom* random) {
  return std::exchange(Process().random, random);
}

TTaskTray* TTaskTray::Find(int id) {
  for (const TRegistryEntry& e : Process().registry) {
    if (e.id == id) return e.tray;
  }
  return nullptr;
}

bool TTaskTray::Alive(const TTaskTray* tray) {
  const auto& registry = Process().registry;
  return std::any_of(registry.begin(), registry.end(),
                     [tray](const TRegistryEntry& e) { return e.tray == tray; });
}

void TTaskTray::Callback(WPARAM id, LPARAM mouseMessage) {
  POINT at{};
  GetCursorPos(&at);
  // The shell's identifier is unsigned; one past INT_MAX names no instance.
  TTaskTray* tray = id <= static_cast<WPARAM>(INT_MAX) ? Find(static_cast<int>(id)) : nullptr;
  auto& process = Process();
  if (tray == nullptr || process.dispatching) return;
  struct TDispatching {
    bool& flag;
    explicit TDispatching(bool& f) : flag(f) { flag = true; }
    ~TDispatching() { flag = false; }
  } dispatching(process.dispatching);

  switch (mouseMessage) {
    case WM_MOUSEMOVE:
      if (tray->OnMouseMove) tray->OnMouseMove(*tray, kShiftNone, at.x, at.y);
      break;
    case WM_LBUTTONDOWN:
      MouseDown(tray, TMouseButton::Left, kShiftLeft, at);
      break;
    case WM_LBUTTONUP:
      if (tray->OnMouseUp) tray->OnMouseUp(*tray, TMouseButton::Left, kShiftLeft, at.x, at.y);
      break;
    case WM_LBUTTONDBLCLK:
      if (tray->OnDblClick) tray->OnDblClick(*tray, TMouseButton::Left);
      break;
    case NIN_BALLOONUSERCLICK:
      if (tray->OnBalloonClick) tray->OnBalloonClick(*tray);
      break;
    case WM_RBUTTONDOWN:
      MouseDown(tray, TMouseButton::Right, kShiftRight, at);
      break;
    case WM_RBUTTONUP:
      if (tray->OnMouseUp) tray->OnMouseUp(*tray, TMouseButton::Right, kShiftRight, at.x, at.y);
      break;
    case WM_RBUTTONDBLCLK:
      if (tray->OnDblClick) tray->OnDblClick(*tray, TMouseButton::Right);
      break;
    case WM_MBUTTONDOWN:
      MouseDown(tray, TMouseButton::Middle, kShiftMiddle, at);
      break;
    case WM_MBUTTONUP:
      if (tray->OnMouseUp) tray->OnMouseUp(*tray, TMouseButton::Middle, kShiftMiddle, at.x, at.y);
      break;
    default:
      break;
  }
}

// The form comes to the front first, so that a popup menu closes when the user clicks
// elsewhere. Any step may destroy the instance; the next one then does not run.
void TTaskTray::MouseDown(TTaskTray* tray, TMouseButton button, TShiftState shift, POINT at) {
  if (tray->ownerForm_ != nullptr) {
    SetForegroundWindow(tray->ownerForm_);
    ProcessMessages();
    if (!Alive(tray)) return;
  }
  if (tray->OnMouseDown) {
    tray->OnMouseDown(*tray, button, shift, at.x, at.y);
    if (!Alive(tray)) return;
  }
  TPopupMenu* menu = button == TMouseButton::Left    ? tray->PopupMenuL()
                     : button == TMouseButton::Right ? tray->PopupMenuR()
                                                     : nullptr;
  if (menu != nullptr) menu->Popup(at.x, at.y);
}

// A restarted shell has forgotten every icon: each registered one is added again. An error
// of one does not keep the others out; the first is raised at the end.
void TTaskTray::ShellRestarted() {
  std::vector<TTaskTray*> trays;
  for (const TRegistryEntry& e : Process().registry) trays.push_back(e.tray);
  std::exception_ptr firstError;
  for (TTaskTray* tray : trays) {
    if (!Alive(tray) || !tray->registered_) continue;
    tray->added_ = false;
    try {
      tray->UpdateIcon();
    } catch (...) {
      if (!firstError) firstError = std::current_exception();
    }
  }
  if (firstError) std::rethrow_exception(firstError);
}
