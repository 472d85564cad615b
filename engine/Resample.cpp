#include "engine/Resample.h"

#include <cmath>
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

// Rounds to nearest, ties to even (the conversion's own rounding), clamped to a byte.
inline uint8_t ToByte(double value) {
  const long v = std::lrint(value);
  return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Destination rows [rowBegin, rowEnd): horizontal sums of each needed source row (kept while
// neighbouring destination rows share it), then the vertical weighting.
void ResampleRows(const TBitmap& source, TBitmap& result, const TAxisWeights& across,
                  const TAxisWeights& down, double area, int rowBegin, int rowEnd) {
  const int width = result.Width();
  struct TRowSums {
    int row = -1;
    std::vector<double> sums;
  };
  std::vector<TRowSums> cache;  // the source rows of the current destination row
  for (int y = rowBegin; y < rowEnd; ++y) {
    const int first = down.first[static_cast<size_t>(y)];
    const std::vector<double>& wy = down.weights[static_cast<size_t>(y)];
    std::vector<TRowSums> rows;
    rows.reserve(wy.size());
    for (size_t k = 0; k < wy.size(); ++k) {
      const int r = first + static_cast<int>(k);
      TRowSums entry;
      for (TRowSums& old : cache) {
        if (old.row == r) {
          entry = std::move(old);
          break;
        }
      }
      if (entry.row != r) {
        entry.row = r;
        entry.sums.assign(static_cast<size_t>(width) * 3, 0.0);
        const uint8_t* line = source.ScanLine(r);
        for (int x = 0; x < width; ++x) {
          const int c0 = across.first[static_cast<size_t>(x)];
          const std::vector<double>& wx = across.weights[static_cast<size_t>(x)];
          double b = 0;
          double g = 0;
          double red = 0;
          const uint8_t* p = line + static_cast<ptrdiff_t>(c0) * 3;
          for (size_t i = 0; i < wx.size(); ++i, p += 3) {
            b += wx[i] * p[0];
            g += wx[i] * p[1];
            red += wx[i] * p[2];
          }
          entry.sums[static_cast<size_t>(x) * 3] = b;
          entry.sums[static_cast<size_t>(x) * 3 + 1] = g;
          entry.sums[static_cast<size_t>(x) * 3 + 2] = red;
        }
      }
      rows.push_back(std::move(entry));
    }
    uint8_t* out = result.ScanLine(y);
    for (int i = 0; i < width * 3; ++i) {
      double sum = 0;
      for (size_t k = 0; k < wy.size(); ++k) sum += wy[k] * rows[k].sums[static_cast<size_t>(i)];
      out[i] = ToByte(sum / area);
    }
    cache = std::move(rows);
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
  const TAxisWeights across = AxisWeights(source.Width(), newWidth);
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
