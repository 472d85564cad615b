// The colours a picture's pixels are in, as its file states them: an ICC profile (JPEG APP2,
// PNG iCCP, WebP ICCP, HEIF colr), or a calibrated RGB space (PNG cHRM and gAMA, the calibrated
// RGB of a bitmap's V4 and V5 headers). A picture that states nothing, or sRGB, has no profile.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct TColorProfile {
  // An ICC profile as the file carried it; when empty, the calibrated space below.
  std::vector<uint8_t> Icc;
  // CIE x, y of white, red, green and blue, and the exponent that turns values into linear
  // light (2.2: value^2.2).
  std::array<double, 8> Chromaticities{};
  double Gamma = 0;

  bool Calibrated() const { return Icc.empty() && Gamma > 0; }
  bool operator==(const TColorProfile&) const = default;
};
using TColorProfilePtr = std::shared_ptr<const TColorProfile>;

// sRGB's white (D65) and primaries, as cHRM writes them.
constexpr std::array<double, 8> kSrgbChromaticities{0.3127, 0.3290, 0.64, 0.33,
                                                    0.30,   0.60,   0.15, 0.06};

// The largest profile read from a file; a larger one is ignored.
constexpr size_t kMaxIccBytes = size_t{8} << 20;

// The environment variable by which the program tells its own plug-ins (and the helper it
// starts) whether it converts pictures from their colour profiles: "0" when 色を補正する is off.
constexpr const char* kColorManagementVariable = "VESKO2_COLOR_MANAGEMENT";

// The ICC profile of a JPEG file: its APP2 "ICC_PROFILE" segments before the scan, joined in
// their sequence order. Null when there is none, or when the segments do not hold together
// (a number missing, repeated or out of range).
TColorProfilePtr ReadJpegIccProfile(const uint8_t* data, size_t size);

// A profile a file carried whole (WebP ICCP, HEIF colr), or null when it is empty or of a size no
// profile has.
TColorProfilePtr IccColorProfile(std::vector<uint8_t> icc);

// What a PNG states: an sRGB chunk means sRGB (null); else its iCCP profile (inflated); else
// cHRM and gAMA, where they differ from sRGB by more than the 5 % libpng itself overlooks.
// `gamma` is gAMA's value (0.45455 for 1/2.2; 0 when there is none), `chromaticities` cHRM's
// (all 0 when there is none), each already divided by 100000.
TColorProfilePtr PngColorProfile(bool srgbChunk, std::vector<uint8_t> icc, double gamma,
                                 const std::array<double, 8>& chromaticities);

// The colour space of a plug-in's or a file's bitmap header (`info`, `size` bytes, of which the
// header takes its own first field's count): an embedded profile of a 124-byte header that lies
// inside `size`, or a calibrated RGB space whose values make sense. Null for anything else,
// old 40-byte headers included.
TColorProfilePtr BitmapHeaderProfile(const uint8_t* info, size_t size);

// Writes the colour fields of a 124-byte bitmap header at `header`: the calibrated space, or an
// embedded profile said to lie `profileOffset` bytes from the header's start. The caller copies
// the profile's bytes there.
void WriteBitmapHeaderProfile(uint8_t* header, const TColorProfile& profile,
                              uint32_t profileOffset);

// The CIE XYZ of red, green and blue at full strength (9 values) whose sum is the white of
// `chromaticities` at Y = 1; false when the chromaticities do not span a space.
bool PrimariesToXyz(const std::array<double, 8>& chromaticities, std::array<double, 9>& xyz);
