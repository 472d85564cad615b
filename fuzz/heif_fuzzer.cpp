// What ifheif.spi does with a file, over any bytes: IsSupported's brand check, the size
// GetPictureInfo reads, and GetPicture's decoding into a 24-bit bitmap (the same functions the
// plug-in calls, over libheif with its HEVC and AV1 decoders). A decode gives a whole picture
// of the size read before in the block it asked for, or fails; never a crash, a read past the
// data or a block larger than the limit. The seeds are heif-enc's and avifenc's files.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "addons/heif/HeifDecode.h"
#include "decode/PixelMemory.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bool heif = IsHeif(data, size);
  uint32_t width = 0;
  uint32_t height = 0;
  const bool sized = heif && ReadHeifSize(data, size, width, height);
  // A small budget keeps the fuzzer fast; pictures past it are refused before their decoding.
  constexpr uint64_t kLimit = uint64_t{64} << 20;
  std::vector<uint8_t> block;
  size_t asked = 0;
  THeifPicture picture;
  const THeifResult result = DecodeHeif24(
      data, size, THeifBackground{1, 2, 3}, kLimit,
      [&](size_t bytes) -> uint8_t* {
        FUZZ_CHECK(block.empty());  // one block a picture
        FUZZ_CHECK(bytes <= kLimit);
        asked = bytes;
        block.assign(bytes, 0);
        return block.data();
      },
      picture);
  if (!heif) FUZZ_CHECK(result == THeifResult::kNotHeif);
  if (result == THeifResult::kOk) {
    FUZZ_CHECK(sized);
    FUZZ_CHECK(picture.Width == width && picture.Height == height);
    FUZZ_CHECK(picture.Bytes == RowBytes(picture.Width, 24) * picture.Height);
    FUZZ_CHECK(picture.Bytes == asked);
  }
  return 0;
}
