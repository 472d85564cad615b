#include "engine/ScreenFit.h"

#include <algorithm>
#include <cstring>

#include "decode/DIBImage.h"
#include "decode/JPEGImage.h"
#include "engine/BlurBackground.h"
#include "engine/BusyDisplay.h"
#include "engine/ColorConvert.h"
#include "engine/Fit.h"
#include "engine/Resample.h"
#include "engine/ResampleJpeg.h"

namespace {

// a * b / c rounded to nearest, at least 1 and at most `limit`.
int ScaledLength(int64_t a, int64_t b, int64_t c, int limit) {
  const int64_t value = (2 * a * b + c) / (2 * c);
  return static_cast<int>(std::clamp<int64_t>(value, 1, limit));
}

bool Wider(int width, int height, int screenWidth, int screenHeight) {
  return int64_t{width} * screenHeight > int64_t{screenWidth} * height;
}

// The 24-bit rows of the holder's picture as they lie: a plug-in's DIB or a device bitmap.
struct TRows {
  int Width = 0;
  int Height = 0;
  std::function<const uint8_t*(int y)> RowAt;
  TBitmap Converted;  // a bitmap of another pixel format, widened to 24 bits
};

void HeldRows(TPicture& holder, TRows& rows) {
  if ((rows.RowAt = DibRows(holder))) {
    rows.Width = holder.Width();
    rows.Height = holder.Height();
    return;
  }
  holder.Realize();
  const TBitmap* bitmap = holder.Bitmap();
  if (bitmap->PixelFormat() != TPixelFormat::pf24bit) {
    rows.Converted.Assign(bitmap);
    rows.Converted.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap = &rows.Converted;
  }
  rows.Width = bitmap->Width();
  rows.Height = bitmap->Height();
  rows.RowAt = [bitmap](int y) { return bitmap->ScanLine(y); };
}

// The box of the source scaled to width × height.
std::unique_ptr<TBitmap> ScaleBox(TPicture& holder, const TRect& box, int width, int height,
                                  bool speedPriority, int threads) {
  const int boxWidth = box.Right - box.Left;
  const int boxHeight = box.Bottom - box.Top;
  const auto* jpeg = dynamic_cast<const TJPEGImage*>(holder.Graphic());
  if (!speedPriority && jpeg != nullptr && !jpeg->Decoded() && jpeg->CanDecodeRows()) {
    // Straight from the decoder's rows: the full-size picture is never held.
    return ResampleJpeg(*jpeg, width, height, threads, &box);
  }
  TRows rows;
  HeldRows(holder, rows);
  const auto rowAt = [&rows, box](int y) { return rows.RowAt(box.Top + y) + box.Left * 3; };
  return speedPriority ? StretchNearestRows(boxWidth, boxHeight, rowAt, width, height)
                       : ResampleRows(boxWidth, boxHeight, rowAt, width, height, threads);
}

}  // namespace

std::unique_ptr<TBitmap> BackgroundBitmap(int width, int height, uint32_t background) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(TPixelFormat::pf24bit);
  bitmap->SetSize(width, height);
  if (background == 0 || height < 1) return bitmap;  // new pixels are black already
  const uint8_t fill[3] = {static_cast<uint8_t>(background >> 16),
                           static_cast<uint8_t>(background >> 8), static_cast<uint8_t>(background)};
  uint8_t* first = bitmap->ScanLine(0);
  for (int x = 0; x < width; ++x) std::memcpy(first + x * 3, fill, 3);
  for (int y = 1; y < height; ++y)
    std::memcpy(bitmap->ScanLine(y), first, static_cast<size_t>(width) * 3);
  return bitmap;
}

TScreenPlan PlanFill(int width, int height, int screenWidth, int screenHeight) {
  TScreenPlan plan;
  plan.Target = TRect{0, 0, screenWidth, screenHeight};
  plan.Source = TRect{0, 0, width, height};
  if (width < 1 || height < 1 || screenWidth < 1 || screenHeight < 1) return plan;
  if (Wider(width, height, screenWidth, screenHeight)) {
    const int shown = ScaledLength(height, screenWidth, screenHeight, width);
    plan.Source.Left = (width - shown) / 2;
    plan.Source.Right = plan.Source.Left + shown;
  } else {
    const int shown = ScaledLength(width, screenHeight, screenWidth, height);
    plan.Source.Top = (height - shown) / 2;
    plan.Source.Bottom = plan.Source.Top + shown;
  }
  return plan;
}

TScreenPlan PlanContain(int width, int height, int screenWidth, int screenHeight) {
  TScreenPlan plan;
  plan.Source = TRect{0, 0, width, height};
  plan.Target = TRect{0, 0, screenWidth, screenHeight};
  if (width < 1 || height < 1 || screenWidth < 1 || screenHeight < 1) return plan;
  int w = screenWidth;
  int h = screenHeight;
  if (Wider(width, height, screenWidth, screenHeight)) {
    h = ScaledLength(height, screenWidth, width, screenHeight);
  } else {
    w = ScaledLength(width, screenHeight, height, screenWidth);
  }
  plan.Target.Left = (screenWidth - w) / 2;
  plan.Target.Top = (screenHeight - h) / 2;
  plan.Target.Right = plan.Target.Left + w;
  plan.Target.Bottom = plan.Target.Top + h;
  return plan;
}

void ScaleToScreen(TPicture& holder, TScreenFit mode, int screenWidth, int screenHeight,
                   uint32_t background, bool speedPriority, IBusyDisplay& busy, int threads,
                   bool blurBackground) {
  if (mode == TScreenFit::Desktop || holder.Empty() || screenWidth < 1 || screenHeight < 1) return;
  TBusyScope scope(busy, 255, "ReSize..");
  busy.SetWaitCursor(true);
  struct TCursor {
    IBusyDisplay& busy;
    ~TCursor() { busy.SetWaitCursor(false); }
  } cursor{busy};
  const int width = holder.Width();
  const int height = holder.Height();
  if (width < 1 || height < 1) return;
  const TScreenPlan plan = mode == TScreenFit::Fill
                               ? PlanFill(width, height, screenWidth, screenHeight)
                               : PlanContain(width, height, screenWidth, screenHeight);
  const int targetWidth = plan.Target.Right - plan.Target.Left;
  const int targetHeight = plan.Target.Bottom - plan.Target.Top;
  std::unique_ptr<TBitmap> scaled =
      ScaleBox(holder, plan.Source, targetWidth, targetHeight, speedPriority, threads);
  // The picture's colours become sRGB at the screen's size; the background stays as it is.
  if (const TColorProfilePtr profile = holder.Profile()) {
    ConvertBitmapToSrgb(*scaled, *profile, threads);
    holder.SetProfile(nullptr);
  }
  if (targetWidth == screenWidth && targetHeight == screenHeight) {
    holder.Take(std::move(scaled));
    return;
  }
  holder.Clear();  // the source's memory goes before the screen-sized bitmap is made
  auto screen = blurBackground
                    ? BlurredBackground(*scaled, screenWidth, screenHeight, threads, plan.Target)
                    : BackgroundBitmap(screenWidth, screenHeight, background);
  for (int y = plan.Target.Top; y < plan.Target.Bottom; ++y) {
    std::memcpy(screen->ScanLine(y) + plan.Target.Left * 3, scaled->ScanLine(y - plan.Target.Top),
                static_cast<size_t>(targetWidth) * 3);
  }
  holder.Take(std::move(screen));
}

TRect VisiblePart(int width, int height, int screenWidth, int screenHeight, bool fromTopLeft) {
  TRect box{0, 0, width, height};
  if (width > screenWidth && screenWidth > 0) {
    box.Left = fromTopLeft ? 0 : (width - screenWidth) / 2;
    box.Right = box.Left + screenWidth;
  }
  if (height > screenHeight && screenHeight > 0) {
    box.Top = fromTopLeft ? 0 : (height - screenHeight) / 2;
    box.Bottom = box.Top + screenHeight;
  }
  return box;
}

void CropPicture(TPicture& holder, const TRect& box) {
  if (holder.Empty() || box == TRect{0, 0, holder.Width(), holder.Height()}) return;
  TRows rows;
  HeldRows(holder, rows);
  const int width = box.Right - box.Left;
  const int height = box.Bottom - box.Top;
  auto cropped = std::make_unique<TBitmap>();
  cropped->SetPixelFormat(TPixelFormat::pf24bit);
  cropped->SetSize(width, height);
  for (int y = 0; y < height; ++y) {
    std::memcpy(cropped->ScanLine(y), rows.RowAt(box.Top + y) + box.Left * 3,
                static_cast<size_t>(width) * 3);
  }
  holder.Take(std::move(cropped));
}
