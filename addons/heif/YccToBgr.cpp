#include "addons/heif/YccToBgr.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <system_error>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

inline uint8_t Clip(int v) {
  return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

#if defined(__SSE2__)
// A colour row eight pixels at a time, with the scalar loop's arithmetic in 32-bit lanes: each
// product with its rounding term is one multiply-add of a sample paired with 1. Each group writes
// 25 bytes (the last is the next pixel's, written again after it), so the row's last pixel is
// always left to the scalar loop. Returns where that loop begins.
int ColourRowSse2(const uint8_t* luma, const uint8_t* cb, const uint8_t* cr, int shiftX, int width,
                  const TYccMatrix& m, uint8_t* target) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i one = _mm_set1_epi16(1);
  const __m128i offset = _mm_set1_epi16(static_cast<int16_t>(m.YOffset));
  const __m128i half = _mm_set1_epi16(128);
  // The 16-bit pair (a, b) in each 32-bit lane, a first: what madd multiplies (sample, 1) by.
  const auto pair = [](int a, int b) {
    return _mm_set1_epi32(
        static_cast<int>((static_cast<uint32_t>(b) << 16) | (static_cast<uint32_t>(a) & 0xFFFFu)));
  };
  const __m128i yScale = pair(m.YScale, 128);
  const __m128i bScale = pair(m.Bcb, 128);
  const __m128i rScale = pair(m.Rcr, 128);
  const __m128i gScale = pair(m.Gcb, m.Gcr);
  const __m128i gRound = _mm_set1_epi32(128);
  const auto term = [](__m128i pairs, __m128i scale) {
    return _mm_srai_epi32(_mm_madd_epi16(pairs, scale), 8);
  };
  const auto load8 = [](const uint8_t* p) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
  };
  int x = 0;
  for (; x + 8 < width; x += 8, target += 24) {
    const __m128i y16 = _mm_sub_epi16(_mm_unpacklo_epi8(load8(luma + x), zero), offset);
    __m128i cb8;
    __m128i cr8;
    if (shiftX == 1) {
      uint32_t b4 = 0;
      uint32_t r4 = 0;
      std::memcpy(&b4, cb + (x >> 1), 4);
      std::memcpy(&r4, cr + (x >> 1), 4);
      const __m128i b = _mm_cvtsi32_si128(static_cast<int>(b4));
      const __m128i r = _mm_cvtsi32_si128(static_cast<int>(r4));
      cb8 = _mm_unpacklo_epi8(b, b);
      cr8 = _mm_unpacklo_epi8(r, r);
    } else {
      cb8 = load8(cb + x);
      cr8 = load8(cr + x);
    }
    const __m128i b16 = _mm_sub_epi16(_mm_unpacklo_epi8(cb8, zero), half);
    const __m128i r16 = _mm_sub_epi16(_mm_unpacklo_epi8(cr8, zero), half);
    __m128i b[2];
    __m128i g[2];
    __m128i r[2];
    for (int h = 0; h < 2; ++h) {
      const __m128i yPairs = h == 0 ? _mm_unpacklo_epi16(y16, one) : _mm_unpackhi_epi16(y16, one);
      const __m128i bPairs = h == 0 ? _mm_unpacklo_epi16(b16, one) : _mm_unpackhi_epi16(b16, one);
      const __m128i rPairs = h == 0 ? _mm_unpacklo_epi16(r16, one) : _mm_unpackhi_epi16(r16, one);
      const __m128i cPairs = h == 0 ? _mm_unpacklo_epi16(b16, r16) : _mm_unpackhi_epi16(b16, r16);
      const __m128i luma32 = term(yPairs, yScale);
      b[h] = _mm_add_epi32(luma32, term(bPairs, bScale));
      r[h] = _mm_add_epi32(luma32, term(rPairs, rScale));
      g[h] = _mm_add_epi32(
          luma32, _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(cPairs, gScale), gRound), 8));
    }
    const __m128i blue = _mm_packus_epi16(_mm_packs_epi32(b[0], b[1]), zero);
    const __m128i green = _mm_packus_epi16(_mm_packs_epi32(g[0], g[1]), zero);
    const __m128i red = _mm_packus_epi16(_mm_packs_epi32(r[0], r[1]), zero);
    const __m128i bg = _mm_unpacklo_epi8(blue, green);
    const __m128i r0 = _mm_unpacklo_epi8(red, zero);
    __m128i quads[2] = {_mm_unpacklo_epi16(bg, r0), _mm_unpackhi_epi16(bg, r0)};
    uint8_t* at = target;
    for (__m128i& quad : quads) {
      for (int i = 0; i < 4; ++i, at += 3) {
        const uint32_t pixel = static_cast<uint32_t>(_mm_cvtsi128_si32(quad));
        std::memcpy(at, &pixel, 4);
        quad = _mm_srli_si128(quad, 4);
      }
    }
  }
  return x;
}
#endif

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
    int x = 0;
#if defined(__SSE2__)
    x = ColourRowSse2(luma, cb, cr, in.ShiftX, in.Width, m, target);
    target += 3 * static_cast<size_t>(x);
#endif
    for (; x < in.Width; ++x, target += 3) {
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
