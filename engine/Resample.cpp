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

// The weights of one axis in a flat table: `taps` weights per destination index (zero-padded),
// starting at source index first[d]. Regular loops let the compiler keep them in registers.
struct TFlatWeights {
  int taps = 0;
  std::vector<int> first;
  std::vector<double> weights;
};

TFlatWeights Flatten(const TAxisWeights& axis) {
  TFlatWeights flat;
  for (const std::vector<double>& w : axis.weights)
    flat.taps = std::max(flat.taps, static_cast<int>(w.size()));
  flat.first = axis.first;
  flat.weights.assign(axis.weights.size() * static_cast<size_t>(flat.taps), 0.0);
  for (size_t d = 0; d < axis.weights.size(); ++d) {
    std::copy(axis.weights[d].begin(), axis.weights[d].end(),
              flat.weights.begin() + static_cast<ptrdiff_t>(d * static_cast<size_t>(flat.taps)));
  }
  return flat;
}

// One source row weighted across: `sums` gets three doubles per destination column. The row is
// first widened to doubles, each sample once.
void HorizontalSums(const uint8_t* line, int sourceWidth, const TFlatWeights& across,
                    std::vector<double>& widened, double* sums, int width) {
  for (int i = 0; i < sourceWidth * 3; ++i) widened[static_cast<size_t>(i)] = kByte.value[line[i]];
  const int taps = across.taps;
  for (int x = 0; x < width; ++x) {
    const double* w = across.weights.data() + static_cast<size_t>(x) * static_cast<size_t>(taps);
    int c = across.first[static_cast<size_t>(x)];
    // Zero-padded taps past the row's end would read outside it: those columns take fewer.
    const int n = std::min(taps, sourceWidth - c);
    const double* p = widened.data() + static_cast<size_t>(c) * 3;
    double b = 0;
    double g = 0;
    double r = 0;
    for (int t = 0; t < n; ++t, p += 3) {
      b += w[t] * p[0];
      g += w[t] * p[1];
      r += w[t] * p[2];
    }
    sums[x * 3] = b;
    sums[x * 3 + 1] = g;
    sums[x * 3 + 2] = r;
  }
}

// Destination rows [rowBegin, rowEnd): horizontal sums of each needed source row (kept while
// neighbouring destination rows share it), then the vertical weighting.
void ResampleRows(const TBitmap& source, TBitmap& result, const TFlatWeights& across,
                  const TAxisWeights& down, double area, int rowBegin, int rowEnd) {
  const int width = result.Width();
  const size_t rowLength = static_cast<size_t>(width) * 3;
  std::vector<double> widened(static_cast<size_t>(source.Width()) * 3);
  // A small ring of horizontally summed source rows, indexed by source row.
  struct TRowSums {
    int row = -1;
    std::vector<double> sums;
  };
  std::vector<TRowSums> ring(16);
  auto rowSums = [&](int r) -> const double* {
    TRowSums& slot = ring[static_cast<size_t>(r) % ring.size()];
    if (slot.row != r) {
      slot.row = r;
      slot.sums.resize(rowLength);
      HorizontalSums(source.ScanLine(r), source.Width(), across, widened, slot.sums.data(), width);
    }
    return slot.sums.data();
  };
  std::vector<double> acc(rowLength);
  const double inverse = area;  // divided, not multiplied by a reciprocal: the bytes must match
  for (int y = rowBegin; y < rowEnd; ++y) {
    const int first = down.first[static_cast<size_t>(y)];
    const std::vector<double>& wy = down.weights[static_cast<size_t>(y)];
    if (wy.size() > ring.size()) ring.resize(wy.size() * 2);
    std::fill(acc.begin(), acc.end(), 0.0);
    for (size_t k = 0; k < wy.size(); ++k) {
      const double* sums = rowSums(first + static_cast<int>(k));
      const double weight = wy[k];
      for (size_t i = 0; i < rowLength; ++i) acc[i] += weight * sums[i];
    }
    uint8_t* out = result.ScanLine(y);
    for (size_t i = 0; i < rowLength; ++i) out[i] = ToByte(acc[i] / inverse);
  }
}

}  // namespace

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
  const double area =
      static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(source.Width()) *
                                               static_cast<uint32_t>(source.Height()))) /
      newWidth / newHeight;
  const TFlatWeights across = Flatten(AxisWeights(source.Width(), newWidth));
  const TAxisWeights down = AxisWeights(source.Height(), newHeight);

  auto result = std::make_unique<TBitmap>();
  result->SetPixelFormat(TPixelFormat::pf24bit);
  result->SetSize(newWidth, newHeight);
  threads = std::max(1, std::min(threads, newHeight));
  if (threads == 1) {
    ResampleRows(*pixels, *result, across, down, area, 0, newHeight);
    return result;
  }
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    const int begin = newHeight * t / threads;
    const int end = newHeight * (t + 1) / threads;
    workers.emplace_back(
        [&, begin, end] { ResampleRows(*pixels, *result, across, down, area, begin, end); });
  }
  for (std::thread& worker : workers) worker.join();
  return result;
}
