// The quality shrink: every destination pixel is the exact average, over its footprint in
// source coordinates, of the bilinear surface through the source pixel centres. The result is
// always a new 24-bit bitmap.
#pragma once

#include <memory>

#include "decode/Bitmap.h"

// EAssertionFailed "Assertion failure" for an empty source, or a new size below 1 in either
// direction. `threads` splits the destination rows between workers (the bytes do not change).
std::unique_ptr<TBitmap> ResampleBitmap(const TBitmap& source, int newWidth, int newHeight,
                                        int threads = 1);

class EAssertionFailed : public Exception {
 public:
  EAssertionFailed() : Exception("Assertion failure") {}
};

// The footprint of destination pixel `index` along one axis, in source coordinates, computed as
// the definition says: the product in extended precision, 0.500001 as an extended constant,
// stored as double.
void ResampleBox(int index, double scale, double& start, double& end);
