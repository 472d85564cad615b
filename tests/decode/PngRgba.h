// A decoded PNG as red, green, blue, alpha bytes, top row first (the form of PngSuite's expected
// pixels): alpha from the alpha bitmap, or 0 where a transparent image bitmap has its
// transparent colour (a palette index or a colour).
#pragma once

#include <cstdint>
#include <vector>

#include "decode/PngGraphic.h"

inline unsigned PngIndexAt(const TBitmap& bitmap, int x, int y) {
  return IndexInRow(bitmap.ScanLine(y), static_cast<uint32_t>(x), bitmap.BitCount());
}

inline std::vector<uint8_t> Rgba(const TPngGraphic& png) {
  const TBitmap& image = png.Image();
  std::vector<uint8_t> out;
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      const TRGBQuad c = image.GetPixel(x, y);
      uint8_t a = 255;
      if (png.HasAlpha) {
        a = static_cast<uint8_t>(255 - png.Alpha().ScanLine(y)[x]);
      } else if (image.Transparent) {
        const TColor t = image.TransparentColor;
        const bool clear = t >= kPaletteReference ? PngIndexAt(image, x, y) ==
                                                        static_cast<unsigned>(t - kPaletteReference)
                                                  : t == (c.Red | (c.Green << 8) | (c.Blue << 16));
        if (clear) a = 0;
      }
      out.insert(out.end(), {c.Red, c.Green, c.Blue, a});
    }
  }
  return out;
}
