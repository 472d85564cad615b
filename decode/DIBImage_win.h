// The Windows side of device-independent bitmaps: drawing with GDI, logical palettes, the DIB
// clipboard format and a canvas whose device context draws into a DIB's pixels.
#pragma once

#include <windows.h>

#include "base/Handles_win.h"
#include "decode/DIBImage.h"

// A logical palette of these colours (version 0x300, flags 0); none when there are none.
TGdiObject CreateLogicalPalette(const std::vector<TRGBQuad>& colors);

// A logical palette of the picture's palette (halftone palettes in the halftone modes); none
// when it has no colours. EOutOfResources when GDI refuses.
TGdiObject CreateDIBPalette(const TDIBImage& dib);

// Draws the whole picture stretched into the rectangle.
void DrawDIB(const TDIBImage& dib, HDC dc, const TRect& rect);

// The DIB clipboard format (8): a global memory block holding the packed DIB.
void LoadDIBFromClipboardFormat(TDIBImage& dib, UINT format, HANDLE data);
HGLOBAL SaveDIBToClipboardFormat(const TDIBImage& dib, UINT& format);

// A device context that draws straight into the picture's pixels while it lives. The picture
// must be uncompressed and use the page-file option.
class TDIBCanvas {
 public:
  explicit TDIBCanvas(TDIBImage& dib);
  TDIBCanvas(const TDIBCanvas&) = delete;
  TDIBCanvas& operator=(const TDIBCanvas&) = delete;
  ~TDIBCanvas();

  HDC Handle() const { return dc_; }

 private:
  TDIBImage& dib_;
  HBITMAP section_ = nullptr;
  HDC dc_ = nullptr;
  HGDIOBJ old_ = nullptr;
};
