#include <doctest/doctest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include <cstdio>

#include <jpeglib.h>

#include "base/Stream.h"
#include "decode/ExifOrientation.h"
#include "decode/JPEGImage.h"
#include "decode/JpegCodec.h"
#include "decode/Orientation.h"
#include "decode/Picture.h"

namespace {

// Compresses rows of `components` bytes (RGB, grey or CMYK) with libjpeg, as other programs
// would write them.
bool SameBitmap(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitCount() != b.BitCount())
    return false;
  for (int y = 0; y < a.Height(); ++y) {
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), a.Stride()) != 0) return false;
  }
  return true;
}

std::vector<uint8_t> Compress(int width, int height, int components, J_COLOR_SPACE space,
                              const std::vector<uint8_t>& pixels, bool adobeMarker = true,
                              int quality = 100, bool progressive = false) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = components;
  cinfo.in_color_space = space;
  jpeg_set_defaults(&cinfo);
  jpeg_set_colorspace(&cinfo, space == JCS_RGB ? JCS_YCbCr : space);
  cinfo.write_Adobe_marker = adobeMarker ? TRUE : FALSE;
  jpeg_set_quality(&cinfo, quality, TRUE);
  // No chroma subsampling: flat colours come back exactly enough to compare.
  for (int i = 0; i < cinfo.num_components; ++i) {
    cinfo.comp_info[i].h_samp_factor = 1;
    cinfo.comp_info[i].v_samp_factor = 1;
  }
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&pixels[cinfo.next_scanline * width * components]);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<uint8_t> out(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return out;
}

std::vector<uint8_t> Flat(int width, int height, std::vector<uint8_t> value) {
  std::vector<uint8_t> pixels;
  for (int i = 0; i < width * height; ++i) pixels.insert(pixels.end(), value.begin(), value.end());
  return pixels;
}

void Load(TJPEGImage& jpeg, const std::vector<uint8_t>& bytes, size_t position = 0) {
  TMemoryStream stream(bytes);
  stream.Seek(position);
  jpeg.LoadFromStream(stream);
}

bool Near(int a, int b, int tolerance = 3) {
  return a - b <= tolerance && b - a <= tolerance;
}

// The Exif APP1 segment of a picture, written field by field so that a test can make any field
// lie. The TIFF block holds IFD0 and, when `ifd1` is not empty, a second IFD right after it.
struct TExifEntry {
  uint16_t tag = 0x0112;
  uint16_t type = 3;  // SHORT
  uint32_t count = 1;
  uint32_t value = 1;  // a SHORT takes the first two bytes of the field, a LONG all four
};

struct TExif {
  bool bigEndian = false;
  std::string order;  // the byte order mark as written, when not the usual one
  uint16_t magic = 42;
  std::string signature = std::string("Exif\0\0", 6);
  uint8_t marker = 0xE1;
  size_t padding = 0;               // bytes between the TIFF header and IFD0
  std::optional<uint32_t> pointer;  // what the header says of IFD0's offset (else the truth)
  std::vector<TExifEntry> entries;  // IFD0
  std::optional<uint16_t> entryCount;
  std::optional<uint32_t> next;  // IFD0's link (else IFD1's offset, or 0 without IFD1)
  std::vector<TExifEntry> ifd1;
  uint32_t ifd1Next = 0;
  size_t keep = SIZE_MAX;  // TIFF bytes kept; the rest is cut off
};

constexpr TExifEntry kUpright{0x0112, 3, 1, 1};
constexpr TExifEntry kImageWidth{0x0100, 3, 1, 32};

TExif ExifWith(int orientation, bool bigEndian = false) {
  TExif exif;
  exif.bigEndian = bigEndian;
  exif.entries = {{0x0112, 3, 1, static_cast<uint32_t>(orientation)}};
  return exif;
}

std::vector<uint8_t> ExifSegment(const TExif& exif) {
  std::vector<uint8_t> tiff;
  auto put16 = [&](uint32_t v) {
    const uint8_t hi = static_cast<uint8_t>(v >> 8);
    const uint8_t lo = static_cast<uint8_t>(v);
    tiff.insert(tiff.end(), exif.bigEndian ? std::initializer_list<uint8_t>{hi, lo}
                                           : std::initializer_list<uint8_t>{lo, hi});
  };
  auto put32 = [&](uint32_t v) {
    put16(exif.bigEndian ? v >> 16 : v & 0xFFFF);
    put16(exif.bigEndian ? v & 0xFFFF : v >> 16);
  };
  auto putIfd = [&](const std::vector<TExifEntry>& entries, uint32_t count, uint32_t link) {
    put16(count);
    for (const TExifEntry& e : entries) {
      put16(e.tag);
      put16(e.type);
      put32(e.count);
      if (e.type == 3) {
        put16(e.value);
        put16(0);
      } else {
        put32(e.value);
      }
    }
    put32(link);
  };
  const std::string order = !exif.order.empty() ? exif.order : exif.bigEndian ? "MM" : "II";
  tiff.assign(order.begin(), order.end());
  put16(exif.magic);
  const auto ifd0 = static_cast<uint32_t>(8 + exif.padding);
  put32(exif.pointer.value_or(ifd0));
  tiff.resize(ifd0, 0);
  const auto ifd1 = static_cast<uint32_t>(ifd0 + 2 + 12 * exif.entries.size() + 4);
  putIfd(exif.entries, exif.entryCount.value_or(static_cast<uint16_t>(exif.entries.size())),
         exif.next.value_or(exif.ifd1.empty() ? 0 : ifd1));
  if (!exif.ifd1.empty()) {
    putIfd(exif.ifd1, static_cast<uint32_t>(exif.ifd1.size()), exif.ifd1Next);
  }
  if (exif.keep < tiff.size()) tiff.resize(exif.keep);
  const size_t length = 2 + exif.signature.size() + tiff.size();
  std::vector<uint8_t> segment{0xFF, exif.marker, static_cast<uint8_t>(length >> 8),
                               static_cast<uint8_t>(length)};
  segment.insert(segment.end(), exif.signature.begin(), exif.signature.end());
  segment.insert(segment.end(), tiff.begin(), tiff.end());
  return segment;
}

// An APP1 segment of XMP, which is not Exif.
std::vector<uint8_t> XmpSegment() {
  const std::string payload = std::string("http://ns.adobe.com/xap/1.0/\0", 29) + "<x:xmpmeta/>";
  const size_t length = 2 + payload.size();
  std::vector<uint8_t> segment{0xFF, 0xE1, static_cast<uint8_t>(length >> 8),
                               static_cast<uint8_t>(length)};
  segment.insert(segment.end(), payload.begin(), payload.end());
  return segment;
}

// The JPEG with the segments put right after its start marker, or after its JFIF APP0 segment.
std::vector<uint8_t> WithSegments(std::vector<uint8_t> jpeg,
                                  const std::vector<std::vector<uint8_t>>& segments,
                                  bool afterApp0 = false) {
  size_t at = 2;
  if (afterApp0) {
    REQUIRE(jpeg[3] == 0xE0);
    at += 2 + (jpeg[4] << 8 | jpeg[5]);
  }
  for (auto it = segments.rbegin(); it != segments.rend(); ++it) {
    jpeg.insert(jpeg.begin() + static_cast<long>(at), it->begin(), it->end());
  }
  return jpeg;
}

// Six flat blocks of 16 x 16 pixels, two across and three down (A B / C D / E F), far apart in
// colour; each block fills whole 8 x 8 cells of the compression, so its colour stays flat.
// (TRGBQuad lists blue, green, red: red, green, blue, yellow, cyan, magenta.)
const std::vector<TRGBQuad> kBlockColours = {{30, 30, 230, 0},  {30, 210, 30, 0},
                                             {230, 40, 40, 0},  {30, 230, 240, 0},
                                             {220, 220, 30, 0}, {210, 30, 210, 0}};
const std::vector<TRGBQuad> kBlockGreys = {{20, 20, 20, 0},    {65, 65, 65, 0},
                                           {110, 110, 110, 0}, {155, 155, 155, 0},
                                           {200, 200, 200, 0}, {245, 245, 245, 0}};

std::vector<uint8_t> BlocksJpeg(bool grey = false) {
  const std::vector<TRGBQuad>& colours = grey ? kBlockGreys : kBlockColours;
  std::vector<uint8_t> pixels;
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 32; ++x) {
      const TRGBQuad& c = colours[static_cast<size_t>(y / 16 * 2 + x / 16)];
      if (grey) {
        pixels.push_back(c.Red);
      } else {
        pixels.insert(pixels.end(), {c.Red, c.Green, c.Blue});
      }
    }
  }
  return grey ? Compress(32, 48, 1, JCS_GRAYSCALE, pixels) : Compress(32, 48, 3, JCS_RGB, pixels);
}

// The picture as letters, one a block of `block` x `block` pixels, rows of blocks top first and
// parted by '/': the letter of the colour every pixel of the block is near, '?' when there is
// none.
std::string BlockLayout(const TBitmap& bitmap, const std::vector<TRGBQuad>& colours,
                        int block = 16) {
  std::string layout;
  for (int top = 0; top < bitmap.Height(); top += block) {
    if (top > 0) layout += '/';
    for (int left = 0; left < bitmap.Width(); left += block) {
      char letter = '?';
      for (size_t i = 0; i < colours.size() && letter == '?'; ++i) {
        bool all = true;
        for (int y = top; y < std::min(top + block, bitmap.Height()) && all; ++y) {
          for (int x = left; x < std::min(left + block, bitmap.Width()) && all; ++x) {
            const TRGBQuad p = bitmap.GetPixel(x, y);
            all = Near(p.Red, colours[i].Red, 8) && Near(p.Green, colours[i].Green, 8) &&
                  Near(p.Blue, colours[i].Blue, 8);
          }
        }
        if (all) letter = static_cast<char>('A' + i);
      }
      layout += letter;
    }
  }
  return layout;
}

// The upright picture of each orientation of the stored blocks A B / C D / E F.
struct TOrientationCase {
  int orientation;
  const char* layout;
};
constexpr TOrientationCase kOrientations[] = {
    {1, "AB/CD/EF"}, {2, "BA/DC/FE"}, {3, "FE/DC/BA"}, {4, "EF/CD/AB"},
    {5, "ACE/BDF"},  {6, "ECA/FDB"},  {7, "FDB/ECA"},  {8, "BDF/ACE"},
};

}  // namespace

TEST_CASE("colour JPEGs decode to 24-bit bitmaps; the header tells the size first") {
  std::vector<uint8_t> rgb;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 24; ++x) {
      rgb.push_back(static_cast<uint8_t>(x < 12 ? 255 : 0));
      rgb.push_back(static_cast<uint8_t>(y < 8 ? 255 : 0));
      rgb.push_back(40);
    }
  }
  TJPEGImage jpeg;
  Load(jpeg, Compress(24, 16, 3, JCS_RGB, rgb));
  CHECK(jpeg.Width() == 24);
  CHECK(jpeg.Height() == 16);
  TBitmap bitmap;
  bitmap.Assign(&jpeg);
  CHECK(bitmap.PixelFormat() == TPixelFormat::pf24bit);
  const TRGBQuad topLeft = bitmap.GetPixel(2, 2);
  CHECK(Near(topLeft.Red, 255));
  CHECK(Near(topLeft.Green, 255));
  CHECK(Near(topLeft.Blue, 40));
  const TRGBQuad bottomRight = bitmap.GetPixel(21, 13);
  CHECK(Near(bottomRight.Red, 0));
  CHECK(Near(bottomRight.Green, 0));
  CHECK_THROWS_WITH_AS(jpeg.SetWidth(5), "JPEG イメージのサイズは変更できません", EInvalidGraphic);
  CHECK_THROWS_WITH_AS(jpeg.SetHeight(5), "JPEG イメージのサイズは変更できません", EInvalidGraphic);

  TJPEGImage copy;
  copy.Assign(&jpeg);
  CHECK(copy.SharesDataWith(jpeg));
  TMemoryStream saved;
  copy.SaveToStream(saved);
  CHECK(saved.Bytes().size() > 100);
}

TEST_CASE("greyscale JPEGs give 8-bit bitmaps with the grey ramp") {
  std::vector<uint8_t> grey;
  for (int i = 0; i < 64; ++i) grey.push_back(static_cast<uint8_t>(i * 4));
  TJPEGImage jpeg;
  Load(jpeg, Compress(8, 8, 1, JCS_GRAYSCALE, grey));
  TBitmap bitmap;
  bitmap.Assign(&jpeg);
  CHECK(bitmap.PixelFormat() == TPixelFormat::pf8bit);
  REQUIRE(bitmap.Palette().size() == 256);
  CHECK(bitmap.Palette()[77] == TRGBQuad{77, 77, 77, 0});
  CHECK(Near(bitmap.ScanLine(7)[7], 63 * 4, 4));
}

TEST_CASE("CMYK JPEGs, plain and Adobe-inverted, give the right colours") {
  // Cyan ink only: (0, 255, 255) in RGB.
  TJPEGImage plain;
  Load(plain, Compress(8, 8, 4, JCS_CMYK, Flat(8, 8, {255, 0, 0, 0}), false));
  TBitmap a;
  a.Assign(&plain);
  CHECK(Near(a.GetPixel(3, 3).Red, 0));
  CHECK(Near(a.GetPixel(3, 3).Green, 255));
  CHECK(Near(a.GetPixel(3, 3).Blue, 255));
  // Adobe stores 255 - ink: half magenta, no other ink.
  TJPEGImage adobe;
  Load(adobe, Compress(8, 8, 4, JCS_CMYK, Flat(8, 8, {255, 127, 255, 255}), true));
  TBitmap b;
  b.Assign(&adobe);
  CHECK(Near(b.GetPixel(3, 3).Red, 255));
  CHECK(Near(b.GetPixel(3, 3).Green, 127));
  CHECK(Near(b.GetPixel(3, 3).Blue, 255));
}

TEST_CASE("a stream is read from its position; empty data is an empty picture") {
  const std::vector<uint8_t> jpegBytes = Compress(4, 4, 1, JCS_GRAYSCALE, Flat(4, 4, {200}));
  std::vector<uint8_t> prefixed(128 + jpegBytes.size(), 'x');
  std::copy(jpegBytes.begin(), jpegBytes.end(), prefixed.begin() + 128);
  TJPEGImage jpeg;
  Load(jpeg, prefixed, 128);
  CHECK(jpeg.Width() == 4);
  TMemoryStream out;
  jpeg.SaveToStream(out);
  CHECK(out.Bytes() == jpegBytes);

  TJPEGImage empty;
  Load(empty, {});
  CHECK(empty.Empty());
  TBitmap bitmap;
  bitmap.Assign(&empty);
  CHECK(bitmap.Empty());
}

TEST_CASE("corrupt and oversized JPEGs fail with the library's code and leak nothing") {
  TJPEGImage jpeg;
  CHECK_THROWS_WITH_AS(Load(jpeg, {'n', 'o', 't', ' ', 'j', 'p', 'e', 'g'}),
                       doctest::Contains("JPEG エラー #"), EJPEG);
  std::vector<uint8_t> noise;
  for (int i = 0; i < 64 * 64 * 3; ++i) noise.push_back(static_cast<uint8_t>(i * 7919 % 251));
  std::vector<uint8_t> bytes = Compress(64, 64, 3, JCS_RGB, noise);
  std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() * 2 / 3));
  TJPEGImage truncated;
  Load(truncated, cut);  // the header is whole
  TBitmap bitmap;
  // Data that ends before the last row (a broken download) is unreadable, not grey below.
  CHECK_THROWS_WITH_AS(bitmap.Assign(&truncated), doctest::Contains("JPEG エラー #"), EJPEG);
  // Data that lacks only its end marker (cameras and downloads make them) has every row: it
  // shows as the whole file does, baseline and progressive.
  for (const bool progressive : {false, true}) {
    CAPTURE(progressive);
    const std::vector<uint8_t> whole = Compress(64, 64, 3, JCS_RGB, noise, true, 100, progressive);
    for (const size_t lost : {2, 1}) {
      const std::vector<uint8_t> open(whole.begin(), whole.end() - static_cast<long>(lost));
      TJPEGImage full;
      TJPEGImage endless;
      Load(full, whole);
      Load(endless, open);
      TBitmap a;
      TBitmap b;
      a.Assign(&full);
      REQUIRE_NOTHROW(b.Assign(&endless));
      CHECK(SameBitmap(a, b));
    }
    // Cut inside the last scan's data: unreadable.
    const std::vector<uint8_t> short_(whole.begin(), whole.end() - 200);
    TJPEGImage cutShort;
    Load(cutShort, short_);
    CHECK_THROWS_AS(bitmap.Assign(&cutShort), EJPEG);
  }
  // Stray bytes before a marker are only a warning: the picture shows.
  std::vector<uint8_t> stray = bytes;
  stray.insert(stray.end() - 2, {0x12, 0x34, 0x56});
  TJPEGImage harmless;
  Load(harmless, stray);
  bitmap.Assign(&harmless);
  CHECK(bitmap.Width() == 64);

  // A header that claims 65000 x 65000 pixels: refused before any allocation.
  std::vector<uint8_t> huge = bytes;
  for (size_t i = 0; i + 8 < huge.size(); ++i) {
    if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
      huge[i + 5] = 0xFD;
      huge[i + 6] = 0xE8;
      huge[i + 7] = 0xFD;
      huge[i + 8] = 0xE8;
      break;
    }
  }
  TJPEGImage big;
  Load(big, huge);
  CHECK(big.Width() == 65000);
  CHECK_THROWS_AS(bitmap.Assign(&big), EJPEG);
}

TEST_CASE("progress and a quiet abort") {
  const std::vector<uint8_t> bytes =
      Compress(256, 256, 3, JCS_RGB, Flat(256, 256, {10, 20, 30}), true, 90);
  TJPEGImage::ProgressIntervalMs = 0;
  TJPEGImage jpeg;
  Load(jpeg, bytes);
  std::vector<TProgressStage> stages;
  jpeg.OnProgress = [&](TGraphic&, TProgressStage stage, uint8_t, bool, const TRect&,
                        const std::string&) { stages.push_back(stage); };
  TBitmap bitmap;
  bitmap.Assign(&jpeg);
  CHECK(stages.front() == TProgressStage::psStarting);
  CHECK(stages.back() == TProgressStage::psEnding);
  CHECK(stages.size() > 3);

  TJPEGImage aborted;
  Load(aborted, bytes);
  aborted.OnProgress = [](TGraphic&, TProgressStage stage, uint8_t, bool, const TRect&,
                          const std::string&) {
    if (stage == TProgressStage::psRunning) throw EAbort();
  };
  bitmap.Assign(&aborted);  // stops quietly with what was decoded
  CHECK(bitmap.Width() == 256);
  TJPEGImage::ProgressIntervalMs = 500;
}

TEST_CASE("turning a bitmap upright puts every pixel where its orientation says") {
  // Stored: A B C
  //         D E F
  const TOrientationCase cases[] = {
      {1, "ABC/DEF"},  {2, "CBA/FED"},  {3, "FED/CBA"},  {4, "DEF/ABC"},
      {5, "AD/BE/CF"}, {6, "DA/EB/FC"}, {7, "FC/EB/DA"}, {8, "CF/BE/AD"},
  };
  std::vector<TRGBQuad> colours;
  for (int i = 0; i < 6; ++i) {
    colours.push_back(TRGBQuad{static_cast<uint8_t>(10 + 40 * i),
                               static_cast<uint8_t>(250 - 40 * i), static_cast<uint8_t>(i * i * 7),
                               0});
  }
  for (const TPixelFormat format : {TPixelFormat::pf24bit, TPixelFormat::pf8bit}) {
    for (const TOrientationCase& c : cases) {
      CAPTURE(BitCountOf(format));
      CAPTURE(c.orientation);
      TBitmap bitmap;
      bitmap.SetPixelFormat(format);
      if (format == TPixelFormat::pf8bit) bitmap.SetPalette(colours);
      bitmap.SetSize(3, 2);
      for (int i = 0; i < 6; ++i) bitmap.SetPixel(i % 3, i / 3, colours[static_cast<size_t>(i)]);
      OrientBitmap(bitmap, c.orientation);
      CHECK(bitmap.PixelFormat() == format);
      CHECK(BlockLayout(bitmap, colours, 1) == c.layout);
      if (format == TPixelFormat::pf8bit) CHECK(bitmap.Palette() == colours);
    }
  }
  // Values that are no orientation leave the bitmap as it is.
  TBitmap bitmap;
  bitmap.SetSize(3, 2);
  for (int i = 0; i < 6; ++i) bitmap.SetPixel(i % 3, i / 3, colours[static_cast<size_t>(i)]);
  for (const int value : {0, 9, -6}) {
    OrientBitmap(bitmap, value);
    CHECK(BlockLayout(bitmap, colours, 1) == "ABC/DEF");
  }
}

TEST_CASE("every pixel format turns as 24 bits do, rows that end inside a byte too") {
  uint32_t seed = 1;
  auto next = [&seed] {
    seed = seed * 1103515245 + 12345;
    return static_cast<uint8_t>(seed >> 16);
  };
  for (const TPixelFormat format :
       {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf15bit, TPixelFormat::pf16bit,
        TPixelFormat::pf32bit}) {
    for (int orientation = 2; orientation <= 8; ++orientation) {
      CAPTURE(BitCountOf(format));
      CAPTURE(orientation);
      // 13 x 5: 1-bit and 4-bit rows end inside a byte, and the two sides differ.
      TBitmap bitmap;
      bitmap.SetPixelFormat(format);
      bitmap.SetSize(13, 5);
      for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 13; ++x) bitmap.SetPixel(x, y, TRGBQuad{next(), next(), next(), 0});
      }
      TBitmap expected;
      expected.Assign(&bitmap);
      expected.SetPixelFormat(TPixelFormat::pf24bit);
      OrientBitmap(expected, orientation);
      OrientBitmap(bitmap, orientation);
      REQUIRE(bitmap.Width() == expected.Width());
      REQUIRE(bitmap.Height() == expected.Height());
      CHECK(bitmap.PixelFormat() == format);
      int wrong = 0;
      for (int y = 0; y < bitmap.Height(); ++y) {
        for (int x = 0; x < bitmap.Width(); ++x) {
          TRGBQuad p = bitmap.GetPixel(x, y);
          p.Reserved = 0;
          if (!(p == expected.GetPixel(x, y))) ++wrong;
        }
      }
      CHECK(wrong == 0);
    }
  }
}

TEST_CASE("turns of a large bitmap undo each other across its tiles") {
  TBitmap original;
  original.SetSize(150, 70);
  for (int y = 0; y < 70; ++y) {
    for (int x = 0; x < 150; ++x) {
      original.SetPixel(x, y,
                        TRGBQuad{static_cast<uint8_t>(x), static_cast<uint8_t>(y),
                                 static_cast<uint8_t>(x * 7 + y * 3), 0});
    }
  }
  auto same = [](const TBitmap& a, const TBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int y = 0; y < a.Height(); ++y) {
      if (std::memcmp(a.ScanLine(y), b.ScanLine(y), static_cast<size_t>(a.Width()) * 3) != 0) {
        return false;
      }
    }
    return true;
  };
  // A quarter turn one way and back; each diagonal mirror twice; two quarter turns are a half
  // turn.
  const int pairs[][3] = {{6, 8, 1}, {8, 6, 1}, {5, 5, 1}, {7, 7, 1}, {6, 6, 3},
                          {8, 8, 3}, {5, 7, 3}, {2, 4, 3}, {3, 3, 1}};
  for (const auto& pair : pairs) {
    CAPTURE(pair[0]);
    CAPTURE(pair[1]);
    TBitmap turned;
    turned.Assign(&original);
    OrientBitmap(turned, pair[0]);
    CHECK(turned.Width() == (pair[0] >= 5 ? 70 : 150));
    OrientBitmap(turned, pair[1]);
    TBitmap expected;
    expected.Assign(&original);
    OrientBitmap(expected, pair[2]);
    CHECK(same(turned, expected));
  }
  // A quarter turn is not a mirror: the two differ.
  TBitmap clockwise;
  clockwise.Assign(&original);
  OrientBitmap(clockwise, 6);
  TBitmap transposed;
  transposed.Assign(&original);
  OrientBitmap(transposed, 5);
  CHECK_FALSE(same(clockwise, transposed));
  CHECK(clockwise.GetPixel(69, 0) == original.GetPixel(0, 0));
  CHECK(transposed.GetPixel(0, 0) == original.GetPixel(0, 0));
}

TEST_CASE("a JPEG with an Exif orientation is upright everywhere but in its stored rows") {
  const std::vector<uint8_t> plain = BlocksJpeg();
  for (const bool bigEndian : {false, true}) {
    for (const TOrientationCase& c : kOrientations) {
      CAPTURE(bigEndian);
      CAPTURE(c.orientation);
      const std::vector<uint8_t> bytes =
          WithSegments(plain, {ExifSegment(ExifWith(c.orientation, bigEndian))});
      CHECK(ReadExifOrientation(bytes.data(), bytes.size()) == c.orientation);
      TJPEGImage jpeg;
      Load(jpeg, bytes);
      const bool turned = c.orientation >= 5;
      CHECK(jpeg.Orientation() == c.orientation);
      CHECK(jpeg.Width() == (turned ? 48 : 32));
      CHECK(jpeg.Height() == (turned ? 32 : 48));
      CHECK(jpeg.StoredWidth() == 32);
      CHECK(jpeg.StoredHeight() == 48);

      // The rows come as stored: A at the top left, F at the bottom right.
      std::vector<uint8_t> rows(32 * 48 * 3);
      int delivered = 0;
      jpeg.DecodeRows([&](int y) {
        ++delivered;
        return rows.data() + static_cast<size_t>(y) * 32 * 3;
      });
      CHECK(delivered == 48);
      CHECK(Near(rows[0], kBlockColours[0].Blue, 8));
      CHECK(Near(rows[2], kBlockColours[0].Red, 8));
      CHECK(Near(rows[rows.size() - 3], kBlockColours[5].Blue, 8));
      CHECK(Near(rows[rows.size() - 2], kBlockColours[5].Green, 8));
      CHECK_FALSE(jpeg.Decoded());

      TBitmap bitmap;
      bitmap.Assign(&jpeg);
      CHECK(BlockLayout(bitmap, kBlockColours) == c.layout);
      CHECK(BlockLayout(jpeg.Bitmap(), kBlockColours) == c.layout);
      CHECK(jpeg.Width() == (turned ? 48 : 32));

      // Copies share the data and its orientation; the bytes are saved as they came.
      auto copy = std::make_unique<TJPEGImage>();
      copy->Assign(&jpeg);
      CHECK(copy->SharesDataWith(jpeg));
      CHECK(copy->Orientation() == c.orientation);
      CHECK(copy->Height() == (turned ? 32 : 48));
      TMemoryStream saved;
      copy->SaveToStream(saved);
      CHECK(saved.Bytes() == bytes);
      TPicture held;
      held.TakeGraphic(std::move(copy));
      CHECK(held.Width() == (turned ? 48 : 32));
      held.Realize();
      REQUIRE(held.Bitmap() != nullptr);
      CHECK(BlockLayout(*held.Bitmap(), kBlockColours) == c.layout);
    }
  }
}

TEST_CASE("an oriented JPEG at half scale, and in grey, keeps its orientation") {
  TJPEGImage half;
  Load(half, WithSegments(BlocksJpeg(), {ExifSegment(ExifWith(6))}));
  half.Scale = TJPEGScale::jsHalf;
  CHECK(half.Width() == 24);
  CHECK(half.Height() == 16);
  CHECK(half.StoredWidth() == 16);
  CHECK(half.StoredHeight() == 24);
  CHECK(BlockLayout(half.Bitmap(), kBlockColours, 8) == "ECA/FDB");

  TJPEGImage grey;
  Load(grey, WithSegments(BlocksJpeg(true), {ExifSegment(ExifWith(8, true))}));
  TBitmap bitmap;
  bitmap.Assign(&grey);
  CHECK(bitmap.PixelFormat() == TPixelFormat::pf8bit);
  REQUIRE(bitmap.Palette().size() == 256);
  CHECK(bitmap.Palette()[77] == TRGBQuad{77, 77, 77, 0});
  CHECK(BlockLayout(bitmap, kBlockGreys) == "BDF/ACE");
}

TEST_CASE("Exif is found after other segments; only IFD0 of the first Exif segment counts") {
  const std::vector<uint8_t> plain = BlocksJpeg();
  TExif further = ExifWith(3, true);
  further.padding = 10;
  further.entries = {kImageWidth, {0x010F, 2, 4, 0x41424300}, {0x0112, 3, 1, 3}, kUpright};
  TExif thumbnail = ExifWith(3);
  thumbnail.ifd1 = {{0x0112, 3, 1, 6}};
  std::vector<uint8_t> filled = ExifSegment(ExifWith(7, true));
  filled.insert(filled.begin(), {0xFF, 0xFF});
  struct TFound {
    const char* what;
    std::vector<uint8_t> bytes;
    int orientation;
  };
  const TFound cases[] = {
      {"after the JFIF segment", WithSegments(plain, {ExifSegment(ExifWith(6))}, true), 6},
      {"after an XMP APP1", WithSegments(plain, {XmpSegment(), ExifSegment(ExifWith(8, true))}), 8},
      {"other entries around it, IFD0 further on", WithSegments(plain, {ExifSegment(further)}), 3},
      {"the thumbnail's orientation in IFD1 is not the picture's",
       WithSegments(plain, {ExifSegment(thumbnail)}), 3},
      {"a second Exif segment is not read",
       WithSegments(plain, {ExifSegment(ExifWith(5)), ExifSegment(ExifWith(2))}), 5},
      {"fill bytes before the marker", WithSegments(plain, {filled}), 7},
  };
  for (const TFound& c : cases) {
    CAPTURE(c.what);
    CHECK(ReadExifOrientation(c.bytes.data(), c.bytes.size()) == c.orientation);
    TJPEGImage jpeg;
    Load(jpeg, c.bytes);
    CHECK(jpeg.Orientation() == c.orientation);
    CHECK(BlockLayout(jpeg.Bitmap(), kBlockColours) ==
          kOrientations[static_cast<size_t>(c.orientation - 1)].layout);
  }
}

TEST_CASE("Exif that lies, or that is not where it is read, leaves the picture as stored") {
  const std::vector<uint8_t> plain = BlocksJpeg();
  // Each lie spoils Exif that would otherwise turn the picture a quarter clockwise. The TIFF
  // block of one entry is 26 bytes: header 8, entry count 2, the entry 12, the link 4.
  auto with = [&plain](auto change) {
    TExif exif = ExifWith(6);
    change(exif);
    return WithSegments(plain, {ExifSegment(exif)});
  };
  TExif badFirst = ExifWith(9);
  std::vector<uint8_t> appended = plain;
  const std::vector<uint8_t> trailing = ExifSegment(ExifWith(6));
  appended.insert(appended.end(), trailing.begin(), trailing.end());
  struct TLie {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  const TLie lies[] = {
      {"IFD0 far past the end", with([](TExif& e) { e.pointer = 0xFFFFFFF0; })},
      {"IFD0 right at the end", with([](TExif& e) { e.pointer = 26; })},
      {"entry count past the end", with([](TExif& e) { e.entryCount = 2; })},
      {"entry count of 65535", with([](TExif& e) { e.entryCount = 0xFFFF; })},
      // Little-endian: the LONG and the BYTE 6 both begin with the bytes of a SHORT 6.
      {"type LONG", with([](TExif& e) { e.entries[0].type = 4; })},
      {"type BYTE", with([](TExif& e) { e.entries[0].type = 1; })},
      {"count 2", with([](TExif& e) { e.entries[0].count = 2; })},
      {"count 0", with([](TExif& e) { e.entries[0].count = 0; })},
      {"value 0", with([](TExif& e) { e.entries[0].value = 0; })},
      {"value 9", with([](TExif& e) { e.entries[0].value = 9; })},
      {"value 262", with([](TExif& e) { e.entries[0].value = 0x0106; })},
      // A reader that followed IFD0's link would take the thumbnail's orientation here, and
      // one that followed links without end would never come back from the next case.
      {"a loop of IFD links, the orientation only in IFD1", with([](TExif& e) {
         e.entries = {kImageWidth};
         e.ifd1 = {{0x0112, 3, 1, 6}};
         e.ifd1Next = 8;
       })},
      {"IFD0 linked to itself", with([](TExif& e) {
         e.entries = {kImageWidth};
         e.next = 8;
       })},
      {"segment cut inside the value", with([](TExif& e) { e.keep = 20; })},
      {"segment cut inside the entry", with([](TExif& e) { e.keep = 14; })},
      {"segment cut inside the header", with([](TExif& e) { e.keep = 6; })},
      {"another signature", with([](TExif& e) { e.signature = std::string("Exif\0\1", 6); })},
      {"a signature without its zeros", with([](TExif& e) { e.signature = "Exif"; })},
      {"byte order IM", with([](TExif& e) { e.order = "IM"; })},
      {"magic 43", with([](TExif& e) { e.magic = 43; })},
      {"Exif in APP2", with([](TExif& e) { e.marker = 0xE2; })},
      {"an XMP APP1 alone", WithSegments(plain, {XmpSegment()})},
      {"Exif after the end of the picture", appended},
      {"a lying Exif segment before a good one",
       WithSegments(plain, {ExifSegment(badFirst), ExifSegment(ExifWith(6))})},
  };
  for (const TLie& lie : lies) {
    const std::string what = lie.what;
    CAPTURE(what);
    CHECK(ReadExifOrientation(lie.bytes.data(), lie.bytes.size()) == 1);
    TJPEGImage jpeg;
    Load(jpeg, lie.bytes);
    CHECK(jpeg.Orientation() == 1);
    CHECK(jpeg.Width() == 32);
    CHECK(jpeg.Height() == 48);
    CHECK(BlockLayout(jpeg.Bitmap(), kBlockColours) == "AB/CD/EF");
  }
}

TEST_CASE("the Exif reader reads nothing outside the data, however it is cut or spoilt") {
  const std::vector<uint8_t> xmp = XmpSegment();
  const std::vector<uint8_t> exif = ExifSegment(ExifWith(6, true));
  const std::vector<uint8_t> whole = WithSegments(BlocksJpeg(), {xmp, exif});
  const size_t exifEnd = 2 + xmp.size() + exif.size();
  // Copies of exactly the size given, so that a read past the end leaves the allocation.
  for (size_t size = 0; size < exifEnd; ++size) {
    CAPTURE(size);
    const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(size));
    CHECK(ReadExifOrientation(cut.data(), cut.size()) == 1);
  }
  const std::vector<uint8_t> justTheSegments(whole.begin(),
                                             whole.begin() + static_cast<long>(exifEnd));
  CHECK(ReadExifOrientation(justTheSegments.data(), justTheSegments.size()) == 6);
  CHECK(ReadExifOrientation(nullptr, 0) == 1);
  // Only the segments before the scan are read: not past its start, nor past the end marker.
  auto after = [&exif](std::vector<uint8_t> start) {
    start.insert(start.end(), exif.begin(), exif.end());
    return ReadExifOrientation(start.data(), start.size());
  };
  CHECK(after({0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x02}) == 6);  // after an empty comment
  CHECK(after({0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02}) == 1);  // after the scan's header
  CHECK(after({0xFF, 0xD8, 0xFF, 0xD9}) == 1);
  CHECK(after({0xFF, 0xD8, 0xFF, 0xD0}) == 6);  // a marker without a length
  CHECK(after({0xFF, 0xD9}) == 1);              // no start marker
  for (size_t i = 0; i < exifEnd; ++i) {
    for (const uint8_t value : {0x00, 0x01, 0x08, 0x7F, 0xFF}) {
      CAPTURE(i);
      CAPTURE(value);
      std::vector<uint8_t> spoilt = justTheSegments;
      spoilt[i] = value;
      const int orientation = ReadExifOrientation(spoilt.data(), spoilt.size());
      CHECK((orientation >= 1 && orientation <= 8));
    }
  }
}
