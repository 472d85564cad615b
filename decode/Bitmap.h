// The device bitmap every decoded picture ends up in: 1, 4, 8, 15, 16, 24 or 32 bits per pixel,
// a palette, row access and a transparent colour. Rows follow the BMP layout (bottom-up,
// blue-green-red, padded to 4 bytes); on Windows they are a DIB section that GDI can draw into.
#pragma once

#include <memory>
#include <vector>

#include "base/ColorText.h"
#include "decode/Graphic.h"
#include "decode/PixelMemory.h"

enum class TPixelFormat { pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

int BitCountOf(TPixelFormat format);

class TBitmap : public TGraphic {
 public:
  TBitmap() = default;

  const char* ClassName() const override { return "TBitmap"; }
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  bool Empty() const override { return width_ <= 0 || height_ <= 0; }
  // Keeps the overlapping top-left part of the picture; new parts are zero.
  void SetSize(int width, int height);
  void SetWidth(int width) { SetSize(width, height_); }
  void SetHeight(int height) { SetSize(width_, height); }

  TPixelFormat PixelFormat() const { return format_; }
  // Converts the pixels; towards an indexed format every colour takes its nearest palette entry.
  void SetPixelFormat(TPixelFormat format);
  int BitCount() const { return BitCountOf(format_); }

  const std::vector<TRGBQuad>& Palette() const { return palette_; }
  void SetPalette(std::vector<TRGBQuad> colors);

  // Row `y` counted from the top; null for an empty bitmap.
  uint8_t* ScanLine(int y);
  const uint8_t* ScanLine(int y) const;
  size_t Stride() const {
    return static_cast<size_t>(RowBytes(static_cast<uint64_t>(width_), BitCount()));
  }
  // The platform handle (an HBITMAP on Windows), or null.
  void* Handle() const { return memory_ ? memory_->Handle() : nullptr; }
  // Hands the pixels over (bottom-up rows, as Stride gives them), leaving the bitmap empty.
  std::unique_ptr<TPixelMemory> ReleaseMemory();

  TRGBQuad GetPixel(int x, int y) const;
  void SetPixel(int x, int y, TRGBQuad color);

  TColor TransparentColor = 0x20000000;  // clDefault: the bottom-left pixel

  void Draw(TCanvasHandle canvas, const TRect& rect) const override;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
  void Assign(const TGraphic* source) override;

 private:
  void Reallocate(int width, int height, TPixelFormat format);
  // The colour of pixel x of a row of this bitmap's format.
  TRGBQuad PixelInRow(const uint8_t* row, int x) const;

  int width_ = 0;
  int height_ = 0;
  TPixelFormat format_ = TPixelFormat::pf24bit;
  std::vector<TRGBQuad> palette_;
  std::unique_ptr<TPixelMemory> memory_;
};
