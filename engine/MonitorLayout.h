// The monitors the wallpaper is made for: where each lies on the virtual screen, which one is
// the primary, and which pictures the others take.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "decode/Graphic.h"

struct TMonitor {
  TRect Bounds;    // virtual-screen pixels: the primary's top-left is (0, 0), others may be < 0
  TRect WorkArea;  // the bounds without the task bar
  bool Primary = false;
  int Dpi = 96;    // effective dots per inch
  std::string Id;  // the system's name of the monitor
};

using TMonitorLayout = std::vector<TMonitor>;

inline int RectWidth(const TRect& r) {
  return r.Right - r.Left;
}
inline int RectHeight(const TRect& r) {
  return r.Bottom - r.Top;
}
inline bool IsPortrait(int width, int height) {
  return height > width;
}

// The smallest rectangle holding every monitor.
TRect VirtualBounds(const TMonitorLayout& layout);

// The monitors in the order they take pictures: the primary first, then the others from left
// to right, top to bottom.
std::vector<size_t> PictureOrder(const TMonitorLayout& layout);

// Which picture each further monitor shows. `monitorPortrait` holds, in picture order, whether
// each monitor after the primary stands upright; `picturePortrait` whether each candidate picture
// (the next entries of the list, in order) is taller than wide. A monitor takes the first
// candidate left of its own orientation, else the first left: every candidate is shown once.
std::vector<size_t> AssignPictures(const std::vector<bool>& monitorPortrait,
                                   const std::vector<bool>& picturePortrait);
