// The pixel store of a device-independent bitmap: a BMP information header, a 256-entry colour
// table and the pixel block exactly as a BMP file keeps them (RLE data stays compressed).
// Stores are shared between pictures and copied before the first change (copy on write).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "decode/PixelBlock.h"
#include "decode/PixelMemory.h"

class TStream;

constexpr uint32_t BI_RGB_ = 0;
constexpr uint32_t BI_RLE8_ = 1;
constexpr uint32_t BI_RLE4_ = 2;
constexpr uint32_t BI_BITFIELDS_ = 3;

// The largest pixel block a header may ask for; anything bigger is refused before allocation.
// 1.25 GiB: a 20,000 x 20,000 picture of 24 bits fits, and a 32-bit process can still hold it.
constexpr uint64_t kMaxPixelBytes = uint64_t{5} << 28;

struct TBitmapInfoHeader {
  uint32_t biSize = 40;
  int32_t biWidth = 1;
  int32_t biHeight = 1;
  uint16_t biPlanes = 1;
  uint16_t biBitCount = 8;
  uint32_t biCompression = BI_RGB_;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 3780;
  int32_t biYPelsPerMeter = 3780;
  uint32_t biClrUsed = 256;
  uint32_t biClrImportant = 0;
};

enum class TDIBPixelFormat {
  dfOneBit = 0,
  dfFourBits = 1,
  dfFourBitsRLE = 2,
  dfEightBits = 3,
  dfEightBitsRLE = 4,
  dfTrueColor = 5,
  dfHalftoneColor = 6,
  dfHalftoneBW = 7,
};

class TDIBStore {
 public:
  TBitmapInfoHeader Header;
  std::array<TRGBQuad, 256> ColorTable{};
  TPixelBlock Pixels;  // the pixel block
  bool PaletteModified = false;

  // A 1 x 1, 8-bit store with 256 colours used, all zero.
  explicit TDIBStore(bool useFMO = false);
  bool UseFMO() const { return Pixels.UseFMO(); }

  // A zero-filled store: width > 0, height != 0, 0 <= colours <= 256, bits 1, 4, 8 or 24.
  static std::shared_ptr<TDIBStore> CreateDIB(int width, int height, int colors, int bitCount,
                                              bool useFMO);
  // Reads a BMP file image; EDIBInvalidDIBFile, EDIBInvalidDIB or EReadError on bad data.
  static std::shared_ptr<TDIBStore> LoadFromStream(TStream& stream, bool useFMO);
  // Reads a packed DIB (information header, colour table, pixels), as the clipboard holds it.
  static std::shared_ptr<TDIBStore> LoadPackedDIB(TStream& stream, bool useFMO);
  void SaveToStream(TStream& stream) const;
  // The packed DIB form: header, colours-used colour entries, pixels.
  std::vector<uint8_t> SavePackedDIB() const;

  int Width() const { return Header.biWidth; }
  int Height() const { return Header.biHeight < 0 ? -Header.biHeight : Header.biHeight; }
  bool TopDown() const { return Header.biHeight < 0; }
  int BitCount() const { return Header.biBitCount; }
  int ColorsUsed() const { return static_cast<int>(Header.biClrUsed); }
  size_t RowSize() const {
    return static_cast<size_t>(RowBytes(static_cast<uint64_t>(Width()), BitCount()));
  }
  // EDIBInvalidDIB for a combination of bit count and compression no format has.
  TDIBPixelFormat GetPixelFormat() const;
  std::vector<TRGBQuad> Colors() const {
    return {ColorTable.begin(), ColorTable.begin() + std::min(ColorsUsed(), 256)};
  }
  // Rows of the uncompressed layout in block order (RLE data expanded).
  std::vector<uint8_t> ExpandedPixels() const;
};
