#include <doctest/doctest.h>

#include <cstring>

#include "decode/DIBImage.h"
#include "engine/Fit.h"
#include "engine/Resample.h"
#include "engine/ScreenFit.h"
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

TEST_CASE("fill and fit: the shown box and where it lands, on landscape and portrait screens") {
  struct TRow {
    int w, h, sw, sh;
    TRect fillSource;
    TRect fitTarget;
  };
  const TRow rows[] = {
      {4000, 3000, 1280, 800, {0, 250, 4000, 2750}, {106, 0, 1173, 800}},
      {3000, 4000, 1280, 800, {0, 1062, 3000, 2937}, {340, 0, 940, 800}},
      {1000, 1000, 1280, 800, {0, 187, 1000, 812}, {240, 0, 1040, 800}},
      {16, 16, 1280, 800, {0, 3, 16, 13}, {240, 0, 1040, 800}},
      {10000, 10, 1280, 800, {4992, 0, 5008, 10}, {0, 399, 1280, 400}},
      {4000, 3000, 800, 1280, {1062, 0, 2937, 3000}, {0, 340, 800, 940}},
      {3000, 4000, 800, 1280, {250, 0, 2750, 4000}, {0, 106, 800, 1173}},
      {1000, 1000, 800, 1280, {187, 0, 812, 1000}, {0, 240, 800, 1040}},
      {16, 16, 800, 1280, {3, 0, 13, 16}, {0, 240, 800, 1040}},
      {10000, 10, 800, 1280, {4997, 0, 5003, 10}, {0, 639, 800, 640}},
      {10, 10000, 1280, 800, {0, 4997, 10, 5003}, {639, 0, 640, 800}},
      {1280, 800, 1280, 800, {0, 0, 1280, 800}, {0, 0, 1280, 800}},
  };
  for (const TRow& r : rows) {
    CAPTURE(r.w);
    CAPTURE(r.h);
    CAPTURE(r.sw);
    const TScreenPlan fill = PlanFill(r.w, r.h, r.sw, r.sh);
    CHECK(fill.Source == r.fillSource);
    CHECK(fill.Target == TRect{0, 0, r.sw, r.sh});
    const TScreenPlan fit = PlanContain(r.w, r.h, r.sw, r.sh);
    CHECK(fit.Source == TRect{0, 0, r.w, r.h});
    CHECK(fit.Target == r.fitTarget);
  }
}

TEST_CASE("fill and fit write a screen-sized bitmap: the resampler over the shown box") {
  TBitmap source;
  source.SetSize(90, 40);
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 90; ++x) {
      source.SetPixel(x, y,
                      TRGBQuad{static_cast<uint8_t>(x * 2), static_cast<uint8_t>(y * 6),
                               static_cast<uint8_t>((x * y) & 0xFF), 0});
    }
  }
  const auto crop = [&](const TRect& box) {
    TBitmap part;
    part.SetSize(box.Right - box.Left, box.Bottom - box.Top);
    for (int y = box.Top; y < box.Bottom; ++y) {
      for (int x = box.Left; x < box.Right; ++x)
        part.SetPixel(x - box.Left, y - box.Top, source.GetPixel(x, y));
    }
    return part;
  };
  const uint32_t teal = 0x00808000;  // 0x00BBGGRR
  for (const bool speed : {false, true}) {
    for (const TScreenFit mode : {TScreenFit::Fill, TScreenFit::Fit}) {
      for (const std::pair<int, int>& size :
           {std::pair{64, 48}, std::pair{30, 70}, std::pair{200, 150}}) {
        const int sw = size.first;
        const int sh = size.second;
        CAPTURE(speed);
        CAPTURE(static_cast<int>(mode));
        CAPTURE(sw);
        TPicture holder;
        holder.Assign(&source);
        TRecordingBusy busy;
        ScaleToScreen(holder, mode, sw, sh, teal, speed, busy, 2);
        REQUIRE(holder.Bitmap() != nullptr);
        REQUIRE(holder.Width() == sw);
        REQUIRE(holder.Height() == sh);
        CHECK(busy.titles == std::vector<std::string>{"ReSize..", "Vesko 2"});
        const TScreenPlan plan =
            mode == TScreenFit::Fill ? PlanFill(90, 40, sw, sh) : PlanContain(90, 40, sw, sh);
        const TBitmap box = crop(plan.Source);
        const int tw = plan.Target.Right - plan.Target.Left;
        const int th = plan.Target.Bottom - plan.Target.Top;
        const std::unique_ptr<TBitmap> expected =
            speed ? StretchNearest(box, tw, th) : ResampleBitmap(box, tw, th);
        int wrong = 0;
        for (int y = 0; y < sh; ++y) {
          for (int x = 0; x < sw; ++x) {
            const bool inside = x >= plan.Target.Left && x < plan.Target.Right &&
                                y >= plan.Target.Top && y < plan.Target.Bottom;
            const TRGBQuad want =
                inside ? expected->GetPixel(x - plan.Target.Left, y - plan.Target.Top)
                       : TRGBQuad{0x80, 0x80, 0x00, 0};
            if (!(holder.Bitmap()->GetPixel(x, y) == want)) ++wrong;
          }
        }
        CHECK(wrong == 0);
      }
    }
  }
  TPicture empty;
  TRecordingBusy busy;
  ScaleToScreen(empty, TScreenFit::Fill, 64, 48, 0, false, busy);
  CHECK(empty.Empty());
  TPicture desktop;
  desktop.Assign(&source);
  ScaleToScreen(desktop, TScreenFit::Desktop, 64, 48, 0, false, busy);
  CHECK(desktop.Width() == 90);  // left to the desktop's own mode
}

TEST_CASE("a picture larger than the screen keeps only the part the desktop shows") {
  CHECK(VisiblePart(3000, 2000, 1280, 800, false) == TRect{860, 600, 2140, 1400});
  CHECK(VisiblePart(3000, 2000, 1280, 800, true) == TRect{0, 0, 1280, 800});
  CHECK(VisiblePart(3000, 500, 1280, 800, false) == TRect{860, 0, 2140, 500});
  CHECK(VisiblePart(300, 2000, 1280, 800, true) == TRect{0, 0, 300, 800});
  CHECK(VisiblePart(640, 480, 1280, 800, false) == TRect{0, 0, 640, 480});

  TBitmap source;
  source.SetSize(7, 5);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 7; ++x)
      source.SetPixel(x, y, TRGBQuad{static_cast<uint8_t>(x), static_cast<uint8_t>(y), 9, 0});
  }
  TPicture holder;
  holder.Assign(&source);
  CropPicture(holder, TRect{2, 1, 6, 4});
  REQUIRE(holder.Width() == 4);
  REQUIRE(holder.Height() == 3);
  CHECK(holder.Bitmap()->GetPixel(0, 0) == TRGBQuad{2, 1, 9, 0});
  CHECK(holder.Bitmap()->GetPixel(3, 2) == TRGBQuad{5, 3, 9, 0});
  const TGraphic* before = holder.Graphic();
  CropPicture(holder, TRect{0, 0, 4, 3});
  CHECK(holder.Graphic() == before);  // the whole picture: untouched
}
