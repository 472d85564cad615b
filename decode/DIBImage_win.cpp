#include "decode/DIBImage_win.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "decode/DIBErrors.h"

namespace {

// The packed header and colour table GDI takes with the pixels.
std::vector<uint8_t> BitmapInfo(const TDIBStore& store, const std::vector<TRGBQuad>& colors) {
  std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(info.data());
  header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = store.Header.biWidth;
  header->biHeight = store.Header.biHeight;
  header->biPlanes = 1;
  header->biBitCount = store.Header.biBitCount;
  header->biCompression = store.Header.biCompression;
  header->biSizeImage = static_cast<DWORD>(store.Pixels.size());
  header->biXPelsPerMeter = store.Header.biXPelsPerMeter;
  header->biYPelsPerMeter = store.Header.biYPelsPerMeter;
  header->biClrUsed = static_cast<DWORD>(std::min<size_t>(colors.size(), 256));
  if (!colors.empty()) {
    std::memcpy(info.data() + sizeof(BITMAPINFOHEADER), colors.data(),
                std::min<size_t>(colors.size(), 256) * sizeof(RGBQUAD));
  }
  return info;
}

}  // namespace

TGdiObject CreateLogicalPalette(const std::vector<TRGBQuad>& colors) {
  if (colors.empty()) return TGdiObject();
  std::vector<uint8_t> buffer(sizeof(LOGPALETTE) + 256 * sizeof(PALETTEENTRY), 0);
  auto* palette = reinterpret_cast<LOGPALETTE*>(buffer.data());
  palette->palVersion = 0x300;
  palette->palNumEntries = static_cast<WORD>(std::min<size_t>(colors.size(), 256));
  for (size_t i = 0; i < palette->palNumEntries; ++i) {
    palette->palPalEntry[i] = PALETTEENTRY{colors[i].Red, colors[i].Green, colors[i].Blue, 0};
  }
  return TGdiObject(CreatePalette(palette));
}

TGdiObject CreateDIBPalette(const TDIBImage& dib) {
  const std::vector<TRGBQuad> colors = dib.Palette();
  if (colors.empty()) return TGdiObject();
  TGdiObject handle = CreateLogicalPalette(colors);
  if (!handle) {
    throw EOutOfResources(dib.HalftoneMode != 0 ? "TDIBImage.GetPalette: Cannot Make Palette(1)"
                                                : "GetPaletteFromDIBInfos: Cannot Make Palette");
  }
  return handle;
}

void DrawDIB(const TDIBImage& dib, HDC dc, const TRect& rect) {
  if (dib.HalftoneMode != 0) {
    if (rect.Right <= rect.Left || rect.Bottom <= rect.Top) return;
    // Stretch into a picture of the rectangle's size, dither that, and draw it 1 : 1.
    TDIBImage temporary;
    temporary.SetBitCount(dib.BitCount() == 24 ? 24 : 8);
    temporary.SetWidth(rect.Right - rect.Left);
    temporary.SetHeight(rect.Bottom - rect.Top);
    temporary.SetPalette(dib.Store().Colors());
    {
      TDIBImage plain;
      plain.Assign(&dib);
      plain.HalftoneMode = 0;
      TDIBCanvas canvas(temporary);
      DrawDIB(plain, canvas.Handle(), TRect{0, 0, rect.Right - rect.Left, rect.Bottom - rect.Top});
    }
    temporary.SetPixelFormat(dib.HalftoneMode == 1 ? TDIBPixelFormat::dfHalftoneColor
                                                   : TDIBPixelFormat::dfHalftoneBW);
    DrawDIB(temporary, dc, rect);
    return;
  }
  const TDIBStore& store = dib.Store();
  TGdiObject palette = CreateDIBPalette(dib);
  HPALETTE oldPalette = nullptr;
  if (palette) {
    oldPalette = SelectPalette(dc, static_cast<HPALETTE>(palette.get()), TRUE);
    RealizePalette(dc);
  }
  const int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
  const std::vector<uint8_t> info = BitmapInfo(store, store.Colors());
  StretchDIBits(dc, rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top, 0, 0,
                store.Width(), store.Height(), store.Pixels.data(),
                reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS, SRCCOPY);
  SetStretchBltMode(dc, oldMode);
  if (palette) SelectPalette(dc, oldPalette, TRUE);
}

void LoadDIBFromClipboardFormat(TDIBImage& dib, UINT format, HANDLE data) {
  if (format != CF_DIB || data == nullptr) {
    throw EInvalidGraphic("TDIBImage.LoadFromClipboardFormat: Invalid Clipboard Format or No Data");
  }
  const SIZE_T size = GlobalSize(data);
  const void* bytes = GlobalLock(data);
  if (bytes == nullptr) {
    throw EInvalidGraphic("TDIBImage.LoadFromClipboardFormat: Invalid Clipboard Format or No Data");
  }
  struct TUnlock {
    HANDLE handle;
    ~TUnlock() { GlobalUnlock(handle); }
  } unlock{data};
  dib.LoadFromPackedDIB(bytes, size);
}

HGLOBAL SaveDIBToClipboardFormat(const TDIBImage& dib, UINT& format) {
  const std::vector<uint8_t> packed = dib.SavePackedDIB();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, packed.size());
  if (block == nullptr) throw EOutOfResources("TDIBImage.SaveToClipboardFormat: Out of memory");
  void* target = GlobalLock(block);
  std::memcpy(target, packed.data(), packed.size());
  GlobalUnlock(block);
  format = CF_DIB;
  return block;
}

// The canvas lays a DIB section over the picture's own (then unshared) pixel block: what GDI
// draws lands in the picture without a copy.
TDIBCanvas::TDIBCanvas(TDIBImage& dib) : dib_(dib) {
  if (!dib.UseFMO || dib.Store().Header.biCompression != BI_RGB_) {
    throw EDIBCanvasFailed("TDIBCanvas.Create: Cannot Create Canvas");
  }
  TDIBStore& store = dib.UniqueDIB();
  if (store.Pixels.Mapping() == nullptr) {
    // Pixels taken over from a decoder live elsewhere: move them into a mapping first.
    TPixelBlock mapped(true);
    mapped.assign(store.Pixels.size());
    if (!store.Pixels.empty()) std::memcpy(mapped.data(), store.Pixels.data(), store.Pixels.size());
    store.Pixels = std::move(mapped);
  }
  if (store.Pixels.Mapping() == nullptr) {
    throw EDIBCanvasFailed("TDIBCanvas.Create: Cannot Create Canvas");
  }
  const std::vector<uint8_t> info = BitmapInfo(store, store.Colors());
  void* bits = nullptr;
  section_ =
      CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS,
                       &bits, static_cast<HANDLE>(store.Pixels.Mapping()), 0);
  if (section_ == nullptr || bits == nullptr) {
    throw EDIBCanvasFailed("TDIBCanvas.Create: Cannot Create Canvas");
  }
  dc_ = CreateCompatibleDC(nullptr);
  if (dc_ == nullptr) {
    DeleteObject(section_);
    throw EDIBCanvasFailed("TDIBCanvas.Create: Cannot Create Memory DC");
  }
  old_ = SelectObject(dc_, section_);
}

TDIBCanvas::~TDIBCanvas() {
  GdiFlush();
  SelectObject(dc_, old_);
  DeleteDC(dc_);
  DeleteObject(section_);
  dib_.UniqueDIB().PaletteModified = true;
  dib_.Changed();
}

void TDIBImage::Draw(TCanvasHandle canvas, const TRect& rect) const {
  DrawDIB(*this, static_cast<HDC>(canvas), rect);
}
