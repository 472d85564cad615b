#include "engine/ColorConvert.h"

#include <lcms2.h>

#include <algorithm>
#include <exception>
#include <system_error>
#include <vector>

#include "base/WorkerThread.h"

namespace {

struct TProfileCloser {
  void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using TProfileHandle = std::unique_ptr<void, TProfileCloser>;

struct TCurveFreer {
  void operator()(cmsToneCurve* curve) const { cmsFreeToneCurve(curve); }
};

TProfileHandle OpenProfile(const TColorProfile& profile) {
  if (!profile.Calibrated()) {
    if (profile.Icc.empty() || profile.Icc.size() > kMaxIccBytes) return nullptr;
    return TProfileHandle(cmsOpenProfileFromMem(profile.Icc.data(),
                                                static_cast<cmsUInt32Number>(profile.Icc.size())));
  }
  const auto& c = profile.Chromaticities;
  const cmsCIExyY white{c[0], c[1], 1.0};
  const cmsCIExyYTRIPLE primaries{{c[2], c[3], 1.0}, {c[4], c[5], 1.0}, {c[6], c[7], 1.0}};
  std::unique_ptr<cmsToneCurve, TCurveFreer> curve(cmsBuildGamma(nullptr, profile.Gamma));
  if (!curve) return nullptr;
  cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
  return TProfileHandle(cmsCreateRGBProfile(&white, &primaries, curves));
}

// Whether the transform leaves every colour of a grid (and every grey) within 1 of itself.
bool LeavesColoursAlone(cmsHTRANSFORM transform) {
  std::vector<uint8_t> grid;
  grid.reserve((16 * 16 * 16 + 256) * 3);
  for (int b = 0; b < 256; b += 17) {
    for (int g = 0; g < 256; g += 17) {
      for (int r = 0; r < 256; r += 17) {
        grid.insert(grid.end(),
                    {static_cast<uint8_t>(b), static_cast<uint8_t>(g), static_cast<uint8_t>(r)});
      }
    }
  }
  for (int v = 0; v < 256; ++v) grid.insert(grid.end(), 3, static_cast<uint8_t>(v));
  std::vector<uint8_t> out(grid.size());
  cmsDoTransform(transform, grid.data(), out.data(), static_cast<cmsUInt32Number>(grid.size() / 3));
  for (size_t i = 0; i < grid.size(); ++i) {
    if (std::abs(int{grid[i]} - int{out[i]}) > 1) return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<TSrgbTransform> TSrgbTransform::Make(const TColorProfile& profile) {
  TProfileHandle source = OpenProfile(profile);
  if (!source || cmsGetColorSpace(source.get()) != cmsSigRgbData) return nullptr;
  const cmsProfileClassSignature kind = cmsGetDeviceClass(source.get());
  if (kind != cmsSigInputClass && kind != cmsSigDisplayClass && kind != cmsSigColorSpaceClass &&
      kind != cmsSigOutputClass) {
    return nullptr;
  }
  TProfileHandle srgb(cmsCreate_sRGBProfile());
  if (!srgb) return nullptr;
  cmsHTRANSFORM transform = cmsCreateTransform(source.get(), TYPE_BGR_8, srgb.get(), TYPE_BGR_8,
                                               INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE);
  if (transform == nullptr) return nullptr;
  if (LeavesColoursAlone(transform)) {
    cmsDeleteTransform(transform);
    return nullptr;
  }
  return std::unique_ptr<TSrgbTransform>(new TSrgbTransform(transform));
}

TSrgbTransform::~TSrgbTransform() {
  cmsDeleteTransform(transform_);
}

void TSrgbTransform::Convert(uint8_t* pixels, size_t count) const {
  while (count > 0) {
    const size_t n = std::min<size_t>(count, 1u << 24);
    cmsDoTransform(transform_, pixels, pixels, static_cast<cmsUInt32Number>(n));
    pixels += n * 3;
    count -= n;
  }
}

namespace {

bool ConvertRows(TBitmap& bitmap, const TSrgbTransform& transform, int threads, const TRect* box) {
  bitmap.SetPixelFormat(TPixelFormat::pf24bit);
  TRect area{0, 0, bitmap.Width(), bitmap.Height()};
  if (box != nullptr) {
    area.Left = std::clamp(box->Left, 0, bitmap.Width());
    area.Right = std::clamp(box->Right, area.Left, bitmap.Width());
    area.Top = std::clamp(box->Top, 0, bitmap.Height());
    area.Bottom = std::clamp(box->Bottom, area.Top, bitmap.Height());
  }
  const int rows = area.Bottom - area.Top;
  const auto width = static_cast<size_t>(area.Right - area.Left);
  if (rows < 1 || width == 0) return false;
  threads = std::clamp(threads, 1, rows);
  // Each thread converts a band of rows; bands never share a row.
  const auto share = [&](int t) {
    const int first = area.Top + rows * t / threads;
    const int last = area.Top + rows * (t + 1) / threads;
    for (int y = first; y < last; ++y) transform.Convert(bitmap.ScanLine(y) + area.Left * 3, width);
  };
  std::vector<TWorkerThread> workers;
  int t = 1;
  for (; t < threads; ++t) {
    try {
      workers.emplace_back([&share, t] { share(t); });
    } catch (const std::system_error&) {
      break;
    }
  }
  for (; t < threads; ++t) share(t);
  share(0);
  for (TWorkerThread& worker : workers) worker.Join();
  return true;
}

}  // namespace

bool ConvertBitmapToSrgb(TBitmap& bitmap, const TColorProfile& profile, int threads,
                         const TRect* box) {
  if (bitmap.Empty()) return false;
  const std::unique_ptr<TSrgbTransform> transform = TSrgbTransform::Make(profile);
  return transform && ConvertRows(bitmap, *transform, threads, box);
}

bool ConvertHeldToSrgb(TPicture& holder, int threads, const TRect* box) {
  const TColorProfilePtr profile = holder.Profile();
  if (!profile || holder.Empty()) return false;
  holder.SetProfile(nullptr);
  const std::unique_ptr<TSrgbTransform> transform = TSrgbTransform::Make(*profile);
  if (!transform) return false;
  holder.Realize();
  // The bitmap is converted where it lies: taken out of the holder and put back.
  if (holder.Bitmap() == nullptr) return false;
  std::unique_ptr<TGraphic> graphic = holder.ReleaseGraphic();
  std::unique_ptr<TBitmap> bitmap(static_cast<TBitmap*>(graphic.release()));
  const bool changed = ConvertRows(*bitmap, *transform, threads, box);
  holder.Take(std::move(bitmap));
  return changed;
}
