#include "engine/MonitorLayout.h"

#include <algorithm>
#include <numeric>

TRect VirtualBounds(const TMonitorLayout& layout) {
  if (layout.empty()) return {};
  TRect all = layout.front().Bounds;
  for (const TMonitor& m : layout) {
    all.Left = std::min(all.Left, m.Bounds.Left);
    all.Top = std::min(all.Top, m.Bounds.Top);
    all.Right = std::max(all.Right, m.Bounds.Right);
    all.Bottom = std::max(all.Bottom, m.Bounds.Bottom);
  }
  return all;
}

std::vector<size_t> PictureOrder(const TMonitorLayout& layout) {
  std::vector<size_t> order(layout.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&layout](size_t a, size_t b) {
    const TMonitor& ma = layout[a];
    const TMonitor& mb = layout[b];
    if (ma.Primary != mb.Primary) return ma.Primary;
    if (ma.Bounds.Left != mb.Bounds.Left) return ma.Bounds.Left < mb.Bounds.Left;
    return ma.Bounds.Top < mb.Bounds.Top;
  });
  return order;
}

std::vector<size_t> AssignPictures(const std::vector<bool>& monitorPortrait,
                                   const std::vector<bool>& picturePortrait) {
  std::vector<size_t> chosen;
  std::vector<bool> used(picturePortrait.size(), false);
  for (const bool portrait : monitorPortrait) {
    size_t pick = picturePortrait.size();
    for (size_t i = 0; i < picturePortrait.size(); ++i) {
      if (used[i]) continue;
      if (pick == picturePortrait.size()) pick = i;  // the first left, whatever it is
      if (picturePortrait[i] == portrait) {
        pick = i;
        break;
      }
    }
    if (pick == picturePortrait.size()) break;  // fewer pictures than monitors
    used[pick] = true;
    chosen.push_back(pick);
  }
  return chosen;
}
