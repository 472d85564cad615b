// A plain transcription of the resampling definition, loop for loop: the oracle the fast
// resampler must match byte for byte.
#pragma once

#include <cmath>
#include <cstring>
#include <memory>

#include "decode/Bitmap.h"
#include "engine/Resample.h"

inline std::unique_ptr<TBitmap> ResampleOracle(const TBitmap& source, int w2, int h2) {
  TBitmap work;
  work.Assign(&source);
  work.SetPixelFormat(TPixelFormat::pf24bit);
  const int W = work.Width();
  const int H = work.Height();
  const double area = static_cast<double>(static_cast<int32_t>(W * H)) / w2 / h2;
  const double sx = static_cast<double>(W) / w2;
  const double sy = static_cast<double>(H) / h2;
  auto result = std::make_unique<TBitmap>();
  result->SetPixelFormat(TPixelFormat::pf24bit);
  result->SetSize(w2, h2);
  auto overlap = [](int i, double lo, double hi, double& w, double& m) {
    if (i > lo && i + 1 < hi) {
      w = 1;
      m = 0.5;
    } else if (i <= lo && i + 1 < hi) {
      w = 1 - (lo - i);
      m = ((lo - i) + 1) / 2;
    } else if (i > lo && i + 1 >= hi) {
      w = hi - i;
      m = w / 2;
    } else {
      w = hi - lo;
      m = ((hi - i) + (lo - i)) / 2;
    }
  };
  for (int y = 0; y < h2; ++y) {
    for (int x = 0; x < w2; ++x) {
      double x0, x1, y0, y1;
      ResampleBox(x, sx, x0, x1);
      ResampleBox(y, sy, y0, y1);
      double acc[3] = {0, 0, 0};
      for (int iy = static_cast<int>(std::floor(y0)); iy <= static_cast<int>(std::floor(y1));
           ++iy) {
        const uint8_t* upper = work.ScanLine(std::max(iy, 0));
        const uint8_t* lower = work.ScanLine(std::min(iy + 1, H - 1));
        double wy, my;
        overlap(iy, y0, y1, wy, my);
        for (int ix = static_cast<int>(std::floor(x0)); ix <= static_cast<int>(std::floor(x1));
             ++ix) {
          double wx, mx;
          overlap(ix, x0, x1, wx, mx);
          const int left = std::max(ix, 0);
          const int right = std::min(ix + 1, W - 1);
          for (int c = 0; c < 3; ++c) {
            const int p00 = upper[left * 3 + c];
            const int p01 = lower[left * 3 + c];
            const int p10 = upper[right * 3 + c];
            const int p11 = lower[right * 3 + c];
            const int a = p00;
            const int b = p10 - p00;
            const int cc = p01 - p00;
            const int d = p00 + p11 - p10 - p01;
            acc[c] += wx * wy * (((b * mx + d * mx * my) + cc * my) + a);
          }
        }
      }
      uint8_t* out = result->ScanLine(y) + x * 3;
      for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>(std::nearbyint(acc[c] / area));
    }
  }
  return result;
}

// Whether two 24-bit bitmaps have the same size and the same bytes.
inline bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y) {
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), static_cast<size_t>(a.Width()) * 3) != 0)
      return false;
  }
  return true;
}
