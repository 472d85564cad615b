#include <doctest/doctest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#include "StubGraphic.h"
#include "base/Stream.h"
#include "decode/Bitmap.h"
#include "decode/ColorReduction.h"
#include "decode/DIBErrors.h"
#include "decode/DIBImage.h"
#include "decode/PictureFormats.h"
#include "decode/Rle.h"
#include "tests/decode/BmpBuilder.h"

namespace {

TDIBImage Load(const std::vector<uint8_t>& bytes) {
  TDIBImage dib;
  TBytesStream stream(bytes.data(), bytes.size());
  dib.LoadFromStream(stream);
  return dib;
}

void LoadInto(TDIBImage& dib, const std::vector<uint8_t>& bytes) {
  TBytesStream stream(bytes.data(), bytes.size());
  dib.LoadFromStream(stream);
}

TBitmap ToBitmap(const TDIBImage& dib) {
  TBitmap bitmap;
  bitmap.Assign(&dib);
  return bitmap;
}

std::string ErrorOf(const std::vector<uint8_t>& bytes) {
  TDIBImage dib;
  try {
    LoadInto(dib, bytes);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

uint32_t Rgb(const TRGBQuad& q) {
  return (q.Red << 16) | (q.Green << 8) | q.Blue;
}

std::vector<uint8_t> Quad(uint8_t r, uint8_t g, uint8_t b) {
  return {b, g, r, 0};
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace

TEST_CASE("24-bit rows are bottom-up, blue-green-red, padded to four bytes") {
  TBmpBuilder b;
  b.width = 3;
  b.height = 2;
  // Bottom row first: red, green, blue; then the top row: white, black, grey.
  b.pixels = {0,   0,   255, 0, 255, 0, 255, 0,   0,   0, 0, 0,
              255, 255, 255, 0, 0,   0, 128, 128, 128, 0, 0, 0};
  const TDIBImage dib = Load(b.Build());
  CHECK(dib.Width() == 3);
  CHECK(dib.Height() == 2);
  CHECK(dib.PixelFormat() == TDIBPixelFormat::dfTrueColor);
  CHECK(dib.Store().ColorsUsed() == 0);
  CHECK(dib.Palette().empty());
  const TBitmap bmp = ToBitmap(dib);
  CHECK(bmp.PixelFormat() == TPixelFormat::pf24bit);
  CHECK(Rgb(bmp.GetPixel(0, 0)) == 0xFFFFFF);
  CHECK(Rgb(bmp.GetPixel(2, 0)) == 0x808080);
  CHECK(Rgb(bmp.GetPixel(0, 1)) == 0xFF0000);
  CHECK(Rgb(bmp.GetPixel(1, 1)) == 0x00FF00);
  CHECK(Rgb(bmp.GetPixel(2, 1)) == 0x0000FF);
}

TEST_CASE("top-down files keep their negative height") {
  TBmpBuilder b;
  b.width = 1;
  b.height = -2;
  b.pixels = {0, 0, 255, 0, 255, 0, 0, 0};  // first row in the file is the top
  const TDIBImage dib = Load(b.Build());
  CHECK(dib.Store().Header.biHeight == -2);
  CHECK(dib.Height() == 2);
  const TBitmap bmp = ToBitmap(dib);
  CHECK(Rgb(bmp.GetPixel(0, 0)) == 0xFF0000);
  CHECK(Rgb(bmp.GetPixel(0, 1)) == 0x0000FF);
}

TEST_CASE("indexed depths and palette sizes") {
  SUBCASE("1 bit with no colour count gets two entries") {
    TBmpBuilder b;
    b.width = 10;
    b.height = 1;
    b.bitCount = 1;
    b.colorTable = Concat({Quad(10, 20, 30), Quad(200, 210, 220)});
    b.pixels = {0b10100000, 0b01000000, 0, 0};
    const TDIBImage dib = Load(b.Build());
    CHECK(dib.Store().ColorsUsed() == 2);
    CHECK(dib.PixelFormat() == TDIBPixelFormat::dfOneBit);
    const TBitmap bmp = ToBitmap(dib);
    CHECK(Rgb(bmp.GetPixel(0, 0)) == 0xC8D2DC);
    CHECK(Rgb(bmp.GetPixel(1, 0)) == 0x0A141E);
    CHECK(Rgb(bmp.GetPixel(2, 0)) == 0xC8D2DC);
    CHECK(Rgb(bmp.GetPixel(9, 0)) == 0xC8D2DC);
  }
  SUBCASE("4 bits, high nibble first") {
    TBmpBuilder b;
    b.width = 3;
    b.bitCount = 4;
    b.colorsUsed = 3;
    b.colorTable = Concat({Quad(1, 1, 1), Quad(2, 2, 2), Quad(3, 3, 3)});
    b.pixels = {0x21, 0x00, 0, 0};
    const TDIBImage dib = Load(b.Build());
    CHECK(dib.Store().ColorsUsed() == 3);
    const TBitmap bmp = ToBitmap(dib);
    CHECK(Rgb(bmp.GetPixel(0, 0)) == 0x030303);
    CHECK(Rgb(bmp.GetPixel(1, 0)) == 0x020202);
    CHECK(Rgb(bmp.GetPixel(2, 0)) == 0x010101);
  }
  SUBCASE("8 bits with more colours than 256 declared: the rest is skipped") {
    TBmpBuilder b;
    b.bitCount = 8;
    b.colorsUsed = 300;
    for (int i = 0; i < 300; ++i) {
      auto q = Quad(static_cast<uint8_t>(i), 0, 0);
      b.colorTable.insert(b.colorTable.end(), q.begin(), q.end());
    }
    b.pixels = {255, 0, 0, 0};
    const TDIBImage dib = Load(b.Build());
    CHECK(dib.Store().ColorsUsed() == 256);
    CHECK(Rgb(ToBitmap(dib).GetPixel(0, 0)) == 0xFF0000);
  }
  SUBCASE("OS/2 core header with three-byte colours") {
    TBmpBuilder b;
    b.headerSize = 12;
    b.width = 2;
    b.height = 1;
    b.bitCount = 8;
    for (int i = 0; i < 256; ++i) {
      b.colorTable.push_back(static_cast<uint8_t>(i));  // blue
      b.colorTable.push_back(0);
      b.colorTable.push_back(static_cast<uint8_t>(255 - i));  // red
    }
    b.pixels = {0, 7, 0, 0};
    const TDIBImage dib = Load(b.Build());
    CHECK(dib.Store().Header.biSize == 40);
    CHECK(dib.Store().ColorsUsed() == 256);
    const TBitmap bmp = ToBitmap(dib);
    CHECK(Rgb(bmp.GetPixel(0, 0)) == 0xFF0000);
    CHECK(Rgb(bmp.GetPixel(1, 0)) == 0xF80007);
  }
}

TEST_CASE("16 and 32 bits become 24 bits through their masks") {
  SUBCASE("16 bits without masks are 5-5-5") {
    TBmpBuilder b;
    b.width = 3;
    b.bitCount = 16;
    b.pixels = {0xFF, 0x7F, 0x1F, 0x00, 0x00, 0x7C, 0, 0};
    const TDIBImage dib = Load(b.Build());
    CHECK(dib.BitCount() == 24);
    CHECK(dib.Store().Header.biCompression == 0);
    const TBitmap bmp = ToBitmap(dib);
    CHECK(Rgb(bmp.GetPixel(0, 0)) == 0xFFFFFF);
    CHECK(Rgb(bmp.GetPixel(1, 0)) == 0x0000FF);
    CHECK(Rgb(bmp.GetPixel(2, 0)) == 0xFF0000);
  }
  SUBCASE("16 bits with 5-6-5 bit fields") {
    TBmpBuilder b;
    b.width = 2;
    b.bitCount = 16;
    b.compression = 3;
    b.masks = {0xF800, 0x07E0, 0x001F};
    b.pixels = {0xE0, 0x07, 0x00, 0x84};  // pure green; red 16 of 31
    const TBitmap bmp = ToBitmap(Load(b.Build()));
    CHECK(Rgb(bmp.GetPixel(0, 0)) == 0x00FF00);
    CHECK(bmp.GetPixel(1, 0).Red == 16 * 8 * 255 / 248);
  }
  SUBCASE("32 bits, plain and with masks in a V5 header") {
    TBmpBuilder plain;
    plain.bitCount = 32;
    plain.pixels = {0x11, 0x22, 0x33, 0xFF};
    CHECK(Rgb(ToBitmap(Load(plain.Build())).GetPixel(0, 0)) == 0x332211);

    for (uint32_t size : {108u, 124u}) {
      TBmpBuilder v;
      v.headerSize = size;
      v.bitCount = 32;
      v.compression = 3;
      v.masks = {0x0000FF00, 0x00FF0000, 0xFF000000, 0x000000FF};  // B G R A order in memory
      v.pixels = {0x00, 0x33, 0x22, 0x11};
      CHECK(Rgb(ToBitmap(Load(v.Build())).GetPixel(0, 0)) == 0x332211);
    }
  }
  SUBCASE("a zero mask is refused") {
    TBmpBuilder b;
    b.bitCount = 16;
    b.compression = 3;
    b.masks = {0xF800, 0, 0x1F};
    b.pixels = {0, 0, 0, 0};
    CHECK(ErrorOf(b.Build()) == "TDIBStore.LoadFromStream: Invalid Masks");
  }
}

TEST_CASE("header errors give their messages and leave the picture unchanged") {
  TBmpBuilder good;
  good.width = 2;
  good.pixels = std::vector<uint8_t>(8, 0x40);
  TDIBImage dib = Load(good.Build());

  auto expectError = [&](TBmpBuilder b, const std::string& message) {
    try {
      LoadInto(dib, b.Build());
      FAIL("no error for " << message);
    } catch (const EDIBError& e) {
      CHECK(std::string(e.what()) == message);
    }
    CHECK(dib.Width() == 2);
  };
  TBmpBuilder b = good;
  b.magic = "MB";
  expectError(b, "TDIBStore.LoadFromFile: File type is invalid");
  b = good;
  b.headerSize = 64;
  expectError(b, "TDIBStore.LoadFromStream: Invalid Bitmap Header Size");
  b = good;
  b.bitCount = 7;
  expectError(b, "TDIBStore.LoadFromStream: Invalid BitCout");
  b = good;
  b.headerSize = 12;
  b.bitCount = 16;
  expectError(b, "TDIBStore.LoadFromStream: Invalid BitCount");
  for (int32_t w : {0, -5}) {
    b = good;
    b.width = w;
    expectError(b, "TDIBStore.LoadFromStream: Invalid Width or Height");
  }
  b = good;
  b.height = 0;
  expectError(b, "TDIBStore.LoadFromStream: Invalid Width or Height");
  b = good;
  b.height = INT32_MIN;
  expectError(b, "TDIBStore.LoadFromStream: Invalid Width or Height");
  b = good;  // asks for 64 GB: refused before any allocation
  b.width = 0x7FFFFFFF;
  b.height = 0x7FFFFFFF;
  expectError(b, "TDIBStore.LoadFromStream: Invalid Width or Height");
  b = good;
  b.offBitsDelta = -1;
  expectError(b, "TDIBStore.LoadFromFile: bfOffBits is too small");
  b = good;
  b.bitCount = 8;
  b.compression = 2;
  b.colorTable = std::vector<uint8_t>(1024, 0);
  expectError(b, "TDIBStore.GetPixelFormat: Invalid DIB(8Bit)");
  b = good;
  b.compression = 1;
  expectError(b, "TDIBStore.GetPixelFormat: Invalid DIB(24Bit)");

  // A file cut inside its headers: a read error, still no change.
  std::vector<uint8_t> cut = good.Build();
  cut.resize(30);
  CHECK_THROWS_AS(LoadInto(dib, cut), EReadError);
  CHECK(dib.Width() == 2);
}

TEST_CASE(
    "a larger data offset is skipped; the file-size field is not trusted; cut data is refused") {
  TBmpBuilder b;
  b.width = 1;
  b.height = 2;
  b.offBitsDelta = 5;
  b.pixels = {1, 2, 3, 0, 4, 5, 6, 0};
  CHECK(Rgb(ToBitmap(Load(b.Build())).GetPixel(0, 1)) == 0x030201);

  b.offBitsDelta = 0;
  b.fileSizeDelta = -8;  // the file size field says there are no pixels at all
  CHECK(Rgb(ToBitmap(Load(b.Build())).GetPixel(0, 0)) == 0x060504);

  TDIBImage dib;
  std::vector<uint8_t> truncated = b.Build();
  truncated.resize(truncated.size() - 1);  // one byte of the top row is missing
  CHECK_THROWS_AS(LoadInto(dib, truncated), EReadError);
  b.bitCount = 16;
  truncated = b.Build();
  truncated.resize(truncated.size() - 5);
  CHECK_THROWS_AS(LoadInto(dib, truncated), EReadError);
  CHECK(dib.Width() == 1);
  CHECK(dib.BitCount() == 8);  // still the blank picture it was

  // A header that asks for a big picture with almost no data: refused, nothing allocated.
  b.bitCount = 24;
  b.width = 16000;
  b.height = 16000;
  CHECK_THROWS_AS(LoadInto(dib, b.Build()), EReadError);
}

TEST_CASE("RLE8: runs, absolute runs, deltas, line ends") {
  // 4 x 3: row 0 = 5 5 5 7; row 1 = 1 2 3 0 (absolute); a line end, a delta to (2, 2), a run.
  const std::vector<uint8_t> rle = {3, 5, 1, 7, 0, 0, 0, 3, 1, 2, 3,
                                    0, 0, 0, 0, 2, 2, 0, 2, 9, 0, 1};
  TBmpBuilder b;
  b.width = 4;
  b.height = 3;
  b.bitCount = 8;
  b.compression = 1;
  b.colorTable = std::vector<uint8_t>(1024, 0);
  b.pixels = rle;
  const TDIBImage dib = Load(b.Build());
  CHECK(dib.PixelFormat() == TDIBPixelFormat::dfEightBitsRLE);
  CHECK(dib.Store().Pixels == rle);  // kept compressed
  const std::vector<uint8_t> rows = dib.Store().ExpandedPixels();
  CHECK(rows == std::vector<uint8_t>{5, 5, 5, 7, 1, 2, 3, 0, 0, 0, 9, 9});
  const TBitmap bmp = ToBitmap(dib);
  CHECK(bmp.PixelFormat() == TPixelFormat::pf8bit);
  CHECK(bmp.ScanLine(2)[3] == 7);  // the first row in the data is the bottom row
}

TEST_CASE("RLE errors: every escape that leads outside the picture; runs past a row are clipped") {
  auto decode8 = [](std::vector<uint8_t> data) {
    return DecodeRle8(data.data(), data.size(), 4, 2);
  };
  auto decode4 = [](std::vector<uint8_t> data) {
    return DecodeRle4(data.data(), data.size(), 4, 2);
  };
  auto message = [](auto f, std::vector<uint8_t> data) -> std::string {
    try {
      f(data);
    } catch (const EDIBInvalidDIB& e) {
      return e.what();
    }
    return "";
  };
  CHECK(message(decode8, {0, 0, 0, 0, 0, 0}) == "Convert8BitRLETo8BitRGB: Bad RLE Data 1");
  CHECK(message(decode8, {0, 2, 5, 0}) == "Convert8BitRLETo8BitRGB: Bad RLE Data 2");
  CHECK(message(decode8, {0, 2, 0, 3}) == "Convert8BitRLETo8BitRGB: Bad RLE Data 2");
  CHECK(message(decode8, {0, 2, 0, 2, 0, 3, 1, 2, 3, 0}) ==
        "Convert8BitRLETo8BitRGB: Bad RLE Data 3");
  CHECK(message(decode8, {0, 2, 0, 2, 5, 1}) == "Convert8BitRLETo8BitRGB: Bad RLE Data 4");
  CHECK(message(decode8, {0, 2, 0, 2, 1, 1}) == "Convert8BitRLETo8BitRGB: Bad RLE Data 4");
  CHECK(message(decode4, {0, 0, 0, 0, 0, 0}) == "Convert4BitRLETo4BitRGB: Bad RLE Data 5");
  CHECK(message(decode4, {0, 2, 9, 0}) == "Convert4BitRLETo4BitRGB: Bad RLE Data 6");
  CHECK(message(decode4, {0, 2, 0, 2, 0, 3, 0x12, 0x30}) ==
        "Convert4BitRLETo4BitRGB: Bad RLE Data 7");
  CHECK(message(decode4, {0, 2, 0, 2, 5, 0x11}) == "Convert4BitRLETo4BitRGB: Bad RLE Data 8");

  // Runs past the row end (ImageMagick pads every row's runs to 4 bytes) are clipped there; the
  // next row starts after the end-of-line escape as usual.
  CHECK(decode8({5, 1, 0, 0, 0, 5, 1, 2, 3, 4, 5, 0}) ==
        std::vector<uint8_t>{1, 1, 1, 1, 1, 2, 3, 4});
  CHECK(decode8({3, 7, 3, 8, 0, 0}) == std::vector<uint8_t>{7, 7, 7, 8, 0, 0, 0, 0});
  CHECK(decode4({5, 0x11, 0, 0, 0, 5, 0x12, 0x34, 0x50, 0}) ==
        std::vector<uint8_t>{0x11, 0x11, 0, 0, 0x12, 0x34, 0, 0});

  // Data that stops without an end-of-bitmap escape, or in the middle of an escape, ends there.
  CHECK(decode8({2, 9}) == std::vector<uint8_t>{9, 9, 0, 0, 0, 0, 0, 0});
  CHECK(decode8({0, 4, 1, 2}) == std::vector<uint8_t>(8, 0));
  CHECK(decode8({0, 2, 1}) == std::vector<uint8_t>(8, 0));
  CHECK(decode4({4, 0x12}) == std::vector<uint8_t>{0x12, 0x12, 0, 0, 0, 0, 0, 0});

  // A malformed file is refused when it is read.
  TBmpBuilder b;
  b.width = 4;
  b.height = 2;
  b.bitCount = 8;
  b.compression = 1;
  b.colorTable = std::vector<uint8_t>(1024, 0);
  b.pixels = {0, 2, 0, 2, 5, 1};
  CHECK(ErrorOf(b.Build()) == "Convert8BitRLETo8BitRGB: Bad RLE Data 4");
}

TEST_CASE("an 8-bit RLE BMP written by ImageMagick reads as its uncompressed twin") {
  std::string folder = __FILE__;
  for (char& c : folder) {
    if (c == '\\') c = '/';
  }
  folder = folder.substr(0, folder.rfind("/decode/")) + "/data/rle/";
  if (const char* data = std::getenv("VESKO2_TEST_DATA")) folder = std::string(data) + "/rle/";
  auto read = [&](const char* name) {
    std::ifstream in(folder + name, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  };
  const TDIBImage rle = Load(read("rle8-97x9.bmp"));
  const TDIBImage plain = Load(read("plain8-97x9.bmp"));
  REQUIRE(rle.Store().Width() == 97);
  CHECK(rle.PixelFormat() == TDIBPixelFormat::dfEightBitsRLE);
  CHECK(rle.Store().ExpandedPixels() == plain.Store().Pixels);
}

TEST_CASE("RLE encoding decodes back to the same rows") {
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    const int width = 1 + static_cast<int>(random() % 40);
    const int height = 1 + static_cast<int>(random() % 5);
    const int values = 1 + static_cast<int>(random() % 4);  // few values: many runs
    for (int bits : {8, 4}) {
      const size_t stride = static_cast<size_t>(RowBytes(static_cast<uint64_t>(width), bits));
      std::vector<uint8_t> rows(stride * static_cast<size_t>(height), 0);
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          const auto v = static_cast<uint8_t>(random() % values * (bits == 8 ? 37 : 5) %
                                              (bits == 8 ? 256 : 16));
          uint8_t* row = rows.data() + stride * static_cast<size_t>(y);
          if (bits == 8) {
            row[x] = v;
          } else {
            row[x / 2] |= static_cast<uint8_t>((x & 1) ? v : v << 4);
          }
        }
      }
      const std::vector<uint8_t> encoded = bits == 8 ? EncodeRle8(rows.data(), width, height)
                                                     : EncodeRle4(rows.data(), width, height);
      const std::vector<uint8_t> decoded =
          bits == 8 ? DecodeRle8(encoded.data(), encoded.size(), width, height)
                    : DecodeRle4(encoded.data(), encoded.size(), width, height);
      REQUIRE(decoded == rows);
    }
  }
}

TEST_CASE("writing and reading back gives the same pixels in every format") {
  std::mt19937 random(3);
  TBmpBuilder b;
  b.width = 13;
  b.height = 7;
  b.pixels.resize(static_cast<size_t>(RowBytes(13, 24) * 7));
  for (auto& p : b.pixels) p = static_cast<uint8_t>(random() % 4 * 60);
  const TDIBImage source = Load(b.Build());
  for (TDIBPixelFormat f :
       {TDIBPixelFormat::dfTrueColor, TDIBPixelFormat::dfEightBits, TDIBPixelFormat::dfEightBitsRLE,
        TDIBPixelFormat::dfFourBits, TDIBPixelFormat::dfFourBitsRLE, TDIBPixelFormat::dfOneBit}) {
    TDIBImage dib;
    dib.Assign(&source);
    dib.SetPixelFormat(f);
    TMemoryStream out;
    dib.SaveToStream(out);
    const TDIBImage back = Load(out.Bytes());
    CHECK(back.PixelFormat() == f);
    CHECK(back.Store().Pixels == dib.Store().Pixels);
    CHECK(back.Palette() == dib.Palette());
    CHECK(out.Bytes().size() == 54 + 4 * dib.Store().ColorsUsed() + dib.Store().Pixels.size());
  }
}

TEST_CASE("assignment shares the store until a change") {
  TBmpBuilder b;
  b.bitCount = 8;
  b.colorTable = std::vector<uint8_t>(1024, 9);
  b.pixels = {1, 0, 0, 0};
  TDIBImage a = Load(b.Build());
  TDIBImage c;
  c.ReductionQuality = 0;
  a.ReductionQuality = 1;
  c.Assign(&a);
  CHECK(c.SharesStoreWith(a));
  CHECK(c.ReductionQuality == 1);
  c.SetPalette({TRGBQuad{1, 2, 3, 0}});
  CHECK_FALSE(c.SharesStoreWith(a));
  CHECK(a.Store().ColorsUsed() == 256);
  CHECK(c.Store().ColorsUsed() == 1);
  c.SetPalette({});
  CHECK(c.Store().ColorsUsed() == 0);
  c.Assign(&c);
  c.Assign(nullptr);
  CHECK(c.Width() == 1);
  CHECK(c.BitCount() == 8);
}

TEST_CASE("size and bit count setters make blank pictures or refuse") {
  TDIBImage dib;
  dib.SetWidth(5);
  CHECK(dib.Width() == 5);
  dib.SetHeight(-3);
  CHECK(dib.Store().Header.biHeight == -3);
  dib.SetWidth(6);
  CHECK(dib.Store().Header.biHeight == 3);
  dib.SetBitCount(4);
  CHECK(dib.Store().ColorsUsed() == 16);
  dib.SetBitCount(24);
  CHECK(dib.Store().ColorsUsed() == 0);
  CHECK(dib.Store().Pixels.size() == static_cast<size_t>(RowBytes(6, 24) * 3));
  CHECK_THROWS_WITH_AS(dib.SetWidth(0), "TDIBImage.SetWidth: Invalid Width", EDIBInvalidDIBPara);
  CHECK_THROWS_WITH_AS(dib.SetHeight(0), "TDIBImage.SetWidth: Invalid Height", EDIBInvalidDIBPara);
  CHECK_THROWS_WITH_AS(dib.SetBitCount(16), "TDIBImage.SetBitCount: Invalid BitCount",
                       EDIBInvalidDIBPara);
  CHECK_THROWS_WITH_AS(TDIBStore::CreateDIB(1, 1, 257, 8, false),
                       "TDIBStore.CreateDIB: Invalid Parameters", EDIBInvalidDIBPara);
}

TEST_CASE("conversions: expansions, the one-bit colour test, halftones") {
  TBmpBuilder b;
  b.width = 4;
  b.bitCount = 1;
  b.colorTable = Concat({Quad(0, 0, 255), Quad(255, 255, 255)});
  b.pixels = {0b10010000, 0, 0, 0};
  TDIBImage dib = Load(b.Build());
  for (TDIBPixelFormat f :
       {TDIBPixelFormat::dfFourBits, TDIBPixelFormat::dfEightBits, TDIBPixelFormat::dfTrueColor}) {
    TDIBImage c;
    c.Assign(&dib);
    c.SetPixelFormat(f);
    const TBitmap bmp = ToBitmap(c);
    CHECK(Rgb(bmp.GetPixel(0, 0)) == 0xFFFFFF);
    CHECK(Rgb(bmp.GetPixel(1, 0)) == 0x0000FF);
    CHECK(Rgb(bmp.GetPixel(3, 0)) == 0xFFFFFF);
  }
  TDIBImage blueTest;
  blueTest.Assign(&dib);
  blueTest.SetPixelFormat(TDIBPixelFormat::dfEightBits);
  blueTest.OneBitColor = 0xFF0000;  // pure blue as a colour value: blue in the high byte
  blueTest.SetPixelFormat(TDIBPixelFormat::dfOneBit);
  CHECK(blueTest.Palette() == std::vector<TRGBQuad>{{0, 0, 0, 0}, {255, 255, 255, 0}});
  const TBitmap bw = ToBitmap(blueTest);
  CHECK(Rgb(bw.GetPixel(0, 0)) == 0);
  CHECK(Rgb(bw.GetPixel(1, 0)) == 0xFFFFFF);

  TDIBImage halftone;
  halftone.Assign(&dib);
  halftone.SetPixelFormat(TDIBPixelFormat::dfHalftoneColor);
  CHECK(halftone.BitCount() == 8);
  CHECK(halftone.Store().ColorsUsed() == 215);
  CHECK(Rgb(ToBitmap(halftone).GetPixel(0, 0)) == 0xFFFFFF);
  CHECK(Rgb(ToBitmap(halftone).GetPixel(1, 0)) == 0x0000FF);
  CHECK(HalftoneColorPalette()[5 * 35 + 6 * 5 + 4].Red == 255);
  CHECK(HalftoneColorPalette()[213].Red == 192);
}

TEST_CASE("reductions give valid palettes and every pixel its nearest entry") {
  std::mt19937 random(11);
  TBmpBuilder b;
  b.width = 61;
  b.height = 37;
  b.pixels.resize(static_cast<size_t>(RowBytes(61, 24) * 37));
  for (auto& p : b.pixels) p = static_cast<uint8_t>(random());
  const TDIBImage source = Load(b.Build());
  const TBitmap original = ToBitmap(source);

  for (uint8_t quality : {0, 1}) {
    for (TDIBPixelFormat f : {TDIBPixelFormat::dfEightBits, TDIBPixelFormat::dfFourBitsRLE}) {
      TDIBImage dib;
      dib.Assign(&source);
      dib.ReductionQuality = quality;
      std::vector<std::string> messages;
      std::vector<int> percents;
      dib.OnProgress = [&](TGraphic&, TProgressStage stage, uint8_t percent, bool, const TRect& r,
                           const std::string& message) {
        CHECK(r == TRect{0, 0, 61, 37});
        if (stage != TProgressStage::psRunning) messages.push_back(message);
        percents.push_back(percent);
      };
      dib.SetPixelFormat(f);
      const bool eight = f == TDIBPixelFormat::dfEightBits;
      CHECK(messages == std::vector<std::string>(2, eight ? "PixelFormat 24Bit -> 8Bit"
                                                          : "PixelFormat 24Bit -> 4BitRLE"));
      CHECK(std::is_sorted(percents.begin(), percents.end()));
      const std::vector<TRGBQuad> palette = dib.Palette();
      CHECK(palette.size() == (eight ? 256u : 16u));
      const TBitmap reduced = ToBitmap(dib);
      for (int y = 0; y < 37; ++y) {
        for (int x = 0; x < 61; ++x) {
          const TRGBQuad o = original.GetPixel(x, y);
          const TRGBQuad r = reduced.GetPixel(x, y);
          REQUIRE(r == palette[static_cast<size_t>(NearestIndex(palette, o.Red, o.Green, o.Blue))]);
        }
      }
    }
  }

  TDIBImage eight;
  eight.Assign(&source);
  eight.SetPixelFormat(TDIBPixelFormat::dfEightBits);
  eight.SetPixelFormat(TDIBPixelFormat::dfFourBits);
  CHECK(eight.Palette().size() <= 16);

  TDIBImage trueColor;
  trueColor.Assign(&source);
  trueColor.CreateTrueColorPalette();
  CHECK(trueColor.BitCount() == 24);
  CHECK(trueColor.Store().ColorsUsed() == 256);
  CHECK_THROWS_WITH_AS(eight.CreateTrueColorPalette(),
                       "TDIBStore.CreateTrueColorPalette: Bad DIB Type", EDIBBadDIBType);
}

TEST_CASE("device bitmaps of every depth become DIBs and back") {
  for (TPixelFormat f :
       {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit, TPixelFormat::pf15bit,
        TPixelFormat::pf16bit, TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    TBitmap bmp;
    bmp.SetPixelFormat(f);
    bmp.SetSize(9, 4);
    bmp.SetPixel(0, 0, TRGBQuad{255, 255, 255, 0});
    bmp.SetPixel(8, 3, TRGBQuad{255, 255, 255, 0});
    TDIBImage dib;
    dib.Assign(&bmp);
    CHECK(dib.BitCount() == (BitCountOf(f) > 8 ? 24 : BitCountOf(f)));
    const TBitmap back = ToBitmap(dib);
    CHECK(Rgb(back.GetPixel(0, 0)) == Rgb(bmp.GetPixel(0, 0)));
    CHECK(Rgb(back.GetPixel(8, 3)) == Rgb(bmp.GetPixel(8, 3)));
    CHECK(Rgb(back.GetPixel(4, 2)) == Rgb(bmp.GetPixel(4, 2)));

    TMemoryStream stream;
    bmp.SaveToStream(stream);
    stream.Seek(0);
    TBitmap loaded;
    loaded.LoadFromStream(stream);
    CHECK(Rgb(loaded.GetPixel(8, 3)) == Rgb(bmp.GetPixel(8, 3)));
  }
  TBitmap resized;
  resized.SetSize(3, 3);
  resized.SetPixel(0, 0, TRGBQuad{1, 2, 3, 0});
  resized.SetSize(5, 2);
  CHECK(Rgb(resized.GetPixel(0, 0)) == 0x030201);
  TOther other;
  TDIBImage dib;
  CHECK_THROWS_WITH_AS(dib.Assign(&other), "Cannot assign a TOther to a TDIBImage", EConvertError);
}

TEST_CASE("the picture format registry lists DIBs and builds the dialog filter") {
  RegisterBuiltInFormats();
  TPictureFormatRegistry& registry = TPictureFormatRegistry::Instance();
  const TPictureFormat* dib = registry.Find("C:\\pics\\Picture.DIB");
  REQUIRE(dib != nullptr);
  CHECK(dib->Description == "Device Independent Bitmap");
  CHECK(std::string(dib->Create()->ClassName()) == "TDIBImage");
  CHECK(registry.Find("noext") == nullptr);
  CHECK(registry.Filter() ==
        "All (*.bmp;*.dib;*.jpeg;*.jpg;*.PNG)|*.bmp;*.dib;*.jpeg;*.jpg;*.PNG|Bitmaps (*.bmp)|*.bmp|"
        "Device Independent Bitmap (*.dib)|*.dib|JPEG イメージファイル (*.jpeg)|*.jpeg|"
        "JPEG イメージファイル (*.jpg)|*.jpg|PNG Format (*.PNG)|*.PNG");
  CHECK(std::string(registry.Find("a.JPG")->Create()->ClassName()) == "TJPEGImage");
}
