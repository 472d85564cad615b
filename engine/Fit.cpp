#include "engine/Fit.h"

#include <algorithm>
#include <cstring>

#include "decode/DIBImage.h"
#include "decode/JPEGImage.h"
#include "engine/BusyDisplay.h"
#include "engine/Resample.h"
#include "engine/ResampleJpeg.h"

namespace {

int Trunc(long double value) {
  return static_cast<int>(value);
}

}  // namespace

TFitPlan PlanFit(int w, int h, int rw, int rh) {
  TFitPlan plan;
  plan.Left = w < rw ? (rw - w) / 2 : 0;
  plan.Top = h < rh ? (rh - h) / 2 : 0;
  if ((w < rw && h < rh) || w == 0 || h == 0 || rw == 0 || rh == 0) return plan;
  const double r = static_cast<double>(h) / w;
  const long double rl = r;
  int nw = 0;
  int nh = 0;
  auto byWidth = [&] {
    nw = rw;
    nh = Trunc(rw * rl);
  };
  auto byHeight = [&] {
    nw = Trunc(rh / rl);
    nh = rh;
  };
  if (rh < rw) {
    if (r < 1) {
      byWidth();
      if (nh > rh) byHeight();
    } else {
      byHeight();
    }
  } else if (r < 1) {
    byWidth();
  } else {
    byHeight();
    if (nw > rw) byWidth();
  }
  nw = std::max(nw, 1);
  nh = std::max(nh, 1);
  if (nw == w && nh == h) return plan;  // already fits exactly: resampling 1:1 would blur it
  plan.Shrink = true;
  plan.Width = nw;
  plan.Height = nh;
  return plan;
}

std::unique_ptr<TBitmap> StretchNearestRows(int sourceWidth, int sourceHeight,
                                            const std::function<const uint8_t*(int y)>& rowAt,
                                            int width, int height) {
  auto result = std::make_unique<TBitmap>();
  result->SetPixelFormat(TPixelFormat::pf24bit);
  result->SetSize(width, height);
  std::vector<int> columns(static_cast<size_t>(width));
  for (int x = 0; x < width; ++x) {
    columns[static_cast<size_t>(x)] = static_cast<int>(int64_t{x} * sourceWidth / width);
  }
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = rowAt(static_cast<int>(int64_t{y} * sourceHeight / height));
    uint8_t* out = result->ScanLine(y);
    for (int x = 0; x < width; ++x)
      std::memcpy(out + x * 3, in + columns[static_cast<size_t>(x)] * 3, 3);
  }
  return result;
}

std::unique_ptr<TBitmap> StretchNearest(const TBitmap& source, int width, int height) {
  const TBitmap* pixels = &source;
  TBitmap working;
  if (source.PixelFormat() != TPixelFormat::pf24bit) {
    working.Assign(&source);
    working.SetPixelFormat(TPixelFormat::pf24bit);
    pixels = &working;
  }
  return StretchNearestRows(
      pixels->Width(), pixels->Height(), [pixels](int y) { return pixels->ScanLine(y); }, width,
      height);
}

bool IsPlainTrueColor(const TDIBStore& store) {
  return store.BitCount() == 24 && store.Header.biCompression == BI_RGB_ && store.Width() > 0 &&
         store.Height() > 0 &&
         store.Pixels.size() >= RowBytes(static_cast<uint64_t>(store.Width()), 24) *
                                    static_cast<uint64_t>(store.Height());
}

std::function<const uint8_t*(int y)> DibRows(const TPicture& holder) {
  const auto* dib = dynamic_cast<const TDIBImage*>(holder.Graphic());
  if (dib == nullptr || !IsPlainTrueColor(dib->Store())) return {};
  const TDIBStore& store = dib->Store();
  const int height = store.Height();
  const size_t stride = static_cast<size_t>(RowBytes(static_cast<uint64_t>(store.Width()), 24));
  const uint8_t* pixels = store.Pixels.data();
  const bool topDown = store.TopDown();
  return [=](int y) { return pixels + stride * static_cast<size_t>(topDown ? y : height - 1 - y); };
}

void FitToRect(TPicture& holder, TRect& rect, bool speedPriority, IBusyDisplay& busy, int threads) {
  if (holder.Empty()) return;
  struct TGuard {
    IBusyDisplay& busy;
    TBusyScope scope;
    explicit TGuard(IBusyDisplay& b) : busy(b), scope(b, 255, "ReSize..") {
      busy.SetWaitCursor(true);
    }
    TGuard(const TGuard&) = delete;
    TGuard& operator=(const TGuard&) = delete;
    ~TGuard() { busy.SetWaitCursor(false); }
  } guard(busy);
  const TFitPlan plan =
      PlanFit(holder.Width(), holder.Height(), rect.Right - rect.Left, rect.Bottom - rect.Top);
  rect.Left = plan.Left;
  rect.Top = plan.Top;
  if (!plan.Shrink) {
    holder.Realize();
    return;
  }
  // A JPEG still compressed is shrunk straight from its decoder's rows.
  const auto* jpeg = dynamic_cast<const TJPEGImage*>(holder.Graphic());
  if (!speedPriority && jpeg != nullptr && !jpeg->Decoded() && jpeg->CanDecodeRows()) {
    holder.Take(ResampleJpeg(*jpeg, plan.Width, plan.Height, threads));
    return;
  }
  // A large picture held as its plug-in decoded it is shrunk from its own rows.
  if (const auto rowAt = DibRows(holder)) {
    const int width = holder.Width();
    const int height = holder.Height();
    holder.Take(speedPriority
                    ? StretchNearestRows(width, height, rowAt, plan.Width, plan.Height)
                    : ResampleRows(width, height, rowAt, plan.Width, plan.Height, threads));
    return;
  }
  holder.Realize();
  const TBitmap& source = *holder.Bitmap();
  std::unique_ptr<TBitmap> result = speedPriority
                                        ? StretchNearest(source, plan.Width, plan.Height)
                                        : ResampleBitmap(source, plan.Width, plan.Height, threads);
  holder.Take(std::move(result));
}
