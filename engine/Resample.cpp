#include "engine/Resample.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>
#include <system_error>
#include <vector>

#include "base/WorkerThread.h"
#include "engine/ResampleKernels.h"

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

const TResampleKernels* ProcessorKernels() {
#if defined(__i386__) || defined(__x86_64__)
  if (kVexResampleKernels != nullptr && __builtin_cpu_supports("avx")) return kVexResampleKernels;
#endif
  return &kSse2ResampleKernels;
}

const TResampleKernels*& ActiveKernels() {
  static const TResampleKernels* active = ProcessorKernels();
  return active;
}

}  // namespace

const TResampleKernels& ResampleKernels() {
  return *ActiveKernels();
}

void SetResampleKernels(const TResampleKernels* kernels) {
  ActiveKernels() = kernels != nullptr ? kernels : ProcessorKernels();
}

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
  const TResampleKernels& kernels = ResampleKernels();
  if (heldRow_ >= 0) {
    kernels.HorizontalPair(held_.data(), line, pairLine_.data(), line_.size(), plan.columns,
                           slotFor(heldRow_), slotFor(sourceRow), width);
    heldRow_ = -1;
  } else {
    kernels.Horizontal(line, line_.data(), line_.size(), plan.columns, slotFor(sourceRow), width);
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
    kernels.Vertical(rows_.data(), wy.data(), wy.size(), plan.area, result_.ScanLine(nextRow_),
                     rowLength);
    ++nextRow_;
  }
}

void ResampleBox(int index, double scale, double& start, double& end) {
  const long double s = scale;
  start = static_cast<double>(static_cast<long double>(index) * s - 0.5L);
  end = static_cast<double>(static_cast<long double>(index + 1) * s - 0.500001L);
}

std::unique_ptr<TBitmap> ResampleRows(int width, int height,
                                      const std::function<const uint8_t*(int y)>& rowAt,
                                      int newWidth, int newHeight, int threads) {
  if (width < 1 || height < 1 || newWidth < 1 || newHeight < 1) throw EAssertionFailed();
  auto result = std::make_unique<TBitmap>();
  result->SetPixelFormat(TPixelFormat::pf24bit);
  result->SetSize(newWidth, newHeight);
  const TRowResampler whole(width, height, *result);
  auto run = [&rowAt](TRowResampler& part) {
    const int end = part.EndSourceRow();
    for (int y = part.FirstSourceRow(); y < end; ++y) part.Push(y, rowAt(y));
  };
  threads = std::max(1, std::min(threads, newHeight));
  if (threads == 1) {
    TRowResampler all(whole, 0, newHeight);
    run(all);
    return result;
  }
  RunShares(threads, [&](int t) {
    TRowResampler part(whole, newHeight * t / threads, newHeight * (t + 1) / threads);
    run(part);
  });
  return result;
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
  return ResampleRows(
      pixels->Width(), pixels->Height(), [pixels](int y) { return pixels->ScanLine(y); }, newWidth,
      newHeight, threads);
}
