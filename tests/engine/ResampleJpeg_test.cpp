#include <doctest/doctest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>

#include "base/Stream.h"
#include "decode/JPEGImage.h"
#include "decode/JpegCodec.h"
#include "decode/Picture.h"
#include "engine/Fit.h"
#include "engine/Resample.h"
#include "engine/ResampleJpeg.h"
#include "support/Fakes.h"
#include "tests/engine/ResampleOracle.h"

namespace {

// A picture with smooth gradients and noise, so every tap of the resampler matters.
std::vector<uint8_t> Compressed(int width, int height, bool grey, bool progressive,
                                std::mt19937& random) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = static_cast<uint8_t>(x * 255 / width ^ (random() & 15));
      p[1] = static_cast<uint8_t>(y * 255 / height + (random() & 31));
      p[2] = static_cast<uint8_t>((x + y) * 3 + (random() & 7));
    }
  }
  struct TRows {
    const std::vector<uint8_t>* pixels;
    int width;
  } rows{&pixels, width};
  std::vector<uint8_t> out;
  const int code = EncodeJpeg(
      width, height, 85, grey, progressive,
      [](void* context, int y) -> const uint8_t* {
        const auto* r = static_cast<const TRows*>(context);
        return r->pixels->data() + static_cast<size_t>(y) * r->width * 3;
      },
      &rows, out);
  REQUIRE(code == 0);
  return out;
}

std::unique_ptr<TJPEGImage> Load(const std::vector<uint8_t>& bytes) {
  auto jpeg = std::make_unique<TJPEGImage>();
  TBytesStream stream(bytes.data(), bytes.size());
  jpeg->LoadFromStream(stream);
  return jpeg;
}

// The JPEG with an Exif segment right after its start marker: "Exif\0\0", a little-endian TIFF
// header, and IFD0 of one entry, the orientation (a SHORT).
std::vector<uint8_t> WithOrientation(std::vector<uint8_t> jpeg, int orientation) {
  const auto value = static_cast<uint8_t>(orientation);
  const std::vector<uint8_t> segment = {
      0xFF, 0xE1, 0,    34,   'E', 'x', 'i', 'f', 0, 0, 'I',   'I', 42, 0, 8, 0, 0, 0,
      1,    0,    0x12, 0x01, 3,   0,   1,   0,   0, 0, value, 0,   0,  0, 0, 0, 0, 0};
  jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
  return jpeg;
}

// The largest difference of any byte of two pictures of one size; 256 when the sizes differ.
int LargestDifference(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return 256;
  int largest = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (size_t i = 0; i < static_cast<size_t>(a.Width()) * 3; ++i) {
      largest = std::max(largest, std::abs(a.ScanLine(y)[i] - b.ScanLine(y)[i]));
    }
  }
  return largest;
}

}  // namespace

TEST_CASE("shrinking straight from the decoder gives the bytes of shrinking the decoded picture") {
  std::mt19937 random(7);
  for (int round = 0; round < 24; ++round) {
    const int width = 8 + static_cast<int>(random() % 300);
    const int height = 8 + static_cast<int>(random() % 300);
    const bool grey = round % 4 == 1;
    const bool progressive = round % 3 == 2;
    const std::vector<uint8_t> bytes = Compressed(width, height, grey, progressive, random);
    const int newWidth = 1 + static_cast<int>(random() % static_cast<unsigned>(width));
    const int newHeight = 1 + static_cast<int>(random() % static_cast<unsigned>(height));
    CAPTURE(width);
    CAPTURE(height);
    CAPTURE(newWidth);
    CAPTURE(newHeight);
    CAPTURE(grey);
    const auto expected = ResampleBitmap(Load(bytes)->Bitmap(), newWidth, newHeight);
    for (int threads : {1, 2}) {
      CAPTURE(threads);
      const std::unique_ptr<TJPEGImage> jpeg = Load(bytes);
      CHECK(SamePixels(*ResampleJpeg(*jpeg, newWidth, newHeight, threads), *expected));
      CHECK_FALSE(jpeg->Decoded());  // nothing of the full-size picture is kept
    }
  }
}

TEST_CASE("two threads hand wide rows over, whether the waiting side spins or sleeps") {
  // Blocks of rows this wide take the decoder (baseline) or the resampler (progressive, whose
  // rows all come at the end) long enough for the other side to stop spinning and sleep.
  std::mt19937 random(13);
  for (const bool progressive : {false, true}) {
    CAPTURE(progressive);
    const std::vector<uint8_t> bytes = Compressed(12000, 96, false, progressive, random);
    const auto expected = ResampleBitmap(Load(bytes)->Bitmap(), 7001, 95);
    CHECK(SamePixels(*ResampleJpeg(*Load(bytes), 7001, 95, 2), *expected));
  }
}

TEST_CASE("a decode stopped early leaves the same blank rows as a partly decoded picture") {
  std::mt19937 random(11);
  const std::vector<uint8_t> bytes = Compressed(160, 300, false, false, random);
  TJPEGImage::ProgressIntervalMs = 0;
  auto abortOnFirstReport = [](TGraphic&, TProgressStage stage, uint8_t, bool, const TRect&,
                               const std::string&) {
    if (stage == TProgressStage::psRunning) throw EAbort();
  };
  const std::unique_ptr<TJPEGImage> partly = Load(bytes);
  partly->OnProgress = abortOnFirstReport;
  const auto expected = ResampleBitmap(partly->Bitmap(), 50, 90);
  for (int threads : {1, 2}) {
    const std::unique_ptr<TJPEGImage> jpeg = Load(bytes);
    jpeg->OnProgress = abortOnFirstReport;
    CHECK(SamePixels(*ResampleJpeg(*jpeg, 50, 90, threads), *expected));
  }
  TJPEGImage::ProgressIntervalMs = 500;
}

TEST_CASE("row delivery: a failing target stops the decode and its error comes back") {
  std::mt19937 random(3);
  const std::unique_ptr<TJPEGImage> jpeg = Load(Compressed(40, 64, true, false, random));
  std::vector<uint8_t> row(40 * 3);
  int rows = 0;
  jpeg->DecodeRows([&](int y) {
    CHECK(y == rows++);
    return row.data();
  });
  CHECK(rows == 64);
  // Grey rows arrive widened to blue-green-red.
  CHECK(row[0] == row[1]);
  CHECK(row[39 * 3] == row[39 * 3 + 2]);

  CHECK_THROWS_WITH_AS(jpeg->DecodeRows([&](int y) -> uint8_t* {
    if (y == 10) throw std::runtime_error("full");
    return row.data();
  }),
                       "full", std::runtime_error);
  CHECK_THROWS_AS(jpeg->DecodeRows([](int) -> uint8_t* { return nullptr; }), EJPEG);
  CHECK_THROWS_AS(ResampleJpeg(*jpeg, 0, 5), EAssertionFailed);
}

TEST_CASE("the fitting step shrinks a held JPEG from its rows and realises one that fits") {
  std::mt19937 random(5);
  const std::vector<uint8_t> bytes = Compressed(200, 120, false, false, random);
  TRecordingBusy busy;
  TPicture held;
  held.TakeGraphic(Load(bytes));
  TRect rect{0, 0, 100, 100};
  FitToRect(held, rect, false, busy, 2);
  REQUIRE(held.Bitmap() != nullptr);
  const TFitPlan plan = PlanFit(200, 120, 100, 100);
  CHECK(
      SamePixels(*held.Bitmap(), *ResampleBitmap(Load(bytes)->Bitmap(), plan.Width, plan.Height)));
  CHECK(rect.Top == 0);

  TPicture fits;
  fits.TakeGraphic(Load(bytes));
  TRect large{0, 0, 400, 300};
  FitToRect(fits, large, false, busy);
  REQUIRE(fits.Bitmap() != nullptr);
  CHECK(SamePixels(*fits.Bitmap(), Load(bytes)->Bitmap()));
  CHECK(large.Left == 100);
  CHECK(large.Top == 90);

  // The fast path decodes whole and drops rows and columns.
  TPicture fast;
  fast.TakeGraphic(Load(bytes));
  TRect small{0, 0, 100, 100};
  FitToRect(fast, small, true, busy);
  REQUIRE(fast.Bitmap() != nullptr);
  CHECK(fast.Bitmap()->Width() == 100);
}

TEST_CASE("an oriented JPEG is shrunk as stored, then turned: as shrinking it upright") {
  std::mt19937 random(17);
  for (int orientation = 1; orientation <= 8; ++orientation) {
    for (int round = 0; round < 3; ++round) {
      const int width = 8 + static_cast<int>(random() % 200);
      const int height = 8 + static_cast<int>(random() % 200);
      const std::vector<uint8_t> bytes =
          WithOrientation(Compressed(width, height, round == 1, round == 2, random), orientation);
      const std::unique_ptr<TJPEGImage> upright = Load(bytes);
      REQUIRE(upright->Orientation() == orientation);
      const int newWidth = 1 + static_cast<int>(random() % static_cast<unsigned>(upright->Width()));
      const int newHeight =
          1 + static_cast<int>(random() % static_cast<unsigned>(upright->Height()));
      CAPTURE(orientation);
      CAPTURE(width);
      CAPTURE(height);
      CAPTURE(newWidth);
      CAPTURE(newHeight);
      const auto expected = ResampleBitmap(upright->Bitmap(), newWidth, newHeight);
      for (int threads : {1, 2}) {
        CAPTURE(threads);
        const std::unique_ptr<TJPEGImage> jpeg = Load(bytes);
        const auto shrunk = ResampleJpeg(*jpeg, newWidth, newHeight, threads);
        CHECK(LargestDifference(*shrunk, *expected) <= 1);
        CHECK_FALSE(jpeg->Decoded());
      }
      // A box of the upright picture (what fill shows), scaled down or up: as scaling that part
      // of the upright picture.
      const TBitmap& whole = upright->Bitmap();
      TRect box;
      box.Left = static_cast<int>(random() % static_cast<unsigned>(whole.Width()));
      box.Top = static_cast<int>(random() % static_cast<unsigned>(whole.Height()));
      box.Right = box.Left + 1 + static_cast<int>(random() % (whole.Width() - box.Left));
      box.Bottom = box.Top + 1 + static_cast<int>(random() % (whole.Height() - box.Top));
      TBitmap part;
      part.SetPixelFormat(TPixelFormat::pf24bit);
      part.SetSize(box.Right - box.Left, box.Bottom - box.Top);
      TBitmap whole24;
      whole24.Assign(&whole);
      whole24.SetPixelFormat(TPixelFormat::pf24bit);
      for (int y = box.Top; y < box.Bottom; ++y) {
        std::memcpy(part.ScanLine(y - box.Top), whole24.ScanLine(y) + box.Left * 3,
                    static_cast<size_t>(part.Width()) * 3);
      }
      const int boxWidth = 1 + static_cast<int>(random() % 300);
      const int boxHeight = 1 + static_cast<int>(random() % 300);
      CAPTURE(box.Left);
      CAPTURE(box.Top);
      CAPTURE(box.Right);
      CAPTURE(box.Bottom);
      const auto expectedPart = ResampleBitmap(part, boxWidth, boxHeight);
      for (int threads : {1, 2}) {
        const std::unique_ptr<TJPEGImage> jpeg = Load(bytes);
        const auto scaled = ResampleJpeg(*jpeg, boxWidth, boxHeight, threads, &box);
        CHECK(LargestDifference(*scaled, *expectedPart) <= 1);
      }
    }
  }
  // A box outside the picture is refused before anything is decoded.
  const std::unique_ptr<TJPEGImage> jpeg =
      Load(WithOrientation(Compressed(20, 10, false, false, random), 6));
  const TRect outside{0, 0, 20, 10};  // upright the picture is 10 x 20
  CHECK_THROWS_AS(ResampleJpeg(*jpeg, 5, 5, 1, &outside), EAssertionFailed);
}

TEST_CASE("an oriented JPEG fits by its upright size, and a stopped decode stays upright") {
  std::mt19937 random(19);
  const std::vector<uint8_t> bytes = WithOrientation(Compressed(200, 120, false, false, random), 6);
  TRecordingBusy busy;
  TPicture held;
  held.TakeGraphic(Load(bytes));
  CHECK(held.Width() == 120);
  CHECK(held.Height() == 200);
  TRect rect{0, 0, 100, 100};
  FitToRect(held, rect, false, busy, 2);
  REQUIRE(held.Bitmap() != nullptr);
  const TFitPlan plan = PlanFit(120, 200, 100, 100);
  CHECK(held.Bitmap()->Width() == plan.Width);
  CHECK(held.Bitmap()->Height() == plan.Height);
  CHECK(LargestDifference(*held.Bitmap(),
                          *ResampleBitmap(Load(bytes)->Bitmap(), plan.Width, plan.Height)) <= 1);

  // Stopped half way, the rows still missing are blank in the stored picture: its bottom, which
  // is the left side when turned a quarter clockwise.
  TJPEGImage::ProgressIntervalMs = 0;
  auto abortHalfWay = [](TGraphic&, TProgressStage stage, uint8_t percent, bool, const TRect&,
                         const std::string&) {
    if (stage == TProgressStage::psRunning && percent >= 50) throw EAbort();
  };
  const std::vector<uint8_t> tall = Compressed(160, 300, false, false, random);
  for (const int orientation : {1, 6}) {
    CAPTURE(orientation);
    const std::vector<uint8_t> oriented = WithOrientation(tall, orientation);
    const std::unique_ptr<TJPEGImage> partly = Load(oriented);
    partly->OnProgress = abortHalfWay;
    const TBitmap& partial = partly->Bitmap();
    if (orientation == 6) {
      CHECK(partial.Width() == 300);
      CHECK(partial.Height() == 160);
      CHECK(partial.GetPixel(0, 80) == TRGBQuad{});
      CHECK_FALSE(partial.GetPixel(299, 80) == TRGBQuad{});
    } else {
      CHECK(partial.GetPixel(80, 299) == TRGBQuad{});
      CHECK_FALSE(partial.GetPixel(80, 0) == TRGBQuad{});
    }
    const auto expected =
        ResampleBitmap(partial, orientation == 6 ? 90 : 50, orientation == 6 ? 50 : 90);
    for (int threads : {1, 2}) {
      CAPTURE(threads);
      const std::unique_ptr<TJPEGImage> jpeg = Load(oriented);
      jpeg->OnProgress = abortHalfWay;
      const auto shrunk = ResampleJpeg(*jpeg, expected->Width(), expected->Height(), threads);
      if (orientation == 1) {
        CHECK(SamePixels(*shrunk, *expected));
      } else {
        CHECK(LargestDifference(*shrunk, *expected) <= 1);
      }
    }
  }
  TJPEGImage::ProgressIntervalMs = 500;
}
