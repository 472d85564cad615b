#include "engine/ColorConvert.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Linear light in kEncodingSteps + 1 steps to sRGB's 8-bit values, rounded to nearest: 16 KB,
// which stay in the processor's first cache, and fine enough that no value moves by more than a
// fifth of a step of 8 bits.
constexpr int kEncodingSteps = 16383;

const std::vector<uint8_t>& SrgbEncoding() {
  static const std::vector<uint8_t> table = [] {
    std::vector<uint8_t> t(kEncodingSteps + 1);
    for (size_t i = 0; i < t.size(); ++i) {
      const double v = static_cast<double>(i) / kEncodingSteps;
      const double e = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
      t[i] = static_cast<uint8_t>(std::lround(std::clamp(e, 0.0, 1.0) * 255));
    }
    return t;
  }();
  return table;
}

// The colorants of a matrix-and-curves profile as the columns of a matrix (CIE XYZ, D50).
bool Colorants(cmsHPROFILE profile, double m[3][3]) {
  const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                   cmsSigBlueColorantTag};
  for (int c = 0; c < 3; ++c) {
    const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tags[c]));
    if (xyz == nullptr) return false;
    m[0][c] = xyz->X;
    m[1][c] = xyz->Y;
    m[2][c] = xyz->Z;
  }
  return true;
}

bool Invert(const double m[3][3], double out[3][3]) {
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  if (!(std::fabs(det) > 1e-12)) return false;
  // The adjugate over the determinant: cofactor (c, r) for entry (r, c).
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      const int r1 = (c + 1) % 3;
      const int r2 = (c + 2) % 3;
      const int c1 = (r + 1) % 3;
      const int c2 = (r + 2) % 3;
      out[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
    }
  }
  return true;
}

// A profile whose perceptual conversion is its tone curves and colorants alone, with no table
// of its own for that intent.
bool PlainMatrixShaper(cmsHPROFILE profile) {
  return cmsIsMatrixShaper(profile) && !cmsIsTag(profile, cmsSigAToB0Tag) &&
         !cmsIsTag(profile, cmsSigDToB0Tag);
}

}  // namespace

bool LeavesColoursAlone(const TSrgbTransform& transform) {
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
  std::vector<uint8_t> out = grid;
  transform.Convert(out.data(), out.size() / 3);
  for (size_t i = 0; i < grid.size(); ++i) {
    if (std::abs(int{grid[i]} - int{out[i]}) > 1) return false;
  }
  return true;
}

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
  std::unique_ptr<TSrgbTransform> result(new TSrgbTransform());
  // The commonest profiles are curves and a matrix: those are done here, several times faster
  // than through a general transform; anything else goes through Little CMS.
  double from[3][3];
  double to[3][3];
  double back[3][3];
  bool direct = PlainMatrixShaper(source.get()) && Colorants(source.get(), from) &&
                Colorants(srgb.get(), to) && Invert(to, back);
  const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
  for (int c = 0; direct && c < 3; ++c) {
    const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(source.get(), curves[c]));
    direct = curve != nullptr;
    for (int v = 0; direct && v < 256; ++v) {
      const float linear = cmsEvalToneCurveFloat(curve, static_cast<float>(v) / 255);
      result->linear_[c][v] = std::isfinite(linear) ? std::clamp(linear, 0.0F, 1.0F) : 0.0F;
    }
  }
  for (int r = 0; direct && r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      double sum = 0;
      for (int k = 0; k < 3; ++k) sum += back[r][k] * from[k][c];
      direct = direct && std::isfinite(sum);
      result->matrix_[r][c] = static_cast<float>(sum);
    }
  }
  if (!direct) {
    // Table-based profiles unoptimised: Little CMS's 8-bit optimisation resamples the whole way
    // into a grid, 14 levels off near the edge of sRGB's gamut; unoptimised is exact and about
    // 15 times as slow (1.7 s for 2 megapixels on one core), for profiles that photos rarely have.
    result->transform_ =
        cmsCreateTransform(source.get(), TYPE_BGR_8, srgb.get(), TYPE_BGR_8, INTENT_PERCEPTUAL,
                           cmsFLAGS_NOCACHE | cmsFLAGS_NOOPTIMIZE);
    if (result->transform_ == nullptr) return nullptr;
  }
  if (LeavesColoursAlone(*result)) return nullptr;
  return result;
}

TSrgbTransform::~TSrgbTransform() {
  if (transform_ != nullptr) cmsDeleteTransform(transform_);
}

void TSrgbTransform::Convert(uint8_t* pixels, size_t count) const {
  if (transform_ != nullptr) {
    while (count > 0) {
      const size_t n = std::min<size_t>(count, 1u << 24);
      cmsDoTransform(transform_, pixels, pixels, static_cast<cmsUInt32Number>(n));
      pixels += n * 3;
      count -= n;
    }
    return;
  }
  const uint8_t* encode = SrgbEncoding().data();
  // Branchless: min and max of floats, then a truncation of a value that is never negative.
  const auto index = [](float v) {
    // NOLINTNEXTLINE(bugprone-incorrect-roundings): never negative
    return static_cast<int>(std::min(std::max(v, 0.0F), 1.0F) * kEncodingSteps + 0.5F);
  };
  // Byte stores may alias anything: the matrix and tables are read through locals, and each
  // pixel is read whole before it is written.
  const float m00 = matrix_[0][0], m01 = matrix_[0][1], m02 = matrix_[0][2];
  const float m10 = matrix_[1][0], m11 = matrix_[1][1], m12 = matrix_[1][2];
  const float m20 = matrix_[2][0], m21 = matrix_[2][1], m22 = matrix_[2][2];
  const float* red = linear_[0];
  const float* green = linear_[1];
  const float* blue = linear_[2];
  uint8_t* p = pixels;
  uint8_t* const end = pixels + count * 3;
#if defined(__SSE2__)
  // Four pixels at a time: the matrix in vector arithmetic, rounding to the nearest step.
  const __m128 zero = _mm_setzero_ps();
  const __m128 one = _mm_set1_ps(1.0F);
  const __m128 steps = _mm_set1_ps(static_cast<float>(kEncodingSteps));
  const auto encodeFour = [&](__m128 v, int* out) {
    v = _mm_mul_ps(_mm_min_ps(_mm_max_ps(v, zero), one), steps);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_cvtps_epi32(v));
  };
  for (; end - p >= 12; p += 12) {
    const __m128 r = _mm_setr_ps(red[p[2]], red[p[5]], red[p[8]], red[p[11]]);
    const __m128 g = _mm_setr_ps(green[p[1]], green[p[4]], green[p[7]], green[p[10]]);
    const __m128 b = _mm_setr_ps(blue[p[0]], blue[p[3]], blue[p[6]], blue[p[9]]);
    alignas(16) int outRed[4];
    alignas(16) int outGreen[4];
    alignas(16) int outBlue[4];
    encodeFour(
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(m00), r), _mm_mul_ps(_mm_set1_ps(m01), g)),
                   _mm_mul_ps(_mm_set1_ps(m02), b)),
        outRed);
    encodeFour(
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(m10), r), _mm_mul_ps(_mm_set1_ps(m11), g)),
                   _mm_mul_ps(_mm_set1_ps(m12), b)),
        outGreen);
    encodeFour(
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(m20), r), _mm_mul_ps(_mm_set1_ps(m21), g)),
                   _mm_mul_ps(_mm_set1_ps(m22), b)),
        outBlue);
    for (int i = 0; i < 4; ++i) {
      p[i * 3] = encode[outBlue[i]];
      p[i * 3 + 1] = encode[outGreen[i]];
      p[i * 3 + 2] = encode[outRed[i]];
    }
  }
#endif
  for (; p != end; p += 3) {
    const float r = red[p[2]];
    const float g = green[p[1]];
    const float b = blue[p[0]];
    const uint8_t outRed = encode[index(m00 * r + m01 * g + m02 * b)];
    const uint8_t outGreen = encode[index(m10 * r + m11 * g + m12 * b)];
    const uint8_t outBlue = encode[index(m20 * r + m21 * g + m22 * b)];
    p[0] = outBlue;
    p[1] = outGreen;
    p[2] = outRed;
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
  RunShares(threads, share);
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
  if (holder.Bitmap() == nullptr) return false;
  // The bitmap is converted where it lies: taken out of the holder and put back.
  std::unique_ptr<TGraphic> graphic = holder.ReleaseGraphic();
  std::unique_ptr<TBitmap> bitmap(static_cast<TBitmap*>(graphic.release()));
  const bool changed = ConvertRows(*bitmap, *transform, threads, box);
  holder.Take(std::move(bitmap));
  return changed;
}
