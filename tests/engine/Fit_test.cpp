#include <doctest/doctest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "decode/DIBImage.h"
#include "engine/BlurBackground.h"
#include "engine/Fit.h"
#include "engine/MonitorLayout.h"
#include "engine/MonitorPicture.h"
#include "engine/Resample.h"
#include "engine/ScreenFit.h"
#include "support/Fakes.h"
#include "support/TestData.h"

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

namespace {

// A picture whose every pixel differs from its neighbours, in a tint of its own.
TBitmap Gradient(int width, int height, int tint) {
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pf24bit);
  b.SetSize(width, height);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      row[x * 3] = static_cast<uint8_t>(x * 7 + tint);
      row[x * 3 + 1] = static_cast<uint8_t>(y * 5 + tint * 3);
      row[x * 3 + 2] = static_cast<uint8_t>(x + y + tint * 11);
    }
  }
  return b;
}

TMonitor Monitor(int left, int top, int width, int height, bool primary = false, int dpi = 96) {
  TMonitor m;
  m.Bounds = TRect{left, top, left + width, top + height};
  m.WorkArea = TRect{left, top, left + width, top + height - 40};
  m.Primary = primary;
  m.Dpi = dpi;
  return m;
}

}  // namespace

TEST_CASE("monitors: each one's part of the spanning bitmap is its picture fitted on its own") {
  struct TRow {
    const char* name;
    TMonitorLayout layout;
    TRect bounds;
  };
  const TRow rows[] = {
      {"side by side, two sizes",
       {Monitor(0, 0, 1920, 1080, true), Monitor(1920, 0, 2560, 1440)},
       {0, 0, 4480, 1440}},
      {"a portrait monitor left of the primary",
       {Monitor(0, 0, 1920, 1080, true), Monitor(-1080, -420, 1080, 1920)},
       {-1080, -420, 1920, 1500}},
      {"three in an L",
       {Monitor(0, 0, 1920, 1080, true), Monitor(1920, 0, 1920, 1080),
        Monitor(0, 1080, 1920, 1080)},
       {0, 0, 3840, 2160}},
      {"a monitor above, across the primary's left edge, at another density",
       {Monitor(0, 0, 3840, 2160, true, 192), Monitor(-500, -1080, 1920, 1080, false, 96)},
       {-500, -1080, 3840, 2160}},
  };
  const uint32_t teal = 0x00808000;
  for (const TRow& row : rows) {
    CAPTURE(row.name);
    CHECK(VirtualBounds(row.layout) == row.bounds);
    const int width = RectWidth(row.bounds);
    const int height = RectHeight(row.bounds);
    for (const int fitMode : {1, 2, 0}) {
      CAPTURE(fitMode);
      TMonitorFit fit;
      fit.FitMode = fitMode;
      fit.ReSize = true;
      fit.Background = teal;
      std::vector<std::unique_ptr<TBitmap>> own;
      std::vector<const TBitmap*> pictures;
      for (size_t i = 0; i < row.layout.size(); ++i) {
        const TBitmap source = Gradient(700 + 300 * static_cast<int>(i),
                                        900 - 200 * static_cast<int>(i), static_cast<int>(i) * 40);
        TPicture holder;
        holder.Assign(&source);
        TRecordingBusy busy;
        const TRect& b = row.layout[i].Bounds;
        own.push_back(RenderForMonitor(holder, RectWidth(b), RectHeight(b), fit, busy, 2));
        REQUIRE(own.back()->Width() == RectWidth(b));
        REQUIRE(own.back()->Height() == RectHeight(b));
        pictures.push_back(own.back().get());
      }
      const std::unique_ptr<TBitmap> span = ComposeSpanning(row.layout, pictures, teal);
      REQUIRE(span->Width() == width);
      REQUIRE(span->Height() == height);
      // What the desktop shows: copies of the bitmap laid edge to edge from the primary's
      // top-left corner, one at each multiple of its size, over the whole virtual screen.
      std::vector<TRGBQuad> screen(static_cast<size_t>(width) * height);
      auto at = [&](int x, int y) -> TRGBQuad& {
        return screen[static_cast<size_t>(y - row.bounds.Top) * width + (x - row.bounds.Left)];
      };
      int top = 0;
      while (top > row.bounds.Top) top -= height;
      int left0 = 0;
      while (left0 > row.bounds.Left) left0 -= width;
      for (; top < row.bounds.Bottom; top += height) {
        for (int left = left0; left < row.bounds.Right; left += width) {
          for (int sy = 0; sy < height; ++sy) {
            for (int sx = 0; sx < width; ++sx) {
              const int x = left + sx;
              const int y = top + sy;
              if (x >= row.bounds.Left && x < row.bounds.Right && y >= row.bounds.Top &&
                  y < row.bounds.Bottom)
                at(x, y) = span->GetPixel(sx, sy);
            }
          }
        }
      }
      // Each monitor shows its own picture, whole and in place.
      int wrong = 0;
      std::vector<bool> covered(static_cast<size_t>(width) * height, false);
      for (size_t i = 0; i < row.layout.size(); ++i) {
        const TRect& b = row.layout[i].Bounds;
        for (int y = b.Top; y < b.Bottom; ++y) {
          for (int x = b.Left; x < b.Right; ++x) {
            if (!(at(x, y) == own[i]->GetPixel(x - b.Left, y - b.Top))) ++wrong;
            covered[static_cast<size_t>(y - row.bounds.Top) * width + (x - row.bounds.Left)] = true;
          }
        }
      }
      CHECK(wrong == 0);
      // Where no monitor lies, the desktop's colour.
      int gaps = 0;
      for (int y = row.bounds.Top; y < row.bounds.Bottom; y += 7) {
        for (int x = row.bounds.Left; x < row.bounds.Right; x += 7) {
          if (covered[static_cast<size_t>(y - row.bounds.Top) * width + (x - row.bounds.Left)])
            continue;
          if (!(at(x, y) == TRGBQuad{0x80, 0x80, 0x00, 0})) ++gaps;
        }
      }
      CHECK(gaps == 0);
    }
  }
}

TEST_CASE("monitors take pictures primary first, upright monitors the upright pictures") {
  const TMonitorLayout layout{Monitor(1920, 0, 1080, 1920), Monitor(0, 0, 1920, 1080, true),
                              Monitor(-1920, 0, 1920, 1080)};
  CHECK(PictureOrder(layout) == std::vector<size_t>{1, 2, 0});
  // The portrait monitor takes the portrait picture though a landscape one comes first; no
  // candidate is left out.
  CHECK(AssignPictures({false, true}, {false, true}) == std::vector<size_t>{0, 1});
  CHECK(AssignPictures({true, false}, {false, true}) == std::vector<size_t>{1, 0});
  CHECK(AssignPictures({true, true}, {false, false}) == std::vector<size_t>{0, 1});
  CHECK(AssignPictures({true, false, true}, {false, false}) == std::vector<size_t>{0, 1});
  CHECK(AssignPictures({}, {true}).empty());
}

TEST_CASE("a monitor's picture in the desktop's own modes, as the desktop would show it") {
  const TBitmap source = Gradient(30, 20, 9);
  const uint32_t black = 0;
  auto render = [&](int tileMode, bool reSize, bool centred, int width, int height) {
    TPicture holder;
    holder.Assign(&source);
    TMonitorFit fit;
    fit.TileMode = tileMode;
    fit.ReSize = reSize;
    fit.TileCentred = centred;
    fit.Background = black;
    TRecordingBusy busy;
    return RenderForMonitor(holder, width, height, fit, busy);
  };
  // Centred, with the background around it.
  auto centre = render(0, false, false, 100, 60);
  CHECK(centre->GetPixel(35, 20) == source.GetPixel(0, 0));
  CHECK(centre->GetPixel(64, 39) == source.GetPixel(29, 19));
  CHECK(centre->GetPixel(0, 0) == TRGBQuad{0, 0, 0, 0});
  // Larger than the monitor: its middle.
  auto middle = render(0, false, false, 10, 10);
  CHECK(middle->GetPixel(0, 0) == source.GetPixel(10, 5));
  // Tiled from the corner, or from where the centred picture lies.
  auto tiled = render(1, false, false, 100, 60);
  CHECK(tiled->GetPixel(31, 21) == source.GetPixel(1, 1));
  auto tiledCentred = render(1, false, true, 100, 60);
  CHECK(tiledCentred->GetPixel(35, 20) == source.GetPixel(0, 0));
  CHECK(tiledCentred->GetPixel(5, 0) == source.GetPixel(0, 0));
  // Wide: stretched over the monitor, as the resampler does it.
  auto wide = render(2, false, false, 100, 60);
  const auto stretched = ResampleBitmap(source, 100, 60);
  CHECK(wide->GetPixel(50, 30) == stretched->GetPixel(50, 30));
  // With the shrink, a larger picture is fitted first, then centred.
  auto shrunk = render(0, true, false, 15, 15);
  const TFitPlan plan = PlanFit(30, 20, 15, 15);
  REQUIRE(plan.Shrink);
  const int top = (15 - plan.Height) / 2;
  CHECK(shrunk->GetPixel(0, top) ==
        ResampleBitmap(source, plan.Width, plan.Height)->GetPixel(0, 0));
  CHECK(shrunk->GetPixel(0, top - 1) == TRGBQuad{0, 0, 0, 0});
}

TEST_CASE("fit's blurred background: the picture covering the screen, blurred, darkened, smooth") {
  // A portrait picture with sharp stripes: any blockiness or ringing of the background shows.
  TBitmap picture;
  picture.SetPixelFormat(TPixelFormat::pf24bit);
  picture.SetSize(60, 100);
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 60; ++x) {
      uint8_t* p = picture.ScanLine(y) + x * 3;
      p[0] = static_cast<uint8_t>((x / 6) % 2 ? 230 : 20);
      p[1] = static_cast<uint8_t>(y * 2);
      p[2] = static_cast<uint8_t>(255 - y * 2);
    }
  }
  const int screenWidth = 320;
  const int screenHeight = 180;
  const std::unique_ptr<TBitmap> background =
      BlurredBackground(picture, screenWidth, screenHeight, 2);
  REQUIRE(background->Width() == screenWidth);
  REQUIRE(background->Height() == screenHeight);

  // ImageMagick's blur of the same small copy (tests/data/blur/make.sh): the copy it was given
  // is still the program's (reduced by the resampler, whose own tests hold it exact).
  const TScreenPlan cover = PlanFill(60, 100, screenWidth, screenHeight);
  const int w = (screenWidth + kBlurReduction - 1) / kBlurReduction;
  const int h = (screenHeight + kBlurReduction - 1) / kBlurReduction;
  REQUIRE(BlurRadius(w, h) == 1);
  const TRect box = cover.Source;
  const auto reduced = ResampleRows(
      box.Right - box.Left, box.Bottom - box.Top,
      [&](int y) { return picture.ScanLine(box.Top + y) + box.Left * 3; }, w, h);
  const TReference small = ReadReference(TestDataFolder("blur") + "reduced.ppm");
  REQUIRE((small.Width == w && small.Height == h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) REQUIRE(small.At(x, y)[c] == reduced->ScanLine(y)[x * 3 + 2 - c]);
  const TReference reference = ReadReference(TestDataFolder("blur") + "reference.ppm");
  REQUIRE((reference.Width == screenWidth && reference.Height == screenHeight));
  int worst = 0;
  int steepest = 0;
  for (int y = 0; y < screenHeight; ++y) {
    for (int x = 0; x < screenWidth; ++x) {
      for (int c = 0; c < 3; ++c) {
        const int got = background->ScanLine(y)[x * 3 + 2 - c];
        worst = std::max(worst, std::abs(got - reference.At(x, y)[c]));
        if (x > 0)
          steepest =
              std::max(steepest, std::abs(got - background->ScanLine(y)[(x - 1) * 3 + 2 - c]));
      }
    }
  }
  // Both round once to 8 bits (ImageMagick from its 16-bit steps).
  CHECK(worst <= 1);
  // Smooth: neighbours differ little, although the stripes jump by 210.
  CHECK(steepest <= 8);

  // In fit, the picture's own pixels stay those of plain fit; only the bands change.
  TRecordingBusy busy;
  auto fitted = [&](bool blur) {
    TPicture holder;
    holder.Assign(&picture);
    ScaleToScreen(holder, TScreenFit::Fit, screenWidth, screenHeight, 0x00404040, false, busy, 2,
                  blur);
    return std::unique_ptr<TBitmap>(static_cast<TBitmap*>(holder.ReleaseGraphic().release()));
  };
  const auto plain = fitted(false);
  const auto blurred = fitted(true);
  const TScreenPlan plan = PlanContain(60, 100, screenWidth, screenHeight);
  // The bands are the blur of the fitted picture (cheaper than of the whole original).
  TBitmap shown;
  shown.SetPixelFormat(TPixelFormat::pf24bit);
  shown.SetSize(plan.Target.Right - plan.Target.Left, screenHeight);
  for (int y = 0; y < screenHeight; ++y)
    std::memcpy(shown.ScanLine(y), plain->ScanLine(y) + plan.Target.Left * 3, shown.Width() * 3);
  const auto expectedBands = BlurredBackground(shown, screenWidth, screenHeight);
  int bandsDiffer = 0;
  for (int y = 0; y < screenHeight; ++y) {
    for (int x = 0; x < screenWidth; ++x) {
      const bool inside = x >= plan.Target.Left && x < plan.Target.Right;
      const uint8_t* a = plain->ScanLine(y) + x * 3;
      const uint8_t* b = blurred->ScanLine(y) + x * 3;
      if (inside) {
        REQUIRE(std::memcmp(a, b, 3) == 0);
      } else if (std::memcmp(a, b, 3) != 0) {
        ++bandsDiffer;
        REQUIRE(std::memcmp(b, expectedBands->ScanLine(y) + x * 3, 3) == 0);
      }
    }
  }
  CHECK(bandsDiffer >
        (screenWidth - (plan.Target.Right - plan.Target.Left)) * screenHeight * 9 / 10);
}
