// The JPEG class over any bytes: loading reads the header or fails with EJPEG, decoding gives a
// whole bitmap or fails, never a crash, a leak of the decompressor or a read past the data.
// Shrinking straight from the decoder's rows gives the bytes of shrinking the decoded bitmap.
// The ArcLink reader gets the same bytes as lines.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>

#include "base/Stream.h"
#include "decode/JPEGImage.h"
#include "engine/ArcLink.h"
#include "engine/ListFile.h"
#include "engine/Resample.h"
#include "engine/ResampleJpeg.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TArcLink link;
  try {
    if (ParseArcLink(SplitListLines(std::string(reinterpret_cast<const char*>(data), size)),
                     link)) {
      FUZZ_CHECK(link.Size >= 0);
    }
  } catch (const std::exception&) {
  }

  TJPEGImage jpeg;
  try {
    TBytesStream stream(data, size);
    jpeg.LoadFromStream(stream);
  } catch (const EJPEG&) {
    return 0;
  }
  // Only small pictures: the fuzzer looks for broken streams, not for big ones.
  if (static_cast<int64_t>(jpeg.Width()) * jpeg.Height() > (1 << 22)) return 0;
  TBitmap bitmap;
  try {
    bitmap.Assign(&jpeg);
    FUZZ_CHECK(bitmap.Width() == jpeg.Width() || bitmap.Empty());
  } catch (const EJPEG&) {
    return 0;
  }
  if (bitmap.Empty() || !jpeg.CanDecodeRows()) return 0;
  const int newWidth = (jpeg.Width() + 2) / 3;
  const int newHeight = (jpeg.Height() + 1) / 2;
  const auto expected = ResampleBitmap(bitmap, newWidth, newHeight);
  for (int threads : {1, 2}) {
    TJPEGImage again;
    again.Assign(&jpeg);
    const auto streamed = ResampleJpeg(again, newWidth, newHeight, threads);
    for (int y = 0; y < newHeight; ++y) {
      FUZZ_CHECK(std::memcmp(streamed->ScanLine(y), expected->ScanLine(y),
                             static_cast<size_t>(newWidth) * 3) == 0);
    }
  }
  return 0;
}
