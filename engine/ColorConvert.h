// Turning a picture's colours into sRGB, the colours the desktop shows, with Little CMS: once
// the picture is at the screen's size, so that the cost follows the screen, not the photo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "decode/ColorProfile.h"
#include "decode/Graphic.h"
#include "decode/Picture.h"

// A conversion of 24-bit blue-green-red pixels from a profile's colours to sRGB (perceptual
// intent). It may be used from several threads at once.
class TSrgbTransform;
// Whether the transform leaves every colour of a test grid (and every grey) within 1 of itself.
bool LeavesColoursAlone(const TSrgbTransform& transform);

class TSrgbTransform {
 public:
  // Null when the profile cannot serve (unreadable, not RGB) or gives sRGB's colours already:
  // no colour of a test grid moves by more than 1, so pictures in sRGB stay byte for byte.
  static std::unique_ptr<TSrgbTransform> Make(const TColorProfile& profile);
  TSrgbTransform(const TSrgbTransform&) = delete;
  TSrgbTransform& operator=(const TSrgbTransform&) = delete;
  ~TSrgbTransform();

  // Converts `count` pixels in place.
  void Convert(uint8_t* pixels, size_t count) const;

  // Whether the conversion goes through the profile's tone curves and matrix in this class's own
  // tables (profiles of that form, the commonest) rather than through Little CMS's transform.
  bool Direct() const { return transform_ == nullptr; }

 private:
  TSrgbTransform() = default;
  void* transform_ = nullptr;
  // The direct way: values to linear light per channel (red, green, blue), the matrix from the
  // profile's primaries to sRGB's, and linear light (in 65536 steps) back to sRGB's 8 bits.
  float linear_[3][256] = {};
  float matrix_[3][3] = {};
};

// Converts the held picture to sRGB where its profile says it is in other colours: the pixels
// inside `box` (the whole picture when null), which becomes a 24-bit bitmap. The holder keeps no
// profile afterwards, so a second call changes nothing. True when pixels changed.
bool ConvertHeldToSrgb(TPicture& holder, int threads = 1, const TRect* box = nullptr);
// The same for the rows of a 24-bit bitmap in the given profile's colours.
bool ConvertBitmapToSrgb(TBitmap& bitmap, const TColorProfile& profile, int threads = 1,
                         const TRect* box = nullptr);
