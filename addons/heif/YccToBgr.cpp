#include "addons/heif/YccToBgr.h"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <thread>

namespace {

inline uint8_t Clip(int v) {
  return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

void Rows(const TYccPlanes& in, const TYccMatrix& m, uint8_t* out, size_t row, int from, int to) {
  for (int y = from; y < to; ++y) {
    const uint8_t* luma = in.Y + in.YStride * static_cast<size_t>(y);
    uint8_t* target = out + row * static_cast<size_t>(in.Height - 1 - y);
    if (in.Cb == nullptr) {
      for (int x = 0; x < in.Width; ++x, target += 3) {
        target[0] = target[1] = target[2] = Clip(((luma[x] - m.YOffset) * m.YScale + 128) >> 8);
      }
      continue;
    }
    const size_t chromaRow = in.CStride * static_cast<size_t>(y >> in.ShiftY);
    const uint8_t* cb = in.Cb + chromaRow;
    const uint8_t* cr = in.Cr + chromaRow;
    for (int x = 0; x < in.Width; ++x, target += 3) {
      const int yv = ((luma[x] - m.YOffset) * m.YScale + 128) >> 8;
      const int b = cb[x >> in.ShiftX] - 128;
      const int r = cr[x >> in.ShiftX] - 128;
      target[0] = Clip(yv + ((m.Bcb * b + 128) >> 8));
      target[1] = Clip(yv + ((m.Gcb * b + m.Gcr * r + 128) >> 8));
      target[2] = Clip(yv + ((m.Rcr * r + 128) >> 8));
    }
  }
}

}  // namespace

bool YccMatrixOf(bool hasNclx, int matrixCoefficients, bool fullRange, TYccMatrix& matrix) {
  float kr = 0.299F;  // BT.601, libheif's default, also for unspecified (2)
  float kb = 0.114F;
  if (hasNclx) {
    switch (matrixCoefficients) {
      case 1:
        kr = 0.2126F, kb = 0.0722F;
        break;
      case 4:
        kr = 0.30F, kb = 0.11F;
        break;
      case 7:
        kr = 0.212F, kb = 0.087F;
        break;
      case 9:
      case 10:
        kr = 0.2627F, kb = 0.0593F;
        break;
      case 2:
      case 5:
      case 6:
        break;
      default:
        return false;
    }
  } else {
    fullRange = true;
  }
  // Limited range: luma from 16..235 and chroma from 16..240 stretched to the whole range.
  const float chroma = fullRange ? 1.0F : 1.1429F;
  matrix.Rcr = static_cast<int>(std::lround(256 * chroma * 2 * (1 - kr)));
  matrix.Gcb = static_cast<int>(std::lround(256 * chroma * 2 * kb * (1 - kb) / (kb + kr - 1)));
  matrix.Gcr = static_cast<int>(std::lround(256 * chroma * 2 * kr * (1 - kr) / (kb + kr - 1)));
  matrix.Bcb = static_cast<int>(std::lround(256 * chroma * 2 * (1 - kb)));
  matrix.YOffset = fullRange ? 0 : 16;
  matrix.YScale = fullRange ? 256 : static_cast<int>(std::lround(256 * 1.1689F));
  return true;
}

void YccToBgr(const TYccPlanes& in, const TYccMatrix& matrix, uint8_t* out, size_t row) {
  // Two halves at once: a phone photo's conversion is as long as a good part of its decoding.
  const int half = in.Height / 2;
  if (half < 64) {
    Rows(in, matrix, out, row, 0, in.Height);
    return;
  }
  std::thread lower;
  try {
    lower = std::thread(Rows, std::cref(in), std::cref(matrix), out, row, half, in.Height);
  } catch (const std::system_error&) {
    Rows(in, matrix, out, row, half, in.Height);  // no thread to be had: all of it here
  }
  Rows(in, matrix, out, row, 0, half);
  if (lower.joinable()) lower.join();
}
