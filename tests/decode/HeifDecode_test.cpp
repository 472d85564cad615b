#include <doctest/doctest.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "addons/heif/HeifDecode.h"
#include "addons/heif/YccToBgr.h"
#include "decode/AlphaBlend.h"
#include "decode/ColorProfile.h"
#include "decode/PixelMemory.h"
#include "engine/ColorConvert.h"
#include "tests/support/TestData.h"

namespace {

// The pictures made by tests/data/heif/make.sh.
std::string HeifFolder() {
  return TestDataFolder("heif");
}

// The process's peak resident memory so far.
long PeakMemoryKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  return ReadTestFile(path);
}

TReference ReadPam(const std::string& path) {
  TReference r = ReadReference(path);
  REQUIRE(r.Channels == 4);
  return r;
}

THeifResult Decode(const std::vector<uint8_t>& file, THeifBackground back, THeifPicture& picture,
                   std::vector<uint8_t>& block, uint64_t limit = 1u << 30) {
  return DecodeHeif24(
      file.data(), file.size(), back, limit,
      [&](size_t size) {
        block.assign(size, 0);
        return block.data();
      },
      picture);
}

// Calls visit(r, p) for every pixel of the reference: its RGBA, and the same pixel of a decoded
// bottom-up 24-bit bitmap (blue, green, red).
template <typename TVisit>
void ForEachPixel(const TReference& ref, const std::vector<uint8_t>& block, TVisit visit) {
  const size_t row = static_cast<size_t>(RowBytes(static_cast<uint64_t>(ref.Width), 24));
  for (int y = 0; y < ref.Height; ++y) {
    for (int x = 0; x < ref.Width; ++x) {
      visit(ref.Samples.data() + (static_cast<size_t>(y) * ref.Width + x) * 4,
            block.data() + row * static_cast<size_t>(ref.Height - 1 - y) + x * 3);
    }
  }
}

}  // namespace

TEST_CASE("HEIC and AVIF pictures of Debian's encoders decode as heif-convert and avifdec do") {
  const THeifBackground back{10, 120, 230};
  struct TCase {
    const char* name;
    int tolerance;  // per channel: 1 for 8 bits, 2 for 10 and 12 (rounded differently)
    int bits;
    bool alpha;
    uint32_t width;  // upright and cropped
    uint32_t height;
  };
  for (const TCase& c : {
           TCase{"heic-8.heic", 1, 8, false, 64, 48},
           TCase{"heic-alpha.heic", 1, 8, true, 64, 48},
           TCase{"avif-8-420.avif", 1, 8, false, 64, 48},
           TCase{"avif-10-444-alpha.avif", 2, 10, true, 64, 48},
           TCase{"avif-12-422.avif", 2, 12, false, 64, 48},
           TCase{"avif-8-mono.avif", 1, 8, false, 64, 48},
           // Straight from the decoder's planes: 4:2:2, and limited range stretched to full.
           TCase{"avif-8-422.avif", 1, 8, false, 64, 48},
           TCase{"avif-8-420-limited.avif", 1, 8, false, 64, 48},
           // Against avifdec with ImageMagick applying the file's transformation.
           TCase{"avif-10-imir0.avif", 1, 10, false, 64, 48},
           TCase{"avif-10-imir1.avif", 1, 10, false, 64, 48},
           TCase{"avif-8-clap.avif", 1, 8, false, 41, 31},
           TCase{"avif-8-irot-exif.avif", 1, 8, false, 48, 64},
           // Its reference's colours were divided by alpha and rounded to 8 bits: a step more.
           TCase{"avif-8-premultiplied.avif", 2, 8, true, 64, 48},
       }) {
    CAPTURE(std::string(c.name));
    const std::string name = c.name;
    const std::vector<uint8_t> file = ReadFile(HeifFolder() + name);
    CHECK(IsHeif(file.data(), file.size()));
    uint32_t width = 0;
    uint32_t height = 0;
    REQUIRE(ReadHeifSize(file.data(), file.size(), width, height));
    CHECK(width == c.width);
    CHECK(height == c.height);
    THeifPicture picture;
    std::vector<uint8_t> block;
    REQUIRE(Decode(file, back, picture, block) == THeifResult::kOk);
    CHECK(picture.BitDepth == c.bits);
    CHECK(picture.HasAlpha == c.alpha);
    const TReference ref = ReadPam(HeifFolder() + name.substr(0, name.rfind('.')) + ".ref.pam");
    REQUIRE(picture.Width == static_cast<uint32_t>(ref.Width));
    REQUIRE(picture.Height == static_cast<uint32_t>(ref.Height));
    const size_t row = static_cast<size_t>(RowBytes(picture.Width, 24));
    CHECK(picture.Bytes == row * picture.Height);
    int worst = 0;
    // With a 10-bit reference: the samples rounded to 8 bits must not lean either way, as cut
    // ones would (half a step down on average).
    double lean = 0;
    for (int y = 0; y < ref.Height; ++y) {
      for (int x = 0; x < ref.Width; ++x) {
        const uint8_t* r = ref.At(x, y);
        const uint8_t* p = block.data() + row * static_cast<size_t>(ref.Height - 1 - y) + x * 3;
        const int expected[3] = {BlendOver(r[2], r[3], back.Blue),
                                 BlendOver(r[1], r[3], back.Green),
                                 BlendOver(r[0], r[3], back.Red)};
        for (int i = 0; i < 3; ++i) worst = std::max(worst, std::abs(p[i] - expected[i]));
        if (!ref.Wide.empty() && c.bits == 10 && !c.alpha) {
          const uint16_t* wide = ref.Wide.data() + (static_cast<size_t>(y) * ref.Width + x) * 4;
          for (int i = 0; i < 3; ++i) {
            const unsigned ten = (wide[2 - i] * 1023u + 32767) / 65535;
            lean += p[i] - static_cast<int>((ten * 255 + 511) / 1023);
          }
        }
      }
    }
    CHECK(worst <= c.tolerance);
    CHECK(std::abs(lean / (ref.Width * ref.Height * 3)) < 0.1);
  }
}

TEST_CASE("a broken, cut, foreign or too large HEIF picture fails cleanly") {
  const THeifBackground back{};
  THeifPicture picture;
  std::vector<uint8_t> block;
  for (const char* name : {"truncated.heic", "corrupt.heic"}) {
    CAPTURE(std::string(name));
    const std::vector<uint8_t> file = ReadFile(HeifFolder() + name);
    const THeifResult result = Decode(file, back, picture, block);
    CHECK(result != THeifResult::kOk);
  }
  // An overlay and a grid whose canvases are far past their declared 64 x 64 (libheif would
  // allocate 2 GB for each), and the grid behind an empty meta box in front of it: refused
  // before any canvas is allocated, as too large where the canvas is reached.
  // alpha-cycle.heic (found by the fuzz slice): the alpha plane is a grid whose tile is the
  // picture itself, which libheif followed until the memory ran out.
  for (const char* name : {"overlay-huge-canvas.heic", "grid-huge-canvas.heic",
                           "grid-huge-canvas-two-meta.heic", "alpha-cycle.heic"}) {
    CAPTURE(std::string(name));
    const std::vector<uint8_t> file = ReadFile(HeifFolder() + name);
    const long before = PeakMemoryKb();
    const THeifResult result = Decode(file, back, picture, block);
    CHECK(result != THeifResult::kOk);
    if (std::string(name).find("huge") != std::string::npos &&
        std::string(name).find("two-meta") == std::string::npos)
      CHECK(result == THeifResult::kTooLarge);
    CHECK(block.empty());
    CHECK(PeakMemoryKb() - before < 100 * 1024);
  }
  // Not HEIF at all: a PNG signature, and bytes that merely say "ftyp" with a video brand.
  const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 0, 0, 0, 0, 0};
  CHECK_FALSE(IsHeif(png.data(), png.size()));
  CHECK(Decode(png, back, picture, block) == THeifResult::kNotHeif);
  const std::vector<uint8_t> mp4 = {0,   0,   0, 20, 'f', 't', 'y', 'p', 'i', 's',
                                    'o', 'm', 0, 0,  0,   0,   'm', 'p', '4', '1'};
  CHECK_FALSE(IsHeif(mp4.data(), mp4.size()));
  // A compatible brand far down the box is found.
  const std::vector<uint8_t> compatible = {0, 0, 0, 24, 'f', 't', 'y', 'p', 'x', 'x', 'x', 'x',
                                           0, 0, 0, 0,  'i', 's', 'o', 'm', 'm', 'i', 'f', '1'};
  CHECK(IsHeif(compatible.data(), compatible.size()));
  // Past the pixel budget: refused before anything is allocated.
  const std::vector<uint8_t> file = ReadFile(HeifFolder() + "heic-8.heic");
  block.clear();
  CHECK(Decode(file, back, picture, block, 64 * 48 * 3) == THeifResult::kTooLarge);
  CHECK(block.empty());
}

TEST_CASE("an iPhone-like HEIC: a cropped grid of tiles, turned by irot, with a P3 profile") {
  // tests/data/heif/make_grid.py: 2 x 2 tiles of 64 x 64 cropped to 128 x 112, a quarter
  // anticlockwise; the source was red, green, blue and yellow from the top left.
  const std::vector<uint8_t> file = ReadFile(HeifFolder() + "iphone-like.heic");
  uint32_t width = 0;
  uint32_t height = 0;
  REQUIRE(ReadHeifSize(file.data(), file.size(), width, height));
  CHECK(width == 112);
  CHECK(height == 128);
  THeifPicture picture;
  std::vector<uint8_t> block;
  REQUIRE(Decode(file, THeifBackground{}, picture, block) == THeifResult::kOk);
  REQUIRE(picture.Width == 112);
  REQUIRE(picture.Height == 128);
  const TReference ref = ReadPam(HeifFolder() + "iphone-like.ref.pam");
  int worst = 0;
  ForEachPixel(ref, block, [&](const uint8_t* r, const uint8_t* p) {
    for (int i = 0; i < 3; ++i) worst = std::max(worst, std::abs(p[i] - r[2 - i]));
  });
  CHECK(worst <= 1);
  const size_t row = static_cast<size_t>(RowBytes(picture.Width, 24));
  // Upright: green at the top left, yellow top right, red bottom left, blue bottom right.
  auto at = [&](int x, int y) {
    const uint8_t* p = block.data() + row * static_cast<size_t>(127 - y) + x * 3;
    return std::vector<int>{p[2], p[1], p[0]};
  };
  auto near = [](const std::vector<int>& c, int r, int g, int b) {
    return std::abs(c[0] - r) < 24 && std::abs(c[1] - g) < 24 && std::abs(c[2] - b) < 24;
  };
  CHECK(near(at(20, 20), 0x20, 0xb0, 0x40));
  CHECK(near(at(90, 20), 0xf0, 0xe0, 0x20));
  CHECK(near(at(20, 110), 0xd0, 0x20, 0x20));
  CHECK(near(at(90, 110), 0x20, 0x40, 0xd0));
  // The file's profile comes with the picture, byte for byte.
  CHECK(picture.Icc == ReadFile(HeifFolder() + "display-p3.icc"));
}

TEST_CASE("an AVIF that names Display P3 in its nclx box converts as the P3 formulas say") {
  const std::vector<uint8_t> file = ReadFile(HeifFolder() + "avif-p3-nclx.avif");
  THeifPicture picture;
  std::vector<uint8_t> block;
  REQUIRE(Decode(file, THeifBackground{}, picture, block) == THeifResult::kOk);
  const TColorProfilePtr profile = IccColorProfile(picture.Icc);
  REQUIRE(profile);
  const std::unique_ptr<TSrgbTransform> transform = TSrgbTransform::Make(*profile);
  REQUIRE(transform);
  // Display P3 to CIE XYZ to sRGB (both D65), through sRGB's curve on either side.
  const double p3[3][3] = {{0.4865709, 0.2656677, 0.1982173},
                           {0.2289746, 0.6917385, 0.0792869},
                           {0.0000000, 0.0451134, 1.0439444}};
  const double srgb[3][3] = {{3.2404542, -1.5371385, -0.4985314},
                             {-0.9692660, 1.8760108, 0.0415560},
                             {0.0556434, -0.2040259, 1.0572252}};
  auto decode = [](double v) {
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  auto encode = [](double v) {
    v = std::clamp(v, 0.0, 1.0);
    return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
  };
  const size_t row = static_cast<size_t>(RowBytes(picture.Width, 24));
  int worst = 0;
  int moved = 0;
  for (uint32_t y = 0; y < picture.Height; ++y) {
    std::vector<uint8_t> pixels(block.begin() + static_cast<long>(row * y),
                                block.begin() + static_cast<long>(row * y + picture.Width * 3));
    const std::vector<uint8_t> before = pixels;
    transform->Convert(pixels.data(), picture.Width);
    for (uint32_t x = 0; x < picture.Width; ++x) {
      const uint8_t* b = &before[x * 3];
      const double linear[3] = {decode(b[2] / 255.0), decode(b[1] / 255.0), decode(b[0] / 255.0)};
      double xyz[3];
      for (int i = 0; i < 3; ++i)
        xyz[i] = p3[i][0] * linear[0] + p3[i][1] * linear[1] + p3[i][2] * linear[2];
      for (int i = 0; i < 3; ++i) {
        const double v = srgb[i][0] * xyz[0] + srgb[i][1] * xyz[1] + srgb[i][2] * xyz[2];
        const int expected = static_cast<int>(std::lround(255 * encode(v)));
        const int got = pixels[x * 3 + 2 - i];
        worst = std::max(worst, std::abs(got - expected));
        if (got != b[2 - i]) ++moved;
      }
    }
  }
  CHECK(worst <= 1);
  CHECK(moved > 0);
  // The sRGB AVIFs (nclx 1/13) carry no profile: nothing of theirs is converted.
  const std::vector<uint8_t> srgbFile = ReadFile(HeifFolder() + "avif-8-420.avif");
  REQUIRE(Decode(srgbFile, THeifBackground{}, picture, block) == THeifResult::kOk);
  CHECK(picture.Icc.empty());
}

TEST_CASE("transparent areas of a picture with a profile show exactly the desktop's colour") {
  // tests/data/heif/make.sh: a Display P3 profile, the left quarter fully transparent, a
  // half-transparent band beside it; the reference is avifdec's RGBA, unconverted.
  const std::vector<uint8_t> file = ReadFile(HeifFolder() + "avif-8-alpha-p3.avif");
  const TReference ref = ReadPam(HeifFolder() + "avif-8-alpha-p3.ref.pam");
  TColorProfile p3;
  p3.Icc = ReadFile(HeifFolder() + "display-p3.icc");
  const std::unique_ptr<TSrgbTransform> toSrgb = TSrgbTransform::Make(p3);
  REQUIRE(toSrgb);
  for (const THeifBackground back :
       {THeifBackground{58, 110, 165}, THeifBackground{0, 0, 0}, THeifBackground{255, 255, 255},
        THeifBackground{0, 128, 128}}) {
    CAPTURE(int{back.Red});
    CAPTURE(int{back.Green});
    CAPTURE(int{back.Blue});
    THeifPicture picture;
    std::vector<uint8_t> block;
    REQUIRE(Decode(file, back, picture, block) == THeifResult::kOk);
    REQUIRE(picture.HasAlpha);
    REQUIRE(picture.Width == 64);
    // As the host does once the picture is fitted: a profile that comes with it converts it all.
    if (const TColorProfilePtr profile = IccColorProfile(picture.Icc)) {
      if (const auto transform = TSrgbTransform::Make(*profile))
        transform->Convert(block.data(), picture.Bytes / 3);
    }
    int off = 0;
    int worst = 0;
    int converted = 0;
    ForEachPixel(ref, block, [&](const uint8_t* r, const uint8_t* p) {
      uint8_t colour[3] = {r[2], r[1], r[0]};
      toSrgb->Convert(colour, 1);
      const uint8_t backs[3] = {back.Blue, back.Green, back.Red};
      for (int i = 0; i < 3; ++i) {
        if (r[3] == 0 && p[i] != backs[i]) ++off;
        worst = std::max(worst, std::abs(p[i] - BlendOver(colour[i], r[3], backs[i])));
        if (r[3] == 255 && std::abs(p[i] - r[2 - i]) > 6) ++converted;
      }
    });
    CHECK(off == 0);
    // The decoders differ by a step before the conversion, which P3's saturated darks stretch.
    CHECK(worst <= 6);
    CHECK(converted > 1000);
  }
  // A host that converts nothing (色を補正する off) gets the colours as stored, with the profile.
  THeifBackground plain{58, 110, 165};
  plain.HostConverts = false;
  THeifPicture picture;
  std::vector<uint8_t> block;
  REQUIRE(Decode(file, plain, picture, block) == THeifResult::kOk);
  CHECK(picture.Icc == ReadFile(HeifFolder() + "display-p3.icc"));
  int worst = 0;
  const uint8_t backs[3] = {plain.Blue, plain.Green, plain.Red};
  ForEachPixel(ref, block, [&](const uint8_t* r, const uint8_t* p) {
    for (int i = 0; i < 3; ++i)
      worst = std::max(worst, std::abs(p[i] - BlendOver(r[2 - i], r[3], backs[i])));
  });
  CHECK(worst <= 1);
}

TEST_CASE("a decode shows life while it runs and hands its picture on as soon as it ends") {
  using std::chrono::milliseconds;
  const auto file = ReadFile(HeifFolder() + "avif-8-420.avif");
  // Beats far apart: a picture that waited for the next beat after its decode would take one.
  const milliseconds slowBeat(20000);
  THeifPicture picture;
  std::vector<uint8_t> block;
  int signs = 0;
  const auto decode = [&](THeifProgress* progress) {
    return DecodeHeif24(
        file.data(), file.size(), {}, 1u << 30,
        [&](size_t size) {
          block.assign(size, 0);
          return block.data();
        },
        picture, progress);
  };
  const auto started = std::chrono::steady_clock::now();
  CHECK(DecodeShowingLife(
            decode, [&](int, int) { return ++signs, true; }, slowBeat) == THeifResult::kOk);
  CHECK(std::chrono::steady_clock::now() - started < slowBeat / 2);
  CHECK(picture.Width > 0);
  CHECK(signs == 0);
  // A decode that takes several beats shows life at each; a host that asks to stop is told
  // to the decoder.
  const auto waits = [&](THeifProgress* progress) {
    while (!progress->Cancel) std::this_thread::sleep_for(milliseconds(1));
    return THeifResult::kBroken;
  };
  bool single = true;  // a single image tells no count of tiles
  const THeifResult waited = DecodeShowingLife(
      waits,
      [&](int done, int total) {
        single = single && done == 0 && total == 100;
        return ++signs < 3;
      },
      milliseconds(5));
  CHECK(waited == THeifResult::kBroken);
  CHECK(signs == 3);
  CHECK(single);
}

TEST_CASE("YCbCr planes become the bitmap's bytes by the plain formula at every width") {
  std::mt19937 random(7);
  const auto clip = [](int v) { return std::clamp(v, 0, 255); };
  struct TLayout {
    int shiftX;
    int shiftY;
    bool mono;
  };
  for (const TLayout layout :
       {TLayout{1, 1, false}, TLayout{1, 0, false}, TLayout{0, 0, false}, TLayout{0, 0, true}}) {
    const int shiftX = layout.shiftX;
    const int shiftY = layout.shiftY;
    const bool mono = layout.mono;
    for (const bool full : {true, false}) {
      TYccMatrix m;
      REQUIRE(YccMatrixOf(true, 1, full, m));
      for (int width = 1; width <= 41; width += random() % 4 + 1) {
        CAPTURE(shiftX);
        CAPTURE(shiftY);
        CAPTURE(full);
        CAPTURE(width);
        const int height = 3;
        const int cw = (width + shiftX) >> shiftX;
        std::vector<uint8_t> y(static_cast<size_t>(width + 5) * height);
        std::vector<uint8_t> cb(static_cast<size_t>(cw + 3) * height);
        std::vector<uint8_t> cr(cb.size());
        // The extremes as well, where the sums leave 0..255 and are clipped.
        for (auto* plane : {&y, &cb, &cr})
          for (uint8_t& v : *plane) v = random() % 4 == 0 ? (random() % 2) * 255 : random() % 256;
        TYccPlanes in{y.data(),
                      mono ? nullptr : cb.data(),
                      mono ? nullptr : cr.data(),
                      static_cast<size_t>(width + 5),
                      static_cast<size_t>(cw + 3),
                      width,
                      height,
                      shiftX,
                      shiftY};
        const size_t row = static_cast<size_t>(RowBytes(static_cast<uint64_t>(width), 24));
        std::vector<uint8_t> out(row * height, 0xCD);
        YccToBgr(in, m, out.data(), row);
        int wrong = 0;
        for (int py = 0; py < height; ++py) {
          for (int px = 0; px < width; ++px) {
            const int l = ((y[py * in.YStride + px] - m.YOffset) * m.YScale + 128) >> 8;
            const size_t c = in.CStride * (py >> shiftY) + (px >> shiftX);
            const int b = mono ? 0 : cb[c] - 128;
            const int r = mono ? 0 : cr[c] - 128;
            const int expected[3] = {clip(l + ((m.Bcb * b + 128) >> 8)),
                                     clip(l + ((m.Gcb * b + m.Gcr * r + 128) >> 8)),
                                     clip(l + ((m.Rcr * r + 128) >> 8))};
            const uint8_t* got = out.data() + row * (height - 1 - py) + px * 3;
            for (int i = 0; i < 3; ++i) wrong += got[i] != (mono ? clip(l) : expected[i]);
          }
        }
        CHECK(wrong == 0);
      }
    }
  }
}
