// WebP pictures decoded into a bottom-up 24-bit bitmap, the form our plug-ins hand to the host:
// lossy, lossless and the first frame of an animation, with transparency laid over a background
// colour. Portable (no <windows.h>): ifwebp.spi and the fuzz target share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "decode/DIBStore.h"

struct TWebpHeader {
  uint32_t Width = 0;  // the canvas of an animation
  uint32_t Height = 0;
  bool HasAlpha = false;
  bool Animated = false;
};

enum class TWebpResult { kOk, kNotWebp, kBroken, kTooLarge, kNoMemory, kAborted };

// The block the pixels go to, at least `size` bytes; nullptr when there is no memory.
using TWebpAllocate = std::function<uint8_t*(size_t size)>;
// The part decoded so far, 0 to 100; false stops the decoding.
using TWebpProgress = std::function<bool(int percent)>;

struct TWebpBackground {
  uint8_t Red = 0;
  uint8_t Green = 0;
  uint8_t Blue = 0;
  // Whether the host converts a picture from its profile: then, where the background shows, the
  // picture's colours are converted here before it goes in, and the background stays as it is.
  bool HostConverts = true;
};

struct TWebpPicture {
  uint32_t Width = 0;
  uint32_t Height = 0;
  size_t Bytes = 0;          // of the block in use: RowBytes(Width, 24) * Height
  std::vector<uint8_t> Icc;  // the file's ICC profile, empty when it has none or it is applied
};

// "RIFF", a size, "WEBP": what IsSupported looks at.
bool IsWebp(const uint8_t* data, size_t size);

// Size, alpha and animation from the first bytes (a few dozen are enough); false when they do
// not start a WebP picture.
bool ReadWebpHeader(const uint8_t* data, size_t size, TWebpHeader& header);

// Decodes the picture (the first frame of an animation, on its canvas) into a block from
// `allocate`. A picture whose pixels, or the block its decoding needs, would take more than
// `maxPixelBytes` is refused before anything is allocated. Transparent and partly transparent
// pixels, and the canvas around a smaller first frame, take the background colour as BlendOver
// lays it. On failure the block, if any was allocated, holds nothing of use.
TWebpResult DecodeWebp24(const uint8_t* data, size_t size, TWebpBackground back,
                         uint64_t maxPixelBytes, const TWebpAllocate& allocate,
                         const TWebpProgress& progress, TWebpPicture& picture);
