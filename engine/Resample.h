// The quality shrink: every destination pixel is the exact average, over its footprint in
// source coordinates, of the bilinear surface through the source pixel centres. The result is
// always a new 24-bit bitmap.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "decode/Bitmap.h"

// EAssertionFailed "Assertion failure" for an empty source, or a new size below 1 in either
// direction. `threads` splits the destination rows between workers (the bytes do not change).
std::unique_ptr<TBitmap> ResampleBitmap(const TBitmap& source, int newWidth, int newHeight,
                                        int threads = 1);
// The same over a source of width x height whose 24-bit rows (blue-green-red, top row 0)
// `rowAt` gives, wherever they lie; it may be called from several threads at once.
std::unique_ptr<TBitmap> ResampleRows(int width, int height,
                                      const std::function<const uint8_t*(int y)>& rowAt,
                                      int newWidth, int newHeight, int threads = 1);

class EAssertionFailed : public Exception {
 public:
  EAssertionFailed() : Exception("Assertion failure") {}
};

// The same computation fed one source row at a time, top first, so a decoder can hand its rows
// over as it produces them and no whole source picture is ever held. Each destination row is
// written into `result` (24 bits, already sized) as soon as its last source row has arrived.
class TRowResampler {
 public:
  // Destination rows [rowBegin, rowEnd) of `result`, from a source of the given size.
  TRowResampler(int sourceWidth, int sourceHeight, TBitmap& result, int rowBegin = 0,
                int rowEnd = 1 << 30);
  // Another range of the same job, sharing the weights computed by `shared`.
  TRowResampler(const TRowResampler& shared, int rowBegin, int rowEnd);
  TRowResampler& operator=(const TRowResampler&) = delete;
  ~TRowResampler();

  // The source rows the pending destination rows still need: [FirstSourceRow, EndSourceRow).
  int FirstSourceRow() const;
  int EndSourceRow() const;
  // Source row `sourceRow` (24-bit, blue-green-red). Rows must come in increasing order; rows
  // no pending destination row needs are ignored.
  void Push(int sourceRow, const uint8_t* line);
  bool Done() const { return nextRow_ >= rowEnd_; }

 private:
  struct TPlan;
  struct TRowSums {
    int row = -1;
    std::vector<double> sums;
  };
  void Init();

  TBitmap& result_;
  std::shared_ptr<const TPlan> plan_;
  int nextRow_;
  int rowEnd_;
  std::vector<TRowSums> ring_;
  std::vector<double> line_;
  std::vector<double> pairLine_;
  std::vector<uint8_t> held_;  // a source row waiting for the next, to be weighted as a pair
  int heldRow_ = -1;
  std::vector<const double*> rows_;
};

// The footprint of destination pixel `index` along one axis, in source coordinates, computed as
// the definition says: the product in extended precision, 0.500001 as an extended constant,
// stored as double.
void ResampleBox(int index, double scale, double& start, double& end);
