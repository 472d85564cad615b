// Helpers for the tests that run under Wine: temporary folders, whole files, message pumping.
#pragma once

#include <windows.h>
// After windows.h: HDROP.
#include <shellapi.h>

#include <cstdint>
#include <string>
#include <vector>

// A fresh folder under %TEMP%, removed with everything in it at the end of the scope.
class TTempDir {
 public:
  TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  ~TTempDir();
  const std::wstring& Path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);
bool Exists(const std::wstring& path);
// A path the test's environment names (CTest passes build paths); a Unix path becomes Z:\...
std::wstring EnvPath(const wchar_t* name);
void RemoveTree(const std::wstring& path);
// The windows of the calling thread, top-level and child, counted one by one.
int CountThreadWindows();
// The visible top-level windows of a process of one class, in z-order; its boxes (#32770).
std::vector<HWND> ProcessWindows(DWORD process, const wchar_t* className);
std::vector<HWND> ProcessBoxes(DWORD process);
// How many more GDI objects the process could make. GetGuiResources answers 0 under Wine; this
// answers everywhere: every object the process keeps takes one place of it.
int GdiRoom();
// A string value of HKCU\Control Panel\Desktop (the wallpaper settings); empty when missing.
std::wstring DesktopValue(const wchar_t* name);
void SetDesktopValue(const wchar_t* name, const std::wstring& value);
// The process's committed private memory, region by region (DIB sections included).
size_t CommittedPrivateBytes();

struct TTestRgb {
  uint8_t r, g, b;
};
// Pictures for the tests, written byte by byte: a GIF of only literal LZW codes (pixel (x, y)
// is palette entry (3x + 5y) mod 256, whose colour PaletteColor gives), a baseline RGB TIFF
// (x × 9, y × 13, 200 − x), and a one-colour 24-bit BMP.
TTestRgb PaletteColor(int index);
std::string MakeTestGif(int width, int height);
std::string MakeTestTiff(int width, int height);
// A drop as the shell hands it over: a DROPFILES block in movable global memory, freed by the
// receiver's DragFinish.
HDROP MakeDrop(const std::vector<std::wstring>& paths, POINT at);

std::string MakeTestBmp(int width, int height, uint8_t red = 200, uint8_t green = 100,
                        uint8_t blue = 50);
// A JPEG whose every line is `row` (blue-green-red, 3 bytes a pixel, `width` pixels); empty
// when the encoder refuses.
std::string MakeTestJpeg(int width, int height, const std::vector<uint8_t>& row, int quality);

// Dispatches messages until `done` holds or the time runs out; whether `done` held.
template <typename Done>
bool PumpUntil(Done done, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeoutMs) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  return true;
}

// Removes a pending quit message left by a window's close path.
inline void DrainQuit() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}
