#include "decode/ColorReduction.h"

#include <algorithm>
#include <array>
#include <tuple>
#include <unordered_map>

namespace {

struct TBox {
  size_t begin;
  size_t end;  // colours [begin, end) of the working vector
  uint64_t population;
  int longestAxis;
  int range;
};

uint8_t Channel(const TColorCount& c, int axis) {
  return axis == 0 ? c.Red : axis == 1 ? c.Green : c.Blue;
}

TBox MakeBox(const std::vector<TColorCount>& colors, size_t begin, size_t end) {
  std::array<int, 3> lo{255, 255, 255};
  std::array<int, 3> hi{0, 0, 0};
  uint64_t population = 0;
  for (size_t i = begin; i < end; ++i) {
    for (int axis = 0; axis < 3; ++axis) {
      lo[axis] = std::min<int>(lo[axis], Channel(colors[i], axis));
      hi[axis] = std::max<int>(hi[axis], Channel(colors[i], axis));
    }
    population += colors[i].Count;
  }
  int axis = 0;
  for (int a = 1; a < 3; ++a) {
    if (hi[a] - lo[a] > hi[axis] - lo[axis]) axis = a;
  }
  return TBox{begin, end, population, axis, hi[axis] - lo[axis]};
}

TRGBQuad MeanColor(const std::vector<TColorCount>& colors, const TBox& box) {
  uint64_t sums[3] = {0, 0, 0};
  uint64_t weight = 0;
  for (size_t i = box.begin; i < box.end; ++i) {
    const uint64_t w = std::max<uint64_t>(colors[i].Count, 1);
    sums[0] += colors[i].Red * w;
    sums[1] += colors[i].Green * w;
    sums[2] += colors[i].Blue * w;
    weight += w;
  }
  if (weight == 0) return {};
  TRGBQuad q;
  q.Red = static_cast<uint8_t>((sums[0] + weight / 2) / weight);
  q.Green = static_cast<uint8_t>((sums[1] + weight / 2) / weight);
  q.Blue = static_cast<uint8_t>((sums[2] + weight / 2) / weight);
  return q;
}

}  // namespace

std::vector<TRGBQuad> MedianCut(std::vector<TColorCount> colors, int maxColors,
                                const std::function<void(int)>& step) {
  std::vector<TRGBQuad> palette;
  if (colors.empty() || maxColors <= 0) return palette;
  std::vector<TBox> boxes{MakeBox(colors, 0, colors.size())};
  while (static_cast<int>(boxes.size()) < maxColors) {
    // Split the most populous box that still holds more than one colour.
    int chosen = -1;
    for (size_t i = 0; i < boxes.size(); ++i) {
      if (boxes[i].end - boxes[i].begin < 2 || boxes[i].range == 0) continue;
      if (chosen < 0 || boxes[i].population > boxes[static_cast<size_t>(chosen)].population) {
        chosen = static_cast<int>(i);
      }
    }
    if (chosen < 0) break;
    const TBox box = boxes[static_cast<size_t>(chosen)];
    const int axis = box.longestAxis;
    std::sort(colors.begin() + static_cast<ptrdiff_t>(box.begin),
              colors.begin() + static_cast<ptrdiff_t>(box.end),
              [axis](const TColorCount& a, const TColorCount& b) {
                return Channel(a, axis) < Channel(b, axis);
              });
    // The weighted median, kept strictly inside the box so both halves are non-empty.
    uint64_t half = box.population / 2;
    size_t split = box.begin + 1;
    uint64_t running = 0;
    for (size_t i = box.begin; i < box.end - 1; ++i) {
      running += colors[i].Count;
      split = i + 1;
      if (running >= half) break;
    }
    boxes[static_cast<size_t>(chosen)] = MakeBox(colors, box.begin, split);
    boxes.push_back(MakeBox(colors, split, box.end));
    if (step) step(static_cast<int>(boxes.size()));
  }
  palette.reserve(boxes.size());
  for (const TBox& box : boxes) palette.push_back(MeanColor(colors, box));
  return palette;
}

int NearestIndex(const std::vector<TRGBQuad>& palette, uint8_t red, uint8_t green, uint8_t blue) {
  int best = 0;
  int bestDistance = 1 << 30;
  for (size_t i = 0; i < palette.size(); ++i) {
    const int dr = palette[i].Red - red;
    const int dg = palette[i].Green - green;
    const int db = palette[i].Blue - blue;
    const int d = dr * dr + dg * dg + db * db;
    if (d < bestDistance) {
      bestDistance = d;
      best = static_cast<int>(i);
      if (d == 0) break;
    }
  }
  return best;
}

std::vector<TColorCount> CountColors(const uint8_t* rows, int width, int height, int quality) {
  const size_t stride = static_cast<size_t>(RowBytes(static_cast<uint64_t>(width), 24));
  std::vector<TColorCount> colors;
  if (quality == 0) {
    struct TCell {
      uint64_t count = 0, red = 0, green = 0, blue = 0;
    };
    std::vector<TCell> cells(65536);
    for (int y = 0; y < height; ++y) {
      const uint8_t* p = rows + stride * static_cast<size_t>(y);
      for (int x = 0; x < width; ++x, p += 3) {
        TCell& cell = cells[((p[2] >> 3) << 11) | ((p[1] >> 2) << 5) | (p[0] >> 3)];
        ++cell.count;
        cell.blue += p[0];
        cell.green += p[1];
        cell.red += p[2];
      }
    }
    for (const TCell& cell : cells) {
      if (cell.count == 0) continue;
      colors.push_back(TColorCount{static_cast<uint8_t>(cell.red / cell.count),
                                   static_cast<uint8_t>(cell.green / cell.count),
                                   static_cast<uint8_t>(cell.blue / cell.count), cell.count});
    }
    return colors;
  }
  std::unordered_map<uint32_t, uint64_t> counts;
  for (int y = 0; y < height; ++y) {
    const uint8_t* p = rows + stride * static_cast<size_t>(y);
    for (int x = 0; x < width; ++x, p += 3) ++counts[(p[2] << 16) | (p[1] << 8) | p[0]];
  }
  colors.reserve(counts.size());
  for (const auto& [rgb, count] : counts) {
    colors.push_back(TColorCount{static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                                 static_cast<uint8_t>(rgb), count});
  }
  // Hash order is not stable between library versions: sort for repeatable palettes.
  std::sort(colors.begin(), colors.end(), [](const TColorCount& a, const TColorCount& b) {
    return std::tie(a.Red, a.Green, a.Blue) < std::tie(b.Red, b.Green, b.Blue);
  });
  return colors;
}

uint8_t TNearestMap::Index(uint8_t red, uint8_t green, uint8_t blue) {
  const uint32_t key = (static_cast<uint32_t>(red) << 16) | (green << 8) | blue;
  if (useTable_) {
    if (table_.empty()) table_.assign(size_t{1} << 24, 0);
    uint16_t& slot = table_[key];
    if (slot == 0) slot = static_cast<uint16_t>(NearestIndex(palette_, red, green, blue) + 1);
    return static_cast<uint8_t>(slot - 1);
  }
  const auto found = map_.find(key);
  if (found != map_.end()) return found->second;
  const auto index = static_cast<uint8_t>(NearestIndex(palette_, red, green, blue));
  map_.emplace(key, index);
  return index;
}
