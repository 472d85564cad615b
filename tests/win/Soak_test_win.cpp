// Many wallpaper changes by the real window's timer across every kind of picture: the
// process's GDI objects, windows, handles and private memory stay flat. The regular run makes a
// few hundred changes; VESKO2_SOAK_CHANGES asks for more (`make soak` makes 10,000).
#include <doctest/doctest.h>

#include <chrono>
#include <cstdio>

#include "../decode/BmpBuilder.h"
#include "../decode/PngBuilder.h"
#include "FormFixture_win.h"
#include "base/Path.h"
#include "files/ArchiveFile_win.h"
#include "files/ShellLink_win.h"
#include "tests/files/ZipWriter.h"
// After windows.h.
#include <psapi.h>

namespace {

struct TSample {
  int gdiRoom;         // how many more GDI objects the process could make
  DWORD gdiReported;   // GetGuiResources (0 where the system does not answer)
  DWORD userReported;  // likewise for user objects
  int windows;         // the windows of this thread
  int handles;         // kernel handles, by probing
  DWORD reportedHandles;
  size_t privateBytes;  // committed private memory, region by region
  size_t reportedPrivate;
};

// GetProcessHandleCount answers 0 under Wine; handle values are multiples of four, so asking
// after each one counts them everywhere.
int OpenHandles() {
  int count = 0;
  DWORD flags = 0;
  for (uintptr_t value = 4; value < (uintptr_t{1} << 18); value += 4) {
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

TSample Sample() {
  TSample s{};
  s.gdiRoom = GdiRoom();
  s.gdiReported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  s.userReported = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  s.windows = CountThreadWindows();
  s.handles = OpenHandles();
  GetProcessHandleCount(GetCurrentProcess(), &s.reportedHandles);
  s.privateBytes = CommittedPrivateBytes();
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(GetCurrentProcess(),
                           reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof counters)) {
    s.reportedPrivate = counters.PrivateUsage;
  }
  return s;
}

std::string Bytes(const std::vector<uint8_t>& v) {
  return {v.begin(), v.end()};
}

std::string Bmp(int bits, int width, int height) {
  TBmpBuilder b;
  b.width = width;
  b.height = height;
  b.bitCount = static_cast<uint16_t>(bits);
  if (bits == 8) {
    for (int i = 0; i < 256; ++i) b.colorTable.insert(b.colorTable.end(), {uint8_t(i), 40, 90, 0});
  }
  const int stride = ((width * bits + 31) / 32) * 4;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < stride; ++x) b.pixels.push_back(static_cast<uint8_t>(x * 7 + y * 3));
  }
  return Bytes(b.Build());
}

std::string Jpeg(int width, int height) {
  std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
  for (int x = 0; x < width; ++x) {
    row[x * 3] = static_cast<uint8_t>(x);
    row[x * 3 + 1] = 120;
    row[x * 3 + 2] = static_cast<uint8_t>(255 - x);
  }
  std::string jpeg = MakeTestJpeg(width, height, row, 90);
  REQUIRE_FALSE(jpeg.empty());
  return jpeg;
}

std::string Png(int width, int height) {
  using namespace png_build;
  TBytes raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    for (int x = 0; x < width; ++x) {
      raw.insert(raw.end(), {uint8_t(x), uint8_t(y), 160, uint8_t(255 - x)});  // RGBA
    }
  }
  return Bytes(File({Ihdr(width, height, 8, 6), Idat(raw), Iend()}));
}

int Changes() {
  wchar_t text[32] = {};
  if (GetEnvironmentVariableW(L"VESKO2_SOAK_CHANGES", text, 32) == 0) return 300;
  return std::max(1, _wtoi(text));
}

}  // namespace

TEST_CASE("soak: wallpaper changes by the timer across every picture kind leave nothing behind") {
  FormFixture f;
  const std::wstring pics = f.dir / L"pics";
  CreateDirectoryW(pics.c_str(), nullptr);
  // The plug-ins and the archiver beside the program, as a user installs them.
  for (const wchar_t* file : {L"ifpng.spi", L"ifwic.spi", L"UNZIP32.DLL"}) {
    REQUIRE(CopyFileW((EnvPath(L"VESKO2_PLUGIN_DIR") + L"\\" + file).c_str(),
                      (f.dir / file).c_str(), FALSE));
  }
  WriteBytes(pics + L"\\a8.bmp", Bmp(8, 300, 200));
  WriteBytes(pics + L"\\b16.bmp", Bmp(16, 120, 90));
  WriteBytes(pics + L"\\c24.bmp", MakeTestBmp(1400, 900, 20, 140, 220));
  WriteBytes(pics + L"\\d32.bmp", Bmp(32, 200, 150));
  WriteBytes(pics + L"\\e.jpg", Jpeg(1600, 1200));
  WriteBytes(pics + L"\\f.png", Png(320, 200));
  WriteBytes(pics + L"\\g.gif", MakeTestGif(64, 48));
  WriteBytes(pics + L"\\h.jpg", "this is not a picture");  // skipped every round
  TTestZip zip;
  zip.members = {{"in/zip.bmp", MakeTestBmp(100, 80, 250, 200, 0), true, false}};
  WriteBytes(f.dir / L"pics.zip", zip.Build());
  WriteBytes(pics + L"\\i.ArcLink",
             Utf8ToAnsi(ToUtf8(f.dir / L"pics.zip") + "\r\nin\\zip.bmp\r\n" +
                        std::to_string(zip.members[0].data.size()) + "\r\n"));
  REQUIRE(
      CreateShortcutFile(f.dialogs, ToUtf8(pics + L"\\f.png"), ToUtf8(pics + L"\\j.lnk"), "", ""));

  // The program's folder, where archiver DLLs are looked up first, is the fixture's.
  SetDllDirectoryW(f.dir.Path().c_str());
  struct TRestore {
    ~TRestore() { SetDllDirectoryW(nullptr); }
  } restore;
  auto form = f.Create({ToUtf8(pics)});
  form->Settings.ReSize = true;
  form->Settings.RandomLoad = false;
  REQUIRE(form->List.MainListBox.Count() == 10);

  // Changes by the window's own timer, counted as its ticks arrive.
  int ticks = 0;
  std::vector<std::string> shown;
  auto run = [&](int changes) {
    form->Settings.TimerInterval = 1;
    form->Settings.TimerEnabled = true;
    form->ApplyTimer();
    MSG msg;
    while (ticks < changes && GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (msg.message == WM_TIMER && msg.hwnd == form->Handle() && msg.wParam == 1) {
        ++ticks;
        if (shown.size() < 40) shown.push_back(ExtractFileName(form->Settings.PaperName));
      }
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    form->Settings.TimerEnabled = false;
    form->ApplyTimer();
  };

  run(20);  // every kind twice: what lives for the process is made now
  const TSample before = Sample();
  const auto start = std::chrono::steady_clock::now();
  const int changes = Changes();
  ticks = 0;
  run(changes);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const TSample after = Sample();

  std::printf(
      "soak: %d changes in %.1f s; room for GDI objects %d -> %d (GDI objects reported %lu -> "
      "%lu), user objects "
      "(reported) %lu -> %lu, windows %d -> %d, handles %d -> %d (reported %lu -> %lu), private "
      "KiB %zu -> %zu "
      "(reported %zu -> %zu)\n",
      changes, seconds, before.gdiRoom, after.gdiRoom, before.gdiReported, after.gdiReported,
      before.userReported, after.userReported, before.windows, after.windows, before.handles,
      after.handles, before.reportedHandles, after.reportedHandles, before.privateBytes / 1024,
      after.privateBytes / 1024, before.reportedPrivate / 1024, after.reportedPrivate / 1024);
  std::fflush(stdout);

  // Every kind was shown, the corrupt file skipped, nothing reported to the user.
  for (const char* name : {"a8.bmp", "b16.bmp", "c24.bmp", "d32.bmp", "e.jpg", "f.png", "g.gif",
                           "i.ArcLink", "j.lnk"}) {
    CAPTURE(name);
    CHECK(std::find(shown.begin(), shown.end(), name) != shown.end());
  }
  CHECK(std::find(shown.begin(), shown.end(), "h.jpg") == shown.end());
  CHECK(f.dialogs.errors.empty());
  CHECK(f.dialogs.messages.empty());
  // Flat: a few GDI objects and handles of slack for the system's caches, no window more, and
  // private memory within 8 MiB (the heap's own growth, not a picture per change).
  CHECK(after.gdiRoom >= before.gdiRoom - 4);
  if (before.gdiReported != 0) CHECK(after.gdiReported <= before.gdiReported + 4);
  if (before.userReported != 0) CHECK(after.userReported <= before.userReported + 4);
  CHECK(after.windows == before.windows);
  CHECK(before.handles > 0);
  CHECK(after.handles <= before.handles + 8);
  if (before.reportedHandles != 0) CHECK(after.reportedHandles <= before.reportedHandles + 8);
  CHECK(after.privateBytes <= before.privateBytes + (8u << 20));
  f.Close(form);
}
