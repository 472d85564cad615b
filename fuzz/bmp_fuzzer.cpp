// The BMP reader and the RLE decoders: any bytes either load or fail with an error; a loaded
// picture expands, converts, writes and reads back to the same pixels. The last byte picks a
// conversion so that one target walks many paths.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "base/Stream.h"
#include "decode/Bitmap.h"
#include "decode/DIBImage.h"
#include "decode/Rle.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The RLE decoders alone, on a small picture the first two bytes choose.
  const int w = 1 + data[0] % 64;
  const int h = 1 + data[1] % 64;
  try {
    const auto rows8 = DecodeRle8(data + 2, size - 2, w, h);
    FUZZ_CHECK(rows8.size() == static_cast<size_t>(RowBytes(static_cast<uint64_t>(w), 8) * h));
  } catch (const std::exception&) {
  }
  try {
    const auto rows4 = DecodeRle4(data + 2, size - 2, w, h);
    FUZZ_CHECK(rows4.size() == static_cast<size_t>(RowBytes(static_cast<uint64_t>(w), 4) * h));
  } catch (const std::exception&) {
  }

  TDIBImage dib;
  try {
    TBytesStream stream(data, size);
    dib.LoadFromStream(stream);
  } catch (const std::exception&) {
    FUZZ_CHECK(dib.Width() == 1 && dib.Height() == 1);  // unchanged on failure
    return 0;
  }
  const uint64_t pixels = static_cast<uint64_t>(dib.Width()) * dib.Height();
  if (pixels > (1u << 18)) return 0;  // big pictures only slow the search down

  TBitmap bitmap;
  bitmap.Assign(&dib);
  FUZZ_CHECK(bitmap.Width() == dib.Width() && bitmap.Height() == dib.Height());

  TMemoryStream out;
  dib.SaveToStream(out);
  TDIBImage back;
  TBytesStream again(out.Bytes().data(), out.Bytes().size());
  back.LoadFromStream(again);
  FUZZ_CHECK(back.Store().Pixels == dib.Store().Pixels);

  static const TDIBPixelFormat formats[] = {
      TDIBPixelFormat::dfOneBit,        TDIBPixelFormat::dfFourBits,
      TDIBPixelFormat::dfFourBitsRLE,   TDIBPixelFormat::dfEightBits,
      TDIBPixelFormat::dfEightBitsRLE,  TDIBPixelFormat::dfTrueColor,
      TDIBPixelFormat::dfHalftoneColor, TDIBPixelFormat::dfHalftoneBW};
  const uint8_t choice = data[size - 1];
  dib.ReductionQuality = choice & 1;
  dib.SetPixelFormat(formats[(choice >> 1) % 8]);
  TBitmap converted;
  converted.Assign(&dib);
  FUZZ_CHECK(converted.Width() == dib.Width());
  return 0;
}
