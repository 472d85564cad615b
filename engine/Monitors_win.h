// The monitors as the system reports them, and the system's wallpaper per monitor
// (IDesktopWallpaper, Windows 8 and later) behind a small interface that tests replace.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/MonitorLayout.h"

// Every monitor's rectangle, work area, primary flag and effective DPI, from
// EnumDisplayMonitors and GetMonitorInfoW. Never empty: without an answer, the primary screen.
TMonitorLayout ReadMonitorLayout();

class IMonitorWallpaper {
 public:
  virtual ~IMonitorWallpaper() = default;
  // The monitors the system's wallpaper knows: their id and rectangle.
  virtual std::vector<std::pair<std::wstring, TRect>> Monitors() = 0;
  // Shows every monitor's picture whole (the fill position; the system writes it into the
  // desktop's WallpaperStyle and TileWallpaper); false when the system refuses.
  virtual bool SetFillPosition() = 0;
  // Shows the bitmap file on one monitor; false when the system refuses.
  virtual bool SetWallpaper(const std::wstring& monitorId, const std::wstring& path) = 0;
};

// The system's per-monitor wallpaper, or null where there is none (Windows 7; Wine, where
// creating it fails with REGDB_E_CLASSNOTREG).
std::unique_ptr<IMonitorWallpaper> OpenMonitorWallpaper();
