// The same kernels in AVX's encoding (built with -mavx; 128-bit operations only, no fused
// multiply-add), for processors that have AVX. Everything here stays in this file (a test checks
// the object): an inline function emitted out of line could be the copy the linker keeps for the
// whole program, and a processor without AVX cannot run it.
#include "engine/ResampleKernels_impl.h"

namespace {
const TResampleKernels kVex{"AVX", Horizontal, HorizontalPair, Vertical};
}  // namespace

const TResampleKernels* const kVexResampleKernels = &kVex;
