// What ifwebp.spi does with a file, over any bytes: IsSupported's signature check, the header
// GetPictureInfo reads, and GetPicture's decoding into a 24-bit bitmap (the same functions the
// plug-in calls). A decode gives a whole picture of the header's size in the block it asked
// for, or fails; never a crash, a read past the data or a block larger than the limit. Progress
// runs from 0 up to 99 and an abort (picked by the last byte) stops the decoding.
// Bytes that do not start with "RIFF" are put in a RIFF WEBP container of the right size, so
// that the fuzzer reaches the chunks and the decoders without having to count bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "addons/webp/WebpDecode.h"
#include "decode/PixelMemory.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t inputSize) {
  if (inputSize == 0) return 0;
  std::vector<uint8_t> made;
  const uint8_t* data = input;
  size_t size = inputSize;
  if (inputSize < 4 || std::memcmp(input, "RIFF", 4) != 0) {
    const uint32_t riff = static_cast<uint32_t>(inputSize + 4);
    made = {'R',
            'I',
            'F',
            'F',
            static_cast<uint8_t>(riff),
            static_cast<uint8_t>(riff >> 8),
            static_cast<uint8_t>(riff >> 16),
            static_cast<uint8_t>(riff >> 24),
            'W',
            'E',
            'B',
            'P'};
    made.insert(made.end(), input, input + inputSize);
    data = made.data();
    size = made.size();
  }
  const uint8_t choice = input[inputSize - 1];
  constexpr uint64_t kLimit = uint64_t{1} << 24;

  FUZZ_CHECK(IsWebp(data, size) == (size >= 12 && std::memcmp(data + 8, "WEBP", 4) == 0));
  TWebpHeader header;
  const bool known = ReadWebpHeader(data, size, header);
  if (known) FUZZ_CHECK(header.Width > 0 && header.Height > 0);

  std::vector<uint8_t> block;
  int allocations = 0;
  const TWebpAllocate allocate = [&](size_t bytes) -> uint8_t* {
    FUZZ_CHECK(bytes <= kLimit);
    ++allocations;
    block.assign(bytes, 0xA5);
    return block.data();
  };
  const int stopAt = (choice & 0x80) != 0 ? choice % 8 : -1;
  int reports = 0;
  int last = -1;
  const TWebpProgress progress = [&](int percent) {
    FUZZ_CHECK(percent >= 0 && percent <= 99);
    FUZZ_CHECK(reports > 0 || percent == 0);
    FUZZ_CHECK(percent >= last);
    last = percent;
    return reports++ != stopAt;
  };
  const TWebpBackground back{choice, static_cast<uint8_t>(choice * 7), 0x40};
  TWebpPicture picture;
  const TWebpResult result = DecodeWebp24(data, size, back, kLimit, allocate, progress, picture);
  FUZZ_CHECK(allocations <= 1);
  if (result == TWebpResult::kAborted) FUZZ_CHECK(stopAt >= 0 && reports == stopAt + 1);
  if (result != TWebpResult::kOk) return 0;
  // A whole picture, of the size the header tells, in the block it asked for.
  FUZZ_CHECK(known);
  FUZZ_CHECK(picture.Width == header.Width && picture.Height == header.Height);
  FUZZ_CHECK(picture.Bytes == RowBytes(picture.Width, 24) * picture.Height);
  FUZZ_CHECK(allocations == 1 && picture.Bytes <= block.size());
  return 0;
}
