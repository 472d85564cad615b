// HEIF pictures (HEIC, with HEVC inside, and AVIF, with AV1) decoded over libheif into a
// bottom-up 24-bit bitmap, the form our plug-ins hand to the host: the primary image with the
// file's own rotation, mirror and crop applied, grids joined, 10- and 12-bit samples rounded to
// 8 bits, transparency laid over a background colour. Portable (no <windows.h>): ifheif.spi,
// its native tests and the fuzz target share it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

enum class THeifResult { kOk, kNotHeif, kBroken, kTooLarge, kNoMemory, kUnsupported };

// The block the pixels go to, at least `size` bytes; nullptr when there is no memory.
using THeifAllocate = std::function<uint8_t*(size_t size)>;

struct THeifBackground {
  uint8_t Red = 0;
  uint8_t Green = 0;
  uint8_t Blue = 0;
  // Whether the host converts a picture from its profile: then a picture with alpha is
  // converted here, before it is laid over the background, which stays exactly as it is.
  bool HostConverts = true;
};

struct THeifPicture {
  uint32_t Width = 0;  // after the file's rotation and crop
  uint32_t Height = 0;
  size_t Bytes = 0;  // of the block in use: RowBytes(Width, 24) * Height
  int BitDepth = 8;  // of the coded luma samples
  bool HasAlpha = false;
  // The file's ICC profile; empty when it has none, and when it has alpha and the host converts,
  // for then its colours were converted to sRGB before they were laid over the background.
  std::vector<uint8_t> Icc;
};

// How a decode goes, for a caller that shows life while it runs (another thread reads it). Tiles
// counts the tiles of a grid (0 for a single image) and TilesDone those decoded; Cancel, set by
// the caller, makes libheif stop between tiles.
struct THeifProgress {
  std::atomic<uint64_t> Pixels{0};  // of the primary image, once the file is read
  std::atomic<int> Tiles{0};
  std::atomic<int> TilesDone{0};
  std::atomic<bool> Cancel{false};
};

// Runs `decode` on a thread of its own while the calling thread (the host's) calls `alive` every
// `beat` as a sign of life (false: the host asks to stop, and libheif stops between tiles). Life
// is shown for as long as a picture of its size may honestly take (10 s and 1 s a megapixel, a
// grid's decoded tile renewing it), so that a decode that hangs stops showing it and the host's
// deadline ends it. Returns as soon as the decode ends. Without `alive` it decodes here.
THeifResult DecodeShowingLife(const std::function<THeifResult(THeifProgress*)>& decode,
                              const std::function<bool(int done, int total)>& alive,
                              std::chrono::milliseconds beat = std::chrono::milliseconds(250));

// "ftyp" with a HEIF or AVIF brand among the first bytes (a few dozen are enough).
bool IsHeif(const uint8_t* data, size_t size);

// The primary image's size after its transformations, read without decoding; false when the
// data is no HEIF file libheif can read.
bool ReadHeifSize(const uint8_t* data, size_t size, uint32_t& width, uint32_t& height);

// Decodes the primary image into a block from `allocate`. A picture whose pixels, together
// with what libheif's decoding needs for it, would take more than `maxPixelBytes` is refused
// before its pixels are decoded, and so is a grid or overlay whose canvas would. On failure the
// block, if any was allocated, holds nothing of use. With `progress`, a grid's tiles are
// reported there as they are decoded.
THeifResult DecodeHeif24(const uint8_t* data, size_t size, THeifBackground back,
                         uint64_t maxPixelBytes, const THeifAllocate& allocate,
                         THeifPicture& picture, THeifProgress* progress = nullptr);
