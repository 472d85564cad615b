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

// Bytes as doubles by table: a load instead of a conversion per sample.
struct TByteToDouble {
  double value[256];
  TByteToDouble() {
    for (int i = 0; i < 256; ++i) value[i] = i;
  }
};
const TByteToDouble kByte;

// The horizontal weights of one destination column: inside the box every source column gets
// exactly 1 (half from each neighbouring cell), so only the few columns at the box's edges carry
// other weights. Those are kept; the run of ones between them is summed exactly in integers.
struct TColumnWeights {
  int first = 0;        // first source column
  int lead = 0;         // weights before the run of ones
  int ones = 0;         // length of the run
  int trail = 0;        // weights after it
  double weights[8]{};  // lead weights, then trail weights
};

struct TRowPlan {
  std::vector<TColumnWeights> columns;
  bool usable = true;  // false when some column has more than 8 edge weights
};

TRowPlan PlanColumns(const TAxisWeights& axis) {
  TRowPlan plan;
  plan.columns.resize(axis.weights.size());
  for (size_t x = 0; x < axis.weights.size(); ++x) {
    const std::vector<double>& w = axis.weights[x];
    TColumnWeights& c = plan.columns[x];
    c.first = axis.first[x];
    size_t begin = 0;
    while (begin < w.size() && w[begin] != 1.0) ++begin;
    size_t end = begin;
    while (end < w.size() && w[end] == 1.0) ++end;
    if (begin == w.size()) end = begin;  // no run of ones: every weight is an edge weight
    c.lead = static_cast<int>(begin);
    c.ones = static_cast<int>(end - begin);
    c.trail = static_cast<int>(w.size() - end);
    if (c.lead + c.trail > 8) {
      plan.usable = false;
      continue;
    }
    int k = 0;
    for (size_t i = 0; i < begin; ++i) c.weights[k++] = w[i];
    for (size_t i = end; i < w.size(); ++i) c.weights[k++] = w[i];
  }
  return plan;
}

// One source row weighted across: three doubles per destination column. Each run of ones is
// summed in integers (exact), then added once.
void HorizontalSums(const uint8_t* line, const TRowPlan& plan, const TAxisWeights& axis,
                    double* sums, int width) {
  if (!plan.usable) {
    // Enlarging or extreme shapes: weigh every column.
    for (int x = 0; x < width; ++x) {
      const std::vector<double>& w = axis.weights[static_cast<size_t>(x)];
      const uint8_t* p = line + static_cast<ptrdiff_t>(axis.first[static_cast<size_t>(x)]) * 3;
      double b = 0, g = 0, r = 0;
      for (size_t t = 0; t < w.size(); ++t, p += 3) {
        b += w[t] * kByte.value[p[0]];
        g += w[t] * kByte.value[p[1]];
        r += w[t] * kByte.value[p[2]];
      }
      sums[x * 3] = b;
      sums[x * 3 + 1] = g;
      sums[x * 3 + 2] = r;
    }
    return;
  }
  for (int x = 0; x < width; ++x) {
    const TColumnWeights& c = plan.columns[static_cast<size_t>(x)];
    const uint8_t* p = line + static_cast<ptrdiff_t>(c.first) * 3;
    double sb = 0, sg = 0, sr = 0;
    int k = 0;
    for (int t = 0; t < c.lead; ++t, ++k, p += 3) {
      sb += c.weights[k] * kByte.value[p[0]];
      sg += c.weights[k] * kByte.value[p[1]];
      sr += c.weights[k] * kByte.value[p[2]];
    }
    if (c.ones > 0) {
      int32_t rb = 0, rg = 0, rr = 0;
      for (int t = 0; t < c.ones; ++t, p += 3) {
        rb += p[0];
        rg += p[1];
        rr += p[2];
      }
      sb += rb;
      sg += rg;
      sr += rr;
    }
    for (int t = 0; t < c.trail; ++t, ++k, p += 3) {
      sb += c.weights[k] * kByte.value[p[0]];
      sg += c.weights[k] * kByte.value[p[1]];
      sr += c.weights[k] * kByte.value[p[2]];
    }
    sums[x * 3] = sb;
    sums[x * 3 + 1] = sg;
    sums[x * 3 + 2] = sr;
  }
}

}  // namespace

// The plan shared by every row: both axes' weights and the run-of-ones form of the horizontal one.
struct TRowResampler::TPlan {
  TAxisWeights across;
  TRowPlan columns;
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
  plan.columns = PlanColumns(plan.across);
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
  acc_.resize(static_cast<size_t>(result_.Width()) * 3);
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
  TRowSums& slot = ring_[static_cast<size_t>(sourceRow) % ring_.size()];
  slot.row = sourceRow;
  slot.sums.resize(rowLength);
  HorizontalSums(line, plan.columns, plan.across, slot.sums.data(), width);
  // Every destination row whose last source row this was is complete now.
  while (nextRow_ < rowEnd_) {
    const size_t y = static_cast<size_t>(nextRow_);
    const int first = plan.down.first[y];
    const std::vector<double>& wy = plan.down.weights[y];
    if (first + static_cast<int>(wy.size()) - 1 > sourceRow) break;
    std::fill(acc_.begin(), acc_.end(), 0.0);
    for (size_t k = 0; k < wy.size(); ++k) {
      const TRowSums& sums = ring_[static_cast<size_t>(first + static_cast<int>(k)) % ring_.size()];
      const double weight = wy[k];
      const double* in = sums.sums.data();
      for (size_t i = 0; i < rowLength; ++i) acc_[i] += weight * in[i];
    }
    // Divided, not multiplied by a reciprocal: the bytes must match the definition.
    uint8_t* out = result_.ScanLine(nextRow_);
    for (size_t i = 0; i < rowLength; ++i) out[i] = ToByte(acc_[i] / plan.area);
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
