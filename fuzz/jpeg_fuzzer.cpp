// The JPEG class over any bytes: loading reads the header or fails with EJPEG, decoding gives a
// whole bitmap or fails, never a crash, a leak of the decompressor or a read past the data.
// The Exif orientation is read over the same bytes, and the picture's size is upright by it.
// Shrinking straight from the decoder's rows gives the bytes of shrinking the decoded bitmap
// (within 1 for a picture that is turned or mirrored: it is shrunk as stored, then turned).
// The ArcLink reader gets the same bytes as lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "base/Stream.h"
#include "decode/ExifOrientation.h"
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

  const int orientation = ReadExifOrientation(data, size);
  FUZZ_CHECK(orientation >= 1 && orientation <= 8);

  TJPEGImage jpeg;
  try {
    TBytesStream stream(data, size);
    jpeg.LoadFromStream(stream);
  } catch (const EJPEG&) {
    return 0;
  }
  FUZZ_CHECK(jpeg.Orientation() == orientation);
  const bool swaps = jpeg.Orientation() >= 5;
  FUZZ_CHECK(jpeg.Width() == (swaps ? jpeg.StoredHeight() : jpeg.StoredWidth()));
  FUZZ_CHECK(jpeg.Height() == (swaps ? jpeg.StoredWidth() : jpeg.StoredHeight()));
  // Only small pictures: the fuzzer looks for broken streams, not for big ones.
  if (static_cast<int64_t>(jpeg.Width()) * jpeg.Height() > (1 << 22)) return 0;
  TBitmap bitmap;
  try {
    const int width = jpeg.Width();
    const int height = jpeg.Height();
    bitmap.Assign(&jpeg);
    FUZZ_CHECK(bitmap.Empty() || (bitmap.Width() == width && bitmap.Height() == height));
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
    FUZZ_CHECK(streamed->Width() == newWidth && streamed->Height() == newHeight);
    for (int y = 0; y < newHeight; ++y) {
      const uint8_t* a = streamed->ScanLine(y);
      const uint8_t* b = expected->ScanLine(y);
      if (orientation == 1) {
        FUZZ_CHECK(std::memcmp(a, b, static_cast<size_t>(newWidth) * 3) == 0);
        continue;
      }
      for (size_t i = 0; i < static_cast<size_t>(newWidth) * 3; ++i) {
        FUZZ_CHECK(std::abs(a[i] - b[i]) <= 1);
      }
    }
  }
  return 0;
}
