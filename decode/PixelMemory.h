// Where a bitmap's pixels live: plain memory in the portable build, a DIB section on Windows so
// that GDI can draw into them without a copy. Rows are bottom-up, padded to 4 bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct TRGBQuad {
  uint8_t Blue = 0;
  uint8_t Green = 0;
  uint8_t Red = 0;
  uint8_t Reserved = 0;
  bool operator==(const TRGBQuad&) const = default;
};

// Bytes per row of a bitmap: rows are padded to whole 32-bit words. 64-bit so that callers can
// check a size before they trust it.
inline uint64_t RowBytes(uint64_t width, uint64_t bitCount) {
  return ((width * bitCount + 31) / 32) * 4;
}

// The palette index of pixel x in a row of a 1-, 4- or 8-bit bitmap (the leftmost pixel in the
// high bits of its byte).
inline unsigned IndexInRow(const uint8_t* row, uint32_t x, int bitCount) {
  if (bitCount == 1) return (row[x / 8] >> (7 - x % 8)) & 1;
  if (bitCount == 4) return (x & 1) ? row[x / 2] & 0x0F : row[x / 2] >> 4;
  return row[x];
}

struct TPixelLayout {
  int Width = 0;
  int Height = 0;       // rows, > 0
  int BitCount = 24;    // 1, 4, 8, 16, 24 or 32
  bool Rgb565 = false;  // 16 bits: 5-6-5 bit fields instead of 5-5-5
};

class TPixelMemory {
 public:
  virtual ~TPixelMemory() = default;
  virtual uint8_t* Bits() = 0;
  virtual size_t Size() const = 0;
  // Keeps the colour table of a device bitmap in step (entries up to 256).
  virtual void SetColorTable(const std::vector<TRGBQuad>& colors) = 0;
  // The platform handle (an HBITMAP on Windows), or null.
  virtual void* Handle() const = 0;
};

// Zero-filled pixels for the layout.
std::unique_ptr<TPixelMemory> AllocatePixelMemory(const TPixelLayout& layout);

// Frees the pixel memory kept for reuse (the big DIB sections of recent pictures).
void ReleaseCachedPixelMemory();

// Where new bitmaps of this module take their pixels from instead (null: AllocatePixelMemory).
// A plug-in sets it so that a picture is decoded straight into the block it hands over.
using TPixelAllocator = std::unique_ptr<TPixelMemory> (*)(const TPixelLayout& layout);
// Returns the allocator that was set before.
TPixelAllocator SetPixelAllocator(TPixelAllocator allocator);
