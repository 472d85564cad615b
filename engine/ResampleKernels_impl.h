// The body of the resampler's kernels, included once by each build of them (see
// ResampleKernels.h): RESAMPLE_KERNELS names the table it defines.
#include <algorithm>
#include <cmath>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "engine/ResampleKernels.h"

namespace {

// Rounds to nearest, ties to even (the SSE2 conversion's own rounding), clamped to a byte.
inline uint8_t ToByte(double value) {
#ifdef __SSE2__
  const int v = _mm_cvtsd_si32(_mm_set_sd(value));
#else
  const long v = std::lrint(value);
#endif
  return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Turns bytes into doubles a little ahead of the columns that read them, so the converted
// samples are still in the nearest cache when they are used.
class TLazyLine {
 public:
  TLazyLine(const uint8_t* bytes, double* doubles, size_t length)
      : bytes_(bytes), doubles_(doubles), length_(length) {}
  // Makes samples [0, end) ready.
  void Need(size_t end) {
    if (end <= done_) return;
    const size_t until = std::min(length_, std::max(end, done_ + kChunk));
    for (size_t i = done_; i < until; ++i) doubles_[i] = bytes_[i];
    done_ = until;
  }
  const double* Data() const { return doubles_; }

 private:
  static constexpr size_t kChunk = 768;
  const uint8_t* bytes_;
  double* doubles_;
  size_t length_;
  size_t done_ = 0;
};

// One source row weighted across: three doubles per destination column, each the weighted sum of
// its taps in source order. Used for a row without a partner (HorizontalPairSums takes two).
void HorizontalSums(TLazyLine& source, const THorizontalPlan& plan, double* sums, int width) {
  const int taps = plan.taps;
  const double* line = source.Data();
  const double* w = plan.weights.data();
  int x = 0;
#ifdef __SSE2__
  // Two columns at a time, blue and green side by side in one register: four independent chains
  // of additions hide their latency, and each lane does exactly the scalar operations.
  for (; x + 2 <= width; x += 2, w += 4 * taps) {
    const int first1 = plan.first[static_cast<size_t>(x) + 1];
    source.Need(static_cast<size_t>(first1 + taps) * 3);
    const double* p0 = line + static_cast<ptrdiff_t>(plan.first[static_cast<size_t>(x)]) * 3;
    const double* p1 = line + static_cast<ptrdiff_t>(first1) * 3;
    const double* w0 = w;
    const double* w1 = w + 2 * taps;
    __m128d bg0 = _mm_setzero_pd();
    __m128d bg1 = _mm_setzero_pd();
    double r0 = 0;
    double r1 = 0;
    for (int t = 0; t < taps; ++t, p0 += 3, p1 += 3, w0 += 2, w1 += 2) {
      bg0 = _mm_add_pd(bg0, _mm_mul_pd(_mm_loadu_pd(w0), _mm_loadu_pd(p0)));
      bg1 = _mm_add_pd(bg1, _mm_mul_pd(_mm_loadu_pd(w1), _mm_loadu_pd(p1)));
      r0 += *w0 * p0[2];
      r1 += *w1 * p1[2];
    }
    _mm_storeu_pd(sums + x * 3, bg0);
    sums[x * 3 + 2] = r0;
    _mm_storeu_pd(sums + x * 3 + 3, bg1);
    sums[x * 3 + 5] = r1;
  }
#endif
  for (; x < width; ++x, w += 2 * taps) {
    const int first = plan.first[static_cast<size_t>(x)];
    source.Need(static_cast<size_t>(first + taps) * 3);
    const double* p = line + static_cast<ptrdiff_t>(first) * 3;
    double b = 0, g = 0, r = 0;
    for (int t = 0; t < taps; ++t, p += 3) {
      const double weight = w[t * 2];
      b += weight * p[0];
      g += weight * p[1];
      r += weight * p[2];
    }
    sums[x * 3] = b;
    sums[x * 3 + 1] = g;
    sums[x * 3 + 2] = r;
  }
}

// Two source rows converted side by side: sample i of the first row, then sample i of the
// second, so one register holds the same sample of both rows. Converted a little ahead of use.
class TLazyPair {
 public:
  TLazyPair(const uint8_t* first, const uint8_t* second, double* doubles, size_t length)
      : first_(first), second_(second), doubles_(doubles), length_(length) {}
  // Makes samples [0, end) of both rows ready.
  void Need(size_t end) {
    if (end <= done_) return;
    size_t i = done_;
    const size_t until = std::min(length_, std::max(end, done_ + kChunk));
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    for (; i + 8 <= until; i += 8) {
      const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(first_ + i));
      const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(second_ + i));
      const __m128i pairs = _mm_unpacklo_epi8(a, b);  // a0 b0 a1 b1 ... a7 b7
      double* out = doubles_ + i * 2;
      StoreEight(out, _mm_unpacklo_epi8(pairs, zero));
      StoreEight(out + 8, _mm_unpackhi_epi8(pairs, zero));
    }
#endif
    for (; i < until; ++i) {
      doubles_[i * 2] = first_[i];
      doubles_[i * 2 + 1] = second_[i];
    }
    done_ = until;
  }
  const double* Data() const {
    return doubles_;
  }

 private:
#ifdef __SSE2__
  // Eight 16-bit samples as eight doubles.
  static void StoreEight(double* out, __m128i words) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = _mm_unpacklo_epi16(words, zero);
    const __m128i high = _mm_unpackhi_epi16(words, zero);
    _mm_storeu_pd(out, _mm_cvtepi32_pd(low));
    _mm_storeu_pd(out + 2, _mm_cvtepi32_pd(_mm_shuffle_epi32(low, 0xEE)));
    _mm_storeu_pd(out + 4, _mm_cvtepi32_pd(high));
    _mm_storeu_pd(out + 6, _mm_cvtepi32_pd(_mm_shuffle_epi32(high, 0xEE)));
  }
#endif
  static constexpr size_t kChunk = 768;
  const uint8_t* first_;
  const uint8_t* second_;
  double* doubles_;
  size_t length_;
  size_t done_ = 0;
};

#ifdef __SSE2__
// The three channel sums of one column for two rows (low lanes: the first row, high lanes: the
// second) stored into the rows' sums.
inline void StorePair(double* first, double* second, __m128d b, __m128d g, __m128d r) {
  _mm_storel_pd(first, b);
  _mm_storeh_pd(second, b);
  _mm_storel_pd(first + 1, g);
  _mm_storeh_pd(second + 1, g);
  _mm_storel_pd(first + 2, r);
  _mm_storeh_pd(second + 2, r);
}
#endif

// Two source rows weighted across at once: the same weights as HorizontalSums, each lane of a
// register doing exactly its scalar operations for one of the rows. `kTaps` fixes the tap count
// for the usual shrink factors (the loops then unroll); 0 takes it from the plan.
template <int kTaps>
void HorizontalPairSums(TLazyPair& source, const THorizontalPlan& plan, double* sumsA,
                        double* sumsB, int width) {
  const int taps = kTaps > 0 ? kTaps : plan.taps;
  const double* line = source.Data();
  const double* w = plan.weights.data();
  int x = 0;
#if defined(__SSE2__) && defined(__x86_64__)
  // Two columns at a time: six independent chains of additions (sixteen registers hold them).
  for (; x + 2 <= width; x += 2, w += 4 * taps) {
    const int first1 = plan.first[static_cast<size_t>(x) + 1];
    source.Need(static_cast<size_t>(first1 + taps) * 3);
    const double* p0 = line + static_cast<ptrdiff_t>(plan.first[static_cast<size_t>(x)]) * 6;
    const double* p1 = line + static_cast<ptrdiff_t>(first1) * 6;
    const double* w0 = w;
    const double* w1 = w + 2 * taps;
    __m128d b0 = _mm_setzero_pd(), g0 = _mm_setzero_pd(), r0 = _mm_setzero_pd();
    __m128d b1 = _mm_setzero_pd(), g1 = _mm_setzero_pd(), r1 = _mm_setzero_pd();
    for (int t = 0; t < taps; ++t, p0 += 6, p1 += 6, w0 += 2, w1 += 2) {
      const __m128d weight0 = _mm_loadu_pd(w0);
      const __m128d weight1 = _mm_loadu_pd(w1);
      b0 = _mm_add_pd(b0, _mm_mul_pd(weight0, _mm_loadu_pd(p0)));
      g0 = _mm_add_pd(g0, _mm_mul_pd(weight0, _mm_loadu_pd(p0 + 2)));
      r0 = _mm_add_pd(r0, _mm_mul_pd(weight0, _mm_loadu_pd(p0 + 4)));
      b1 = _mm_add_pd(b1, _mm_mul_pd(weight1, _mm_loadu_pd(p1)));
      g1 = _mm_add_pd(g1, _mm_mul_pd(weight1, _mm_loadu_pd(p1 + 2)));
      r1 = _mm_add_pd(r1, _mm_mul_pd(weight1, _mm_loadu_pd(p1 + 4)));
    }
    StorePair(sumsA + x * 3, sumsB + x * 3, b0, g0, r0);
    StorePair(sumsA + x * 3 + 3, sumsB + x * 3 + 3, b1, g1, r1);
  }
#elif defined(__SSE2__)
  // One column at a time: the eight registers of 32-bit code hold its three chains without
  // spilling.
  for (; x < width; ++x, w += 2 * taps) {
    const int first = plan.first[static_cast<size_t>(x)];
    source.Need(static_cast<size_t>(first + taps) * 3);
    const double* p = line + static_cast<ptrdiff_t>(first) * 6;
    const double* wt = w;
    __m128d b = _mm_setzero_pd(), g = _mm_setzero_pd(), r = _mm_setzero_pd();
    for (int t = 0; t < taps; ++t, p += 6, wt += 2) {
      const __m128d weight = _mm_loadu_pd(wt);
      b = _mm_add_pd(b, _mm_mul_pd(weight, _mm_loadu_pd(p)));
      g = _mm_add_pd(g, _mm_mul_pd(weight, _mm_loadu_pd(p + 2)));
      r = _mm_add_pd(r, _mm_mul_pd(weight, _mm_loadu_pd(p + 4)));
    }
    StorePair(sumsA + x * 3, sumsB + x * 3, b, g, r);
  }
#endif
  for (; x < width; ++x, w += 2 * taps) {
    const int first = plan.first[static_cast<size_t>(x)];
    source.Need(static_cast<size_t>(first + taps) * 3);
    const double* p = line + static_cast<ptrdiff_t>(first) * 6;
    double sums[6] = {0, 0, 0, 0, 0, 0};
    for (int t = 0; t < taps; ++t, p += 6) {
      const double weight = w[t * 2];
      for (int k = 0; k < 6; ++k) sums[k] += weight * p[k];
    }
    for (int c = 0; c < 3; ++c) {
      sumsA[x * 3 + c] = sums[c * 2];
      sumsB[x * 3 + c] = sums[c * 2 + 1];
    }
  }
}

// A destination row from the horizontal sums of its source rows: weighted in order, divided by
// the area (divided, not multiplied by a reciprocal: the bytes must match the definition),
// rounded half to even and clamped. `kTaps` fixes the row count for the usual shrink factors,
// so weights and row pointers stay in registers; 0 takes it from `taps`.
template <int kTaps>
void VerticalRow(const double* const* rows, const double* weights, size_t taps, double area,
                 uint8_t* out, size_t length) {
  if (kTaps > 0) taps = kTaps;
  size_t i = 0;
#ifdef __SSE2__
  constexpr size_t kHeld = kTaps > 0 ? kTaps : 1;
  __m128d weight[kHeld];
  const double* row[kHeld];
  for (size_t k = 0; k < kHeld && kTaps > 0; ++k) {
    weight[k] = _mm_set1_pd(weights[k]);
    row[k] = rows[k];
  }
  const __m128d divisor = _mm_set1_pd(area);
  // Four values at a time in two registers.
  for (; i + 4 <= length; i += 4) {
    __m128d acc0 = _mm_setzero_pd();
    __m128d acc1 = _mm_setzero_pd();
    for (size_t k = 0; k < taps; ++k) {
      const __m128d w = kTaps > 0 ? weight[k] : _mm_set1_pd(weights[k]);
      const double* in = (kTaps > 0 ? row[k] : rows[k]) + i;
      acc0 = _mm_add_pd(acc0, _mm_mul_pd(w, _mm_loadu_pd(in)));
      acc1 = _mm_add_pd(acc1, _mm_mul_pd(w, _mm_loadu_pd(in + 2)));
    }
    const __m128i low = _mm_cvtpd_epi32(_mm_div_pd(acc0, divisor));
    const __m128i high = _mm_cvtpd_epi32(_mm_div_pd(acc1, divisor));
    const __m128i words = _mm_packs_epi32(_mm_unpacklo_epi64(low, high), _mm_setzero_si128());
    const int four = _mm_cvtsi128_si32(_mm_packus_epi16(words, _mm_setzero_si128()));
    std::memcpy(out + i, &four, 4);
  }
#endif
  for (; i < length; ++i) {
    double acc = 0;
    for (size_t k = 0; k < taps; ++k) acc += weights[k] * rows[k][i];
    out[i] = ToByte(acc / area);
  }
}

void Horizontal(const uint8_t* line, double* scratch, size_t length, const THorizontalPlan& plan,
                double* sums, int width) {
  TLazyLine source(line, scratch, length);
  HorizontalSums(source, plan, sums, width);
}

void HorizontalPair(const uint8_t* first, const uint8_t* second, double* scratch, size_t length,
                    const THorizontalPlan& plan, double* sumsA, double* sumsB, int width) {
  TLazyPair source(first, second, scratch, length);
  switch (plan.taps) {
    case 4:
      HorizontalPairSums<4>(source, plan, sumsA, sumsB, width);
      break;
    case 5:
      HorizontalPairSums<5>(source, plan, sumsA, sumsB, width);
      break;
    case 6:
      HorizontalPairSums<6>(source, plan, sumsA, sumsB, width);
      break;
    default:
      HorizontalPairSums<0>(source, plan, sumsA, sumsB, width);
      break;
  }
}

void Vertical(const double* const* rows, const double* weights, size_t taps, double area,
              uint8_t* out, size_t length) {
  switch (taps) {
    case 4:
      VerticalRow<4>(rows, weights, 4, area, out, length);
      break;
    case 5:
      VerticalRow<5>(rows, weights, 5, area, out, length);
      break;
    case 6:
      VerticalRow<6>(rows, weights, 6, area, out, length);
      break;
    default:
      VerticalRow<0>(rows, weights, taps, area, out, length);
      break;
  }
}

}  // namespace
