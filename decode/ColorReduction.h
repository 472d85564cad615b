// Palettes for pictures with more colours than an indexed format holds: median cut, which
// splits the colour set recursively, then every colour maps to its nearest palette entry.
#pragma once

#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "decode/PixelMemory.h"

struct TColorCount {
  uint8_t Red = 0;
  uint8_t Green = 0;
  uint8_t Blue = 0;
  uint64_t Count = 0;
};

// At most `maxColors` entries; `step` is called once per entry made (for progress).
std::vector<TRGBQuad> MedianCut(std::vector<TColorCount> colors, int maxColors,
                                const std::function<void(int made)>& step = {});

// The entry nearest to a colour (squared distance); the lowest index on a tie.
int NearestIndex(const std::vector<TRGBQuad>& palette, uint8_t red, uint8_t green, uint8_t blue);

// The colours of 24-bit rows: quality 0 counts 5-6-5 cells (with each cell's mean colour),
// quality 1 counts every distinct colour.
std::vector<TColorCount> CountColors(const uint8_t* rows, int width, int height, int quality);

// Maps 24-bit colours to palette indices, remembering each colour's answer: in a table over
// all 2^24 colours for big pictures, in a hash map for small ones.
class TNearestMap {
 public:
  TNearestMap(const std::vector<TRGBQuad>& palette, uint64_t pixelCount)
      : palette_(palette), useTable_(pixelCount > (uint64_t{1} << 20)) {}
  uint8_t Index(uint8_t red, uint8_t green, uint8_t blue);

 private:
  const std::vector<TRGBQuad>& palette_;
  bool useTable_;
  std::vector<uint16_t> table_;  // 0 = not yet known, else index + 1
  std::unordered_map<uint32_t, uint8_t> map_;
};
