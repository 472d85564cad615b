// IDesktopWallpaper is declared for Windows 8 and later; the program still runs on Windows 7,
// where creating it simply fails.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0602
#include <windows.h>

#include "engine/Monitors_win.h"
// After windows.h.
#include <shobjidl.h>

#include "base/ComPtr_win.h"
#include "base/Unicode_win.h"

namespace {

using TGetDpiForMonitor = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

// The effective DPI of a monitor (Windows 8.1 and later), else the screen's.
int MonitorDpi(HMONITOR monitor) {
  static const auto getDpi = [] {
    HMODULE shcore = LoadLibraryW(L"shcore.dll");
    return shcore != nullptr ? reinterpret_cast<TGetDpiForMonitor>(reinterpret_cast<void*>(
                                   GetProcAddress(shcore, "GetDpiForMonitor")))
                             : nullptr;
  }();
  UINT x = 0;
  UINT y = 0;
  if (getDpi != nullptr && SUCCEEDED(getDpi(monitor, 0 /* MDT_EFFECTIVE_DPI */, &x, &y)) && x > 0)
    return static_cast<int>(x);
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

TRect ToRect(const RECT& r) {
  return TRect{r.left, r.top, r.right, r.bottom};
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM context) {
  MONITORINFOEXW info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(monitor, &info)) return TRUE;
  TMonitor m;
  m.Bounds = ToRect(info.rcMonitor);
  m.WorkArea = ToRect(info.rcWork);
  m.Primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
  m.Dpi = MonitorDpi(monitor);
  m.Id = ToUtf8(info.szDevice);
  reinterpret_cast<TMonitorLayout*>(context)->push_back(m);
  return TRUE;
}

class TSystemMonitorWallpaper final : public IMonitorWallpaper {
 public:
  // A failed creation leaves the pointer null.
  TSystemMonitorWallpaper() {
    CoCreateInstance(CLSID_DesktopWallpaper, nullptr, CLSCTX_ALL, IID_IDesktopWallpaper,
                     reinterpret_cast<void**>(&wallpaper_));
  }
  bool Valid() const { return wallpaper_.get() != nullptr; }

  std::vector<std::pair<std::wstring, TRect>> Monitors() override {
    std::vector<std::pair<std::wstring, TRect>> monitors;
    UINT count = 0;
    if (FAILED(wallpaper_->GetMonitorDevicePathCount(&count))) return monitors;
    for (UINT i = 0; i < count; ++i) {
      LPWSTR id = nullptr;
      if (FAILED(wallpaper_->GetMonitorDevicePathAt(i, &id)) || id == nullptr) continue;
      RECT r{};
      if (SUCCEEDED(wallpaper_->GetMonitorRECT(id, &r))) monitors.emplace_back(id, ToRect(r));
      CoTaskMemFree(id);
    }
    return monitors;
  }
  bool SetFillPosition() override { return SUCCEEDED(wallpaper_->SetPosition(DWPOS_FILL)); }
  bool SetWallpaper(const std::wstring& monitorId, const std::wstring& path) override {
    return SUCCEEDED(wallpaper_->SetWallpaper(monitorId.c_str(), path.c_str()));
  }

 private:
  TComPtr<IDesktopWallpaper> wallpaper_;
};

}  // namespace

TMonitorLayout ReadMonitorLayout() {
  TMonitorLayout layout;
  EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&layout));
  if (layout.empty()) {
    TMonitor m;
    m.Bounds = TRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    m.WorkArea = ToRect(work);
    m.Primary = true;
    layout.push_back(m);
  }
  return layout;
}

std::unique_ptr<IMonitorWallpaper> OpenMonitorWallpaper() {
  auto wallpaper = std::make_unique<TSystemMonitorWallpaper>();
  if (!wallpaper->Valid()) return nullptr;
  return wallpaper;
}
