// The PNG class over any bytes: a load gives a whole picture (the alpha bitmap, when there is
// one, of the image's size) with progress from starting to ending, or fails with EPngGraphic;
// never a crash, a read past the data or an allocation the data cannot fill. A loaded picture
// writes and reads back to the same colours and alpha. The last byte picks the 16-bit option,
// the writer's filter choice and interlacing, so that one target walks many paths.
// Bytes that do not start with the PNG signature are made into a PNG first: a small header
// from the first bytes, a palette and tRNS, and the rest deflated as the image data, so that
// filters, passes and converters see arbitrary rows without the fuzzer having to find deflate.
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/Stream.h"
#include "decode/PngCodec.h"
#include "decode/PngGraphic.h"
#include "fuzz/FuzzCheck.h"
#include "tests/decode/PngBuilder.h"
#include "tests/decode/PngRgba.h"

namespace {

void AppendChunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& body) {
  const TBytes chunk = png_build::Chunk(type, body);
  png.insert(png.end(), chunk.begin(), chunk.end());
}

// A PNG around the bytes: header fields from the first 8, the rest as image data; with bit 1 of
// byte 4 the data is repeated or cut to exactly the size the header asks for.
std::vector<uint8_t> MakePng(const uint8_t* data, size_t size) {
  static const uint8_t kTypes[] = {0, 2, 3, 4, 6, 0, 3, 1};
  static const uint8_t kDepths[] = {1, 2, 4, 8, 16, 8, 8, 3};
  const uint32_t width = 1 + data[0] % 40;
  const uint32_t height = 1 + data[1] % 40;
  const uint8_t type = kTypes[data[2] % 8];
  const uint8_t depth = kDepths[data[3] % 8];
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<uint8_t> header;
  for (uint32_t v : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<uint8_t>(v >> shift));
  }
  header.insert(header.end(), {depth, type, 0, 0, static_cast<uint8_t>(data[4] & 1)});
  AppendChunk(png, "IHDR", header);
  const size_t entries = 1 + data[5];
  std::vector<uint8_t> palette;
  for (size_t i = 0; i < entries * 3; ++i) palette.push_back(static_cast<uint8_t>(i * 37));
  AppendChunk(png, "PLTE", palette);
  const size_t alphas = data[6] % (entries + 1);
  std::vector<uint8_t> trns;
  for (size_t i = 0; i < std::max<size_t>(alphas, 6); ++i) {
    trns.push_back(static_cast<uint8_t>(i % 3 == 0 ? 0 : i * data[7]));
  }
  AppendChunk(png, "tRNS", trns);
  std::vector<uint8_t> raw(data + 8, data + size);
  if ((data[4] & 2) != 0 && !raw.empty()) {
    TPngHeader h;
    h.Width = width;
    h.Height = height;
    h.BitDepth = depth;
    h.ColorType = type;
    h.Interlace = data[4] & 1;
    const size_t want = PngChannels(type) != 0 ? static_cast<size_t>(PngImageDataSize(h)) : 0;
    for (size_t i = raw.size(); i < want; ++i) raw.push_back(raw[i % (size - 8)]);
    raw.resize(want);
  }
  uLongf packed = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> z(packed);
  compress2(z.data(), &packed, raw.data(), static_cast<uLong>(raw.size()), 1);
  z.resize(packed);
  AppendChunk(png, "IDAT", z);
  AppendChunk(png, "IEND", {});
  return png;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t inputSize) {
  if (inputSize == 0) return 0;
  std::vector<uint8_t> made;
  const uint8_t* data = input;
  size_t size = inputSize;
  if (inputSize > 8 && std::memcmp(input, "\x89PNG", 4) != 0) {
    made = MakePng(input, inputSize);
    data = made.data();
    size = made.size();
  }
  const uint8_t choice = input[inputSize - 1];
  TPngGraphic png;
  png.Output16Bit = (choice & 1) != 0;
  png.MaxPixelBytes = uint64_t{1} << 24;
  std::vector<int> stages;
  png.OnProgress = [&](TGraphic&, TProgressStage stage, uint8_t percent, bool, const TRect&,
                       const std::string&) {
    FUZZ_CHECK(percent <= 100);
    stages.push_back(static_cast<int>(stage));
  };
  try {
    TBytesStream stream(data, size);
    png.LoadFromStream(stream);
  } catch (const EPngGraphic&) {
    FUZZ_CHECK(stages.empty() || stages.back() == static_cast<int>(TProgressStage::psEnding));
    return 0;
  }
  FUZZ_CHECK(!png.Empty());
  FUZZ_CHECK(stages.size() >= 2 && stages.front() == 0 && stages.back() == 2);
  if (png.HasAlpha) {
    FUZZ_CHECK(png.Alpha().Width() == png.Width() && png.Alpha().Height() == png.Height());
    FUZZ_CHECK(png.Alpha().PixelFormat() == TPixelFormat::pf8bit);
  }
  if (static_cast<uint64_t>(png.Width()) * png.Height() > (1u << 16)) return 0;

  png.FilterChoice = static_cast<uint8_t>((choice >> 1) % 6);
  png.Interlace = (choice >> 4) & 1;
  TMemoryStream out;
  png.SaveToStream(out);
  TPngGraphic back;
  back.Output16Bit = png.Output16Bit;
  TBytesStream again(out.Bytes().data(), out.Bytes().size());
  back.LoadFromStream(again);
  FUZZ_CHECK(back.Width() == png.Width() && back.Height() == png.Height());
  FUZZ_CHECK(Rgba(back) == Rgba(png));
  return 0;
}
