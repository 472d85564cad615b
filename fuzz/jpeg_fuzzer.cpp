// The JPEG class over any bytes: loading reads the header or fails with EJPEG, decoding gives a
// whole bitmap or fails, never a crash, a leak of the decompressor or a read past the data.
// The ArcLink reader gets the same bytes as lines.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "base/Stream.h"
#include "decode/JPEGImage.h"
#include "engine/ArcLink.h"
#include "engine/ListFile.h"
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
  try {
    TBitmap bitmap;
    bitmap.Assign(&jpeg);
    FUZZ_CHECK(bitmap.Width() == jpeg.Width() || bitmap.Empty());
  } catch (const EJPEG&) {
  }
  return 0;
}
