// Processors without AVX's encoding: the SSE2 (or plain) kernels only.
#include "engine/ResampleKernels.h"

const TResampleKernels* const kVexResampleKernels = nullptr;
