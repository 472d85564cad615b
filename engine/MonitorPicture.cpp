#include "engine/MonitorPicture.h"

#include <algorithm>
#include <cstring>

#include "engine/Fit.h"
#include "engine/Resample.h"
#include "engine/ScreenFit.h"

namespace {

std::unique_ptr<TBitmap> Canvas(int width, int height, uint32_t background) {
  auto canvas = std::make_unique<TBitmap>();
  canvas->SetPixelFormat(TPixelFormat::pf24bit);
  canvas->SetSize(width, height);
  const uint8_t fill[3] = {static_cast<uint8_t>(background >> 16),
                           static_cast<uint8_t>(background >> 8), static_cast<uint8_t>(background)};
  for (int y = 0; y < height; ++y) {
    uint8_t* row = canvas->ScanLine(y);
    for (int x = 0; x < width; ++x) std::memcpy(row + x * 3, fill, 3);
  }
  return canvas;
}

int Modulo(int value, int modulus) {
  const int m = value % modulus;
  return m < 0 ? m + modulus : m;
}

// Copies row y of `source` into row `ty` of `target` from column `tx` on, wrapping at the
// target's right edge.
void CopyRowWrapped(const uint8_t* source, int width, uint8_t* target, int targetWidth, int tx) {
  int done = 0;
  while (done < width) {
    const int at = Modulo(tx + done, targetWidth);
    const int run = std::min(width - done, targetWidth - at);
    std::memcpy(target + static_cast<size_t>(at) * 3, source + static_cast<size_t>(done) * 3,
                static_cast<size_t>(run) * 3);
    done += run;
  }
}

}  // namespace

std::unique_ptr<TBitmap> RenderForMonitor(TPicture& holder, int width, int height,
                                          const TMonitorFit& fit, IBusyDisplay& busy, int threads) {
  if (holder.Empty() || width < 1 || height < 1)
    return Canvas(std::max(width, 1), std::max(height, 1), fit.Background);
  if (fit.FitMode == 1 || fit.FitMode == 2) {
    ScaleToScreen(holder, static_cast<TScreenFit>(fit.FitMode), width, height, fit.Background,
                  fit.SpeedPriority, busy, threads);
    holder.Realize();
    auto result = std::make_unique<TBitmap>();
    result->Assign(holder.Bitmap());
    holder.Clear();
    return result;
  }
  if (fit.ReSize) {
    TRect rect{0, 0, width, height};
    FitToRect(holder, rect, fit.SpeedPriority, busy, threads);
  }
  holder.Realize();
  TBitmap picture;
  picture.Assign(holder.Bitmap());
  holder.Clear();
  picture.SetPixelFormat(TPixelFormat::pf24bit);
  const int pw = picture.Width();
  const int ph = picture.Height();
  if (fit.TileMode == 2) {
    if (pw == width && ph == height) {
      auto same = std::make_unique<TBitmap>();
      same->Assign(&picture);
      return same;
    }
    return fit.SpeedPriority ? StretchNearest(picture, width, height)
                             : ResampleBitmap(picture, width, height, threads);
  }
  auto canvas = Canvas(width, height, fit.Background);
  if (fit.TileMode == 1) {
    // Tiles from the monitor's top-left corner, or from where the centred picture would lie.
    const int ox = fit.TileCentred && pw < width ? (width - pw) / 2 : 0;
    const int oy = fit.TileCentred && ph < height ? (height - ph) / 2 : 0;
    for (int y = 0; y < height; ++y) {
      const uint8_t* source = picture.ScanLine(Modulo(y - oy, ph));
      uint8_t* row = canvas->ScanLine(y);
      for (int x = 0; x < width;) {
        const int sx = Modulo(x - ox, pw);
        const int run = std::min(pw - sx, width - x);
        std::memcpy(row + static_cast<size_t>(x) * 3, source + static_cast<size_t>(sx) * 3,
                    static_cast<size_t>(run) * 3);
        x += run;
      }
    }
    return canvas;
  }
  // Centred: a larger picture shows its middle.
  const int left = (width - pw) / 2;
  const int top = (height - ph) / 2;
  for (int y = std::max(top, 0); y < std::min(top + ph, height); ++y) {
    const int x0 = std::max(left, 0);
    const int x1 = std::min(left + pw, width);
    std::memcpy(canvas->ScanLine(y) + static_cast<size_t>(x0) * 3,
                picture.ScanLine(y - top) + static_cast<size_t>(x0 - left) * 3,
                static_cast<size_t>(x1 - x0) * 3);
  }
  return canvas;
}

std::unique_ptr<TBitmap> ComposeSpanning(const TMonitorLayout& layout,
                                         const std::vector<const TBitmap*>& pictures,
                                         uint32_t background) {
  const TRect all = VirtualBounds(layout);
  const int width = RectWidth(all);
  const int height = RectHeight(all);
  auto span = Canvas(std::max(width, 1), std::max(height, 1), background);
  for (size_t i = 0; i < layout.size() && i < pictures.size(); ++i) {
    const TBitmap* picture = pictures[i];
    if (picture == nullptr) continue;
    const TRect& bounds = layout[i].Bounds;
    const int rows = std::min(picture->Height(), RectHeight(bounds));
    const int columns = std::min(picture->Width(), RectWidth(bounds));
    for (int y = 0; y < rows; ++y) {
      // Tiled from (0, 0), virtual point (x, y) shows pixel (x mod width, y mod height).
      CopyRowWrapped(picture->ScanLine(y), columns, span->ScanLine(Modulo(bounds.Top + y, height)),
                     width, bounds.Left);
    }
  }
  return span;
}
