// Real processes: the program started as a first instance and as a second start, checked by
// what arrives in a window of this test and by the settings file the program writes.
#include <doctest/doctest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "TestSupport_win.h"
// After windows.h.
#include <tlhelp32.h>
#include "base/Handles_win.h"
#include "base/IniFile.h"
#include "base/Unicode_win.h"

namespace {

std::wstring ProgramUnderTest() {
  return EnvPath(L"VESKO2_EXE");
}

struct TProcess {
  PROCESS_INFORMATION info{};
  ~TProcess() {
    if (info.hProcess != nullptr) {
      if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info.hProcess, 1);
        WaitForSingleObject(info.hProcess, 10000);
      }
      CloseHandle(info.hProcess);
      CloseHandle(info.hThread);
    }
  }
  bool Exited(DWORD timeoutMs) const { return WaitForSingleObject(info.hProcess, timeoutMs) == 0; }
};

std::unique_ptr<TProcess> Start(const std::wstring& arguments, const std::wstring& directory,
                                std::wstring exe = ProgramUnderTest()) {
  std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  auto process = std::make_unique<TProcess>();
  REQUIRE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                         directory.c_str(), &si, &process->info));
  return process;
}

// The path on the Unix side that Wine shows as `path`.
std::wstring UnixPath(const std::wstring& path) {
  using TToUnix = char*(CDECL*)(const wchar_t*);
  const auto toUnix = reinterpret_cast<TToUnix>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  REQUIRE(static_cast<bool>(toUnix));
  char* unix = toUnix(path.c_str());
  REQUIRE(unix != nullptr);
  const std::wstring result = ToWide(unix);
  HeapFree(GetProcessHeap(), 0, unix);
  return result;
}

HWND WaitForMainWindow(DWORD timeoutMs = 15000) {
  HWND window = nullptr;
  PumpUntil([&] { return (window = FindWindowW(L"TVesko2MainForm", nullptr)) != nullptr; },
            timeoutMs);
  return window;
}

// Plays the running instance: holds the mutex and a window of the main window's class, and
// records every hand-over message it receives.
struct TFakeInstance {
  struct Received {
    ULONG_PTR dwData;
    DWORD cbData;
    std::string bytes;
  };
  static inline std::vector<Received> received;
  static inline std::vector<LPARAM> restores;

  HANDLE mutex = CreateMutexA(nullptr, FALSE, "hVesko2");
  HWND owner = nullptr;
  HWND window = nullptr;

  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
      const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
      received.push_back({cds->dwData, cds->cbData,
                          std::string(static_cast<const char*>(cds->lpData), cds->cbData)});
      return 0;
    }
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_RESTORE) {
      restores.push_back(lParam);
      ShowWindow(hwnd, SW_RESTORE);
      return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }

  TFakeInstance() {
    received.clear();
    restores.clear();
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TVesko2MainForm";
    RegisterClassW(&wc);
    wc.lpszClassName = L"FakeOwner";
    RegisterClassW(&wc);
    owner = CreateWindowExW(0, L"FakeOwner", L"Vesko 2", WS_POPUP | WS_CAPTION | WS_MINIMIZEBOX, 0,
                            0, 0, 0, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    window = CreateWindowExW(0, L"TVesko2MainForm", L"Vesko 2", WS_POPUP, 0, 0, 45, 35, owner,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(owner, SW_SHOWNOACTIVATE);
    ShowWindow(window, SW_SHOWNOACTIVATE);
  }
  ~TFakeInstance() {
    DestroyWindow(window);
    DestroyWindow(owner);
    UnregisterClassW(L"TVesko2MainForm", GetModuleHandleW(nullptr));
    UnregisterClassW(L"FakeOwner", GetModuleHandleW(nullptr));
    CloseHandle(mutex);
  }

  // Runs a second start and serves its messages until it ends.
  void SecondStart(const std::wstring& arguments, const std::wstring& directory) {
    auto process = Start(arguments, directory);
    CHECK(PumpUntil([&] { return process->Exited(0); }, 20000));
  }
};

std::string Payload(const std::string& text) {
  std::string bytes(256, '\0');
  bytes.replace(0, text.size(), text);
  return bytes;
}

// The boxes `process` shows, once it shows one; none after `timeoutMs`.
std::vector<HWND> AwaitBoxes(DWORD process, DWORD timeoutMs) {
  std::vector<HWND> boxes;
  PumpUntil(
      [&] {
        boxes = ProcessBoxes(process);
        return !boxes.empty();
      },
      timeoutMs);
  return boxes;
}

}  // namespace

TEST_CASE("a second start forwards its first argument as the hand-over rules say") {
  TTempDir dir;
  TFakeInstance fake;
  const std::string cwd = WideToAnsi(dir.Path());

  fake.SecondStart(L"pic.jpg", dir.Path());
  fake.SecondStart(L"C:\\pics\\a.jpg", dir.Path());
  fake.SecondStart(L"sub\\x.jpg third.jpg fourth.jpg", dir.Path());
  fake.SecondStart(L"/R", dir.Path());
  fake.SecondStart(L"C:\\" + std::wstring(297, L'x'), dir.Path());
  fake.SecondStart(L"写真.jpg", dir.Path());
  fake.SecondStart(L"", dir.Path());
  fake.SecondStart(L"\"D:\\My pics\\\"", dir.Path());

  REQUIRE(fake.received.size() == 7);
  for (const auto& r : fake.received) {
    CHECK(r.dwData == 0);
    CHECK(r.cbData == 256);
  }
  CHECK(fake.received[0].bytes == Payload(cwd + "\\pic.jpg"));
  CHECK(fake.received[1].bytes == Payload("C:\\pics\\a.jpg"));
  // A relative path means the second start's folder, not the running instance's.
  CHECK(fake.received[2].bytes == Payload(cwd + "\\sub\\x.jpg"));
  CHECK(fake.received[3].bytes == Payload("/R"));
  CHECK(fake.received[4].bytes == Payload("C:\\" + std::string(252, 'x')));
  CHECK(fake.received[5].bytes == Payload(cwd + "\\" + Utf8ToAnsi("写真.jpg")));
  // A quoted folder with its closing separator keeps it, and no stray quote.
  CHECK(fake.received[6].bytes == Payload("D:\\My pics\\"));
}

TEST_CASE("a path the ANSI code page cannot hold is handed over by its short name") {
  TTempDir dir;
  const std::wstring folder = dir / L"café";
  CreateDirectoryW(folder.c_str(), nullptr);
  wchar_t shortName[MAX_PATH] = {};
  REQUIRE(GetShortPathNameW(folder.c_str(), shortName, MAX_PATH) > 0);
  bool lossy = true;
  const std::string expected = WideToAnsi(shortName, &lossy);
  REQUIRE_FALSE(lossy);

  TFakeInstance fake;
  fake.SecondStart(L"\"" + folder + L"\"", dir.Path());
  REQUIRE(fake.received.size() == 1);
  CHECK(fake.received[0].bytes == Payload(expected));
}

TEST_CASE("a second start restores a minimised instance") {
  TTempDir dir;
  TFakeInstance fake;
  ShowWindow(fake.owner, SW_MINIMIZE);
  REQUIRE(IsIconic(fake.owner));
  fake.SecondStart(L"", dir.Path());
  CHECK(fake.received.empty());
  CHECK(fake.restores == std::vector<LPARAM>{-1});
  CHECK_FALSE(IsIconic(fake.owner));
}

TEST_CASE("a first start in an empty folder writes all 58 keys at close") {
  TTempDir dir;
  auto first = Start(L"", dir.Path());
  HWND window = WaitForMainWindow();
  REQUIRE(window != nullptr);
  CHECK_FALSE(Exists(dir / L"Vesko2.ini"));
  PostMessageW(window, WM_CLOSE, 0, 0);
  REQUIRE(first->Exited(15000));
  const IniFile ini = IniFile::Parse(AnsiToUtf8(ReadBytes(dir / L"Vesko2.ini")));
  size_t keys = 0;
  for (const char* s : {"Window", "MessFont", "ScreenXY", "Mess", "ShortCut", "Commando",
                        "FavoriteFolder", "Load", "Edit", "Timer", "IncomingBoss"}) {
    keys += ini.ReadSection(s).size();
  }
  CHECK(keys == 58);
}

TEST_CASE("a second start hands a folder to the running instance, which opens it") {
  TTempDir dir;
  CreateDirectoryW((dir / L"壁紙").c_str(), nullptr);
  WriteBytes(dir / L"壁紙\\a.jpg", MakeTestBmp(8, 6));
  auto first = Start(L"", dir.Path());
  HWND window = WaitForMainWindow();
  REQUIRE(window != nullptr);

  auto second = Start(L"壁紙", dir.Path());  // a bare name: the second start's folder is added
  REQUIRE(second->Exited(15000));
  // A payload without any NUL, and a switch: both ignored, the instance keeps running.
  std::string noNul(256, 'x');
  COPYDATASTRUCT cds{0, 256, noNul.data()};
  SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
  auto third = Start(L"/R", dir.Path());
  REQUIRE(third->Exited(15000));
  CHECK_FALSE(first->Exited(0));

  PostMessageW(window, WM_CLOSE, 0, 0);
  REQUIRE(first->Exited(15000));
  const IniFile ini = IniFile::Parse(AnsiToUtf8(ReadBytes(dir / L"Vesko2.ini")));
  CHECK(ini.ReadString("Load", "PaperFolder", "") == ToUtf8(dir / L"壁紙"));
  CHECK(ini.ReadString("Load", "PaperName", "") == ToUtf8(dir / L"壁紙\\a.jpg"));
}

TEST_CASE("a hand-over made while the start shows a box waits for the start, and wins") {
  // The start reports a file beside it that is no plug-in, in a box whose loop hands on the
  // second start's message: its folder must not be replaced by the start's own afterwards.
  TTempDir dir;
  REQUIRE(CopyFileW(ProgramUnderTest().c_str(), (dir / L"Vesko2.exe").c_str(), FALSE));
  WriteBytes(dir / L"bad.spi", "not a plug-in");
  for (const wchar_t* folder : {L"own", L"other"}) {
    CreateDirectoryW((dir / folder).c_str(), nullptr);
    WriteBytes(dir / folder + L"\\a.bmp", MakeTestBmp(8, 6));
  }
  auto first = Start(L"own", dir.Path(), dir / L"Vesko2.exe");
  const std::vector<HWND> boxes = AwaitBoxes(first->info.dwProcessId, 30000);
  REQUIRE_FALSE(boxes.empty());
  auto second = Start(L"other", dir.Path(), dir / L"Vesko2.exe");
  REQUIRE(second->Exited(30000));
  for (HWND box : boxes) PostMessageW(box, WM_COMMAND, IDOK, 0);
  HWND window = WaitForMainWindow();
  REQUIRE(window != nullptr);
  const auto folder = [&] {
    return IniFile::Parse(AnsiToUtf8(ReadBytes(dir / L"Vesko2.ini")))
        .ReadString("Load", "PaperFolder", "");
  };
  // The settings are written after each change the user asked for: wait for the hand-over's.
  CHECK(PumpUntil([&] { return folder() == ToUtf8(dir / L"other"); }, 30000));
  PostMessageW(window, WM_CLOSE, 0, 0);
  REQUIRE(first->Exited(15000));
  CHECK(folder() == ToUtf8(dir / L"other"));
}

TEST_CASE("a first start opens a quoted folder that ends in a separator") {
  TTempDir dir;
  CreateDirectoryW((dir / L"My pics").c_str(), nullptr);
  WriteBytes(dir / L"My pics\\a.bmp", MakeTestBmp(8, 6));
  auto first = Start(L"\"" + (dir / L"My pics\\") + L"\"", dir.Path());
  HWND window = WaitForMainWindow();
  REQUIRE(window != nullptr);
  PostMessageW(window, WM_CLOSE, 0, 0);
  REQUIRE(first->Exited(15000));
  const IniFile ini = IniFile::Parse(AnsiToUtf8(ReadBytes(dir / L"Vesko2.ini")));
  CHECK(ini.ReadString("Load", "PaperName", "") == ToUtf8(dir / L"My pics\\a.bmp"));
}

TEST_CASE("starts at the same moment: exactly one runs, the others hand over and end") {
  TTempDir dir;
  std::vector<std::unique_ptr<TProcess>> starts;
  for (int i = 0; i < 4; ++i) starts.push_back(Start(L"", dir.Path()));
  const auto running = [&] {
    int count = 0;
    for (const auto& start : starts) count += start->Exited(0) ? 0 : 1;
    return count;
  };
  CHECK(PumpUntil([&] { return running() == 1; }, 30000));
  HWND window = WaitForMainWindow();
  REQUIRE(window != nullptr);
  CHECK(running() == 1);
  PostMessageW(window, WM_CLOSE, 0, 0);
  CHECK(PumpUntil([&] { return running() == 0; }, 15000));

  // The narrow moment itself: the first start holds its mutex but has no window yet when the
  // second comes. The second waits for the window and hands its folder over.
  CreateDirectoryW((dir / L"later").c_str(), nullptr);
  WriteBytes(dir / L"later\\a.bmp", MakeTestBmp(8, 6));
  THandle hold(CreateEventW(nullptr, TRUE, FALSE, L"Vesko2TestHold"));
  THandle waiting(CreateEventW(nullptr, TRUE, FALSE, L"Vesko2TestHold-waiting"));
  SetEnvironmentVariableW(L"VESKO2_TEST_START_HOLD", L"Vesko2TestHold");
  auto first = Start(L"", dir.Path());
  REQUIRE(PumpUntil(
      [] { return static_cast<bool>(THandle(OpenMutexA(SYNCHRONIZE, FALSE, "hVesko2"))); }, 15000));
  auto second = Start(L"later", dir.Path());
  SetEnvironmentVariableW(L"VESKO2_TEST_START_HOLD", nullptr);
  CHECK(WaitForSingleObject(waiting.get(), 15000) == WAIT_OBJECT_0);
  CHECK(FindWindowW(L"TVesko2MainForm", nullptr) == nullptr);
  CHECK_FALSE(second->Exited(0));
  SetEvent(hold.get());
  CHECK(second->Exited(15000));
  window = WaitForMainWindow();
  REQUIRE(window != nullptr);
  CHECK_FALSE(first->Exited(0));
  PostMessageW(window, WM_CLOSE, 0, 0);
  REQUIRE(first->Exited(15000));
  const IniFile ini = IniFile::Parse(AnsiToUtf8(ReadBytes(dir / L"Vesko2.ini")));
  CHECK(ini.ReadString("Load", "PaperFolder", "") == ToUtf8(dir / L"later"));

  // Held past the second start's wait: the second says in a box that its folder was not
  // handed over, and ends with 1.
  ResetEvent(hold.get());
  SetEnvironmentVariableW(L"VESKO2_TEST_START_HOLD", L"Vesko2TestHold");
  auto held = Start(L"", dir.Path());
  REQUIRE(PumpUntil(
      [] { return static_cast<bool>(THandle(OpenMutexA(SYNCHRONIZE, FALSE, "hVesko2"))); }, 15000));
  auto refused = Start(L"later", dir.Path());
  SetEnvironmentVariableW(L"VESKO2_TEST_START_HOLD", nullptr);
  const std::vector<HWND> boxes = AwaitBoxes(refused->info.dwProcessId, 25000);
  CHECK_FALSE(boxes.empty());
  for (HWND box : boxes) PostMessageW(box, WM_COMMAND, IDOK, 0);
  REQUIRE(refused->Exited(15000));
  DWORD code = 0;
  GetExitCodeProcess(refused->info.hProcess, &code);
  CHECK(code == 1);
  SetEvent(hold.get());
  window = WaitForMainWindow();
  REQUIRE(window != nullptr);
  PostMessageW(window, WM_CLOSE, 0, 0);
  REQUIRE(held->Exited(15000));
}

TEST_CASE("/R and -r end the first instance after start-up without writing the settings") {
  for (const wchar_t* quit : {L"/R", L"-r"}) {
    TTempDir dir;
    CreateDirectoryW((dir / L"p").c_str(), nullptr);
    WriteBytes(dir / L"p\\a.jpg", MakeTestBmp(8, 6));
    auto first = Start(std::wstring(quit) + L" p", dir.Path());
    CHECK(first->Exited(15000));
    CHECK_FALSE(Exists(dir / L"Vesko2.ini"));
  }
}

namespace {

BOOL CALLBACK FindBalloon(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<std::pair<DWORD, bool>*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t name[32] = {};
  GetClassNameW(window, name, 32);
  if (owner == search->first && lstrcmpiW(name, L"tooltips_class32") == 0 &&
      IsWindowVisible(window))
    search->second = true;
  return TRUE;
}

// A visible tooltip window of the process: the balloon beside the panel.
bool BalloonOf(DWORD process) {
  std::pair<DWORD, bool> search{process, false};
  EnumWindows(FindBalloon, reinterpret_cast<LPARAM>(&search));
  return search.second;
}

}  // namespace

TEST_CASE("a start at sign-in keeps its settings beside the program and greets with no box") {
  // The Run value's command, started with another folder current, as at sign-in; its saved
  // folder there, or gone.
  for (const bool gone : {false, true}) {
    CAPTURE(gone);
    TTempDir dir;
    REQUIRE(CopyFileW(ProgramUnderTest().c_str(), (dir / L"Vesko2.exe").c_str(), FALSE));
    CreateDirectoryW((dir / L"pics").c_str(), nullptr);
    CreateDirectoryW((dir / L"elsewhere").c_str(), nullptr);
    WriteBytes(dir / L"pics\\a.bmp", MakeTestBmp(8, 6));
    const std::wstring folder = dir / (gone ? L"gone" : L"pics");
    WriteBytes(dir / L"Vesko2.ini", "[Load]\r\nPaperFolder=" + ToUtf8(folder) + "\r\n");
    auto program = Start(L"/startup", dir / L"elsewhere", dir / L"Vesko2.exe");
    const DWORD id = program->info.dwProcessId;
    HWND window = WaitForMainWindow();
    REQUIRE(window != nullptr);
    // The start is over once the wallpaper is written, or the balloon tells what went wrong;
    // no box meanwhile.
    bool boxed = false;
    REQUIRE(PumpUntil(
        [&] {
          boxed = boxed || !ProcessBoxes(id).empty();
          return gone ? BalloonOf(id) : Exists(dir / L"$Vesko2.bmp");
        },
        40000));
    CHECK_FALSE(boxed);
    if (gone) {
      // A click on the panel, as a person makes it, tells the whole message.
      RECT r{};
      GetWindowRect(window, &r);
      SetCursorPos(r.left + 30, r.top + 4);
      INPUT click[2] = {};
      click[0].type = click[1].type = INPUT_MOUSE;
      click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
      click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
      SendInput(2, click, sizeof(INPUT));
      const std::vector<HWND> boxes = AwaitBoxes(id, 10000);
      REQUIRE(boxes.size() == 1);
      wchar_t text[512] = {};
      GetDlgItemTextW(boxes[0], 0xFFFF, text, 512);
      CHECK(ToUtf8(text).find(ToUtf8(folder)) != std::string::npos);
      PostMessageW(boxes[0], WM_COMMAND, IDOK, 0);
    }
    PostMessageW(window, WM_CLOSE, 0, 0);
    REQUIRE(program->Exited(15000));
    CHECK_FALSE(Exists(dir / L"elsewhere\\Vesko2.ini"));
    CHECK_FALSE(Exists(dir / L"elsewhere\\$Vesko2.bmp"));
    CHECK(Exists(dir / L"Vesko2.ini"));
    if (!gone) {
      const IniFile ini = IniFile::Parse(AnsiToUtf8(ReadBytes(dir / L"Vesko2.ini")));
      CHECK(ini.ReadString("Load", "PaperName", "") == ToUtf8(dir / L"pics\\a.bmp"));
    }
  }
}

TEST_CASE("with the WIC plug-in beside the program, PNG, GIF and TIFF pictures join the list") {
  TTempDir dir;
  const std::wstring exe = ProgramUnderTest();
  const std::wstring folder = exe.substr(0, exe.rfind(L'\\'));
  REQUIRE(CopyFileW(exe.c_str(), (dir / L"Vesko2.exe").c_str(), FALSE));
  REQUIRE(CopyFileW((folder + L"\\ifwic.spi").c_str(), (dir / L"ifwic.spi").c_str(), FALSE));
  CreateDirectoryW((dir / L"pics").c_str(), nullptr);
  WriteBytes(dir / L"pics\\a.png",
             ReadBytes(EnvPath(L"VESKO2_TEST_DATA") + L"\\pngsuite\\basn2c08.png"));
  WriteBytes(dir / L"pics\\b.gif", MakeTestGif(16, 8));
  WriteBytes(dir / L"pics\\c.tif", MakeTestTiff(16, 8));
  WriteBytes(dir / L"pics\\d.txt", "not a picture");
  for (const wchar_t* name : {L"a.png", L"b.gif", L"c.tif"}) {
    const std::wstring picture = dir / (std::wstring(L"pics\\") + name);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION info{};
    std::wstring commandLine = L"\"" + (dir / L"Vesko2.exe") + L"\" \"" + picture + L"\"";
    REQUIRE(CreateProcessW((dir / L"Vesko2.exe").c_str(), commandLine.data(), nullptr, nullptr,
                           FALSE, 0, nullptr, dir.Path().c_str(), &si, &info));
    HWND window = WaitForMainWindow();
    REQUIRE(window != nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    CHECK(WaitForSingleObject(info.hProcess, 15000) == WAIT_OBJECT_0);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    // The picture was found in the rebuilt list, so it is the current one.
    const IniFile ini = IniFile::Parse(AnsiToUtf8(ReadBytes(dir / L"Vesko2.ini")));
    CHECK(ini.ReadString("Load", "PaperName", "") == ToUtf8(picture));
  }
}

namespace {

// The Vesko2.exe processes running; with a process id, only the helpers it started.
int ProgramsRunning(DWORD parent = 0) {
  THandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (lstrcmpiW(entry.szExeFile, L"Vesko2.exe") == 0 &&
        (parent == 0 || entry.th32ParentProcessID == parent))
      ++count;
  }
  return count;
}

}  // namespace

TEST_CASE("beside plug-ins that fault or are no plug-ins, the real program goes on to the next") {
  TTempDir dir;
  const std::wstring exe = ProgramUnderTest();
  const std::wstring fixtures = EnvPath(L"VESKO2_FIXTURE_SPI");
  REQUIRE(CopyFileW(exe.c_str(), (dir / L"Vesko2.exe").c_str(), FALSE));
  for (const wchar_t* name :
       {L"fxfault2", L"fxfault3", L"fxfault4", L"fxgood", L"fxv4", L"fxnoentry"}) {
    const std::wstring file = std::wstring(name) + L".spi";
    REQUIRE(CopyFileW((fixtures + L"\\" + file).c_str(), (dir / file).c_str(), FALSE));
  }
  CreateDirectoryW((dir / L"pics").c_str(), nullptr);
  // Pictures in the fixtures' format: magic, width, height, depth, rows.
  std::string picture = "FXPIC";
  picture += std::string{4, 0, 3, 0, 24};
  picture += std::string(4 * 3 * 3, '\x40');
  WriteBytes(dir / L"pics\\a.fxq", picture);  // the faulting ones claim it; the good one decodes
  WriteBytes(dir / L"pics\\b.fv4", picture);  // a 108-byte header
  WriteBytes(dir / L"pics\\c.bmp", MakeTestBmp(8, 6));

  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION info{};
  std::wstring commandLine = L"\"" + (dir / L"Vesko2.exe") + L"\" \"" + (dir / L"pics") + L"\"";
  REQUIRE(CreateProcessW((dir / L"Vesko2.exe").c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                         0, nullptr, dir.Path().c_str(), &si, &info));
  TProcess process;
  process.info = info;
  // The report of the file that is no plug-in is answered with OK until the first wallpaper
  // is written.
  int boxes = 0;
  CHECK(PumpUntil(
      [&] {
        for (HWND box : ProcessBoxes(info.dwProcessId)) {
          ++boxes;
          PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        return Exists(dir / L"$Vesko2.bmp");
      },
      60000));
  CHECK(boxes >= 1);
  HWND window = WaitForMainWindow();
  REQUIRE(window != nullptr);
  // Every picture in turn, by the window's Enter key: the program stays and answers (a box
  // it showed would hold the key: the test then fails instead of waiting for ever). That the
  // plug-ins run in a helper is shown where a helper is sure to be running (the tables of own
  // and other plug-ins, and of a call that never returns): here a faulted helper and its
  // successor come and go between any two looks on a busy machine.
  for (int step = 0; step < 4; ++step) {
    DWORD_PTR answer = 0;
    CHECK(SendMessageTimeoutW(window, WM_KEYDOWN, VK_RETURN, 0, SMTO_NORMAL, 30000, &answer) != 0);
    CHECK_FALSE(process.Exited(0));
  }
  PostMessageW(window, WM_CLOSE, 0, 0);
  REQUIRE(process.Exited(15000));
  // No helper outlives the program.
  CHECK(PumpUntil([] { return ProgramsRunning() == 0; }, 15000));
  DWORD code = 1;
  GetExitCodeProcess(info.hProcess, &code);
  CHECK(code == 0);
  const IniFile ini = IniFile::Parse(AnsiToUtf8(ReadBytes(dir / L"Vesko2.ini")));
  CHECK(ini.ReadString("Load", "PaperFolder", "") == ToUtf8(dir / L"pics"));
}

TEST_CASE("a plug-in's own DLL is never taken from the current folder") {
  // The program and a plug-in that imports fxdep.dll in one folder; fxdep.dll only in the
  // folder the program is started from (a download folder, say). Beside the plug-in it loads.
  TTempDir dir;
  const std::wstring fixtures = EnvPath(L"VESKO2_FIXTURE_SPI");
  const std::wstring dependency = fixtures + L"\\..\\fixture-dep\\fxdep.dll";
  REQUIRE(CopyFileW(ProgramUnderTest().c_str(), (dir / L"Vesko2.exe").c_str(), FALSE));
  REQUIRE(CopyFileW((fixtures + L"\\fxneeds.spi").c_str(), (dir / L"fxneeds.spi").c_str(), FALSE));
  CreateDirectoryW((dir / L"cwd").c_str(), nullptr);
  REQUIRE(CopyFileW(dependency.c_str(), (dir / L"cwd\\fxdep.dll").c_str(), FALSE));
  CreateDirectoryW((dir / L"pics").c_str(), nullptr);
  std::string picture = "FXPIC";
  picture += std::string{4, 0, 3, 0, 24};
  picture += std::string(4 * 3 * 3, '\x40');
  WriteBytes(dir / L"pics\\a.fxd", picture);
  WriteBytes(dir / L"pics\\b.bmp", MakeTestBmp(8, 6));
  // The first picture of the folder once the program has settled: a.fxd when the plug-in
  // loaded, else b.bmp (its report answered with OK).
  auto firstPicture = [&] {
    DeleteFileW((dir / L"cwd\\Vesko2.ini").c_str());
    DeleteFileW((dir / L"cwd\\$Vesko2.bmp").c_str());
    auto process = Start(L"\"" + (dir / L"pics\\a.fxd") + L"\"", dir / L"cwd", dir / L"Vesko2.exe");
    PumpUntil(
        [&] {
          for (HWND box : ProcessBoxes(process->info.dwProcessId)) {
            PostMessageW(box, WM_COMMAND, IDOK, 0);
          }
          return Exists(dir / L"cwd\\$Vesko2.bmp");
        },
        30000);
    HWND window = WaitForMainWindow();
    REQUIRE(window != nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    REQUIRE(process->Exited(15000));
    const IniFile ini = IniFile::Parse(AnsiToUtf8(ReadBytes(dir / L"cwd\\Vesko2.ini")));
    const std::string paper = ini.ReadString("Load", "PaperName", "");
    return paper.substr(paper.rfind('\\') + 1);
  };
  CHECK(firstPicture() == "b.bmp");
  REQUIRE(CopyFileW(dependency.c_str(), (dir / L"fxdep.dll").c_str(), FALSE));
  CHECK(firstPicture() == "a.fxd");
}

TEST_CASE("a failure on every tick: no box over another, and reported once until it changes") {
  // A wallpaper file that cannot be written (a folder stands in its place), no picture that
  // reads, a source that has gone: each fails on every tick of a 200 ms timer.
  enum TRow { kUnwritable, kUnreadable, kVanished };
  for (const TRow row : {kUnwritable, kUnreadable, kVanished}) {
    CAPTURE(row);
    TTempDir dir;
    REQUIRE(CopyFileW(ProgramUnderTest().c_str(), (dir / L"Vesko2.exe").c_str(), FALSE));
    CreateDirectoryW((dir / L"pics").c_str(), nullptr);
    const bool readable = row != kUnreadable;
    WriteBytes(dir / L"pics\\a.bmp", readable ? MakeTestBmp(8, 6) : "not a picture");
    WriteBytes(dir / L"pics\\b.bmp", readable ? MakeTestBmp(6, 8) : "not one either");
    if (row == kUnwritable) CreateDirectoryW((dir / L"$Vesko2.bmp").c_str(), nullptr);
    const std::wstring source = dir / (row == kVanished ? L"gone" : L"pics");
    WriteBytes(dir / L"Vesko2.ini", "[Load]\r\nPaperFolder=" + ToUtf8(source) +
                                        "\r\n[Timer]\r\nInterval=200\r\nEnabled=1\r\n");
    auto process = Start(L"", dir.Path(), dir / L"Vesko2.exe");
    // The first report: the start's own, or the folder dialog of the first tick.
    const std::vector<HWND> boxes = AwaitBoxes(process->info.dwProcessId, 30000);
    REQUIRE_FALSE(boxes.empty());
    // Left open for many intervals: the ticks under it do nothing, so no box comes over it.
    size_t most = 0;
    PumpUntil(
        [&] {
          most = std::max(most, ProcessBoxes(process->info.dwProcessId).size());
          return most > 1;
        },
        3000);
    CHECK(most == 1);
    // Answered (a folder dialog cancelled): the same failure on the next ticks is not
    // reported again; a vanished source may still be asked for once by the first tick.
    for (HWND box : boxes) PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    REQUIRE(PumpUntil([&] { return ProcessBoxes(process->info.dwProcessId).empty(); }, 10000));
    // A box is counted once, however many polls see it before the Cancel has closed it.
    std::set<HWND> reports;
    PumpUntil(
        [&] {
          for (HWND box : ProcessBoxes(process->info.dwProcessId)) {
            reports.insert(box);
            PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
          }
          return reports.size() > 1;
        },
        3000);
    CHECK(reports.size() <= (row == kVanished ? 1U : 0U));
    HWND window = WaitForMainWindow();
    REQUIRE(window != nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    CHECK(process->Exited(15000));
  }
}

namespace {

// Committed private memory of a process, region by region (what the system would count as
// its private bytes: its heap, its stacks, its pixels in DIB sections and page-file mappings).
size_t PrivateBytes(HANDLE process) {
  size_t total = 0;
  MEMORY_BASIC_INFORMATION info{};
  const char* at = nullptr;
  while (VirtualQueryEx(process, at, &info, sizeof info) == sizeof info) {
    if (info.State == MEM_COMMIT && (info.Type == MEM_PRIVATE || info.Type == MEM_MAPPED))
      total += info.RegionSize;
    const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
    if (next <= at) break;
    at = next;
  }
  return total;
}

FILETIME WriteTime(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

}  // namespace

TEST_CASE("after a change settles the program holds no more than 5 MB beyond a bare program") {
  const std::wstring stripped = EnvPath(L"VESKO2_STRIPPED");
  TTempDir dir;
  // The smallest program with a window, settled.
  auto bare = Start(L"", dir.Path(), stripped + L"\\bare_window.exe");
  HWND bareWindow = nullptr;
  REQUIRE(
      PumpUntil([&] { return (bareWindow = FindWindowW(L"VeskoBareWindow", nullptr)); }, 15000));
  // Settled: its message loop waits for input, and its memory is the same at two looks in turn.
  WaitForInputIdle(bare->info.hProcess, 15000);
  size_t baseline = PrivateBytes(bare->info.hProcess);
  PumpUntil(
      [&] {
        const size_t now = PrivateBytes(bare->info.hProcess);
        const bool same = now == baseline;
        baseline = now;
        return same;
      },
      15000);
  PostMessageW(bareWindow, WM_CLOSE, 0, 0);
  REQUIRE(bare->Exited(15000));

  CreateDirectoryW((dir / L"small").c_str(), nullptr);
  CreateDirectoryW((dir / L"big").c_str(), nullptr);
  WriteBytes(dir / L"small\\a.bmp", MakeTestBmp(640, 480));
  std::vector<uint8_t> row(6000 * 3);
  for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>(i * 7 % 251);
  const std::string photo = MakeTestJpeg(6000, 4000, row, 90);
  REQUIRE_FALSE(photo.empty());
  WriteBytes(dir / L"big\\photo.jpg", photo);
  // The settings a user of the first versions kept: the picture at its own size, centred (the
  // benchmark runs other settings through VESKO2_MEMORY_LOAD, lines of the [Load] section).
  wchar_t load[256] = {};
  GetEnvironmentVariableW(L"VESKO2_MEMORY_LOAD", load, 256);
  const std::string loadLines = load[0] != 0 ? ToUtf8(load) : "ReSize=0";
  WriteBytes(dir / L"Vesko2.ini", "[Load]\r\n" + loadLines + "\r\n");
  const std::wstring wallpaper = dir / L"$Vesko2.bmp";
  const std::wstring exe = stripped + L"\\Vesko2.exe";

  auto program = Start(L"small", dir.Path(), exe);
  HWND window = nullptr;
  REQUIRE(PumpUntil([&] { return (window = FindWindowW(L"TVesko2MainForm", nullptr)); }, 15000));
  REQUIRE(PumpUntil([&] { return Exists(wallpaper); }, 15000));
  const size_t limit = baseline + (size_t{5} << 20);
  size_t afterSmall = 0;
  PumpUntil([&] { return (afterSmall = PrivateBytes(program->info.hProcess)) <= limit; }, 20000);

  const FILETIME before = WriteTime(wallpaper);
  auto second = Start(L"big\\photo.jpg", dir.Path(), exe);
  REQUIRE(second->Exited(15000));
  FILETIME after = before;
  REQUIRE(PumpUntil(
      [&] {
        after = WriteTime(wallpaper);
        return CompareFileTime(&before, &after) != 0;
      },
      60000));
  size_t afterBig = 0;
  PumpUntil([&] { return (afterBig = PrivateBytes(program->info.hProcess)) <= limit; }, 20000);
  MESSAGE("private memory with " << loadLines << ": bare program " << baseline / 1024
                                 << " KiB; beyond it after a "
                                    "640 x 480 picture "
                                 << (afterSmall - baseline) / 1024
                                 << " KiB, after a 24-megapixel "
                                    "JPEG "
                                 << (afterBig - baseline) / 1024 << " KiB");
  CHECK(afterSmall <= limit);
  CHECK(afterBig <= limit);
  // The wallpaper file is as large as the screen, not as the photo.
  CHECK(ReadBytes(wallpaper).size() < static_cast<size_t>(GetSystemMetrics(SM_CXVIRTUALSCREEN)) *
                                              GetSystemMetrics(SM_CYVIRTUALSCREEN) * 3 +
                                          4096);
  PostMessageW(window, WM_CLOSE, 0, 0);
  REQUIRE(program->Exited(15000));
}

namespace {

// A picture in the fixture plug-ins' format: the magic, 16-bit width and height, 24 bits.
std::string FixturePicture(const char* magic, int width, int height) {
  std::string bytes(magic, 5);
  for (const int v : {width & 0xFF, width >> 8, height & 0xFF, height >> 8, 24})
    bytes += static_cast<char>(v);
  bytes += std::string(static_cast<size_t>(width) * height * 3, '\x60');
  return bytes;
}

// The size of the wallpaper the program wrote, 0 x 0 while it cannot be read.
std::pair<int, int> WallpaperSize(const std::wstring& path) {
  const std::string bytes = ReadBytes(path);
  if (bytes.size() < 26) return {0, 0};
  int32_t width = 0;
  int32_t height = 0;
  std::memcpy(&width, bytes.data() + 18, 4);
  std::memcpy(&height, bytes.data() + 22, 4);
  return {width, height < 0 ? -height : height};
}

// Another Vesko2.exe than `program`: the helper, 0 while none runs.
DWORD HelperOf(DWORD program) {
  THandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (lstrcmpiW(entry.szExeFile, L"Vesko2.exe") == 0 && entry.th32ParentProcessID == program)
      return entry.th32ProcessID;
  }
  return 0;
}

// Asks the window with WM_NULL over and over from a thread of its own, as Windows does to tell
// a program that hangs: each answer must come within a second. A single late answer is a busy
// machine's (the probe's own thread may wait its turn); two in a row mean the window stalled.
class TResponsivenessProbe {
 public:
  explicit TResponsivenessProbe(HWND window)
      : window_(window), thread_([this] {
          while (!stop_) {
            DWORD_PTR answer = 0;
            ++asked_;
            if (SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &answer) == 0 &&
                IsWindow(window_)) {
              ++unanswered_;
              longest_ = std::max(longest_.load(), ++run_);
            } else {
              run_ = 0;
            }
            Sleep(50);
          }
        }) {}
  ~TResponsivenessProbe() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  int Asked() const { return asked_; }
  int Unanswered() const { return unanswered_; }
  // The most asks in a row that went unanswered.
  int LongestStall() const { return longest_; }

 private:
  HWND window_;
  std::atomic<bool> stop_{false};
  std::atomic<int> asked_{0};
  std::atomic<int> unanswered_{0};
  int run_ = 0;
  std::atomic<int> longest_{0};
  std::thread thread_;
};

// The real program in `dir` (copied there), started on its folder "pics", with the plug-ins
// named beside it and the settings `ini`.
std::unique_ptr<TProcess> StartBeside(const TTempDir& dir,
                                      std::initializer_list<const wchar_t*> plugins,
                                      const std::string& ini, bool openFolder = true,
                                      const std::wstring& switches = L"") {
  REQUIRE(CopyFileW(ProgramUnderTest().c_str(), (dir / L"Vesko2.exe").c_str(), FALSE));
  for (const wchar_t* name : plugins) {
    const std::wstring file = std::wstring(name) + L".spi";
    REQUIRE(CopyFileW((EnvPath(L"VESKO2_FIXTURE_SPI") + L"\\" + file).c_str(), (dir / file).c_str(),
                      FALSE));
  }
  WriteBytes(dir / L"Vesko2.ini", ini);
  return Start(openFolder ? L"\"" + (dir / L"pics") + L"\"" : switches, dir.Path(),
               dir / L"Vesko2.exe");
}

// A key pressed and let go on the keyboard.
void PressKey(WORD key) {
  INPUT keys[2] = {};
  keys[0].type = keys[1].type = INPUT_KEYBOARD;
  keys[0].ki.wVk = keys[1].ki.wVk = key;
  keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, keys, sizeof(INPUT));
}

// A click of the mouse at a point of the screen (`down` and `up`: which button).
void ClickAt(int x, int y, DWORD down = MOUSEEVENTF_LEFTDOWN, DWORD up = MOUSEEVENTF_LEFTUP) {
  SetCursorPos(x, y);
  INPUT input[2] = {};
  input[0].type = input[1].type = INPUT_MOUSE;
  input[0].mi.dwFlags = down;
  input[1].mi.dwFlags = up;
  SendInput(2, input, sizeof(INPUT));
}

// Whether the thread of `window` is in a state of GUITHREADINFO's flags (a menu's or a move's
// loop, which takes the mouse only once it runs).
bool ThreadIn(HWND window, DWORD flag) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) &&
         (info.flags & flag) != 0;
}

// The second start: `folder` handed over to the program beside it in `dir`.
void HandOver(const TTempDir& dir, const std::wstring& folder) {
  auto second = Start(L"\"" + folder + L"\"", dir.Path(), dir / L"Vesko2.exe");
  CHECK(second->Exited(30000));
}

// `folder` dropped at a point of the screen from X, as a file manager drops it. (Wine starts
// the Unix program but gives no handle to wait on: it leaves a file.)
void DropFromX(const TTempDir& dir, int x, int y, const std::wstring& folder) {
  const std::wstring done = dir / L"dropped";
  DeleteFileW(done.c_str());
  auto drop = Start(std::to_wstring(x) + L" " + std::to_wstring(y) + L" \"" + UnixPath(folder) +
                        L"\" \"" + UnixPath(dir.Path()) + L"/dropped\"",
                    dir.Path(), EnvPath(L"VESKO2_XDND_DROP"));
  CHECK(PumpUntil([&] { return Exists(done); }, 30000));
}

}  // namespace

TEST_CASE("while a plug-in never returns, the real program answers at every moment and closes") {
  TTempDir dir;
  CreateDirectoryW((dir / L"pics").c_str(), nullptr);
  WriteBytes(dir / L"pics\\a.fxb", FixturePicture("FXBL?", 4, 3));  // the only picture
  // A wait far longer than the test: the program is inside the call throughout.
  auto program = StartBeside(dir, {L"fxbadl"}, "[Load]\r\nPluginTimeout=600\r\n");
  HWND window = WaitForMainWindow(30000);
  REQUIRE(window != nullptr);
  REQUIRE(PumpUntil([&] { return HelperOf(program->info.dwProcessId) != 0; }, 30000));
  {
    TResponsivenessProbe probe(window);
    PumpUntil([&] { return probe.Asked() >= 40; }, 60000);
    probe.Stop();
    CHECK(probe.Asked() >= 40);
    CHECK(probe.LongestStall() <= 1);
  }
  CHECK_FALSE(Exists(dir / L"$Vesko2.bmp"));  // still in the first picture's call
  // A close now: the call is given up, the program ends, and its helper with it.
  const ULONGLONG asked = GetTickCount64();
  PostMessageW(window, WM_CLOSE, 0, 0);
  REQUIRE(program->Exited(30000));
  MESSAGE("closed " << GetTickCount64() - asked << " ms after it was asked, inside the call");
  CHECK(GetTickCount64() - asked < 5000);
  CHECK(PumpUntil([] { return ProgramsRunning() == 0; }, 15000));
  DWORD code = 1;
  GetExitCodeProcess(program->info.hProcess, &code);
  CHECK(code == 0);
  const IniFile ini = IniFile::Parse(AnsiToUtf8(ReadBytes(dir / L"Vesko2.ini")));
  CHECK(ini.ReadString("Load", "PaperFolder", "") == ToUtf8(dir / L"pics"));
}

TEST_CASE(
    "plug-ins that stall, fault, raise, end or keep files open cost their own pictures only") {
  // Every misbehaviour has a plug-in and a file of its own; the good pictures have sizes of
  // their own, so that the wallpaper tells which one is shown.
  TTempDir dir;
  CreateDirectoryW((dir / L"pics").c_str(), nullptr);
  struct TPicture {
    const wchar_t* name;
    std::string bytes;
    std::pair<int, int> shown;  // 0 x 0: skipped
  };
  const std::vector<TPicture> pictures = {
      {L"01.bmp", MakeTestBmp(8, 6), {8, 6}},
      {L"02.fxb", FixturePicture("FXBL?", 4, 3), {0, 0}},  // never returns from GetPicture
      {L"03.fxb", FixturePicture("FXBI?", 4, 3), {0, 0}},  // never returns from IsSupported
      {L"04.bmp", MakeTestBmp(10, 6), {10, 6}},
      {L"05.fxb", FixturePicture("FXBC?", 4, 3), {0, 0}},  // a Visual C++ exception
      {L"06.fxb", FixturePicture("FXBD?", 4, 3), {0, 0}},  // a Delphi exception
      {L"07.fxb", FixturePicture("FXBH?", 4, 3), {0, 0}},  // a fault holding the heap's lock
      {L"08.bmp", MakeTestBmp(12, 6), {12, 6}},
      {L"09.fxb", FixturePicture("FXBX?", 4, 3), {0, 0}},  // ExitProcess
      {L"10.fxb", FixturePicture("FXBG?", 4, 3), {0, 0}},  // absurd sizes
      {L"11.fxb", FixturePicture("FXBM?", 5, 3), {5, 3}},  // a message box first
      {L"12.fxb", FixturePicture("FXBK?", 6, 2), {6, 2}},  // leaves the file open
      {L"13.bmp", MakeTestBmp(14, 6), {14, 6}},
  };
  for (const TPicture& p : pictures) WriteBytes(dir / (std::wstring(L"pics\\") + p.name), p.bytes);
  auto program = StartBeside(dir,
                             {L"fxbadl", L"fxbadi", L"fxbadc", L"fxbadd", L"fxbadh", L"fxbadx",
                              L"fxbadg", L"fxbadm", L"fxbadk"},
                             "[Load]\r\nPluginTimeout=2\r\nPaperFolder=" + ToUtf8(dir / L"pics") +
                                 "\r\nPaperName=" + ToUtf8(dir / L"pics\\01.bmp") + "\r\n",
                             false);
  HWND window = WaitForMainWindow(30000);
  REQUIRE(window != nullptr);
  const std::wstring wallpaper = dir / L"$Vesko2.bmp";
  TResponsivenessProbe probe(window);
  // The plug-in's box is answered after twice the wait: it must not count against it.
  std::atomic<bool> stop{false};
  std::atomic<int> boxesAnswered{0};
  std::thread user([&] {
    ULONGLONG seen = 0;
    while (!stop) {
      const DWORD helper = HelperOf(program->info.dwProcessId);
      const std::vector<HWND> boxes = helper != 0 ? ProcessBoxes(helper) : std::vector<HWND>{};
      if (boxes.empty()) {
        seen = 0;
      } else if (seen == 0) {
        seen = GetTickCount64();
      } else if (GetTickCount64() - seen > 4000) {
        PostMessageW(boxes.front(), WM_COMMAND, IDOK, 0);
        ++boxesAnswered;
        seen = 0;
      }
      Sleep(100);
    }
  });
  struct TJoin {
    std::atomic<bool>& stop;
    std::thread& thread;
    ~TJoin() {
      stop = true;
      thread.join();
    }
  } join{stop, user};

  // The program starts at the first picture the settings name; from there the window's Enter key
  // shows the good pictures in the list's order, each after the last one is shown, all skipped
  // ones passed by.
  const std::vector<std::pair<int, int>> good = {{8, 6}, {10, 6}, {12, 6}, {5, 3}, {6, 2}, {14, 6}};
  std::vector<std::pair<int, int>> shown;
  REQUIRE(PumpUntil([&] { return WallpaperSize(wallpaper).first != 0; }, 60000));
  shown.push_back(WallpaperSize(wallpaper));
  bool deleted = false;
  size_t deletedAt = SIZE_MAX;  // the place in `shown` of the picture deleted
  for (int step = 0; step < 8 && !(deleted && shown.size() > deletedAt + 1); ++step) {
    const std::pair<int, int> before = shown.back();
    if (before == std::pair<int, int>{6, 2}) {
      // The picture the plug-in left open goes to the recycle bin with Del, after the shell's
      // question; then the next one comes.
      PostMessageW(window, WM_KEYDOWN, VK_DELETE, 0);
      bool asked = false;
      CHECK(PumpUntil(
          [&] {
            for (HWND box : ProcessBoxes(program->info.dwProcessId)) {
              asked = true;
              PostMessageW(box, WM_COMMAND, IDYES, 0);
            }
            return !Exists(dir / L"pics\\12.fxb");
          },
          30000));
      CHECK(asked);
      deleted = true;
      deletedAt = shown.size() - 1;
    } else {
      PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
    }
    std::pair<int, int> now = before;
    CHECK(PumpUntil(
        [&] {
          now = WallpaperSize(wallpaper);
          return now.first != 0 && now != before;
        },
        90000));
    shown.push_back(now);
  }
  std::string sizes;
  for (const auto& [w, h] : shown) sizes += std::to_string(w) + "x" + std::to_string(h) + " ";
  CAPTURE(sizes);
  CHECK(deleted);
  // Each picture is the good one after the last, the deleted one passed once it is gone.
  for (size_t i = 0; i < shown.size(); ++i) {
    const auto at = std::find(good.begin(), good.end(), shown[i]);
    REQUIRE(at != good.end());
    if (i == 0) continue;
    auto next = std::find(good.begin(), good.end(), shown[i - 1]);
    do {
      next = next + 1 == good.end() ? good.begin() : next + 1;
    } while (i > deletedAt && *next == std::pair<int, int>{6, 2});
    CHECK(*at == *next);
  }
  CHECK(shown.front() == std::pair<int, int>{8, 6});
  CHECK(shown.size() == 6);  // every good picture, the last after the deleted one
  CHECK(boxesAnswered == 1);
  probe.Stop();
  MESSAGE("asked the window " << probe.Asked() << " times, unanswered " << probe.Unanswered());
  CHECK(probe.LongestStall() <= 1);
  PostMessageW(window, WM_CLOSE, 0, 0);
  REQUIRE(program->Exited(30000));
  CHECK(PumpUntil([] { return ProgramsRunning() == 0; }, 15000));
}

namespace {

// The text of a message box (its static text control).
std::wstring BoxText(HWND box) {
  wchar_t text[2048] = {};
  HWND label = FindWindowExW(box, nullptr, L"Static", nullptr);
  while (label != nullptr && GetWindowTextW(label, text, 2048) == 0) {
    label = FindWindowExW(box, label, L"Static", nullptr);
  }
  return text;
}

}  // namespace

TEST_CASE("only our own plug-in files run in the program; another under an own name runs apart") {
  // Which plug-in file lies beside the program under which name, the picture it shows, and
  // whether a helper must run for it.
  const std::wstring exe = ProgramUnderTest();
  const std::wstring ours = exe.substr(0, exe.rfind(L'\\'));
  const std::wstring fixture = EnvPath(L"VESKO2_FIXTURE_SPI");
  const std::string png = ReadBytes(EnvPath(L"VESKO2_TEST_DATA") + L"\\pngsuite\\basn2c08.png");
  struct TRow {
    std::wstring from;
    const wchar_t* as;
    const wchar_t* picture;
    std::string bytes;
    bool apart;
  };
  for (const TRow& row : {
           TRow{ours + L"\\ifpng.spi", L"ifpng.spi", L"a.png", png, false},
           TRow{ours + L"\\ifwebp.spi", L"ifwebp.spi", L"a.webp",
                ReadBytes(EnvPath(L"VESKO2_TEST_DATA") + L"\\webp\\lossy.webp"), false},
           TRow{fixture + L"\\fxa.spi", L"ifpng.spi", L"a.fxa", FixturePicture("FXPIC", 4, 3),
                true},
           TRow{fixture + L"\\fxa.spi", L"ifwic.spi", L"a.fxa", FixturePicture("FXPIC", 4, 3),
                true},
           // The system's codecs are outside code too.
           TRow{ours + L"\\ifwic.spi", L"ifwic.spi", L"a.png", png, true},
       }) {
    CAPTURE(ToUtf8(row.from));
    CAPTURE(ToUtf8(row.as));
    TTempDir dir;
    REQUIRE(CopyFileW(exe.c_str(), (dir / L"Vesko2.exe").c_str(), FALSE));
    REQUIRE(CopyFileW(row.from.c_str(), (dir / row.as).c_str(), FALSE));
    CreateDirectoryW((dir / L"pics").c_str(), nullptr);
    WriteBytes(dir / (std::wstring(L"pics\\") + row.picture), row.bytes);
    auto program = Start(L"\"" + (dir / L"pics") + L"\"", dir.Path(), dir / L"Vesko2.exe");
    REQUIRE(PumpUntil([&] { return Exists(dir / L"$Vesko2.bmp"); }, 30000));
    CHECK((HelperOf(program->info.dwProcessId) != 0) == row.apart);
    HWND window = WaitForMainWindow();
    REQUIRE(window != nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    CHECK(program->Exited(15000));
  }
}

TEST_CASE("a plug-in that stalls on three files is left for the session, and named once") {
  TTempDir dir;
  CreateDirectoryW((dir / L"pics").c_str(), nullptr);
  for (const wchar_t* name : {L"pics\\1.fxb", L"pics\\2.fxb", L"pics\\3.fxb", L"pics\\4.fxb"})
    WriteBytes(dir / name, FixturePicture("FXBL?", 4, 3));
  WriteBytes(dir / L"pics\\5.bmp", MakeTestBmp(8, 6));
  auto program = StartBeside(dir, {L"fxbadl"}, "[Load]\r\nPluginTimeout=1\r\n");
  HWND window = WaitForMainWindow(30000);
  REQUIRE(window != nullptr);
  // Changes by the window's Enter key, each after the last has written the wallpaper or shown
  // a box, until the good picture has come after the stalls.
  std::vector<std::wstring> reports;
  FILETIME last{};
  for (int change = 0; change < 6; ++change) {
    bool changed = false;
    PumpUntil(
        [&] {
          for (HWND box : ProcessBoxes(program->info.dwProcessId)) {
            reports.push_back(BoxText(box));
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            PumpUntil([&] { return !IsWindow(box); }, 10000);
          }
          const FILETIME now = WriteTime(dir / L"$Vesko2.bmp");
          changed = CompareFileTime(&now, &last) != 0;
          if (changed) last = now;
          return changed;
        },
        60000);
    PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
  }
  // Every stall after the third file is passed by without asking the plug-in again.
  REQUIRE(reports.size() == 1);
  CHECK(reports[0].find(L"プラグインとして使えないファイルがあります") != std::wstring::npos);
  CHECK(reports[0].find(L"fxbadl.spi") != std::wstring::npos);
  PostMessageW(window, WM_CLOSE, 0, 0);
  REQUIRE(program->Exited(30000));
}

TEST_CASE("what arrives during a slow plug-in picture waits for it and acts once, or gives it up") {
  // The list: 1.bmp (8 x 6), then a picture the plug-in decodes only when the test lets it
  // (4 x 3), then 3.bmp (10 x 6). Another folder holds x.bmp (12 x 6); the boss picture is 14 x 6.
  enum TRow { kKeys, kHandOver, kDrop, kBossKey, kViewMode, kTicks, kMenuKey };
  for (const TRow row : {kKeys, kHandOver, kDrop, kBossKey, kViewMode, kTicks, kMenuKey}) {
    CAPTURE(row);
    TTempDir dir;
    for (const wchar_t* folder : {L"pics", L"other"})
      CreateDirectoryW((dir / folder).c_str(), nullptr);
    WriteBytes(dir / L"pics\\1.bmp", MakeTestBmp(8, 6));
    WriteBytes(dir / L"pics\\2.fxb", FixturePicture("FXBDW", 4, 3));
    WriteBytes(dir / L"pics\\3.bmp", MakeTestBmp(10, 6));
    WriteBytes(dir / L"other\\x.bmp", MakeTestBmp(12, 6));
    WriteBytes(dir / L"boss.bmp", MakeTestBmp(14, 6));
    auto program =
        StartBeside(dir, {L"fxbad"},
                    "[Load]\r\nPluginTimeout=600\r\nPaperFolder=" + ToUtf8(dir / L"pics") +
                        "\r\nPaperName=" + ToUtf8(dir / L"pics\\1.bmp") +
                        "\r\n[IncomingBoss]\r\nFileName=" + ToUtf8(dir / L"boss.bmp") +
                        "\r\nKey=120\r\n[Window]\r\nActiveKey=119\r\n" +
                        (row == kTicks ? "[Timer]\r\nInterval=300\r\nEnabled=1\r\n" : ""),
                    false);
    HWND window = WaitForMainWindow(30000);
    REQUIRE(window != nullptr);
    const std::wstring wallpaper = dir / L"$Vesko2.bmp";
    REQUIRE(PumpUntil(
        [&] {
          return WallpaperSize(wallpaper) == std::pair<int, int>{8, 6};
        },
        30000));
    // Enter: the change to the slow picture, inside the plug-in's call from here on; or the
    // view mode (V), whose Enter loads the slow picture there.
    HWND view = nullptr;
    if (row == kViewMode) {
      PostMessageW(window, WM_KEYDOWN, 'V', 0);
      REQUIRE(PumpUntil(
          [&] {
            view = FindWindowW(L"TViewModeForm", nullptr);
            return view != nullptr && IsWindowVisible(view);
          },
          30000));
    }
    // (With the timer on, its tick makes the change.)
    if (row != kTicks) PostMessageW(row == kViewMode ? view : window, WM_KEYDOWN, VK_RETURN, 0);
    REQUIRE(PumpUntil([&] { return Exists(dir / L"pics\\2.fxb.waiting"); }, 30000));
    // The panel shows that the program waits (yellow), and goes back after the call.
    const auto panel = [&] {
      POINT at{30, 4};
      ClientToScreen(window, &at);
      HDC screen = GetDC(nullptr);
      const COLORREF colour = GetPixel(screen, at.x, at.y);
      ReleaseDC(nullptr, screen);
      return colour;
    };
    if (row != kViewMode) CHECK(PumpUntil([&] { return panel() == RGB(255, 255, 0); }, 10000));
    std::pair<int, int> last{4, 3};  // what the wallpaper ends as
    std::wstring paperName = dir / L"pics\\2.fxb";
    switch (row) {
      case kKeys: {
        // Three presses of 次へ during the call are one step after it.
        for (int i = 0; i < 3; ++i) PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
        last = {10, 6};
        paperName = dir / L"pics\\3.bmp";
        break;
      }
      case kHandOver: {
        // The other folder, handed over by a second start: it opens after the call, and the
        // call's picture never lands under its name.
        HandOver(dir, dir / L"other");
        last = {12, 6};
        paperName = dir / L"other\\x.bmp";
        break;
      }
      case kDrop: {
        // The other folder, dropped on the panel from X as a file manager drops it: it opens
        // after the call, as a hand-over does.
        RECT r{};
        GetWindowRect(window, &r);
        DropFromX(dir, (r.left + r.right) / 2, (r.top + r.bottom) / 2, dir / L"other");
        last = {12, 6};
        paperName = dir / L"other\\x.bmp";
        break;
      }
      case kBossKey: {
        // The boss key, pressed for real (F9 here: the Enter posted after it must not find
        // Ctrl or Shift of a combination still down in the program, whose releases are input
        // that a posted message overtakes): the boss picture at once, the call given up
        // without its deadline.
        PressKey(VK_F9);
        CHECK(PumpUntil(
            [&] {
              return WallpaperSize(dir / L"$Boss$Vesko2.bmp") == std::pair<int, int>{14, 6};
            },
            30000));
        // The next change starts again from the picture still shown.
        break;
      }
      case kTicks:
        // Ticks during the call are skipped: no change inside it (five intervals).
        PumpUntil([] { return false; }, 1500);
        CHECK(WallpaperSize(wallpaper) == std::pair<int, int>{8, 6});
        break;
      case kMenuKey: {
        // The menu's hotkey (F8 here) opens the menu at once; a click beside it closes it.
        PressKey(VK_F8);
        const DWORD id = program->info.dwProcessId;
        CHECK(PumpUntil(
            [&] {
              return !ProcessWindows(id, L"#32768").empty() && ThreadIn(window, GUI_INMENUMODE);
            },
            30000));
        RECT r{};
        GetWindowRect(window, &r);
        ClickAt(r.right + 300, r.bottom + 300);
        CHECK(PumpUntil([&] { return ProcessWindows(id, L"#32768").empty(); }, 30000));
        break;
      }
      case kViewMode:
        // Esc during the view's load closes the view once the picture is in; the wallpaper
        // stays.
        PostMessageW(view, WM_KEYDOWN, VK_ESCAPE, 0);
        last = {8, 6};
        paperName = dir / L"pics\\1.bmp";
        break;
    }
    WriteBytes(dir / L"pics\\2.fxb.go", "");
    if (row == kBossKey) PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
    if (row == kViewMode) CHECK(PumpUntil([&] { return !IsWindowVisible(view); }, 30000));
    CHECK(PumpUntil([&] { return WallpaperSize(wallpaper) == last; }, 30000));
    CHECK(PumpUntil([&] { return panel() == RGB(244, 228, 210); }, 10000));
    PostMessageW(window, WM_CLOSE, 0, 0);
    REQUIRE(program->Exited(30000));
    if (row == kTicks) continue;  // they went on after the call
    CHECK(WallpaperSize(wallpaper) == last);
    const IniFile ini = IniFile::Parse(AnsiToUtf8(ReadBytes(dir / L"Vesko2.ini")));
    CHECK(ini.ReadString("Load", "PaperName", "") == ToUtf8(paperName));
  }
}

TEST_CASE("what arrives during the start, or while a menu, a box or a window of ours is open") {
  // The list: 1.bmp (8 x 6), 2.bmp (10 x 6), 3.bmp (6 x 6); another folder holds x.bmp
  // (12 x 6); the boss picture is 14 x 6 (F9), the menu's hotkey F8.
  enum TState { kMenu, kBox, kAbout, kSignIn, kStartBox };
  enum TArrival { kTwoKeys, kBossKey, kHandOver, kDrop, kTicks, kDisplayChange, kMenuKey, kQuit };
  enum TWhen { kNow, kAfter, kSkipped };
  struct TCell {
    TState state;
    TArrival arrival;
    TWhen when;
  };
  // Under the context menu and a box (the file dialog), what the user or a second start sends
  // waits and the two keys count once; beside the about box the window is free. The boss key
  // and 終了 act at once, ticks are skipped, and a display change waits everywhere. The menu's
  // hotkey opens no second menu, and none over a box.
  // A start at sign-in waits for the desktop to settle: what the user or the system sends ends
  // the wait and acts after the start's change, ticks are skipped. While a box of the start is
  // open the window is not yet shown: a close ends the program once the box is answered.
  const TCell cells[] = {
      {kMenu, kTwoKeys, kAfter},     {kMenu, kBossKey, kNow},
      {kMenu, kHandOver, kAfter},    {kMenu, kDrop, kAfter},
      {kMenu, kTicks, kSkipped},     {kMenu, kDisplayChange, kAfter},
      {kMenu, kMenuKey, kSkipped},   {kMenu, kQuit, kNow},
      {kBox, kTwoKeys, kAfter},      {kBox, kBossKey, kNow},
      {kBox, kHandOver, kAfter},     {kBox, kDrop, kAfter},
      {kBox, kTicks, kSkipped},      {kBox, kDisplayChange, kAfter},
      {kBox, kMenuKey, kSkipped},    {kBox, kQuit, kNow},
      {kAbout, kTwoKeys, kNow},      {kAbout, kBossKey, kNow},
      {kAbout, kHandOver, kNow},     {kAbout, kDrop, kNow},
      {kAbout, kTicks, kSkipped},    {kAbout, kDisplayChange, kAfter},
      {kAbout, kMenuKey, kNow},      {kAbout, kQuit, kNow},
      {kSignIn, kTwoKeys, kAfter},   {kSignIn, kBossKey, kAfter},
      {kSignIn, kHandOver, kAfter},  {kSignIn, kDrop, kAfter},
      {kSignIn, kTicks, kSkipped},   {kSignIn, kDisplayChange, kAfter},
      {kSignIn, kMenuKey, kSkipped}, {kSignIn, kQuit, kNow},
      {kStartBox, kQuit, kAfter},
  };
  for (const TCell& cell : cells) {
    CAPTURE(cell.state);
    CAPTURE(cell.arrival);
    const bool starting = cell.state == kSignIn || cell.state == kStartBox;
    TTempDir dir;
    for (const wchar_t* folder : {L"pics", L"other"})
      CreateDirectoryW((dir / folder).c_str(), nullptr);
    WriteBytes(dir / L"pics\\1.bmp", MakeTestBmp(8, 6));
    WriteBytes(dir / L"pics\\2.bmp", MakeTestBmp(10, 6));
    WriteBytes(dir / L"pics\\3.bmp", MakeTestBmp(6, 6));
    WriteBytes(dir / L"other\\x.bmp", MakeTestBmp(12, 6));
    WriteBytes(dir / L"boss.bmp", MakeTestBmp(14, 6));
    if (cell.state == kStartBox) WriteBytes(dir / L"bad.spi", "not a plug-in");
    const std::string timer =
        cell.arrival == kTicks ? "[Timer]\r\nInterval=300\r\nEnabled=1\r\n" : "";
    auto program = StartBeside(dir, {},
                               "[Load]\r\nPaperFolder=" + ToUtf8(dir / L"pics") +
                                   "\r\nPaperName=" + ToUtf8(dir / L"pics\\1.bmp") +
                                   "\r\n[IncomingBoss]\r\nFileName=" + ToUtf8(dir / L"boss.bmp") +
                                   "\r\nKey=120\r\n[Window]\r\nActiveKey=119\r\n" + timer,
                               false, cell.state == kSignIn ? L"/startup" : L"");
    const DWORD id = program->info.dwProcessId;
    HWND window = WaitForMainWindow(30000);
    REQUIRE(window != nullptr);
    const std::wstring wallpaper = dir / L"$Vesko2.bmp";
    if (!starting) REQUIRE(PumpUntil([&] { return WallpaperSize(wallpaper).first != 0; }, 30000));
    const auto written = [&] {
      WIN32_FILE_ATTRIBUTE_DATA data{};
      GetFileAttributesExW(wallpaper.c_str(), GetFileExInfoStandard, &data);
      return (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
             data.ftLastWriteTime.dwLowDateTime;
    };
    const auto bossShown = [&] {
      // The boss picture, and the desktop showing it.
      wchar_t shown[MAX_PATH] = {};
      DWORD size = sizeof shown;
      RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"Wallpaper", RRF_RT_REG_SZ,
                   nullptr, shown, &size);
      return WallpaperSize(dir / L"$Boss$Vesko2.bmp") == std::pair<int, int>{14, 6} &&
             lstrcmpiW(shown, (dir / L"$Boss$Vesko2.bmp").c_str()) == 0;
    };
    // The state, made as a person makes it: a right-click on the panel, F (the file dialog)
    // or A (the about box); the start's wait and box come on their own.
    const auto stateWindow = [&]() -> HWND {
      std::vector<HWND> found;
      if (cell.state == kMenu) found = ProcessWindows(id, L"#32768");
      if (cell.state == kBox || cell.state == kStartBox) found = ProcessBoxes(id);
      if (cell.state == kAbout) found = ProcessWindows(id, L"TAboutForm");
      if (cell.state == kSignIn && !Exists(wallpaper)) found.push_back(window);
      return found.empty() ? nullptr : found.front();
    };
    RECT r{};
    REQUIRE(PumpUntil(
        [&] {
          DWORD owner = 0;
          GetWindowThreadProcessId(GetForegroundWindow(), &owner);
          return owner == id && GetWindowRect(window, &r) &&
                 IsWindowVisible(window) == (cell.state != kStartBox);
        },
        30000));
    if (cell.state == kMenu) {
      ClickAt(r.left + 30, r.top + 4, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
    } else if (!starting) {
      PostMessageW(window, WM_KEYDOWN, cell.state == kBox ? 'F' : 'A', 0);
    }
    REQUIRE(PumpUntil([&] { return stateWindow() != nullptr; }, 30000));
    // A menu takes the mouse once its loop runs.
    if (cell.state == kMenu)
      REQUIRE(PumpUntil([&] { return ThreadIn(window, GUI_INMENUMODE); }, 30000));
    // The about box closes when it loses the focus: it has it before anything arrives.
    if (cell.state == kAbout)
      REQUIRE(PumpUntil([&] { return GetForegroundWindow() == stateWindow(); }, 30000));
    const std::pair<int, int> before = WallpaperSize(wallpaper);
    const uint64_t stamp = written();

    // What arrives, and what it does while the state lasts.
    std::pair<int, int> last = starting ? std::pair<int, int>{8, 6} : before;  // at the end
    std::wstring paperName;
    switch (cell.arrival) {
      case kTwoKeys:
        // 次へ twice, the window's key as a key press reaches it.
        for (int i = 0; i < 2; ++i) {
          DWORD_PTR result = 0;
          SendMessageTimeoutW(window, WM_KEYDOWN, VK_RETURN, 0, SMTO_NORMAL, 10000, &result);
        }
        last = cell.when == kNow ? std::pair<int, int>{6, 6} : std::pair<int, int>{10, 6};
        paperName = dir / (cell.when == kNow ? L"pics\\3.bmp" : L"pics\\2.bmp");
        break;
      case kBossKey:
        PressKey(VK_F9);
        if (cell.when == kNow) CHECK(PumpUntil(bossShown, 30000));
        break;
      case kHandOver: {
        HandOver(dir, dir / L"other");
        last = {12, 6};
        paperName = dir / L"other\\x.bmp";
        break;
      }
      case kDrop: {
        // Dropped on the panel from X, as a file manager drops it.
        DropFromX(dir, r.left + 30, r.top + 20, dir / L"other");
        last = {12, 6};
        paperName = dir / L"other\\x.bmp";
        break;
      }
      case kMenuKey:
        // A menu of its own beside the about box only.
        PressKey(VK_F8);
        if (cell.when == kNow) {
          CHECK(PumpUntil([&] { return !ProcessWindows(id, L"#32768").empty(); }, 30000));
        } else {
          PumpUntil([] { return false; }, 1000);
          CHECK(ProcessWindows(id, L"#32768").size() == (cell.state == kMenu ? 1u : 0u));
        }
        break;
      case kQuit:
        // A close from outside, as the taskbar, an uninstaller or the sign-out closes a window.
        PostMessageW(window, WM_CLOSE, 0, 0);
        if (cell.when == kNow) {
          CHECK(program->Exited(30000));
          CHECK(WallpaperSize(wallpaper) == before);
          continue;
        }
        // No box of its own over the start's (it had one, saying that no file "" can be made).
        PumpUntil([] { return false; }, 1000);
        CHECK(ProcessBoxes(id).size() == 1);
        break;
      case kTicks:
        // Five intervals.
        PumpUntil([] { return false; }, 1500);
        break;
      case kDisplayChange:
        // The system's message; the remake waits 1.5 s for the layout to settle.
        PostMessageW(window, WM_DISPLAYCHANGE, 24, MAKELPARAM(1280, 800));
        PumpUntil([] { return false; }, 3000);
        break;
    }
    if (cell.when == kNow && cell.arrival != kBossKey && cell.arrival != kMenuKey) {
      CHECK(PumpUntil([&] { return WallpaperSize(wallpaper) == last; }, 30000));
    } else if (cell.when != kNow && (cell.when == kSkipped || cell.state != kSignIn)) {
      // (What arrives during the sign-in wait ends it at once.)
      CHECK(written() == stamp);
      CHECK(WallpaperSize(wallpaper) == before);
      if (cell.arrival == kBossKey) CHECK_FALSE(bossShown());
    }
    // All of it happened while the state lasted; but the about box closes whenever it loses
    // the focus: to the main window a second start brings forward, to the menu, and at times
    // (under Wine, on a busy machine) to the desktop that the boss picture repaints.
    if (cell.state != kSignIn &&
        (cell.state != kAbout || cell.when != kNow ||
         (cell.arrival != kHandOver && cell.arrival != kMenuKey && cell.arrival != kBossKey)))
      REQUIRE(stateWindow() != nullptr);

    // The state ends: a click beside the menu, Cancel on the box, the about box closed, OK on
    // the start's box; the sign-in wait on its own.
    if (cell.state == kMenu) {
      ClickAt(r.right + 300, r.bottom + 300);
    } else if (cell.state == kBox || cell.state == kStartBox) {
      PostMessageW(stateWindow(), WM_COMMAND, cell.state == kBox ? IDCANCEL : IDOK, 0);
    } else if (HWND about = cell.state == kAbout ? stateWindow() : nullptr) {
      PostMessageW(about, WM_CLOSE, 0, 0);
    }
    if (cell.arrival == kQuit) {
      // The program ends, the start's change left out, the settings as they were.
      CHECK(program->Exited(30000));
      CHECK_FALSE(Exists(wallpaper));
      const IniFile ini = IniFile::Parse(AnsiToUtf8(ReadBytes(dir / L"Vesko2.ini")));
      CHECK(ini.ReadString("Load", "PaperName", "") == ToUtf8(dir / L"pics\\1.bmp"));
      continue;
    }
    REQUIRE(PumpUntil([&] { return stateWindow() == nullptr; }, 30000));
    if (cell.when == kAfter || cell.arrival == kTicks) {
      // Once, afterwards; ticks come again on their own.
      CHECK(PumpUntil([&] { return written() != stamp; }, 30000));
      if (cell.arrival != kTicks)
        CHECK(PumpUntil([&] { return WallpaperSize(wallpaper) == last; }, 30000));
      if (cell.arrival == kBossKey) CHECK(PumpUntil(bossShown, 30000));
    }
    if (cell.arrival == kMenuKey && cell.when == kSkipped) {
      // Dropped, not kept for later.
      PumpUntil([] { return false; }, 1000);
      CHECK(ProcessWindows(id, L"#32768").empty());
    }
    CHECK(ProcessBoxes(id).empty());
    PostMessageW(window, WM_CLOSE, 0, 0);
    REQUIRE(program->Exited(30000));
    if (!paperName.empty()) {
      CHECK(WallpaperSize(wallpaper) == last);
      const IniFile ini = IniFile::Parse(AnsiToUtf8(ReadBytes(dir / L"Vesko2.ini")));
      CHECK(ini.ReadString("Load", "PaperName", "") == ToUtf8(paperName));
    }
  }
}
