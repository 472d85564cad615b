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
// its taps in source order. `kTaps` fixes the tap count at compile time for the usual shrink
// factors (the loops then unroll); 0 takes it from the plan.
template <int kTaps>
void HorizontalSums(TLazyLine& source, const THorizontalPlan& plan, double* sums, int width) {
  const int taps = kTaps > 0 ? kTaps : plan.taps;
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

// A destination row from the horizontal sums of its source rows: weighted in order, divided by
// the area (divided, not multiplied by a reciprocal: the bytes must match the definition),
// rounded half to even and clamped.
void VerticalRow(const double* const* rows, const double* weights, size_t taps, double area,
                 uint8_t* out, size_t length) {
  size_t i = 0;
#ifdef __SSE2__
  // Four values at a time in two registers: each weight and row pointer is loaded once for both.
  const __m128d divisor = _mm_set1_pd(area);
  for (; i + 4 <= length; i += 4) {
    __m128d acc0 = _mm_setzero_pd();
    __m128d acc1 = _mm_setzero_pd();
    for (size_t k = 0; k < taps; ++k) {
      const __m128d weight = _mm_set1_pd(weights[k]);
      const double* row = rows[k] + i;
      acc0 = _mm_add_pd(acc0, _mm_mul_pd(weight, _mm_loadu_pd(row)));
      acc1 = _mm_add_pd(acc1, _mm_mul_pd(weight, _mm_loadu_pd(row + 2)));
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
  // Every pending destination row reaches back at most `taps` source rows.
  ring_.assign(taps + 1, TRowSums{});
  line_.resize(static_cast<size_t>(plan_->across.sourceSize) * 3);
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
  TLazyLine source(line, line_.data(), line_.size());
  TRowSums& slot = ring_[static_cast<size_t>(sourceRow) % ring_.size()];
  slot.row = sourceRow;
  slot.sums.resize(rowLength);
  switch (plan.columns.taps) {
    case 3:
      HorizontalSums<3>(source, plan.columns, slot.sums.data(), width);
      break;
    case 4:
      HorizontalSums<4>(source, plan.columns, slot.sums.data(), width);
      break;
    case 5:
      HorizontalSums<5>(source, plan.columns, slot.sums.data(), width);
      break;
    case 6:
      HorizontalSums<6>(source, plan.columns, slot.sums.data(), width);
      break;
    case 7:
      HorizontalSums<7>(source, plan.columns, slot.sums.data(), width);
      break;
    default:
      HorizontalSums<0>(source, plan.columns, slot.sums.data(), width);
      break;
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
    VerticalRow(rows_.data(), wy.data(), wy.size(), plan.area, result_.ScanLine(nextRow_),
                rowLength);
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
