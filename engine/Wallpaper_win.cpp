#include "engine/Wallpaper_win.h"

#include <windows.h>

#include <cwchar>

#include "base/Exception.h"
#include "base/FileIO_win.h"
#include "base/Stream.h"
#include "base/Unicode_win.h"

namespace {

void WriteDesktopValue(const wchar_t* name, int value) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\desktop", 0, nullptr, 0, KEY_SET_VALUE,
                      nullptr, &key, nullptr) != ERROR_SUCCESS) {
    throw Exception("Failed to set data for '" + ToUtf8(name) + "'");
  }
  const std::wstring text = std::to_wstring(value);
  const LONG result =
      RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) throw Exception("Failed to set data for '" + ToUtf8(name) + "'");
}

}  // namespace

TRect VirtualDesktop() {
  const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  return TRect{left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN),
               top + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

TRect WorkArea() {
  RECT r{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
  return TRect{r.left, r.top, r.right, r.bottom};
}

void WriteWallpaperOrigin(const TPicture& image, bool centre) {
  if (image.Empty()) return;
  const TRect area = WorkArea();
  const int ww = area.Right - area.Left;
  const int wh = area.Bottom - area.Top;
  int x = 0;
  int y = 0;
  if (centre) {
    if (image.Width() < ww) x = (ww - image.Width()) / 2;
    if (image.Height() < wh) y = (wh - image.Height()) / 2;
  }
  WriteDesktopValue(L"WallpaperOriginX", x);
  WriteDesktopValue(L"WallpaperOriginY", y);
}

void WriteTileMode(int mode) {
  WriteDesktopValue(L"TileWallpaper", mode);
}

namespace {

// A decimal value of "Control Panel\desktop"; `fallback` when it is missing or not a number.
int ReadDesktopValue(const wchar_t* name, int fallback) {
  wchar_t text[32] = {};
  DWORD size = sizeof text - sizeof(wchar_t);
  if (RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\desktop", name, RRF_RT_REG_SZ, nullptr, text,
                   &size) != ERROR_SUCCESS) {
    return fallback;
  }
  wchar_t* end = nullptr;
  const long value = wcstol(text, &end, 10);
  return end == text ? fallback : static_cast<int>(value);
}

}  // namespace

int ReadTileMode() {
  const int mode = ReadDesktopValue(L"TileWallpaper", 0);
  return mode >= 0 && mode <= 2 ? mode : 0;
}

int ReadWallpaperStyle() {
  const int style = ReadDesktopValue(L"WallpaperStyle", -1);
  return style >= 0 ? style : -1;
}

void WriteWallpaperStyle(int style) {
  WriteDesktopValue(L"WallpaperStyle", style);
}

bool DesktopShowsUnscaled(bool& tiled) {
  const int mode = ReadDesktopValue(L"TileWallpaper", 0);
  tiled = mode == 1;
  return (mode == 0 || mode == 1) && ReadDesktopValue(L"WallpaperStyle", 0) == 0;
}

bool DesktopCentresLargePictures() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr;
}

uint32_t DesktopColor() {
  return GetSysColor(COLOR_DESKTOP);
}

void SetDesktopWallpaper(const std::string& path) {
  std::wstring wide = ToWide(path);
  SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, wide.data(),
                        SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);
}

void SaveWallpaperBitmap(const TPicture& image, const std::string& path) {
  if (image.Empty()) return;
  TMemoryStream bmp;
  image.Graphic()->SaveToStream(bmp);
  WriteFileAtomically(path, std::string_view(reinterpret_cast<const char*>(bmp.Bytes().data()),
                                             bmp.Bytes().size()));
}
