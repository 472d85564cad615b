// The device-independent bitmap picture class: pixels as a BMP keeps them, shared between
// copies until one of them changes, with BMP reading and writing, assignment to and from
// device bitmaps, palettes and the pixel-format conversions.
#pragma once

#include <memory>
#include <vector>

#include "base/ColorText.h"
#include "decode/DIBStore.h"
#include "decode/Graphic.h"

class TBitmap;
class TDIBCanvas;

class TDIBImage : public TGraphic {
 public:
  TDIBImage();

  const char* ClassName() const override { return "TDIBImage"; }
  int Width() const override { return store_->Width(); }
  int Height() const override { return store_->Height(); }
  bool Empty() const override { return false; }
  void SetWidth(int width);
  void SetHeight(int height);
  int BitCount() const { return store_->BitCount(); }
  void SetBitCount(int bitCount);
  TDIBPixelFormat PixelFormat() const { return store_->GetPixelFormat(); }
  void SetPixelFormat(TDIBPixelFormat format);

  // On failure the picture is unchanged.
  void Draw(TCanvasHandle canvas, const TRect& rect) const override;
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
  // The DIB clipboard format (8): a packed DIB.
  void LoadFromPackedDIB(const void* data, size_t size);
  std::vector<uint8_t> SavePackedDIB() const { return store_->SavePackedDIB(); }

  void Assign(const TGraphic* source) override;
  bool AssignTo(TGraphic& target) const override;

  // The palette: the colours-used entries of the colour table (the halftone palettes in the
  // halftone modes). Setting an empty palette sets colours used to 0.
  std::vector<TRGBQuad> Palette() const;
  void SetPalette(const std::vector<TRGBQuad>& colors);
  // 24-bit pictures only: the best 256 colours into the colour table; pixels stay 24-bit.
  void CreateTrueColorPalette();

  // Takes over a ready store (a decoder that built one itself); EDIBInvalidDIB when its bit
  // count and compression make no format.
  void LoadFromStore(std::shared_ptr<TDIBStore> store);

  // For the drawing code of the platform and for tests.
  const TDIBStore& Store() const { return *store_; }
  bool SharesStoreWith(const TDIBImage& other) const { return store_ == other.store_; }

  static bool DefaultUseFMO;
  bool UseFMO = DefaultUseFMO;
  uint8_t ReductionQuality = 0;  // 0: 5-6-5 cell histogram, 1: every pixel
  TColor OneBitColor = 0xFFFFFF;
  uint8_t HalftoneMode = 0;  // 0 none, 1 halftone colour, 2 halftone black and white

 private:
  friend class TDIBCanvas;

  void Replace(std::shared_ptr<TDIBStore> store);
  // Makes the store this picture's own before a change in place.
  TDIBStore& UniqueDIB();

  std::shared_ptr<TDIBStore> store_;
};

// The process-wide halftone palettes: 215 colours, and black and white.
const std::vector<TRGBQuad>& HalftoneColorPalette();
const std::vector<TRGBQuad>& HalftoneBWPalette();
