// A picture made for one monitor, and the bitmap that shows every monitor's picture at once
// where the system has no wallpaper per monitor.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "decode/Bitmap.h"
#include "decode/Picture.h"
#include "engine/MonitorLayout.h"

class IBusyDisplay;

// How a picture meets a monitor: the program's fill or fit (FitMode 1, 2), else the desktop's
// tile (1), centre (0) or wide (2) mode, done here as the desktop would do it on that monitor
// alone, after the optional shrink.
struct TMonitorFit {
  int FitMode = 0;
  int TileMode = 0;
  bool ReSize = false;
  bool SpeedPriority = false;
  bool TileCentred = false;  // tiles start where a centred picture would lie
  uint32_t Background = 0;   // 0x00BBGGRR, where the picture does not reach
  bool ColorManagement = true;
  bool BlurBackground = false;  // fit's uncovered parts show the picture blurred  // a picture with
                                // a colour profile is turned into sRGB
};

// The holder's picture as a 24-bit bitmap of exactly width × height; the holder is emptied.
std::unique_ptr<TBitmap> RenderForMonitor(TPicture& holder, int width, int height,
                                          const TMonitorFit& fit, IBusyDisplay& busy,
                                          int threads = 1);

// Every monitor's picture (holders[i] for layout[i]), made at once: the further monitors on
// threads of their own beside this one, each decoding and scaling on one thread, which on two
// cores takes less time than one after the other with two threads each. Only this thread's
// picture shows on the busy display. An error of the primary monitor's picture (`primary`) is
// raised here; another monitor whose picture fails shows the background.
std::vector<std::unique_ptr<TBitmap>> RenderMonitors(std::vector<TPicture>& holders,
                                                     const TMonitorLayout& layout, size_t primary,
                                                     const TMonitorFit& fit, IBusyDisplay& busy);

// The bitmap which, tiled from the primary monitor's top-left corner, shows each monitor's
// picture (pictures[i] for layout[i], of that monitor's size) on that monitor: as large as the
// virtual screen, so a monitor left of or above the primary lands where the tiling wraps.
// Where no monitor lies: `background`.
std::unique_ptr<TBitmap> ComposeSpanning(const TMonitorLayout& layout,
                                         const std::vector<const TBitmap*>& pictures,
                                         uint32_t background);
