#include "engine/MonitorPicture.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <system_error>

#include "base/WorkerThread.h"
#include "decode/DIBErrors.h"
#include "engine/BusyDisplay.h"
#include "engine/ColorConvert.h"
#include "engine/Fit.h"
#include "engine/Resample.h"
#include "engine/ScreenFit.h"

namespace {

// The holder's picture as a 24-bit bitmap, taken over rather than copied where it is one.
std::unique_ptr<TBitmap> TakeBitmap(TPicture& holder) {
  holder.Realize();
  std::unique_ptr<TGraphic> graphic = holder.ReleaseGraphic();
  std::unique_ptr<TBitmap> bitmap;
  if (dynamic_cast<TBitmap*>(graphic.get()) != nullptr) {
    bitmap.reset(static_cast<TBitmap*>(graphic.release()));
  } else {
    bitmap = std::make_unique<TBitmap>();
    bitmap->Assign(graphic.get());
  }
  bitmap->SetPixelFormat(TPixelFormat::pf24bit);
  return bitmap;
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
    return BackgroundBitmap(std::max(width, 1), std::max(height, 1), fit.Background);
  if (!fit.ColorManagement) holder.SetProfile(nullptr);
  if (fit.FitMode == 1 || fit.FitMode == 2) {
    ScaleToScreen(holder, static_cast<TScreenFit>(fit.FitMode), width, height, fit.Background,
                  fit.SpeedPriority, busy, threads, fit.BlurBackground);
    return TakeBitmap(holder);
  }
  if (fit.ReSize) {
    TRect rect{0, 0, width, height};
    FitToRect(holder, rect, fit.SpeedPriority, busy, threads);
  }
  ConvertHeldToSrgb(holder, threads);
  std::unique_ptr<TBitmap> taken = TakeBitmap(holder);
  const TBitmap& picture = *taken;
  const int pw = picture.Width();
  const int ph = picture.Height();
  if (pw == width && ph == height) return taken;  // already the monitor's picture
  if (fit.TileMode == 2) {
    return fit.SpeedPriority ? StretchNearest(picture, width, height)
                             : ResampleBitmap(picture, width, height, threads);
  }
  auto canvas = BackgroundBitmap(width, height, fit.Background);
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

std::vector<std::unique_ptr<TBitmap>> RenderMonitors(std::vector<TPicture>& holders,
                                                     const TMonitorLayout& layout, size_t primary,
                                                     const TMonitorFit& fit, IBusyDisplay& busy) {
  // Workers leave the busy display alone: it belongs to the window's thread.
  struct TQuiet final : IBusyDisplay {
    uint32_t PanelColor() override { return 0; }
    void SetPanelColor(uint32_t) override {}
    void SetAppTitle(const std::string&) override {}
    std::string Caption() override { return {}; }
  };
  const size_t count = std::min(holders.size(), layout.size());
  std::vector<std::unique_ptr<TBitmap>> bitmaps(count);
  std::vector<TQuiet> quiet(count);
  auto render = [&](size_t i, IBusyDisplay& display, int threads) {
    const TRect& b = layout[i].Bounds;
    if (i != primary) {
      try {
        bitmaps[i] = RenderForMonitor(holders[i], RectWidth(b), RectHeight(b), fit, display, 1);
        return;
      } catch (const std::exception&) {
        holders[i].Clear();  // a picture that fails on a further monitor leaves it empty
      }
    }
    bitmaps[i] = RenderForMonitor(holders[i], RectWidth(b), RectHeight(b), fit, display, threads);
  };
  std::vector<TWorkerThread> workers;
  for (size_t i = 0; i < count; ++i) {
    if (i == primary) continue;
    try {
      workers.emplace_back([&render, &quiet, i] { render(i, quiet[i], 1); });
    } catch (const std::system_error&) {
      render(i, quiet[i], 1);  // no thread to spare: here, in turn
    }
  }
  // With one monitor its picture has both cores.
  std::exception_ptr error;
  if (primary < count) {
    try {
      render(primary, busy, workers.empty() ? 2 : 1);
    } catch (...) {
      error = std::current_exception();
    }
  }
  for (TWorkerThread& worker : workers) worker.Join();
  if (error) std::rethrow_exception(error);
  return bitmaps;
}

std::unique_ptr<TBitmap> ComposeSpanning(const TMonitorLayout& layout,
                                         const std::vector<const TBitmap*>& pictures,
                                         uint32_t background) {
  const TRect all = VirtualBounds(layout);
  const int width = RectWidth(all);
  const int height = RectHeight(all);
  auto span = BackgroundBitmap(std::max(width, 1), std::max(height, 1), background);
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
