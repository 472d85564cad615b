#include <doctest/doctest.h>

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
