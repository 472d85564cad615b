// libjpeg driven from plain functions: errors leave through longjmp back into the function that
// set the jump, which holds no object with a destructor, destroys the codec and returns the
// library's message code. Nothing from libjpeg ever calls exit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct TJpegHeader {
  int Width = 0;
  int Height = 0;
  int Components = 0;
  bool Grey = false;
  bool Progressive = false;
};

// The result of a libjpeg run: 0, a libjpeg message code (> 0), or kJpegAborted.
constexpr int kJpegAborted = -1;
// Refused before decoding: the picture would take more than 1 GiB of 24-bit pixels.
constexpr int kJpegTooLarge = -2;
constexpr uint64_t kMaxJpegPixelBytes = uint64_t{1} << 30;

int ReadJpegHeader(const uint8_t* data, size_t size, TJpegHeader& header);

// Where decoded rows go. All callbacks run outside libjpeg's frames and must not throw.
struct TJpegSink {
  void* Context = nullptr;
  // The output size is known: make room for rows of `components` (1 grey, 3 blue-green-red)
  // bytes per pixel; `colorMap` holds `colors` entries of red, green, blue when the output is
  // quantised to a colour map. False stops decoding (as an abort).
  bool (*Begin)(void* context, int width, int height, int components, const uint8_t* colorMap,
                int colors) = nullptr;
  // Row y counted from the top.
  uint8_t* (*Row)(void* context, int y) = nullptr;
  // Percent done; true asks to stop quietly.
  bool (*Progress)(void* context, int percent) = nullptr;
};

struct TJpegDecodeOptions {
  bool Grayscale = false;  // ask for grey output
  bool Quantize = false;   // an 8-bit colour map of 236 colours for colour output
  bool Smoothing = true;   // block smoothing of progressive files
  bool FastDct = false;
  int ScaleDenominator = 1;  // 1, 2, 4 or 8
};

// Decodes into the sink. CMYK and YCCK pictures come out as blue-green-red, Adobe's inverted
// CMYK recognised by its marker.
int DecodeJpeg(const uint8_t* data, size_t size, const TJpegDecodeOptions& options,
               const TJpegSink& sink);

// Compresses blue-green-red rows (`rowAt(y)` from the top) at a quality of 0 to 100.
int EncodeJpeg(int width, int height, int quality, bool grey, bool progressive,
               const uint8_t* (*rowAt)(void* context, int y), void* context,
               std::vector<uint8_t>& out);
