// Our Windows Imaging Component plug-in, loaded for real: PNG (from PngSuite), GIF and TIFF
// (written here byte by byte) decode to the right pixels; corrupt files fail cleanly; JPEG and
// BMP are left to the built-in readers.
#include <doctest/doctest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestSupport_win.h"
#include "app/PluginSetup_win.h"
#include "base/Unicode_win.h"
#include "decode/DIBErrors.h"
#include "decode/SPIGraphic_win.h"
#include "decode/SPIs_win.h"

namespace {

void Put16(std::string& b, unsigned v) {
  b += static_cast<char>(v & 0xFF);
  b += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& b, unsigned v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

struct Rgb {
  uint8_t r, g, b;
};
Rgb PaletteColor(int i) {
  return {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 7)};
}

// A GIF whose LZW data holds only literal codes: a clear code every 250 codes keeps the code
// width at 9 bits.
std::string MakeGif(int width, int height) {
  std::string b = "GIF89a";
  Put16(b, static_cast<unsigned>(width));
  Put16(b, static_cast<unsigned>(height));
  b += static_cast<char>(0xF7);  // global table of 256 entries
  b += '\0';
  b += '\0';
  for (int i = 0; i < 256; ++i) {
    const Rgb c = PaletteColor(i);
    b += static_cast<char>(c.r);
    b += static_cast<char>(c.g);
    b += static_cast<char>(c.b);
  }
  b += ',';
  Put16(b, 0);
  Put16(b, 0);
  Put16(b, static_cast<unsigned>(width));
  Put16(b, static_cast<unsigned>(height));
  b += '\0';
  b += static_cast<char>(8);  // minimum code size
  std::string data;
  uint32_t buffer = 0;
  int bits = 0;
  auto emit = [&](unsigned code) {
    buffer |= code << bits;
    bits += 9;
    while (bits >= 8) {
      data += static_cast<char>(buffer & 0xFF);
      buffer >>= 8;
      bits -= 8;
    }
  };
  int sinceClear = 0;
  emit(256);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (++sinceClear == 250) {
        emit(256);
        sinceClear = 1;
      }
      emit(static_cast<unsigned>((x * 3 + y * 5) % 256));
    }
  }
  emit(257);
  if (bits > 0) data += static_cast<char>(buffer & 0xFF);
  for (size_t at = 0; at < data.size(); at += 255) {
    const size_t n = std::min<size_t>(255, data.size() - at);
    b += static_cast<char>(n);
    b += data.substr(at, n);
  }
  b += '\0';
  b += ';';
  return b;
}

// A baseline TIFF: one uncompressed strip of 8-bit RGB.
std::string MakeTiff(int width, int height) {
  std::string b = "II";
  Put16(b, 42);
  Put32(b, 8);
  const int entries = 10;
  const unsigned bpsOffset = 8 + 2 + entries * 12 + 4;
  const unsigned dataOffset = bpsOffset + 6;
  Put16(b, entries);
  auto entry = [&](unsigned tag, unsigned type, unsigned count, unsigned value) {
    Put16(b, tag);
    Put16(b, type);
    Put32(b, count);
    Put32(b, value);
  };
  entry(256, 3, 1, static_cast<unsigned>(width));
  entry(257, 3, 1, static_cast<unsigned>(height));
  entry(258, 3, 3, bpsOffset);
  entry(259, 3, 1, 1);
  entry(262, 3, 1, 2);
  entry(273, 4, 1, dataOffset);
  entry(277, 3, 1, 3);
  entry(278, 3, 1, static_cast<unsigned>(height));
  entry(279, 4, 1, static_cast<unsigned>(width * height * 3));
  entry(284, 3, 1, 1);
  Put32(b, 0);
  Put16(b, 8);
  Put16(b, 8);
  Put16(b, 8);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      b += static_cast<char>(x * 9);
      b += static_cast<char>(y * 13);
      b += static_cast<char>(200 - x);
    }
  }
  return b;
}

struct WicFixture {
  TSPIs spis;
  WicFixture() {
    ConfigureMainWindowSPIs(spis);
    spis.Search(ToUtf8(EnvPath(L"VESKO2_PLUGIN_DIR")) + "\\ifwic.spi");
    REQUIRE(spis.Count() == 1);
  }
};

TBitmap Decode(const std::wstring& path) {
  TSPIDIBImage dib;
  dib.LoadFromFile(ToUtf8(path));
  TBitmap bitmap;
  bitmap.Assign(&dib);
  return bitmap;
}

}  // namespace

TEST_CASE("the WIC plug-in offers PNG, GIF, TIFF and icons, never JPEG or BMP") {
  WicFixture f;
  TSPI& wic = f.spis.Item(0);
  CHECK(wic.APIVersion == "00IN");
  CHECK(wic.FilterList == std::vector<std::string>{"*.png;*.gif;*.tif;*.tiff;*.ico"});
  for (const char* ext : {"png", "gif", "tif", "tiff"}) {
    const TPictureFormat* format = TPictureFormatRegistry::Instance().Find(std::string("x.") + ext);
    REQUIRE(format != nullptr);
    CHECK(format->Description == "PNG, GIF, TIFF, Icon (Windows Imaging Component)");
  }
  unsigned char jpeg[2176] = {0xFF, 0xD8, 0xFF, 0xE0};
  unsigned char bmp[2176] = {'B', 'M'};
  CHECK(wic.IsSupported("a.jpg", jpeg) == 0);
  CHECK(wic.IsSupported("a.bmp", bmp) == 0);
}

TEST_CASE("PngSuite pictures decode to their expected pixels") {
  WicFixture f;
  const std::wstring data = EnvPath(L"VESKO2_TEST_DATA") + L"\\pngsuite\\";
  for (const wchar_t* name : {L"basn2c08", L"basn3p08", L"basn6a08", L"basi0g08", L"basn0g04",
                              L"basn3p02", L"tbrn2c08"}) {
    CAPTURE(ToUtf8(name));
    const TBitmap bitmap = Decode(data + name + L".png");
    const std::string expected = ReadBytes(data + name + L".rgba");
    REQUIRE(expected.size() == static_cast<size_t>(bitmap.Width() * bitmap.Height() * 4));
    int wrong = 0;
    for (int y = 0; y < bitmap.Height(); ++y) {
      for (int x = 0; x < bitmap.Width(); ++x) {
        const TRGBQuad c = bitmap.GetPixel(x, y);
        const auto* e =
            reinterpret_cast<const uint8_t*>(expected.data()) + (y * bitmap.Width() + x) * 4;
        if (e[3] == 0) continue;  // fully transparent: the colour is the file's business
        if (c.Red != e[0] || c.Green != e[1] || c.Blue != e[2]) ++wrong;
      }
    }
    CHECK(wrong == 0);
  }
}

TEST_CASE("GIF and TIFF written byte by byte decode exactly") {
  WicFixture f;
  TTempDir dir;
  WriteBytes(dir / L"p.gif", MakeGif(37, 23));
  const TBitmap gif = Decode(dir / L"p.gif");
  REQUIRE(gif.Width() == 37);
  REQUIRE(gif.Height() == 23);
  for (int y = 0; y < 23; ++y) {
    for (int x = 0; x < 37; ++x) {
      const Rgb e = PaletteColor((x * 3 + y * 5) % 256);
      const TRGBQuad c = gif.GetPixel(x, y);
      REQUIRE((c.Red == e.r && c.Green == e.g && c.Blue == e.b));
    }
  }
  WriteBytes(dir / L"p.tif", MakeTiff(19, 11));
  const TBitmap tiff = Decode(dir / L"p.tif");
  REQUIRE(tiff.Width() == 19);
  for (int y = 0; y < 11; ++y) {
    for (int x = 0; x < 19; ++x) {
      const TRGBQuad c = tiff.GetPixel(x, y);
      REQUIRE((c.Red == x * 9 && c.Green == y * 13 && c.Blue == 200 - x));
    }
  }
}

TEST_CASE("corrupt pictures fail cleanly and leave nothing behind") {
  WicFixture f;
  TTempDir dir;
  const std::wstring data = EnvPath(L"VESKO2_TEST_DATA") + L"\\pngsuite\\";
  std::vector<std::wstring> bad;
  for (const wchar_t* name : {L"xs1n0g01", L"xcrn0g04", L"xlfn0g04", L"xd0n2c08", L"xdtn0g01"}) {
    bad.push_back(data + name + L".png");
  }
  std::string png = ReadBytes(data + L"basn2c08.png");
  WriteBytes(dir / L"cut.png", png.substr(0, png.size() / 2));
  WriteBytes(dir / L"magic.png", png.substr(0, 8) + std::string(500, '\xAB'));
  std::string gif = MakeGif(40, 40);
  WriteBytes(dir / L"cut.gif", gif.substr(0, gif.size() - 100));
  WriteBytes(dir / L"empty.png", "");
  std::string tiff = MakeTiff(10, 10);
  tiff[8 + 2 + 5 * 12 + 8] = '\x7F';  // the strip offset points far past the end
  WriteBytes(dir / L"far.tif", tiff);
  for (const wchar_t* name : {L"cut.png", L"magic.png", L"cut.gif", L"empty.png", L"far.tif"}) {
    bad.push_back(dir / name);
  }
  for (const std::wstring& path : bad) {
    CAPTURE(ToUtf8(path));
    TSPIDIBImage dib;
    try {
      dib.LoadFromFile(ToUtf8(path));
      // A decoder may salvage a damaged file; what it gives must still be a whole picture.
      CHECK(dib.Width() > 0);
    } catch (const EInvalidGraphic& e) {
      CHECK(std::string(e.what()) == "Susie Plugins could not decode");
    }
  }
}
