#include <doctest/doctest.h>

#include <cstdint>
#include <string>

#include "addons/webp/WebpDecode.h"

namespace {

void Le32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A lossless WebP that claims `width` x `height` pixels in a few bytes.
std::string LosslessClaim(uint32_t width, uint32_t height, bool alpha) {
  std::string chunk = "\x2F";
  Le32(chunk, (width - 1) | ((height - 1) << 14) | (alpha ? 1u << 28 : 0u));
  chunk += std::string(31, '\0');  // an even chunk: RIFF pads odd ones
  std::string file = "RIFF";
  Le32(file, static_cast<uint32_t>(4 + 8 + chunk.size()));
  file += "WEBPVP8L";
  Le32(file, static_cast<uint32_t>(chunk.size()));
  return file + chunk;
}

}  // namespace

TEST_CASE("WebP sizes count libwebp's own buffers before anything is allocated") {
  const uint64_t limit = uint64_t{5} << 28;  // the host's limit for a picture's pixels
  const struct {
    uint32_t width, height;
    bool alpha;
    TWebpResult expected;
  } cases[] = {
      // 805 MB of 24-bit pixels fit the limit alone; with libwebp's 1.07 GB beside them they
      // do not.
      {16383, 16383, false, TWebpResult::kTooLarge},
      {16383, 16383, true, TWebpResult::kTooLarge},
      {12000, 12000, false, TWebpResult::kNoMemory},  // 432 MB and 576 MB: within
      // Small enough: the block is asked for, and the broken data then fails.
      {4000, 3000, false, TWebpResult::kNoMemory},
  };
  for (const auto& c : cases) {
    CAPTURE(c.width);
    CAPTURE(c.alpha);
    const std::string file = LosslessClaim(c.width, c.height, c.alpha);
    size_t asked = 0;
    TWebpPicture picture;
    const TWebpResult result = DecodeWebp24(
        reinterpret_cast<const uint8_t*>(file.data()), file.size(), TWebpBackground{}, limit,
        [&](size_t size) -> uint8_t* {
          asked = size;
          return nullptr;
        },
        {}, picture);
    CHECK(result == c.expected);
    if (c.expected == TWebpResult::kTooLarge) CHECK(asked == 0);
  }
}
