#include <doctest/doctest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <cstdio>

#include <jpeglib.h>

#include "base/Stream.h"
#include "decode/JPEGImage.h"
#include "decode/JpegCodec.h"

namespace {

// Compresses rows of `components` bytes (RGB, grey or CMYK) with libjpeg, as other programs
// would write them.
std::vector<uint8_t> Compress(int width, int height, int components, J_COLOR_SPACE space,
                              const std::vector<uint8_t>& pixels, bool adobeMarker = true,
                              int quality = 100) {
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
