#include <doctest/doctest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "StubGraphic.h"
#include "base/Stream.h"
#include "decode/DIBImage.h"
#include "decode/PictureFormats.h"
#include "decode/PngCodec.h"
#include "decode/PngGraphic.h"
#include "tests/decode/PngBuilder.h"
#include "tests/decode/PngRgba.h"

using namespace png_build;

namespace {

// The suite beside this file's folder (tests/data/pngsuite), wherever the build runs.
std::string SuiteDir() {
  if (const char* data = std::getenv("VESKO2_TEST_DATA")) return std::string(data) + "/pngsuite/";
  std::string here = __FILE__;
  for (char& c : here) {
    if (c == '\\') c = '/';
  }
  return here.substr(0, here.rfind("/decode/")) + "/data/pngsuite/";
}

TBytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return TBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TBytes Suite(const std::string& name) {
  return ReadFile(SuiteDir() + name + ".png");
}

void Load(TPngGraphic& png, const TBytes& bytes, size_t position = 0) {
  TBytesStream stream(bytes.data(), bytes.size());
  stream.Seek(position);
  png.LoadFromStream(stream);
}

// The message of the EPngGraphic a load fails with; "loaded" or the other error otherwise.
std::string ErrorOf(const TBytes& bytes, uint64_t limit = kMaxPixelBytes) {
  TPngGraphic png;
  png.MaxPixelBytes = limit;
  try {
    Load(png, bytes);
  } catch (const EPngGraphic& e) {
    return e.what();
  } catch (const std::exception& e) {
    return std::string("not EPngGraphic: ") + e.what();
  }
  return "loaded";
}

TBytes Save(const TPngGraphic& png) {
  TMemoryStream out;
  png.SaveToStream(out);
  return out.Bytes();
}

int Differences(const TBytes& a, const TBytes& b) {
  if (a.size() != b.size()) return -1;
  int n = 0;
  for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
  return n;
}

std::vector<std::string> SuiteNames() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(SuiteDir())) {
    if (entry.path().extension() == ".png") names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool HasExpected(const std::string& name) {
  return std::filesystem::exists(SuiteDir() + name + ".rgba");
}

// A small palette picture: 4 x 2 pixels of indices 0 to 3, 8 bits.
TBytes PalettePng(const TBytes& trns, std::initializer_list<TBytes> more = {}) {
  TBytes plte;
  for (int i = 0; i < 4; ++i) plte.insert(plte.end(), {uint8_t(i * 60), uint8_t(100), uint8_t(7)});
  TBytes out = Signature();
  for (const TBytes& c : {Ihdr(4, 2, 8, 3), Chunk("PLTE", plte)})
    out.insert(out.end(), c.begin(), c.end());
  if (!trns.empty()) {
    const TBytes t = Chunk("tRNS", trns);
    out.insert(out.end(), t.begin(), t.end());
  }
  for (const TBytes& c : more) out.insert(out.end(), c.begin(), c.end());
  for (const TBytes& c : {Idat(Rows(4, 2, [](int x, int y) { return (x + y) % 4; })), Iend()}) {
    out.insert(out.end(), c.begin(), c.end());
  }
  return out;
}

// An 8-bit grey picture of `width` x `height` whose pixels count up.
TBytes GreyPng(uint32_t width, uint32_t height, std::initializer_list<TBytes> before = {},
               std::initializer_list<TBytes> after = {}) {
  TBytes out = Signature();
  const TBytes header = Ihdr(width, height, 8, 0);
  out.insert(out.end(), header.begin(), header.end());
  for (const TBytes& c : before) out.insert(out.end(), c.begin(), c.end());
  const TBytes data = Idat(Rows(static_cast<int>(width), static_cast<int>(height),
                                [&](int x, int y) { return x + y * 3; }));
  out.insert(out.end(), data.begin(), data.end());
  for (const TBytes& c : after) out.insert(out.end(), c.begin(), c.end());
  const TBytes end = Iend();
  out.insert(out.end(), end.begin(), end.end());
  return out;
}

}  // namespace

TEST_CASE("PngSuite: pictures with expected pixels decode to them, every other one fails") {
  int decoded = 0;
  int refused = 0;
  for (const std::string& name : SuiteNames()) {
    CAPTURE(name);
    const TBytes bytes = Suite(name);
    if (!HasExpected(name)) {
      CHECK(ErrorOf(bytes).rfind("not EPngGraphic", 0) != 0);
      CHECK(ErrorOf(bytes) != "loaded");
      ++refused;
      continue;
    }
    TPngGraphic png;
    REQUIRE_NOTHROW(Load(png, bytes));
    CHECK(Differences(Rgba(png), ReadFile(SuiteDir() + name + ".rgba")) == 0);
    ++decoded;
  }
  CHECK(decoded == 163);
  CHECK(refused == 12);
}

TEST_CASE("PngSuite: the corrupt files fail with their own messages; wrong CRCs load") {
  const std::map<std::string, std::string> expected = {
      {"xs1n0g01", "PNG LoadStream: Not PNG Format"},
      {"xs2n0g01", "PNG LoadStream: Not PNG Format"},
      {"xs4n0g01", "PNG LoadStream: Not PNG Format"},
      {"xs7n0g01", "PNG LoadStream: Not PNG Format"},
      {"xcrn0g04", "PNG LoadStream: Not PNG Format"},
      {"xlfn0g04", "PNG LoadStream: Not PNG Format"},
      {"xc1n0g08", "Read Header(PNG): Error ColorType"},
      {"xc9n2c08", "Read Header(PNG): Error ColorType"},
      {"xd0n2c08", "Read Header(PNG): Error BitDepth"},
      {"xd3n2c08", "Read Header(PNG): Error BitDepth"},
      {"xd9n2c08", "Read Header(PNG): Error BitDepth"},
      {"xdtn0g01", "Read Image (PNG): Read Error"},  // no image data at all
      {"xcsn0g01", "loaded"},
      {"xhdn0g08", "loaded"},
  };
  for (const auto& item : expected) {
    CAPTURE(item.first);
    CHECK(ErrorOf(Suite(item.first)) == item.second);
  }
}

TEST_CASE("each colour type and depth gives its bitmap format, palette and alpha bitmap") {
  struct TCase {
    const char* name;
    TPixelFormat format;
    size_t paletteSize;
    bool alpha;
  };
  const TCase cases[] = {
      {"basn0g01", TPixelFormat::pf1bit, 2, false},
      {"basn0g02", TPixelFormat::pf4bit, 4, false},
      {"basn0g04", TPixelFormat::pf4bit, 16, false},
      {"basn0g08", TPixelFormat::pf8bit, 256, false},
      {"basn0g16", TPixelFormat::pf8bit, 256, false},
      {"basn4a08", TPixelFormat::pf8bit, 256, true},
      {"basn4a16", TPixelFormat::pf8bit, 256, true},
      {"basn2c08", TPixelFormat::pf24bit, 0, false},
      {"basn2c16", TPixelFormat::pf24bit, 0, false},
      {"basn6a08", TPixelFormat::pf24bit, 0, true},
      {"basn6a16", TPixelFormat::pf24bit, 0, true},
      {"basn3p01", TPixelFormat::pf1bit, 2, false},
      {"basn3p02", TPixelFormat::pf4bit, 4, false},
      {"basn3p04", TPixelFormat::pf4bit, 15, false},
      {"basn3p08", TPixelFormat::pf8bit, 256, false},
  };
  for (const TCase& c : cases) {
    CAPTURE(c.name);
    TPngGraphic png;
    Load(png, Suite(c.name));
    CHECK(png.Image().PixelFormat() == c.format);
    CHECK(png.Palette().size() == c.paletteSize);
    CHECK(png.HasAlpha == c.alpha);
    CHECK(png.Alpha().Empty() == !c.alpha);
    if (c.alpha) {
      CHECK(png.Alpha().PixelFormat() == TPixelFormat::pf8bit);
      CHECK(png.Alpha().Width() == png.Width());
      CHECK(png.Alpha().Palette()[200] == TRGBQuad{200, 200, 200, 0});
    }
  }

  SUBCASE("grey of depth 2 is a 4-bit bitmap of pixels 0 to 3 on the grey ramp 0, 85, 170, 255") {
    TPngGraphic png;
    Load(png, File({Ihdr(4, 1, 2, 0), Idat({0, 0b00011011}), Iend()}));
    REQUIRE(png.Image().PixelFormat() == TPixelFormat::pf4bit);
    CHECK(png.Image().ScanLine(0)[0] == 0x01);
    CHECK(png.Image().ScanLine(0)[1] == 0x23);
    CHECK(png.Palette()[2] == TRGBQuad{170, 170, 170, 0});
  }
}

TEST_CASE("palette transparency: one clear entry is a transparent colour, anything else alpha") {
  SUBCASE("index 3 fully transparent, all others opaque") {
    TPngGraphic png;
    Load(png, PalettePng({255, 255, 255, 0}));
    CHECK(png.TransparentColor == kPaletteReference + 3);
    CHECK_FALSE(png.HasAlpha);
    CHECK(png.Alpha().Empty());
    CHECK(png.Transparent);
    CHECK(png.Image().Transparent);
    CHECK(png.Image().TransparentColor == kPaletteReference + 3);
  }
  SUBCASE("one half-transparent entry") {
    TPngGraphic png;
    Load(png, PalettePng({255, 128}));
    CHECK(png.HasAlpha);
    CHECK(png.TransparentColor == kNoColor);
    CHECK_FALSE(png.Image().Transparent);
    // Pixel (x, y) holds index (x + y) % 4; entry 1 has alpha 128, the rest 255.
    CHECK(png.Alpha().ScanLine(0)[1] == 127);
    CHECK(png.Alpha().ScanLine(1)[0] == 127);
    CHECK(png.Alpha().ScanLine(0)[2] == 0);
  }
  SUBCASE("two clear entries need the alpha bitmap") {
    TPngGraphic png;
    Load(png, PalettePng({0, 0}));
    CHECK(png.HasAlpha);
    CHECK(png.Alpha().ScanLine(0)[0] == 255);
    CHECK(png.Alpha().ScanLine(0)[3] == 0);
  }
  SUBCASE("a tRNS longer than the palette is cut to it; one before the palette is skipped") {
    TPngGraphic cut;
    Load(cut, PalettePng({255, 0, 3, 4, 5}));  // four entries of alpha, one past them
    CHECK(cut.HasAlpha);
    int clear = 0;  // entry 1, twice among the eight pixels
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 4; ++x) clear += cut.Alpha().ScanLine(y)[x] == 0 ? 1 : 0;
    }
    CHECK(clear == 2);
    TPngGraphic png;
    Load(png, File({Ihdr(1, 1, 8, 3), Chunk("tRNS", {0}), Chunk("PLTE", {1, 2, 3}), Idat({0, 0}),
                    Iend()}));
    CHECK_FALSE(png.Transparent);
  }
}

TEST_CASE("grey and true-colour tRNS become the transparent colour of the image bitmap") {
  TPngGraphic png;
  // Grey of depth 4: sample 5 is the colour the palette gives index 5, grey 85.
  Load(png, File({Ihdr(2, 1, 4, 0), Chunk("tRNS", {0, 5}), Idat({0, 0x5A}), Iend()}));
  CHECK(png.TransparentColor == 0x555555);
  CHECK(png.Image().Transparent);
  CHECK(Rgba(png) == TBytes{85, 85, 85, 0, 170, 170, 170, 255});

  Load(png, File({Ihdr(1, 1, 16, 2), Chunk("tRNS", {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}),
                  Idat({0, 0x12, 0, 0x56, 0, 0x9A, 0}), Iend()}));
  CHECK(png.TransparentColor == 0x9A5612);
  CHECK(Rgba(png) == TBytes{0x12, 0x56, 0x9A, 0});

  // A picture with an alpha channel ignores tRNS.
  Load(png,
       File({Ihdr(1, 1, 8, 6), Chunk("tRNS", {0, 1, 0, 2, 0, 3}), Idat({0, 1, 2, 3, 4}), Iend()}));
  CHECK(png.TransparentColor == kNoColor);
  CHECK(Rgba(png) == TBytes{1, 2, 3, 4});
}

TEST_CASE("an RGBA picture assigned to a bitmap gives its colours, alpha dropped") {
  TPngGraphic png;
  Load(png, File({Ihdr(2, 1, 8, 6), Idat({0, 10, 20, 30, 0, 200, 100, 50, 128}), Iend()}));
  TBitmap bitmap;
  bitmap.Assign(&png);
  CHECK(bitmap.PixelFormat() == TPixelFormat::pf24bit);
  CHECK(bitmap.GetPixel(0, 0) == TRGBQuad{30, 20, 10, 0});
  CHECK(bitmap.GetPixel(1, 0) == TRGBQuad{50, 100, 200, 0});
  CHECK_FALSE(bitmap.Transparent);
}

TEST_CASE("wrong CRCs load normally; loading starts at the stream's position") {
  const TBytes good = Suite("basn2c08");
  TBytes bad = good;
  // Flip the CRC of every chunk.
  for (size_t at = 8; at + 12 <= bad.size();) {
    const uint32_t length =
        (bad[at] << 24) | (bad[at + 1] << 16) | (bad[at + 2] << 8) | bad[at + 3];
    for (int i = 0; i < 4; ++i) bad[at + 8 + length + i] ^= 0xFF;
    at += 12 + length;
  }
  TPngGraphic a;
  TPngGraphic b;
  Load(a, good);
  Load(b, bad);
  CHECK(Rgba(a) == Rgba(b));

  TBytes prefixed = {'j', 'u', 'n', 'k'};
  prefixed.insert(prefixed.end(), good.begin(), good.end());
  prefixed.insert(prefixed.end(), {'t', 'a', 'i', 'l'});
  TPngGraphic c;
  TBytesStream stream(prefixed.data(), prefixed.size());
  stream.Seek(4);
  c.LoadFromStream(stream);
  CHECK(Rgba(c) == Rgba(a));
  CHECK(stream.Position() == 4 + good.size());
  CHECK(ErrorOf(prefixed) == "PNG LoadStream: Not PNG Format");
}

TEST_CASE("ancillary chunks fill the fields where they stand where the rules take them") {
  TBytes ihdrAndData;
  const TBytes text1 = Chunk("tEXt", {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'o', 'n', 'e'});
  const TBytes text2 = Chunk("tEXt", {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 't', 'w', 'o'});
  const TBytes title = Chunk("tEXt", {'T', 'i', 't', 'l', 'e', 0, 'x'});
  TBytes chrm;
  for (uint32_t v = 1; v <= 8; ++v) Be32(chrm, v * 1000);
  TPngGraphic png;
  Load(png,
       GreyPng(3, 2,
               {Chunk("gAMA", {0, 0, 0xAF, 0xC8}), Chunk("cHRM", chrm),
                Chunk("pHYs", {0, 0, 0x0B, 0x13, 0, 0, 0x0B, 0x14, 1}), Chunk("gIFg", {1, 2, 3, 4}),
                Chunk("bKGD", {0, 0x40}), text1, title, Chunk("sBIT", {5, 6, 5})},
               {Chunk("tIME", {0x07, 0xD0, 2, 29, 23, 59, 58}), text2,
                Chunk("pHYs", {0, 0, 0, 1, 0, 0, 0, 1, 0})}));
  CHECK(png.Gamma == doctest::Approx(0.45));
  CHECK(png.Chromaticities[0] == 1000);
  CHECK(png.Chromaticities[7] == 8000);
  CHECK(png.PhysicalSize == TPngPhysicalSize{2835, 2836, 1});  // the one after IDAT is not taken
  CHECK(png.GifExtension == std::array<uint8_t, 4>{1, 2, 3, 4});
  CHECK(png.BackgroundColor == 0x404040);
  CHECK(png.SignificantBits == std::array<uint8_t, 4>{});  // grey pictures keep no sBIT
  CHECK(png.ModificationTime == TPngTime{2000, 2, 29, 23, 59, 58});
  CHECK(png.Comment == "one\r\n\r\ntwo\r\n");

  SUBCASE("gAMA, cHRM, sBIT and gIFg after PLTE are skipped; a second PLTE too") {
    TBytes plte2 = {9, 9, 9, 9, 9, 9};
    TPngGraphic p;
    Load(p, File({Ihdr(1, 1, 8, 2), Chunk("PLTE", {1, 2, 3}), Chunk("gAMA", {0, 1, 0, 0}),
                  Chunk("cHRM", chrm), Chunk("sBIT", {5, 5, 5}), Chunk("gIFg", {1, 1, 1, 1}),
                  Chunk("PLTE", plte2), Idat({0, 1, 2, 3}), Iend()}));
    CHECK(p.Gamma == doctest::Approx(0.45455));
    CHECK(p.Chromaticities[0] == 0);
    CHECK(p.SignificantBits[0] == 0);
    CHECK(p.GifExtension[0] == 0);
    CHECK(p.Palette() == std::vector<TRGBQuad>{{3, 2, 1, 0}});
  }
  SUBCASE("chunks of the wrong length are skipped; a palette bKGD is a palette reference") {
    TPngGraphic p;
    Load(p, PalettePng({}, {Chunk("bKGD", {2}), Chunk("cHRM", TBytes(31, 1)),
                            Chunk("tIME", TBytes(6, 1))}));
    CHECK(p.BackgroundColor == kPaletteReference + 2);
    CHECK(p.Chromaticities[0] == 0);
    CHECK(p.ModificationTime.Month != 1);
  }
  SUBCASE("a new object carries the current UTC time") {
    using namespace std::chrono;
    const TPngTime t = TPngGraphic().ModificationTime;
    const sys_days day = year_month_day{year{t.Year}, month{t.Month}, std::chrono::day{t.Day}};
    const auto then = day + hours{t.Hour} + minutes{t.Minute} + seconds{t.Second};
    CHECK(std::abs(duration_cast<seconds>(system_clock::now() - then).count()) < 5);
  }
}

TEST_CASE("header faults give their messages") {
  const std::map<std::string, TBytes> cases = {
      {"Read Header(PNG): appear two IHDR", File({Ihdr(1, 1, 8, 0), Ihdr(1, 1, 8, 0), Iend()})},
      {"Read Header(PNG): Error ColorType", File({Ihdr(1, 1, 8, 5), Iend()})},
      {"Read Header(PNG): not support Compression", File({Ihdr(1, 1, 8, 0, 0, 1), Iend()})},
      {"Read Header(PNG): not supprt Filter", File({Ihdr(1, 1, 8, 0, 0, 0, 1), Iend()})},
      {"Read Header(PNG): not interlace type", File({Ihdr(1, 1, 8, 0, 2), Iend()})},
      {"Read Header(PNG): not Use AlphaChannel", File({Ihdr(1, 1, 4, 4), Iend()})},
      {"Read Header(PNG): Error Bitdepth", File({Ihdr(1, 1, 3, 0), Iend()})},
      {"Read Header(PNG): Error BitDepth", File({Ihdr(1, 1, 16, 3), Iend()})},
  };
  for (const auto& item : cases) {
    CAPTURE(item.first);
    CHECK(ErrorOf(item.second) == item.first);
  }
  for (uint8_t type : {1, 5, 7, 8, 9, 14}) {
    CAPTURE(type);
    CHECK(ErrorOf(File({Ihdr(1, 1, 8, type), Iend()})) == "Read Header(PNG): Error ColorType");
  }
  CHECK(ErrorOf(File({Ihdr(1, 1, 12, 4), Iend()})) == "Read Header(PNG): Error Bitdepth");
  CHECK(ErrorOf(File({Ihdr(1, 1, 4, 2), Iend()})) == "Read Header(PNG): Error BitDepth");
  CHECK(ErrorOf(File({Ihdr(1, 1, 4, 6), Iend()})) == "Read Header(PNG): Error BitDepth");
}

TEST_CASE("bad input fails with EPngGraphic before any unbounded allocation") {
  const TBytes good = GreyPng(5, 4);
  SUBCASE("every truncation") {
    for (size_t n = 0; n < good.size(); ++n) {
      CAPTURE(n);
      const std::string error = ErrorOf(TBytes(good.begin(), good.begin() + n));
      CHECK((error == "Read Image (PNG): Read Error" || error == "PNG LoadStream: Not PNG Format"));
    }
  }
  SUBCASE("chunk lengths at or above 2^31 or past the end") {
    for (uint32_t length : {0x80000000u, 0xFFFFFFFFu, 0x7FFFFFFFu, 1000u}) {
      CAPTURE(length);
      TBytes bytes = good;
      // The IDAT's length field follows the signature and the 25-byte IHDR chunk.
      for (int i = 0; i < 4; ++i) bytes[33 + i] = static_cast<uint8_t>(length >> (24 - 8 * i));
      CHECK(ErrorOf(bytes) == "Read Image (PNG): Read Error");
    }
  }
  SUBCASE("sizes that overflow or exceed the limit") {
    const TBytes data = Idat({0, 0});
    const std::pair<uint32_t, uint32_t> sizes[] = {
        {0x7FFFFFFF, 0x7FFFFFFF}, {0x80000000, 1}, {1, 0xFFFFFFFF}, {0, 1}, {1, 0},
        {0x40000000, 4},          {60000, 60000}};
    for (const auto& size : sizes) {
      const uint32_t w = size.first;
      const uint32_t h = size.second;
      CAPTURE(w);
      CAPTURE(h);
      CHECK(ErrorOf(File({Ihdr(w, h, 8, 6), data, Iend()})) == "Read Image (PNG): Read Error");
    }
    // Within the limit but more than the compressed data could ever fill.
    CHECK(ErrorOf(File({Ihdr(8000, 8000, 8, 2), data, Iend()})) == "Read Image (PNG): Read Error");
    // The caller's limit.
    CHECK(ErrorOf(GreyPng(64, 64), 4095) == "Read Image (PNG): Read Error");
    CHECK(ErrorOf(GreyPng(64, 64), 4096) == "loaded");
  }
  SUBCASE("palettes longer than 256 entries, or not whole, are cut; none at all fails") {
    CHECK(ErrorOf(File({Ihdr(1, 1, 8, 3), Chunk("PLTE", TBytes(257 * 3, 1)), Idat({0, 0}),
                        Iend()})) == "loaded");
    CHECK(ErrorOf(File({Ihdr(1, 1, 8, 3), Chunk("PLTE", TBytes(4, 1)), Idat({0, 0}), Iend()})) ==
          "loaded");
    CHECK(ErrorOf(File({Ihdr(1, 1, 8, 3), Chunk("PLTE", TBytes(2, 1)), Idat({0, 0}), Iend()})) ==
          "Read Image (PNG): Read Error");
    CHECK(ErrorOf(File({Ihdr(1, 1, 8, 3), Idat({0, 0}), Iend()})) ==
          "Read Image (PNG): Read Error");
    // A true-colour picture's palette is only a suggestion: a bad one is skipped.
    CHECK(ErrorOf(File({Ihdr(1, 1, 8, 2), Chunk("PLTE", TBytes(257 * 3, 1)), Idat({0, 1, 2, 3}),
                        Iend()})) == "loaded");
  }
  SUBCASE("a zlib bomb stops at the size the header gives; what follows is never inflated") {
    // 64 MiB of zeros deflate to about 64 KiB; the header asks for 2 bytes, then 1,001,000.
    const TBytes bomb = Deflate(TBytes(64u << 20, 0));
    CHECK(ErrorOf(File({Ihdr(1, 1, 8, 0), Chunk("IDAT", bomb), Iend()})) == "loaded");
    CHECK(ErrorOf(File({Ihdr(1000, 1000, 8, 0), Chunk("IDAT", bomb), Iend()})) == "loaded");
    // Compressed data left after the last row, as some writers leave it: the picture shows.
    TBytes rows = Rows(5, 4, [](int x, int y) { return x + y; });
    rows.insert(rows.end(), 100, 7);
    CHECK(ErrorOf(File({Ihdr(5, 4, 8, 0), Chunk("IDAT", Deflate(rows)), Iend()})) == "loaded");
  }
  SUBCASE("broken image data") {
    TBytes idat = Deflate(Rows(5, 4, [](int, int) { return 1; }));
    TBytes broken = idat;
    broken[5] ^= 0x55;
    CHECK(ErrorOf(File({Ihdr(5, 4, 8, 0), Chunk("IDAT", broken), Iend()})) ==
          "PNG LoadStream: Error ZLIB");
    // Too few rows, a filter type above 4, data before the header, no end.
    CHECK(ErrorOf(File({Ihdr(5, 5, 8, 0), Chunk("IDAT", idat), Iend()})) ==
          "Read Image (PNG): Read Error");
    CHECK(ErrorOf(File({Ihdr(1, 1, 8, 0), Idat({5, 0}), Iend()})) ==
          "Read Image (PNG): Read Error");
    CHECK(ErrorOf(File({Idat({0, 0}), Ihdr(1, 1, 8, 0), Iend()})) ==
          "Read Image (PNG): Read Error");
    CHECK(ErrorOf(File({Ihdr(1, 1, 8, 0), Idat({0, 0})})) == "Read Image (PNG): Read Error");
    CHECK(ErrorOf(File({Ihdr(1, 1, 8, 0), Iend()})) == "Read Image (PNG): Read Error");
    CHECK(ErrorOf(File({Iend()})) == "Read Image (PNG): Read Error");
  }
}

TEST_CASE("the five filters undo what filtering did, for every pixel size") {
  uint32_t seed = 7;
  auto next = [&] {
    seed = seed * 1103515245 + 12345;
    return static_cast<uint8_t>(seed >> 16);
  };
  for (size_t step : {1, 2, 3, 4, 6, 8}) {
    for (size_t pixels : {1, 2, 7, 64}) {
      const size_t size = step * pixels;
      TBytes row(size);
      TBytes above(size);
      for (size_t i = 0; i < size; ++i) {
        row[i] = next();
        above[i] = next();
      }
      for (uint8_t type = 0; type <= 4; ++type) {
        CAPTURE(step);
        CAPTURE(pixels);
        CAPTURE(int(type));
        TBytes filtered(size);
        FilterRow(type, row.data(), above.data(), size, step, filtered.data());
        CHECK(UnfilterRow(type, filtered.data(), above.data(), size, step));
        CHECK(filtered == row);
      }
    }
  }
  TBytes one = {1};
  CHECK_FALSE(UnfilterRow(5, one.data(), one.data(), 1, 1));
}

TEST_CASE("image data split over many IDAT chunks, and the chunks after it") {
  const TBytes z = Deflate(Rows(6, 3, [](int x, int y) { return x * 10 + y; }));
  TBytes bytes = File({Ihdr(6, 3, 8, 0)});
  for (uint8_t b : z) {
    const TBytes c = Chunk("IDAT", {b});
    bytes.insert(bytes.end(), c.begin(), c.end());
  }
  const TBytes empty = Chunk("IDAT", {});
  bytes.insert(bytes.end(), empty.begin(), empty.end());
  for (const TBytes& c : {Chunk("tEXt", {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'z'}),
                          Chunk("IDAT", {1, 2, 3}), Iend()}) {
    bytes.insert(bytes.end(), c.begin(), c.end());
  }
  TPngGraphic png;
  Load(png, bytes);
  CHECK(png.Image().ScanLine(2)[5] == 52);
  CHECK(png.Comment == "z\r\n");
}

TEST_CASE("progress: starting, running through the image bitmap, ending; the handler put back") {
  TPngGraphic png;
  std::vector<std::pair<TProgressStage, int>> events;
  bool senderIsImage = true;
  png.OnProgress = [&](TGraphic& sender, TProgressStage stage, uint8_t percent, bool,
                       const TRect& rect, const std::string& message) {
    senderIsImage = senderIsImage && &sender == &png.Image() && rect == TRect{} && message.empty();
    events.emplace_back(stage, percent);
  };
  int imageEvents = 0;
  png.Image().OnProgress = [&](TGraphic&, TProgressStage, uint8_t, bool, const TRect&,
                               const std::string&) { ++imageEvents; };
  Load(png, Suite("basi2c08"));  // interlaced: seven passes, 60 rows in all
  CHECK(senderIsImage);
  REQUIRE(events.size() > 10);
  CHECK(events.front() == std::make_pair(TProgressStage::psStarting, 0));
  CHECK(events.back() == std::make_pair(TProgressStage::psEnding, 100));
  for (size_t i = 1; i + 1 < events.size(); ++i) {
    CHECK(events[i].first == TProgressStage::psRunning);
    CHECK(events[i].second > events[i - 1].second);
    CHECK(events[i].second <= 99);
  }
  CHECK(imageEvents == 0);
  png.Image().OnProgress(png.Image(), TProgressStage::psRunning, 1, false, TRect{}, "");
  CHECK(imageEvents == 1);

  // A failure still ends the report.
  events.clear();
  CHECK_THROWS_AS(Load(png, File({Ihdr(5, 5, 8, 0), Idat({0, 0}), Iend()})), EPngGraphic);
  CHECK(events.back() == std::make_pair(TProgressStage::psEnding, 100));
}

TEST_CASE("write then read gives the same picture for every colour type") {
  std::vector<std::string> names;
  for (const std::string& name : SuiteNames()) {
    if (HasExpected(name)) names.push_back(name);
  }
  for (const std::string& name : names) {
    CAPTURE(name);
    TPngGraphic png;
    Load(png, Suite(name));
    TPngGraphic back;
    Load(back, Save(png));
    CHECK(back.Image().PixelFormat() == png.Image().PixelFormat());
    CHECK(back.Palette() == png.Palette());
    CHECK(Differences(Rgba(back), Rgba(png)) == 0);
    CHECK(back.Interlace == png.Interlace);
    CHECK(back.BackgroundColor == png.BackgroundColor);
  }

  SUBCASE("every filter choice, level and interlace") {
    TPngGraphic png;
    Load(png, Suite("basn6a08"));
    for (uint8_t filter : {0, 1, 2, 3, 4, 5, 255}) {
      for (int level : {-1, 0, 1, 9}) {
        CAPTURE(int(filter));
        CAPTURE(level);
        png.FilterChoice = filter;
        png.CompressionLevel = level;
        png.Interlace = filter & 1;
        TPngGraphic back;
        Load(back, Save(png));
        CHECK(back.Interlace == (filter & 1));
        CHECK(Differences(Rgba(back), Rgba(png)) == 0);
      }
    }
  }
}

TEST_CASE("writing: the fields as chunks, IDAT sizes, and pictures built in memory") {
  TPngGraphic png;
  Load(png, Suite("basn2c08"));
  // Noise, so that the data needs several IDAT chunks.
  uint32_t seed = 1;
  for (int y = 0; y < png.Height(); ++y) {
    for (int x = 0; x < png.Width() * 3; ++x) {
      seed = seed * 1103515245 + 12345;
      png.Image().ScanLine(y)[x] = static_cast<uint8_t>(seed >> 16);
    }
  }
  png.Comment = "first\r\nsecond";
  png.Gamma = 1.0;
  png.PhysicalSize = {100, 200, 1};
  png.Chromaticities = {1, 2, 3, 4, 5, 6, 7, 8};
  png.SignificantBits = {5, 6, 5, 0};
  png.ModificationTime = {2024, 12, 31, 1, 2, 3};
  png.GifExtension = {4, 3, 2, 1};
  png.BackgroundColor = 0x112233;
  png.TransparentColor = 0x445566;
  png.IDATSize = 256;
  const TBytes bytes = Save(png);

  // Walk the chunks: CRCs are right, no IDAT is longer than the IDAT size.
  std::vector<std::string> types;
  size_t longest = 0;
  int idats = 0;
  for (size_t at = 8; at + 12 <= bytes.size();) {
    const uint32_t length =
        (bytes[at] << 24) | (bytes[at + 1] << 16) | (bytes[at + 2] << 8) | bytes[at + 3];
    const std::string type(bytes.begin() + at + 4, bytes.begin() + at + 8);
    const uLong crc = crc32(0, bytes.data() + at + 4, length + 4);
    const uint8_t* c = bytes.data() + at + 8 + length;
    CHECK(crc == ((uLong{c[0]} << 24) | (c[1] << 16) | (c[2] << 8) | c[3]));
    if (type == "IDAT") {
      CHECK(longest == (idats == 0 ? 0 : 256));  // only the last may be shorter
      longest = std::max<size_t>(longest, length);
      ++idats;
    }
    if (types.empty() || types.back() != type) types.push_back(type);
    at += 12 + length;
  }
  CHECK(longest == 256);
  CHECK(idats > 4);
  CHECK(types == std::vector<std::string>{"IHDR", "gAMA", "cHRM", "sBIT", "gIFg", "tRNS", "bKGD",
                                          "pHYs", "tIME", "tEXt", "IDAT", "IEND"});
  const std::string text(bytes.begin(), bytes.end());
  CHECK(text.find(std::string("Software\0Vesko2 PNG 1.0", 23)) != std::string::npos);

  TPngGraphic back;
  back.Output16Bit = true;
  Load(back, bytes);
  CHECK(back.Comment == "first\r\nsecond\r\n");
  CHECK(back.Gamma == 1.0);
  CHECK(back.PhysicalSize == png.PhysicalSize);
  CHECK(back.Chromaticities == png.Chromaticities);
  CHECK(back.SignificantBits == std::array<uint8_t, 4>{5, 6, 5, 0});
  CHECK(back.ModificationTime == png.ModificationTime);
  CHECK(back.GifExtension == png.GifExtension);
  CHECK(back.BackgroundColor == 0x112233);
  CHECK(back.TransparentColor == 0x445566);
  // 5-6-5 from sBIT with the 16-bit option.
  REQUIRE(back.Image().PixelFormat() == TPixelFormat::pf16bit);
  const TRGBQuad p = png.Image().GetPixel(7, 3);
  const TRGBQuad q = back.Image().GetPixel(7, 3);
  CHECK((q.Red >> 3) == (p.Red >> 3));
  CHECK((q.Green >> 2) == (p.Green >> 2));
  CHECK((q.Blue >> 3) == (p.Blue >> 3));

  SUBCASE("IDAT sizes outside 256 to 100000 are refused") {
    for (int32_t size : {255, 100001, 0, -1}) {
      png.IDATSize = size;
      CHECK_THROWS_WITH_AS(Save(png), "Write PNG Param: Err IDAT Size(min:256  max:100000)",
                           EPngGraphic);
    }
    png.IDATSize = 100000;
    CHECK_NOTHROW(Save(png));
    TPngGraphic empty;
    CHECK_THROWS_WITH_AS(Save(empty), "Write Image (PNG): Write Error", EPngGraphic);
    empty.CompressionLevel = 12;
    empty.Assign(&png.Image());
    CHECK_THROWS_WITH_AS(Save(empty), "Write Image (PNG): Write Error", EPngGraphic);
  }

  SUBCASE("bitmaps of every format keep their pixels") {
    for (TPixelFormat format :
         {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit, TPixelFormat::pf15bit,
          TPixelFormat::pf16bit, TPixelFormat::pf32bit}) {
      CAPTURE(static_cast<int>(format));
      TBitmap bitmap;
      bitmap.Assign(&png.Image());
      bitmap.SetPixelFormat(format);
      TPngGraphic source;
      source.Assign(&bitmap);
      TPngGraphic again;
      Load(again, Save(source));
      int wrong = 0;
      for (int y = 0; y < bitmap.Height(); ++y) {
        for (int x = 0; x < bitmap.Width(); ++x)
          wrong += !(again.Image().GetPixel(x, y) == bitmap.GetPixel(x, y));
      }
      CHECK(wrong == 0);
    }
  }

  SUBCASE("a palette picture with per-pixel alpha that no index table can hold becomes RGBA") {
    TPngGraphic pal;
    Load(pal, PalettePng({}));
    pal.Alpha().SetPixelFormat(TPixelFormat::pf8bit);
    pal.Alpha().SetSize(4, 2);
    pal.Alpha().ScanLine(0)[0] = 10;  // index 0 here, opaque at (3, 1)
    pal.HasAlpha = true;
    TPngGraphic back2;
    Load(back2, Save(pal));
    CHECK(back2.Image().PixelFormat() == TPixelFormat::pf24bit);
    CHECK(Rgba(back2) == Rgba(pal));
  }
}

TEST_CASE("Assign and the bitmap-shaped interface") {
  TPngGraphic png;
  Load(png, Suite("tbbn3p08"));
  png.Comment = "c";
  png.Output16Bit = true;

  TPngGraphic copy;
  copy.Assign(&png);
  CHECK(Rgba(copy) == Rgba(png));
  CHECK(copy.Comment == "c");
  CHECK(copy.Output16Bit);
  CHECK(copy.TransparentColor == png.TransparentColor);
  CHECK(copy.Transparent == png.Transparent);

  SUBCASE("another graphic goes into the image bitmap; the alpha bitmap stays") {
    TPngGraphic rgba;
    Load(rgba, Suite("basn6a08"));
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(3, 2);
    bitmap.SetPixel(1, 1, TRGBQuad{1, 2, 3, 0});
    rgba.Assign(&bitmap);
    CHECK(rgba.Width() == 3);
    CHECK(rgba.Image().GetPixel(1, 1) == TRGBQuad{1, 2, 3, 0});
    CHECK(rgba.HasAlpha);
    CHECK(rgba.Alpha().Width() == 32);

    TDIBImage dib;
    dib.Assign(&rgba);
    CHECK(dib.Width() == 3);
    TPngGraphic fromDib;
    fromDib.Assign(&dib);
    CHECK(fromDib.Image().GetPixel(1, 1) == TRGBQuad{1, 2, 3, 0});
  }
  SUBCASE("targets that take no bitmap, and nothing, are refused") {
    TOther other;
    CHECK_THROWS_WITH_AS(other.Assign(&png), "Cannot assign a TPngGraphic to a TOther",
                         EConvertError);
    CHECK_THROWS_WITH_AS(png.Assign(nullptr), "Cannot assign a nil to a TPngGraphic",
                         EConvertError);
  }
  SUBCASE("size, palette and transparency act on the bitmaps") {
    TPngGraphic rgba;
    Load(rgba, Suite("basn6a08"));
    int changes = 0;
    rgba.OnChange = [&](TGraphic&) { ++changes; };
    rgba.SetWidth(10);
    rgba.SetHeight(5);
    CHECK(rgba.Image().Width() == 10);
    CHECK(rgba.Alpha().Width() == 10);
    CHECK(rgba.Alpha().Height() == 5);
    CHECK(changes == 2);
    rgba.SetTransparent(true);
    CHECK(rgba.Image().Transparent);
    copy.SetPalette({{1, 2, 3, 0}, {4, 5, 6, 0}});
    CHECK(copy.Image().Palette().size() == 2);
    TPngGraphic empty;
    CHECK(empty.Empty());
    empty.SetWidth(5);
    CHECK(empty.Empty());
  }
  SUBCASE("external bitmaps stand in for the owned ones") {
    TBitmap external;
    external.SetPixelFormat(TPixelFormat::pf24bit);
    external.SetSize(2, 2);
    external.SetPixel(0, 0, TRGBQuad{9, 8, 7, 0});
    TPngGraphic view;
    view.ExternalImage = &external;
    CHECK(view.Width() == 2);
    TPngGraphic back;
    Load(back, Save(view));
    CHECK(back.Image().GetPixel(0, 0) == TRGBQuad{9, 8, 7, 0});
    Load(view, Suite("basn0g08"));
    CHECK(external.Width() == 32);
  }
}

TEST_CASE("the format registry knows PNG") {
  RegisterBuiltInFormats();
  const TPictureFormat* format = TPictureFormatRegistry::Instance().Find("a.png");
  REQUIRE(format != nullptr);
  CHECK(format->Extension == "PNG");
  CHECK(format->Description == "PNG Format");
  CHECK(std::string(format->Create()->ClassName()) == "TPngGraphic");
}
