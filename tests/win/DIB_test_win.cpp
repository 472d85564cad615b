// Device-independent bitmaps against real GDI: drawing, palettes, the clipboard, the canvas.
#include <doctest/doctest.h>

#include <random>

#include "base/Stream.h"
#include "decode/Bitmap.h"
#include "decode/DIBErrors.h"
#include "decode/DIBImage.h"
#include "decode/DIBImage_win.h"
#include "tests/decode/BmpBuilder.h"

namespace {

TDIBImage RandomDIB(int width, int height, TDIBPixelFormat format) {
  std::mt19937 random(static_cast<unsigned>(width * 31 + height));
  TBmpBuilder b;
  b.width = width;
  b.height = height;
  b.pixels.resize(static_cast<size_t>(RowBytes(static_cast<uint64_t>(width), 24) * height));
  for (auto& p : b.pixels) p = static_cast<uint8_t>(random() % 5 * 60);
  const std::vector<uint8_t> bytes = b.Build();
  TDIBImage dib;
  TBytesStream stream(bytes.data(), bytes.size());
  dib.LoadFromStream(stream);
  dib.SetPixelFormat(format);
  return dib;
}

// Draws the picture 1 : 1 with GDI into a 24-bit device bitmap.
TBitmap DrawnWithGdi(const TDIBImage& dib) {
  TBitmap target;
  target.SetSize(dib.Width(), dib.Height());
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, static_cast<HBITMAP>(target.Handle()));
  const TGraphic& graphic = dib;  // through the picture base, as every caller draws
  graphic.Draw(dc, TRect{0, 0, dib.Width(), dib.Height()});
  GdiFlush();
  SelectObject(dc, old);
  DeleteDC(dc);
  return target;
}

uint32_t Rgb(const TRGBQuad& q) {
  return (q.Red << 16) | (q.Green << 8) | q.Blue;
}

}  // namespace

TEST_CASE("GDI draws every format exactly as the portable assignment decodes it") {
  for (TDIBPixelFormat f :
       {TDIBPixelFormat::dfTrueColor, TDIBPixelFormat::dfEightBits, TDIBPixelFormat::dfEightBitsRLE,
        TDIBPixelFormat::dfFourBits, TDIBPixelFormat::dfFourBitsRLE, TDIBPixelFormat::dfOneBit}) {
    const TDIBImage dib = RandomDIB(23, 11, f);
    TBitmap portable;
    portable.Assign(&dib);
    const TBitmap drawn = DrawnWithGdi(dib);
    for (int y = 0; y < 11; ++y) {
      for (int x = 0; x < 23; ++x) {
        REQUIRE(Rgb(drawn.GetPixel(x, y)) == Rgb(portable.GetPixel(x, y)));
      }
    }
  }
}

TEST_CASE("device bitmaps are DIB sections of their pixel format") {
  TBitmap bmp;
  bmp.SetPixelFormat(TPixelFormat::pf8bit);
  bmp.SetSize(7, 3);
  DIBSECTION section{};
  REQUIRE(GetObjectW(static_cast<HBITMAP>(bmp.Handle()), sizeof section, &section) ==
          sizeof section);
  CHECK(section.dsBm.bmWidth == 7);
  CHECK(section.dsBm.bmHeight == 3);
  CHECK(section.dsBmih.biBitCount == 8);
  CHECK(section.dsBm.bmBits == bmp.ScanLine(2));  // bottom-up: the last row comes first
}

TEST_CASE("palettes become logical palettes") {
  const TDIBImage dib = RandomDIB(8, 8, TDIBPixelFormat::dfEightBits);
  TGdiObject palette = CreateDIBPalette(dib);
  REQUIRE(palette);
  PALETTEENTRY entries[256];
  const UINT count = GetPaletteEntries(static_cast<HPALETTE>(palette.get()), 0, 256, entries);
  CHECK(count == dib.Palette().size());
  CHECK(entries[3].peRed == dib.Palette()[3].Red);
  const TDIBImage trueColor = RandomDIB(8, 8, TDIBPixelFormat::dfTrueColor);
  CHECK_FALSE(CreateDIBPalette(trueColor));
  TDIBImage halftone;
  halftone.HalftoneMode = 1;
  TGdiObject halftonePalette = CreateDIBPalette(halftone);
  CHECK(GetPaletteEntries(static_cast<HPALETTE>(halftonePalette.get()), 0, 256, entries) == 215);
}

TEST_CASE("the DIB clipboard format round-trips through the real clipboard") {
  const TDIBImage dib = RandomDIB(9, 5, TDIBPixelFormat::dfEightBitsRLE);
  UINT format = 0;
  HGLOBAL block = SaveDIBToClipboardFormat(dib, format);
  CHECK(format == CF_DIB);
  REQUIRE(OpenClipboard(nullptr));
  EmptyClipboard();
  REQUIRE(SetClipboardData(CF_DIB, block) != nullptr);
  CloseClipboard();

  REQUIRE(OpenClipboard(nullptr));
  TDIBImage back;
  LoadDIBFromClipboardFormat(back, CF_DIB, GetClipboardData(CF_DIB));
  CloseClipboard();
  CHECK(back.PixelFormat() == TDIBPixelFormat::dfEightBitsRLE);
  CHECK(back.Store().Pixels == dib.Store().Pixels);
  CHECK(back.Palette() == dib.Palette());
  CHECK_THROWS_WITH_AS(LoadDIBFromClipboardFormat(back, CF_BITMAP, nullptr),
                       "TDIBImage.LoadFromClipboardFormat: Invalid Clipboard Format or No Data",
                       EInvalidGraphic);
}

TEST_CASE("a canvas draws into the picture's own pixels") {
  const TDIBImage original = RandomDIB(10, 10, TDIBPixelFormat::dfTrueColor);
  TDIBImage dib;
  dib.Assign(&original);
  {
    TDIBCanvas canvas(dib);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT r{0, 0, 5, 10};
    FillRect(canvas.Handle(), &r, red);
    DeleteObject(red);
  }
  CHECK_FALSE(dib.SharesStoreWith(original));
  TBitmap drawn;
  drawn.Assign(&dib);
  CHECK(Rgb(drawn.GetPixel(0, 0)) == 0xFF0000);
  CHECK(Rgb(drawn.GetPixel(4, 9)) == 0xFF0000);
  TBitmap untouched;
  untouched.Assign(&original);
  CHECK(Rgb(drawn.GetPixel(7, 7)) == Rgb(untouched.GetPixel(7, 7)));

  TDIBImage rle = RandomDIB(4, 4, TDIBPixelFormat::dfEightBitsRLE);
  CHECK_THROWS_WITH_AS(TDIBCanvas{rle}, "TDIBCanvas.Create: Cannot Create Canvas",
                       EDIBCanvasFailed);
}

TEST_CASE("halftone drawing uses only halftone colours") {
  TDIBImage dib = RandomDIB(16, 16, TDIBPixelFormat::dfTrueColor);
  dib.HalftoneMode = 1;
  const TBitmap drawn = DrawnWithGdi(dib);
  const std::vector<TRGBQuad>& palette = HalftoneColorPalette();
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const TRGBQuad c = drawn.GetPixel(x, y);
      CHECK(std::find(palette.begin(), palette.end(), c) != palette.end());
    }
  }
  dib.HalftoneMode = 2;
  const TBitmap bw = DrawnWithGdi(dib);
  const uint32_t c = Rgb(bw.GetPixel(3, 3));
  CHECK((c == 0 || c == 0xFFFFFF));
}

TEST_CASE("the page-file option keeps pixels in a file mapping; without it there is no canvas") {
  TDIBImage mapped;
  mapped.SetBitCount(24);
  mapped.SetWidth(3);
  CHECK(mapped.Store().Pixels.Mapping() != nullptr);
  CHECK(mapped.Store().UseFMO());

  TDIBImage heap;
  heap.UseFMO = false;
  heap.SetBitCount(24);
  heap.SetWidth(3);
  CHECK(heap.Store().Pixels.Mapping() == nullptr);
  CHECK_THROWS_WITH_AS(TDIBCanvas{heap}, "TDIBCanvas.Create: Cannot Create Canvas",
                       EDIBCanvasFailed);
  // A copy keeps the option.
  TDIBImage copy;
  copy.Assign(&mapped);
  copy.SetPalette({TRGBQuad{1, 1, 1, 0}});
  CHECK(copy.Store().Pixels.Mapping() != nullptr);

  // Pixels read from a file sit in ordinary memory (a mapping is slow to fill) until a canvas
  // asks for one; the option stays.
  TMemoryStream saved;
  mapped.SaveToStream(saved);
  saved.Seek(0);
  TDIBImage loaded;
  loaded.LoadFromStream(saved);
  CHECK(loaded.Store().UseFMO());
  CHECK(loaded.Store().Pixels.Mapping() == nullptr);
  { TDIBCanvas canvas{loaded}; }
  CHECK(loaded.Store().Pixels.Mapping() != nullptr);
}

TEST_CASE("a device bitmap draws itself stretched") {
  TBitmap source;
  source.SetSize(2, 1);
  source.SetPixel(0, 0, TRGBQuad{0, 0, 255, 0});
  source.SetPixel(1, 0, TRGBQuad{255, 0, 0, 0});
  TBitmap target;
  target.SetSize(4, 2);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, static_cast<HBITMAP>(target.Handle()));
  source.Draw(dc, TRect{0, 0, 4, 2});
  GdiFlush();
  SelectObject(dc, old);
  DeleteDC(dc);
  CHECK(Rgb(target.GetPixel(0, 0)) == 0xFF0000);
  CHECK(Rgb(target.GetPixel(1, 1)) == 0xFF0000);
  CHECK(Rgb(target.GetPixel(3, 1)) == 0x0000FF);
}
