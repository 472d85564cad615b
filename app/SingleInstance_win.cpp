#include "app/SingleInstance_win.h"

#include "app/Application_win.h"
#include "app/HandOver.h"
#include "app/MainForm_win.h"
#include "base/Handles_win.h"
#include "base/Unicode_win.h"

bool BringToFront(HWND window) {
  const DWORD target = GetWindowThreadProcessId(window, nullptr);
  const DWORD foreground = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
  if (target == foreground) return BringWindowToTop(window) != FALSE;
  AttachThreadInput(target, foreground, TRUE);
  const bool ok = BringWindowToTop(window) != FALSE;
  AttachThreadInput(target, foreground, FALSE);
  return ok;
}

namespace {

constexpr int kWindowWaitMs = 10000;

// The ANSI form of a path for the hand-over; a path the ANSI code page cannot hold goes by its
// short name when it has one.
std::string AnsiPath(const std::wstring& path) {
  bool lossy = false;
  std::string ansi = WideToAnsi(path, &lossy);
  if (!lossy) return ansi;
  const DWORD length = GetShortPathNameW(path.c_str(), nullptr, 0);
  if (length == 0) return ansi;
  std::wstring shortPath(length, L'\0');
  const DWORD written = GetShortPathNameW(path.c_str(), shortPath.data(), length);
  if (written == 0 || written >= length) return ansi;
  shortPath.resize(written);
  bool shortLossy = false;
  std::string shortAnsi = WideToAnsi(shortPath, &shortLossy);
  return shortLossy ? ansi : shortAnsi;
}

// The event a test names by VESKO2_TEST_START_HOLD, with `suffix`; null without the variable.
THandle TestEvent(const wchar_t* suffix) {
  wchar_t name[128] = {};
  const DWORD length = GetEnvironmentVariableW(L"VESKO2_TEST_START_HOLD", name, 100);
  if (length == 0 || length >= 100) return THandle();
  return THandle(
      OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, (std::wstring(name) + suffix).c_str()));
}

}  // namespace

void HoldFirstStartForTest() {
  if (THandle hold = TestEvent(L"")) WaitForSingleObject(hold.get(), 30000);
}

bool RunSecondStart(const std::vector<std::wstring>& arguments,
                    const std::wstring& currentDirectory) {
  // A hand-over that cannot be made is never lost without a word.
  const auto notHandedOver = [&arguments] {
    if (arguments.empty()) return true;
    MessageBoxW(nullptr, (L"起動中の Vesko 2 に渡せませんでした\r\n" + arguments[0]).c_str(),
                ToWide(TApplication::kTitle).c_str(), MB_OK | MB_ICONWARNING);
    return false;
  };
  // A first instance that started a moment ago may not have made its window yet: wait for it
  // while its mutex stands.
  HWND window = FindWindowW(TVesko2MainForm::kClassName, nullptr);
  if (window == nullptr) {
    if (THandle waiting = TestEvent(L"-waiting")) SetEvent(waiting.get());
  }
  for (int waited = 0; window == nullptr && waited < kWindowWaitMs; waited += 50) {
    THandle running(OpenMutexA(SYNCHRONIZE, FALSE, kInstanceMutexName));
    if (!running) return notHandedOver();
    Sleep(50);
    window = FindWindowW(TVesko2MainForm::kClassName, nullptr);
  }
  if (window == nullptr) return notHandedOver();
  if (!arguments.empty()) {
    const std::string path = HandOverPath(ToUtf8(arguments[0]), ToUtf8(currentDirectory));
    THandOverBuffer buffer = MakeHandOverBuffer(AnsiPath(ToWide(path)));
    COPYDATASTRUCT data{};
    data.dwData = 0;
    data.cbData = static_cast<DWORD>(buffer.size());
    data.lpData = buffer.data();
    SendMessageA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
  }
  BringToFront(window);
  HWND owner = reinterpret_cast<HWND>(GetWindowLongPtrA(window, GWLP_HWNDPARENT));
  HWND test = owner != nullptr ? owner : window;
  if (IsIconic(test)) SendMessageA(test, WM_SYSCOMMAND, SC_RESTORE, -1);
  return true;
}
