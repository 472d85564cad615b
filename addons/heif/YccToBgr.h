// 8-bit YCbCr planes, as HEVC and AV1 decoders leave a photo, turned straight into the
// bottom-up 24-bit bitmap our plug-ins hand over, on two threads. libheif's own way goes through
// an interleaved RGB copy first, one pixel at a time; this is the same arithmetic (its 8-bit
// fixed point, nearest chroma sample) without the copy. Portable, shared with the native tests.
#pragma once

#include <cstddef>
#include <cstdint>

struct TYccPlanes {
  const uint8_t* Y = nullptr;
  const uint8_t* Cb = nullptr;  // null for a monochrome picture
  const uint8_t* Cr = nullptr;
  size_t YStride = 0;
  size_t CStride = 0;
  int Width = 0;
  int Height = 0;
  int ShiftX = 0;  // chroma subsampling: 1 and 1 for 4:2:0, 1 and 0 for 4:2:2, 0 for 4:4:4
  int ShiftY = 0;
};

// How the samples become RGB: the matrix's coefficients scaled by 256 (limited range folded
// in), and the luma's offset and scale.
struct TYccMatrix {
  int Rcr = 0;
  int Gcb = 0;
  int Gcr = 0;
  int Bcb = 0;
  int YOffset = 0;
  int YScale = 256;
};

// The matrix of an nclx box's matrix_coefficients and full_range_flag, as libheif reads it
// (no box: BT.601, full range); false for the matrices left to libheif (identity, YCgCo,
// chromaticity-derived, ICtCp).
bool YccMatrixOf(bool hasNclx, int matrixCoefficients, bool fullRange, TYccMatrix& matrix);

// Writes the picture into `out`, rows of `row` bytes, the bottom row first.
void YccToBgr(const TYccPlanes& in, const TYccMatrix& matrix, uint8_t* out, size_t row);
