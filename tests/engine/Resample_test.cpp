#include <doctest/doctest.h>

#include <cstring>
#include <random>
#include <stdexcept>
#include <tuple>

#include "engine/Resample.h"
#include "engine/ResampleKernels.h"
#include "tests/engine/ResampleOracle.h"

namespace {

TBitmap Make(int w, int h, TPixelFormat format = TPixelFormat::pf24bit) {
  TBitmap b;
  b.SetPixelFormat(format);
  b.SetSize(w, h);
  return b;
}

void Fill(TBitmap& b, std::mt19937& random, int levels) {
  for (int y = 0; y < b.Height(); ++y) {
    uint8_t* row = b.ScanLine(y);
    for (size_t i = 0; i < b.Stride(); ++i)
      row[i] = static_cast<uint8_t>(random() % levels * (255 / (levels - 1)));
  }
}

}  // namespace

TEST_CASE("the definition's own examples") {
  TBitmap checker = Make(2, 2);
  for (int c = 0; c < 3; ++c) {
    checker.ScanLine(0)[c] = 0;
    checker.ScanLine(0)[3 + c] = 255;
    checker.ScanLine(1)[c] = 255;
    checker.ScanLine(1)[3 + c] = 0;
  }
  auto one = ResampleBitmap(checker, 1, 1);
  CHECK(one->ScanLine(0)[0] == 127);
  CHECK(one->ScanLine(0)[2] == 127);

  TBitmap row = Make(3, 1);
  const uint8_t values[3] = {0, 100, 200};
  for (int x = 0; x < 3; ++x) {
    for (int c = 0; c < 3; ++c) row.ScanLine(0)[x * 3 + c] = values[x];
  }
  auto same = ResampleBitmap(row, 3, 1);
  CHECK(same->ScanLine(0)[0] == 12);
  CHECK(same->ScanLine(0)[3] == 100);
  CHECK(same->ScanLine(0)[6] == 187);

  for (uint8_t v : {uint8_t{255}, uint8_t{1}, uint8_t{0}}) {
    TBitmap flat = Make(37, 23);
    for (int y = 0; y < 23; ++y) std::memset(flat.ScanLine(y), v, 37 * 3);
    for (auto [w, h] : {std::pair{5, 3}, std::pair{37, 23}, std::pair{1, 1}, std::pair{36, 2},
                        std::pair{80, 40}}) {
      auto r = ResampleBitmap(flat, w, h);
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w * 3; ++x) REQUIRE(r->ScanLine(y)[x] == v);
      }
    }
  }
  CHECK_THROWS_WITH_AS(ResampleBitmap(Make(0, 0), 1, 1), "Assertion failure", EAssertionFailed);
  CHECK_THROWS_AS(ResampleBitmap(Make(4, 4), 0, 3), EAssertionFailed);
}

TEST_CASE("8, 16 and 32-bit sources are read as 24 bits") {
  for (TPixelFormat f : {TPixelFormat::pf8bit, TPixelFormat::pf16bit, TPixelFormat::pf15bit,
                         TPixelFormat::pf32bit}) {
    TBitmap src = Make(9, 7, f);
    src.SetPixel(3, 3, TRGBQuad{255, 255, 255, 0});
    auto r = ResampleBitmap(src, 4, 3);
    CHECK(r->PixelFormat() == TPixelFormat::pf24bit);
    CHECK(SamePixels(*r, *ResampleOracle(src, 4, 3)));
  }
}

// Both builds of the inner loops this processor can run.
static std::vector<const TResampleKernels*> RunnableKernels() {
  std::vector<const TResampleKernels*> kernels{&kSse2ResampleKernels};
#if defined(__i386__) || defined(__x86_64__)
  if (kVexResampleKernels != nullptr && __builtin_cpu_supports("avx")) {
    kernels.push_back(kVexResampleKernels);
  }
#endif
  return kernels;
}

TEST_CASE("the fast resampler gives the oracle's bytes for random sizes and pictures") {
  for (const TResampleKernels* kernels : RunnableKernels()) {
    CAPTURE(kernels->Name);
    SetResampleKernels(kernels);
    std::mt19937 random(20261207);
    int cases = 0;
    for (int round = 0; round < 300; ++round) {
      const int w = 1 + static_cast<int>(random() % 60);
      const int h = 1 + static_cast<int>(random() % 60);
      TBitmap src = Make(w, h);
      Fill(src, random, round % 3 == 0 ? 2 : 256);
      const int w2 = 1 + static_cast<int>(random() % w);
      const int h2 = 1 + static_cast<int>(random() % h);
      const auto expected = ResampleOracle(src, w2, h2);
      REQUIRE(SamePixels(*ResampleBitmap(src, w2, h2), *expected));
      REQUIRE(SamePixels(*ResampleBitmap(src, w2, h2, 2), *expected));
      ++cases;
    }
    // Bigger shrinks, like photos to a desktop.
    for (auto [w, h, w2, h2] : {std::tuple{640, 480, 97, 61}, std::tuple{517, 389, 200, 150},
                                std::tuple{300, 1000, 31, 100}}) {
      TBitmap src = Make(w, h);
      Fill(src, random, 256);
      REQUIRE(SamePixels(*ResampleBitmap(src, w2, h2, 2), *ResampleOracle(src, w2, h2)));
      ++cases;
    }
    CHECK(cases == 303);
  }
  SetResampleKernels(nullptr);
}

TEST_CASE("an error while reading rows reaches the caller from any worker") {
  // The failing row lies in each worker's share in turn; no worker may end the process.
  const std::vector<uint8_t> row(40 * 3, 128);
  for (const int threads : {1, 2, 4}) {
    for (const int failing : {0, 20, 39}) {
      CAPTURE(threads);
      CAPTURE(failing);
      auto rowAt = [&](int y) -> const uint8_t* {
        if (y == failing) throw std::runtime_error("row unreadable");
        return row.data();
      };
      CHECK_THROWS_WITH(ResampleRows(40, 40, rowAt, 10, 10, threads), "row unreadable");
    }
  }
}
