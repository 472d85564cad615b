// Unfiltered PNG rows into the bitmaps: samples into the image bitmap's format (16-bit samples
// by their high byte, 2-bit ones as 4-bit pixels, true colour as blue-green-red or 5-6-5),
// alpha inverted into the alpha bitmap, each pixel of a pass row into its own column.
#pragma once

#include <cstdint>

#include "decode/Bitmap.h"
#include "decode/PngCodec.h"

class TPngRowConverter {
 public:
  // `alpha` receives 255 - alpha for the colour types with an alpha channel.
  TPngRowConverter(const TPngHeader& header, TBitmap& image, TBitmap* alpha, bool rgb565)
      : header_(header), image_(image), alpha_(alpha), rgb565_(rgb565) {}

  void operator()(const uint8_t* in, const TPngPass& pass, uint32_t row);

 private:
  const TPngHeader& header_;
  TBitmap& image_;
  TBitmap* alpha_;
  bool rgb565_;
};
