// Colour profiles as files carry them: any bytes as an ICC profile, and the same bytes as the
// colour fields of a bitmap header. A profile that Little CMS cannot read, or that is not RGB,
// gives no transform; one that it can converts pixels in place without reading past them.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "decode/ColorProfile.h"
#include "engine/ColorConvert.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TColorProfile profile;
  profile.Icc.assign(data, data + size);
  if (const auto transform = TSrgbTransform::Make(profile)) {
    std::vector<uint8_t> pixels(3 * 64);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 37);
    transform->Convert(pixels.data(), 64);
  }
  // The same bytes after a 124-byte header that says where they are, or as its colour fields.
  std::vector<uint8_t> info(124 + size, 0);
  const uint32_t header = 124;
  std::memcpy(info.data(), &header, 4);
  std::memcpy(info.data() + 124, data, size);
  TColorProfile embedded;
  embedded.Icc.assign(data, data + size);
  WriteBitmapHeaderProfile(info.data(), embedded, 124);
  if (const TColorProfilePtr back = BitmapHeaderProfile(info.data(), info.size())) {
    FUZZ_CHECK(back->Icc == embedded.Icc);
  }
  std::vector<uint8_t> fields(124, 0);
  std::memcpy(fields.data(), &header, 4);
  std::memcpy(fields.data() + 56, data, std::min<size_t>(size, 68));
  if (const TColorProfilePtr calibrated = BitmapHeaderProfile(fields.data(), fields.size())) {
    FUZZ_CHECK(calibrated->Calibrated() || !calibrated->Icc.empty());
    TSrgbTransform::Make(*calibrated);
  }
  return 0;
}
