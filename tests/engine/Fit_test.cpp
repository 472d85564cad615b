#include <doctest/doctest.h>

#include <cstring>

#include "decode/DIBImage.h"
#include "engine/Fit.h"
#include "engine/Resample.h"
#include "support/Fakes.h"

namespace {

TFitPlan Plan(int w, int h, int rw, int rh) {
  return PlanFit(w, h, rw, rh);
}

}  // namespace

TEST_CASE("fitting sizes on landscape and portrait desktops") {
  TFitPlan p = Plan(2000, 1000, 1024, 768);
  CHECK(p.Shrink);
  CHECK(p.Width == 1024);
  CHECK(p.Height == 512);
  CHECK(p.Left == 0);
  CHECK(p.Top == 0);
  p = Plan(1000, 2000, 1024, 768);
  CHECK(p.Width == 384);
  CHECK(p.Height == 768);
  CHECK(p.Left == 12);  // centred from the size before shrinking
  p = Plan(800, 600, 1024, 768);
  CHECK_FALSE(p.Shrink);
  CHECK(p.Left == 112);
  CHECK(p.Top == 84);
  p = Plan(600, 2000, 768, 1024);
  CHECK(p.Width == 307);
  CHECK(p.Height == 1024);
  p = Plan(3000, 1000, 768, 1024);  // portrait desktop, wide picture
  CHECK(p.Width == 768);
  CHECK(p.Height == 255);           // 768 × 0.333… truncated, as the size table says
  p = Plan(1024, 2000, 1024, 768);  // wider than tall desktop, tall picture
  CHECK(p.Width == 393);
  CHECK(p.Height == 768);
}

TEST_CASE("exact size stays; one equal side goes through; extremes never reach 0") {
  CHECK_FALSE(Plan(1024, 768, 1024, 768).Shrink);
  const TFitPlan p = Plan(1024, 900, 1024, 768);
  CHECK(p.Shrink);
  CHECK(p.Height == 768);
  CHECK(p.Width == 873);
  const TFitPlan thin = Plan(100000, 3, 1024, 768);
  CHECK(thin.Width == 1024);
  CHECK(thin.Height == 1);
  CHECK_FALSE(Plan(0, 5, 1024, 768).Shrink);
  CHECK_FALSE(Plan(5, 5, 0, 768).Shrink);
}

TEST_CASE("the fast path drops whole rows and columns; the holder gets the result") {
  TBitmap source;
  source.SetSize(8, 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 8; ++x) {
      source.SetPixel(x, y,
                      TRGBQuad{static_cast<uint8_t>(x * 30), static_cast<uint8_t>(y * 60), 7, 0});
    }
  }
  auto half = StretchNearest(source, 4, 2);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) {
      const TRGBQuad c = half->GetPixel(x, y);
      CHECK(c.Blue == (2 * x) * 30);  // a source pixel, not an average
      CHECK(c.Green == (2 * y) * 60);
    }
  }
  TPicture holder;
  holder.Assign(&source);
  TRecordingBusy busy;
  TRect rect{0, 0, 4, 4};
  FitToRect(holder, rect, true, busy);
  CHECK(holder.Width() == 4);
  CHECK(holder.Height() == 2);
  CHECK(busy.titles == std::vector<std::string>{"ReSize..", "Vesko 2"});
  CHECK(busy.color == 0xD2E4F4);

  TPicture quality;
  quality.Assign(&source);
  TRect target{0, 0, 2, 2};
  FitToRect(quality, target, false, busy);
  CHECK(quality.Width() == 2);
  CHECK(quality.Height() == 1);
  TPicture same;
  same.Assign(&source);
  const TGraphic* before = same.Graphic();
  TRect exact{0, 0, 8, 4};
  FitToRect(same, exact, false, busy);
  CHECK(same.Graphic() == before);  // untouched
}

TEST_CASE("a 24-bit DIB is shrunk from its own rows, byte for byte as its bitmap would be") {
  for (const bool topDown : {false, true}) {
    CAPTURE(topDown);
    const int w = 301;
    const int h = 157;
    auto store = std::make_shared<TDIBStore>(false);
    store->Header.biWidth = w;
    store->Header.biHeight = topDown ? -h : h;
    store->Header.biBitCount = 24;
    const size_t stride = static_cast<size_t>(RowBytes(w, 24));
    std::vector<uint8_t> pixels(stride * h);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7 + i / 13);
    store->Pixels = pixels;
    auto dib = std::make_unique<TDIBImage>();
    dib->LoadFromStore(store);
    REQUIRE(IsPlainTrueColor(dib->Store()));
    TBitmap bitmap;
    bitmap.Assign(dib.get());

    for (const bool speed : {false, true}) {
      CAPTURE(speed);
      TPicture fromDib;
      auto shared = std::make_unique<TDIBImage>();
      shared->LoadFromStore(store);
      fromDib.TakeGraphic(std::move(shared));
      TRect rect{0, 0, 100, 100};
      TRecordingBusy busy;
      FitToRect(fromDib, rect, speed, busy, 2);
      const std::unique_ptr<TBitmap> expected =
          speed ? StretchNearest(bitmap, 100, 52) : ResampleBitmap(bitmap, 100, 52);
      REQUIRE(fromDib.Bitmap() != nullptr);
      REQUIRE(fromDib.Width() == 100);
      REQUIRE(fromDib.Height() == 52);
      bool same = true;
      for (int y = 0; y < 52; ++y) {
        same = same && std::memcmp(fromDib.Bitmap()->ScanLine(y), expected->ScanLine(y), 300) == 0;
      }
      CHECK(same);
    }
  }
  // Compressed or not 24 bits: through the bitmap as before.
  TDIBStore eight(false);
  eight.Header.biWidth = 4;
  eight.Header.biHeight = 4;
  eight.Header.biBitCount = 8;
  CHECK_FALSE(IsPlainTrueColor(eight));
}
