// The kernels for every x86 processor since SSE2 (and the plain C++ form elsewhere).
#include "engine/ResampleKernels_impl.h"

const TResampleKernels kSse2ResampleKernels{"SSE2", Horizontal, HorizontalPair, Vertical};
