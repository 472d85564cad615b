#include "engine/Resample.h"

#include <cmath>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <cstring>
#include <thread>
#include <vector>

namespace {

// One axis of the integral: for each destination index the first source index and the weight
// of each following source index. The surface is bilinear, so the box integral splits into a
// horizontal and a vertical weighting of the four corners of every cell.
struct TAxisWeights {
  int sourceSize = 0;
  std::vector<int> first;
  std::vector<std::vector<double>> weights;
};

// The overlap of cell [i, i + 1] with [start, end]: its length and the mean of u over it,
// by the four cases of the definition, in their order.
void Overlap(int i, double start, double end, double& w, double& m) {
  if (i > start && i + 1 < end) {
    w = 1;
    m = 0.5;
  } else if (i <= start && i + 1 < end) {
    w = 1 - (start - i);
    m = ((start - i) + 1) / 2;
  } else if (i > start && i + 1 >= end) {
    w = end - i;
    m = w / 2;
  } else {
    w = end - start;
    m = ((end - i) + (start - i)) / 2;
  }
}

TAxisWeights AxisWeights(int sourceSize, int destinationSize) {
  const double scale = static_cast<double>(sourceSize) / destinationSize;
  TAxisWeights axis;
  axis.sourceSize = sourceSize;
  axis.first.resize(static_cast<size_t>(destinationSize));
  axis.weights.resize(static_cast<size_t>(destinationSize));
  for (int d = 0; d < destinationSize; ++d) {
    double start = 0;
    double end = 0;
    ResampleBox(d, scale, start, end);
    const int firstCell = static_cast<int>(std::floor(start));
    const int lastCell = static_cast<int>(std::floor(end));
    const int lo = std::max(firstCell, 0);
    const int hi = std::min(lastCell + 1, sourceSize - 1);
    std::vector<double> w(static_cast<size_t>(hi - lo + 1), 0.0);
    for (int cell = firstCell; cell <= lastCell; ++cell) {
      double width = 0;
      double mean = 0;
      Overlap(cell, start, end, width, mean);
      w[static_cast<size_t>(std::max(cell, 0) - lo)] += width * (1 - mean);
      w[static_cast<size_t>(std::min(cell + 1, sourceSize - 1) - lo)] += width * mean;
    }
    axis.first[static_cast<size_t>(d)] = lo;
    axis.weights[static_cast<size_t>(d)] = std::move(w);
  }
  return axis;
}

// Rounds to nearest, ties to even (the SSE2 conversion's own rounding), clamped to a byte.
inline uint8_t ToByte(double value) {
#ifdef __SSE2__
  const int v = _mm_cvtsd_si32(_mm_set_sd(value));
#else
  const long v = std::lrint(value);
#endif
  return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// The horizontal weights laid out for a loop of fixed length: every destination column reads
// `taps` consecutive source columns from its `first`, the weights it does not need being 0 (an
// added 0 * p leaves a sum unchanged). A loop whose length never changes runs without mispredicted
// branches, which dominate a loop over a few taps of varying count.
struct THorizontalPlan {
  int taps = 0;
  std::vector<int> first;       // per destination column
  std::vector<double> weights;  // `taps` per destination column, each stored twice (w, w)
};

THorizontalPlan PlanColumns(const TAxisWeights& axis, int sourceWidth) {
  THorizontalPlan plan;
  size_t taps = 1;
  for (const std::vector<double>& w : axis.weights) taps = std::max(taps, w.size());
  plan.taps = static_cast<int>(taps);
  plan.first.resize(axis.weights.size());
  plan.weights.assign(axis.weights.size() * taps * 2, 0.0);
  for (size_t x = 0; x < axis.weights.size(); ++x) {
    const std::vector<double>& w = axis.weights[x];
    // Zeros pad the end; near the right edge they pad the front instead, so no tap reads past
    // the row (a column's weights never span more than the row).
    const int first = std::min(axis.first[x], sourceWidth - plan.taps);
    const size_t shift = static_cast<size_t>(axis.first[x] - first);
    plan.first[x] = first;
    for (size_t t = 0; t < w.size(); ++t) {
      plan.weights[(x * taps + shift + t) * 2] = w[t];
      plan.weights[(x * taps + shift + t) * 2 + 1] = w[t];
    }
  }
  return plan;
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
      const __m128i words = _mm_unpacklo_epi8(_mm_unpacklo_epi8(a, b), zero);  // a0 b0 ... a3 b3
      const __m128i low = _mm_unpacklo_epi16(words, zero);
      const __m128i high = _mm_unpackhi_epi16(words, zero);
      double* out = doubles_ + i * 2;
      _mm_storeu_pd(out, _mm_cvtepi32_pd(low));
      _mm_storeu_pd(out + 2, _mm_cvtepi32_pd(_mm_shuffle_epi32(low, 0xEE)));
      _mm_storeu_pd(out + 4, _mm_cvtepi32_pd(high));
      _mm_storeu_pd(out + 6, _mm_cvtepi32_pd(_mm_shuffle_epi32(high, 0xEE)));
      const __m128i words2 = _mm_unpackhi_epi8(_mm_unpacklo_epi8(a, b), zero);  // a4 b4 ... a7 b7
      const __m128i low2 = _mm_unpacklo_epi16(words2, zero);
      const __m128i high2 = _mm_unpackhi_epi16(words2, zero);
      _mm_storeu_pd(out + 8, _mm_cvtepi32_pd(low2));
      _mm_storeu_pd(out + 10, _mm_cvtepi32_pd(_mm_shuffle_epi32(low2, 0xEE)));
      _mm_storeu_pd(out + 12, _mm_cvtepi32_pd(high2));
      _mm_storeu_pd(out + 14, _mm_cvtepi32_pd(_mm_shuffle_epi32(high2, 0xEE)));
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
  static constexpr size_t kChunk = 768;
  const uint8_t* first_;
  const uint8_t* second_;
  double* doubles_;
  size_t length_;
  size_t done_ = 0;
};

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
#ifdef __SSE2__
  // Two columns at a time: six independent chains of additions.
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
    double* a = sumsA + x * 3;
    double* b = sumsB + x * 3;
    _mm_storel_pd(a, b0);
    _mm_storeh_pd(b, b0);
    _mm_storel_pd(a + 1, g0);
    _mm_storeh_pd(b + 1, g0);
    _mm_storel_pd(a + 2, r0);
    _mm_storeh_pd(b + 2, r0);
    _mm_storel_pd(a + 3, b1);
    _mm_storeh_pd(b + 3, b1);
    _mm_storel_pd(a + 4, g1);
    _mm_storeh_pd(b + 4, g1);
    _mm_storel_pd(a + 5, r1);
    _mm_storeh_pd(b + 5, r1);
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

}  // namespace

// The plan shared by every row: both axes' weights and the run-of-ones form of the horizontal one.
struct TRowResampler::TPlan {
  TAxisWeights across;
  THorizontalPlan columns;
  TAxisWeights down;
  double area = 0;
};

TRowResampler::TRowResampler(int sourceWidth, int sourceHeight, TBitmap& result, int rowBegin,
                             int rowEnd)
    : result_(result), nextRow_(rowBegin), rowEnd_(rowEnd) {
  if (sourceWidth < 1 || sourceHeight < 1 || result.Width() < 1 || result.Height() < 1) {
    throw EAssertionFailed();
  }
  auto shared = std::make_shared<TPlan>();
  TPlan& plan = *shared;
  plan.across = AxisWeights(sourceWidth, result.Width());
  plan.columns = PlanColumns(plan.across, sourceWidth);
  plan.down = AxisWeights(sourceHeight, result.Height());
  plan.area = static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(sourceWidth) *
                                                       static_cast<uint32_t>(sourceHeight))) /
              result.Width() / result.Height();
  plan_ = std::move(shared);
  Init();
}

TRowResampler::TRowResampler(const TRowResampler& shared, int rowBegin, int rowEnd)
    : result_(shared.result_), plan_(shared.plan_), nextRow_(rowBegin), rowEnd_(rowEnd) {
  Init();
}

TRowResampler::~TRowResampler() = default;

void TRowResampler::Init() {
  const TAxisWeights& down = plan_->down;
  nextRow_ = std::max(0, std::min(nextRow_, result_.Height()));
  rowEnd_ = std::max(nextRow_, std::min(rowEnd_, result_.Height()));
  size_t taps = 1;
  for (int y = nextRow_; y < rowEnd_; ++y) {
    taps = std::max(taps, down.weights[static_cast<size_t>(y)].size());
  }
  // Every pending destination row reaches back at most `taps` source rows, and a pair of rows
  // may go one row beyond the row that completes it.
  ring_.assign(taps + 2, TRowSums{});
  line_.resize(static_cast<size_t>(plan_->across.sourceSize) * 3);
  pairLine_.resize(line_.size() * 2);
}

int TRowResampler::FirstSourceRow() const {
  return nextRow_ < rowEnd_ ? plan_->down.first[static_cast<size_t>(nextRow_)] : 0;
}

int TRowResampler::EndSourceRow() const {
  if (nextRow_ >= rowEnd_) return 0;
  const size_t last = static_cast<size_t>(rowEnd_ - 1);
  return plan_->down.first[last] + static_cast<int>(plan_->down.weights[last].size());
}

void TRowResampler::Push(int sourceRow, const uint8_t* line) {
  const TPlan& plan = *plan_;
  if (nextRow_ >= rowEnd_ || sourceRow < plan.down.first[static_cast<size_t>(nextRow_)]) return;
  const int width = result_.Width();
  const size_t rowLength = static_cast<size_t>(width) * 3;
  auto slotFor = [&](int row) -> double* {
    TRowSums& slot = ring_[static_cast<size_t>(row) % ring_.size()];
    slot.row = row;
    slot.sums.resize(rowLength);
    return slot.sums.data();
  };
  if (heldRow_ < 0 && sourceRow + 1 < EndSourceRow()) {
    // Rows are weighted across in pairs: keep this one until the next arrives.
    held_.assign(line, line + line_.size());
    heldRow_ = sourceRow;
    return;
  }
  if (heldRow_ >= 0) {
    TLazyPair source(held_.data(), line, pairLine_.data(), line_.size());
    double* sumsA = slotFor(heldRow_);
    double* sumsB = slotFor(sourceRow);
    switch (plan.columns.taps) {
      case 4:
        HorizontalPairSums<4>(source, plan.columns, sumsA, sumsB, width);
        break;
      case 5:
        HorizontalPairSums<5>(source, plan.columns, sumsA, sumsB, width);
        break;
      case 6:
        HorizontalPairSums<6>(source, plan.columns, sumsA, sumsB, width);
        break;
      default:
        HorizontalPairSums<0>(source, plan.columns, sumsA, sumsB, width);
        break;
    }
    heldRow_ = -1;
  } else {
    TLazyLine source(line, line_.data(), line_.size());
    HorizontalSums(source, plan.columns, slotFor(sourceRow), width);
  }
  // Every destination row whose last source row this was is complete now.
  while (nextRow_ < rowEnd_) {
    const size_t y = static_cast<size_t>(nextRow_);
    const int first = plan.down.first[y];
    const std::vector<double>& wy = plan.down.weights[y];
    if (first + static_cast<int>(wy.size()) - 1 > sourceRow) break;
    rows_.resize(wy.size());
    for (size_t k = 0; k < wy.size(); ++k) {
      rows_[k] = ring_[static_cast<size_t>(first + static_cast<int>(k)) % ring_.size()].sums.data();
    }
    uint8_t* out = result_.ScanLine(nextRow_);
    switch (wy.size()) {
      case 4:
        VerticalRow<4>(rows_.data(), wy.data(), 4, plan.area, out, rowLength);
        break;
      case 5:
        VerticalRow<5>(rows_.data(), wy.data(), 5, plan.area, out, rowLength);
        break;
      case 6:
        VerticalRow<6>(rows_.data(), wy.data(), 6, plan.area, out, rowLength);
        break;
      default:
        VerticalRow<0>(rows_.data(), wy.data(), wy.size(), plan.area, out, rowLength);
        break;
    }
    ++nextRow_;
  }
}

void ResampleBox(int index, double scale, double& start, double& end) {
  const long double s = scale;
  start = static_cast<double>(static_cast<long double>(index) * s - 0.5L);
  end = static_cast<double>(static_cast<long double>(index + 1) * s - 0.500001L);
}

std::unique_ptr<TBitmap> ResampleBitmap(const TBitmap& source, int newWidth, int newHeight,
                                        int threads) {
  if (source.Width() < 1 || source.Height() < 1 || newWidth < 1 || newHeight < 1) {
    throw EAssertionFailed();
  }
  // A 24-bit source is read as it is; others through a 24-bit working copy.
  std::unique_ptr<TBitmap> working;
  const TBitmap* pixels = &source;
  if (source.PixelFormat() != TPixelFormat::pf24bit) {
    working = std::make_unique<TBitmap>();
    working->Assign(&source);
    working->SetPixelFormat(TPixelFormat::pf24bit);
    pixels = working.get();
  }
  auto result = std::make_unique<TBitmap>();
  result->SetPixelFormat(TPixelFormat::pf24bit);
  result->SetSize(newWidth, newHeight);
  const TRowResampler whole(pixels->Width(), pixels->Height(), *result);
  auto run = [pixels](TRowResampler& part) {
    const int end = part.EndSourceRow();
    for (int y = part.FirstSourceRow(); y < end; ++y) part.Push(y, pixels->ScanLine(y));
  };
  threads = std::max(1, std::min(threads, newHeight));
  if (threads == 1) {
    TRowResampler all(whole, 0, newHeight);
    run(all);
    return result;
  }
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      TRowResampler part(whole, newHeight * t / threads, newHeight * (t + 1) / threads);
      run(part);
    });
  }
  for (std::thread& worker : workers) worker.join();
  return result;
}
