// The same kernels in AVX's encoding (built with -mavx; 128-bit operations only, no fused
// multiply-add), for processors that have AVX.
#include "engine/ResampleKernels_impl.h"

namespace {
const TResampleKernels kVex{"AVX", Horizontal, HorizontalPair, Vertical};
}  // namespace

const TResampleKernels* const kVexResampleKernels = &kVex;
