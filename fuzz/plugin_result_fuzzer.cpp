// What a plug-in hands back: an information block and a pixel block of any content and size.
// The host's checks must refuse anything that would make it read past either block; what they
// accept must become a picture (or fail with an error) without reading outside the blocks.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <vector>

#include "base/Stream.h"
#include "decode/ColorProfile.h"
#include "decode/DIBImage.h"
#include "decode/SPIRules.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  // First two bytes: how much of the rest is the information block; the pixel block is the
  // remainder. Separate allocations let the sanitizer see any read past either one.
  const size_t infoSize = std::min<size_t>(size - 2, (data[0] | (data[1] << 8)) % 1200);
  std::vector<uint8_t> info(data + 2, data + 2 + infoSize);
  std::vector<uint8_t> pixels(data + 2 + infoSize, data + size);
  info.shrink_to_fit();
  pixels.shrink_to_fit();

  // A later header's colour space: a profile it says it embeds lies inside the block.
  if (const TColorProfilePtr profile = BitmapHeaderProfile(info.data(), info.size())) {
    FUZZ_CHECK(profile->Icc.size() < info.size());
  }
  const TPluginDib dib = CheckPluginDib(info.data(), info.size(), pixels.size());
  if (!dib.Valid) return 0;
  FUZZ_CHECK(dib.HeaderSize <= info.size());
  FUZZ_CHECK(dib.ImageSize <= pixels.size());
  if (static_cast<uint64_t>(dib.Width) *
          static_cast<uint64_t>(dib.Height < 0 ? -int64_t{dib.Height} : dib.Height) >
      (1u << 20)) {
    return 0;
  }
  std::vector<uint8_t> bmp = PluginBmpHead(info.data(), dib);
  bmp.insert(bmp.end(), pixels.begin(), pixels.begin() + dib.ImageSize);
  TDIBImage image;
  try {
    TBytesStream stream(bmp.data(), bmp.size());
    image.LoadFromStream(stream);
    FUZZ_CHECK(image.Width() == dib.Width);
  } catch (const std::exception&) {
  }
  return 0;
}
