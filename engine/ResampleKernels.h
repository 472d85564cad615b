// The resampler's inner loops, built twice: for SSE2, and with AVX's encoding of the very same
// operations for processors that have AVX. Plain SSE instructions that follow AVX code (here:
// libjpeg-turbo's AVX2 decoder) can run at half speed or worse, which the second build avoids;
// both give the same bytes, since the operations and their order are the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The horizontal weights laid out for a loop of fixed length: every destination column reads
// `taps` consecutive source columns from its `first`, the weights it does not need being 0 (an
// added 0 * p leaves a sum unchanged). A loop whose length never changes runs without mispredicted
// branches, which dominate a loop over a few taps of varying count.
struct THorizontalPlan {
  int taps = 0;
  std::vector<int> first;       // per destination column
  std::vector<double> weights;  // `taps` per destination column, each stored twice (w, w)
};

struct TResampleKernels {
  const char* Name;
  // One source row (24-bit) weighted across into three doubles per destination column;
  // `scratch` holds `length` doubles.
  void (*Horizontal)(const uint8_t* line, double* scratch, size_t length,
                     const THorizontalPlan& plan, double* sums, int width);
  // Two source rows at once; `scratch` holds 2 * `length` doubles.
  void (*HorizontalPair)(const uint8_t* first, const uint8_t* second, double* scratch,
                         size_t length, const THorizontalPlan& plan, double* sumsFirst,
                         double* sumsSecond, int width);
  // A destination row from the weighted sums of its source rows: divided by the area, rounded
  // half to even, clamped to bytes.
  void (*Vertical)(const double* const* rows, const double* weights, size_t taps, double area,
                   uint8_t* out, size_t length);
};

extern const TResampleKernels kSse2ResampleKernels;
// Null where the compiler cannot build the AVX-encoded kernels.
extern const TResampleKernels* const kVexResampleKernels;

// The kernels in use: by the processor, unless a test chose others (null goes back to the
// processor's choice).
const TResampleKernels& ResampleKernels();
void SetResampleKernels(const TResampleKernels* kernels);
