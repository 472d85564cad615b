#include <doctest/doctest.h>

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/Stream.h"
#include "decode/ColorProfile.h"
#include "decode/JPEGImage.h"
#include "decode/Picture.h"
#include "engine/BusyDisplay.h"
#include "engine/ColorConvert.h"
#include "engine/ScreenFit.h"
#include "tests/support/Fakes.h"
#include "tests/support/TestData.h"

namespace {

std::string ColorFolder() {
  return TestDataFolder("color");
}

std::unique_ptr<TJPEGImage> LoadJpeg(const std::vector<uint8_t>& bytes) {
  TBytesStream stream(bytes.data(), bytes.size());
  auto jpeg = std::make_unique<TJPEGImage>();
  jpeg->LoadFromStream(stream);
  return jpeg;
}

// The largest difference of any channel between a 24-bit bitmap and a reference.
int WorstDifference(const TBitmap& bitmap, const TReference& ref) {
  REQUIRE(bitmap.Width() == ref.Width);
  REQUIRE(bitmap.Height() == ref.Height);
  int worst = 0;
  for (int y = 0; y < ref.Height; ++y) {
    const uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < ref.Width; ++x) {
      for (int i = 0; i < 3; ++i)
        worst = std::max(worst, std::abs(row[x * 3 + i] - ref.At(x, y)[2 - i]));
    }
  }
  return worst;
}

// A JPEG start, the given APP2 segments and nothing after them (the walk stops at the end).
std::vector<uint8_t> JpegWithSegments(const std::vector<std::vector<uint8_t>>& payloads) {
  std::vector<uint8_t> file{0xFF, 0xD8};
  for (const auto& payload : payloads) {
    const size_t length = payload.size() + 2;
    file.insert(file.end(),
                {0xFF, 0xE2, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
    file.insert(file.end(), payload.begin(), payload.end());
  }
  file.insert(file.end(), {0xFF, 0xD9});
  return file;
}

std::vector<uint8_t> IccChunk(int number, int count, const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> chunk{'I',
                             'C',
                             'C',
                             '_',
                             'P',
                             'R',
                             'O',
                             'F',
                             'I',
                             'L',
                             'E',
                             0,
                             static_cast<uint8_t>(number),
                             static_cast<uint8_t>(count)};
  chunk.insert(chunk.end(), bytes.begin(), bytes.end());
  return chunk;
}

// sRGB's encoding of linear light, as its standard defines it.
double SrgbEncode(double linear) {
  return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

}  // namespace

TEST_CASE("a JPEG's ICC profile is read from its APP2 segments in their sequence order") {
  const std::vector<uint8_t> adobe = ReadTestFile(ColorFolder() + "AdobeRGB1998.icc");
  const std::vector<uint8_t> file = ReadTestFile(ColorFolder() + "rose-adobergb.jpg");
  const TColorProfilePtr profile = ReadJpegIccProfile(file.data(), file.size());
  REQUIRE(profile);
  CHECK(profile->Icc == adobe);
  CHECK_FALSE(profile->Calibrated());
  const std::vector<uint8_t> plain = ReadTestFile(ColorFolder() + "rose.jpg");
  CHECK_FALSE(ReadJpegIccProfile(plain.data(), plain.size()));

  // Split in three, stored out of order: joined by number.
  const size_t third = adobe.size() / 3;
  const std::vector<uint8_t> a(adobe.begin(), adobe.begin() + static_cast<long>(third));
  const std::vector<uint8_t> b(adobe.begin() + static_cast<long>(third),
                               adobe.begin() + static_cast<long>(2 * third));
  const std::vector<uint8_t> c(adobe.begin() + static_cast<long>(2 * third), adobe.end());
  const auto joined = JpegWithSegments({IccChunk(2, 3, b), IccChunk(3, 3, c), IccChunk(1, 3, a)});
  REQUIRE(ReadJpegIccProfile(joined.data(), joined.size()));
  CHECK(ReadJpegIccProfile(joined.data(), joined.size())->Icc == adobe);
  // Segments that do not hold together give no profile at all.
  const std::vector<std::vector<std::vector<uint8_t>>> broken{
      {IccChunk(1, 3, a), IccChunk(3, 3, c)},                     // one missing
      {IccChunk(1, 3, a), IccChunk(1, 3, b), IccChunk(3, 3, c)},  // one twice
      {IccChunk(1, 2, a), IccChunk(2, 3, b)},                     // counts differ
      {IccChunk(0, 1, adobe)},                                    // numbered from 0
      {IccChunk(2, 1, adobe)},                                    // past the count
      {IccChunk(1, 1, std::vector<uint8_t>(40, 1))},              // too short for a profile
  };
  for (const auto& segments : broken) {
    const auto bad = JpegWithSegments(segments);
    CHECK_FALSE(ReadJpegIccProfile(bad.data(), bad.size()));
  }
  // A segment whose length runs past the file is never read.
  auto cut = JpegWithSegments({IccChunk(1, 1, adobe)});
  cut.resize(cut.size() - 100);
  CHECK_FALSE(ReadJpegIccProfile(cut.data(), cut.size()));
}

TEST_CASE("photos in Adobe RGB, Display P3 and ProPhoto come out as ImageMagick converts them") {
  struct TCase {
    const char* file;
    const char* reference;
  };
  for (const TCase& c : {TCase{"rose-adobergb.jpg", "rose-adobergb.ref.ppm"},
                         TCase{"wizard-p3.jpg", "wizard-p3.ref.ppm"}}) {
    CAPTURE(c.file);
    const auto jpeg = LoadJpeg(ReadTestFile(ColorFolder() + c.file));
    REQUIRE(jpeg->ColorProfile);
    std::unique_ptr<TBitmap> bitmap = jpeg->TakeBitmap();
    REQUIRE(bitmap->ColorProfile == jpeg->ColorProfile);
    const TReference ref = ReadReference(ColorFolder() + c.reference);
    const int before = WorstDifference(*bitmap, ref);
    for (int threads : {1, 2}) {
      TBitmap copy;
      copy.Assign(bitmap.get());
      CHECK(copy.ColorProfile == bitmap->ColorProfile);
      REQUIRE(ConvertBitmapToSrgb(copy, *bitmap->ColorProfile, threads));
      CHECK(WorstDifference(copy, ref) <= 1);
    }
    CHECK(before > 8);  // the conversion is what makes them match
  }
}

TEST_CASE("pictures in sRGB stay byte for byte, whatever says so") {
  const auto plain = LoadJpeg(ReadTestFile(ColorFolder() + "rose.jpg"));
  const auto tagged = LoadJpeg(ReadTestFile(ColorFolder() + "rose-srgb.jpg"));
  CHECK_FALSE(plain->ColorProfile);
  REQUIRE(tagged->ColorProfile);
  CHECK_FALSE(TSrgbTransform::Make(*tagged->ColorProfile));
  std::unique_ptr<TBitmap> bitmap = tagged->TakeBitmap();
  TBitmap before;
  before.Assign(bitmap.get());
  CHECK_FALSE(ConvertBitmapToSrgb(*bitmap, *tagged->ColorProfile));
  for (int y = 0; y < bitmap->Height(); ++y)
    REQUIRE(std::memcmp(bitmap->ScanLine(y), before.ScanLine(y), bitmap->Width() * 3) == 0);
  // A PNG's sRGB chunk, or a gAMA of 1/2.2 within libpng's 5 %, means sRGB as well.
  CHECK_FALSE(PngColorProfile(true, ReadTestFile(ColorFolder() + "AdobeRGB1998.icc"), 1, {}));
  CHECK_FALSE(PngColorProfile(false, {}, 0.45455, {}));
  CHECK_FALSE(PngColorProfile(false, {}, 0.47, kSrgbChromaticities));
  CHECK_FALSE(PngColorProfile(false, {}, 0, {}));
  // Unreadable profiles and ones of other colour spaces change nothing either.
  TColorProfile junk;
  junk.Icc.assign(600, 0x5A);
  CHECK_FALSE(TSrgbTransform::Make(junk));
  TColorProfile cmyk;
  cmyk.Icc = ReadTestFile(ColorFolder() + "sRGB.icc");
  cmyk.Icc[16] = 'C', cmyk.Icc[17] = 'M', cmyk.Icc[18] = 'Y', cmyk.Icc[19] = 'K';
  CHECK_FALSE(TSrgbTransform::Make(cmyk));
}

TEST_CASE("a PNG's gAMA and cHRM convert as their formulas say") {
  // gAMA 0.25: values to the power 4 are linear light; sRGB's primaries.
  const TColorProfilePtr gamma4 = PngColorProfile(false, {}, 0.25, {});
  REQUIRE(gamma4);
  CHECK(gamma4->Calibrated());
  CHECK(gamma4->Gamma == doctest::Approx(4));
  TBitmap ramp;
  ramp.SetPixelFormat(TPixelFormat::pf24bit);
  ramp.SetSize(256, 1);
  for (int v = 0; v < 256; ++v) std::memset(ramp.ScanLine(0) + v * 3, v, 3);
  REQUIRE(ConvertBitmapToSrgb(ramp, *gamma4));
  int worst = 0;
  for (int v = 0; v < 256; ++v) {
    const int expected = static_cast<int>(std::lround(255 * SrgbEncode(std::pow(v / 255.0, 4))));
    for (int i = 0; i < 3; ++i)
      worst = std::max(worst, std::abs(ramp.ScanLine(0)[v * 3 + i] - expected));
  }
  CHECK(worst <= 1);
  // An iCCP profile comes first; cHRM's primaries are kept.
  const std::vector<uint8_t> adobe = ReadTestFile(ColorFolder() + "AdobeRGB1998.icc");
  CHECK(PngColorProfile(false, adobe, 0.25, {})->Icc == adobe);
  const std::array<double, 8> wide{0.3457, 0.3585, 0.7347, 0.2653, 0.1152, 0.8264, 0.1566, 0.0177};
  const TColorProfilePtr chrm = PngColorProfile(false, {}, 0.45455, wide);
  REQUIRE(chrm);
  CHECK(chrm->Chromaticities == wide);
  CHECK(chrm->Gamma == doctest::Approx(2.2).epsilon(0.001));
}

TEST_CASE("a bitmap header carries a profile or a calibrated space, and junk is ignored") {
  const std::vector<uint8_t> adobe = ReadTestFile(ColorFolder() + "AdobeRGB1998.icc");
  std::vector<uint8_t> info(124 + adobe.size(), 0);
  const uint32_t size124 = 124;
  std::memcpy(info.data(), &size124, 4);
  TColorProfile embedded;
  embedded.Icc = adobe;
  WriteBitmapHeaderProfile(info.data(), embedded, 124);
  std::copy(adobe.begin(), adobe.end(), info.begin() + 124);
  REQUIRE(BitmapHeaderProfile(info.data(), info.size()));
  CHECK(*BitmapHeaderProfile(info.data(), info.size()) == embedded);
  // A profile said to lie past the block, or inside the header, is not read.
  CHECK_FALSE(BitmapHeaderProfile(info.data(), info.size() - 1));
  std::vector<uint8_t> inside = info;
  const uint32_t early = 100;
  std::memcpy(inside.data() + 112, &early, 4);
  CHECK_FALSE(BitmapHeaderProfile(inside.data(), inside.size()));

  TColorProfile calibrated;
  calibrated.Chromaticities = {0.3127, 0.3290, 0.68, 0.32, 0.265, 0.69, 0.15, 0.06};
  calibrated.Gamma = 1.8;
  std::vector<uint8_t> v4(108, 0);
  const uint32_t size108 = 108;
  std::memcpy(v4.data(), &size108, 4);
  // The V4 header has no room for the intent: only the fields it holds are written there.
  std::vector<uint8_t> room(124, 0);
  WriteBitmapHeaderProfile(room.data(), calibrated, 0);
  std::memcpy(v4.data() + 56, room.data() + 56, 52);
  const TColorProfilePtr back = BitmapHeaderProfile(v4.data(), v4.size());
  REQUIRE(back);
  CHECK(back->Gamma == doctest::Approx(1.8).epsilon(0.0001));
  for (size_t i = 0; i < 8; ++i)
    CHECK(back->Chromaticities[i] == doctest::Approx(calibrated.Chromaticities[i]).epsilon(1e-6));
  // Old plug-ins' headers: 40 bytes, or a later one left zero, or sRGB said outright.
  std::vector<uint8_t> zero(124, 0);
  std::memcpy(zero.data(), &size124, 4);
  CHECK_FALSE(BitmapHeaderProfile(zero.data(), zero.size()));
  CHECK_FALSE(BitmapHeaderProfile(zero.data(), 40));
  std::memcpy(zero.data() + 56, "BGRs", 4);
  CHECK_FALSE(BitmapHeaderProfile(zero.data(), zero.size()));
  // Gammas that differ between channels, or make no sense, are not a space.
  std::vector<uint8_t> uneven = v4;
  const uint32_t two = 2 << 16;
  std::memcpy(uneven.data() + 100, &two, 4);
  CHECK_FALSE(BitmapHeaderProfile(uneven.data(), uneven.size()));
}

TEST_CASE("fitting a picture with a profile converts the picture, never the bands beside it") {
  const auto jpeg = LoadJpeg(ReadTestFile(ColorFolder() + "rose-adobergb.jpg"));
  const TColorProfilePtr profile = jpeg->ColorProfile;
  TRecordingBusy busy;
  const uint32_t background = 0x00336699;
  auto fitted = [&](bool keepProfile) {
    TPicture holder;
    holder.TakeGraphic(LoadJpeg(ReadTestFile(ColorFolder() + "rose-adobergb.jpg")));
    REQUIRE(holder.Profile());
    CHECK(*holder.Profile() == *profile);
    if (!keepProfile) holder.SetProfile(nullptr);
    ScaleToScreen(holder, TScreenFit::Fit, 300, 100, background, false, busy, 2);
    CHECK_FALSE(holder.Profile());
    return std::unique_ptr<TBitmap>(static_cast<TBitmap*>(holder.ReleaseGraphic().release()));
  };
  const auto converted = fitted(true);
  const auto plain = fitted(false);
  REQUIRE(converted->Width() == 300);
  // The rose (70 x 46) fits 152 x 100 in the middle; the bands keep the background exactly.
  const int left = (300 - 152) / 2;
  int changed = 0;
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 300; ++x) {
      const uint8_t* a = converted->ScanLine(y) + x * 3;
      const uint8_t* b = plain->ScanLine(y) + x * 3;
      if (x < left || x >= left + 152) {
        REQUIRE(a[0] == 0x33);  // 0x00BBGGRR, stored blue first
        REQUIRE(a[2] == 0x99);
      } else if (std::memcmp(a, b, 3) != 0) {
        ++changed;
      }
    }
  }
  CHECK(changed > 152 * 100 / 2);
  // Converting again changes nothing: the holder forgot the profile.
  TPicture holder;
  holder.TakeGraphic(LoadJpeg(ReadTestFile(ColorFolder() + "rose-adobergb.jpg")));
  CHECK(ConvertHeldToSrgb(holder));
  CHECK_FALSE(ConvertHeldToSrgb(holder));
  CHECK(holder.Bitmap() != nullptr);
}

TEST_CASE(
    "conversions agree with Little CMS's unoptimised transform: curves and a matrix by our "
    "own tables within 1, a table-based profile within 2") {
  std::vector<TColorProfile> profiles(5);
  profiles[0].Icc = ReadTestFile(ColorFolder() + "AdobeRGB1998.icc");
  profiles[1].Icc = ReadTestFile(ColorFolder() + "ProPhotoRGB.icc");
  profiles[2].Icc = ReadTestFile(TestDataFolder("heif") + "display-p3.icc");
  profiles[3] =
      *PngColorProfile(false, {}, 1 / 1.8, {0.3127, 0.3290, 0.7, 0.3, 0.2, 0.7, 0.14, 0.05});
  // Display P3 sampled into a 17-point table (tests/data/color/make_lut.c): Little CMS's own way.
  profiles[4].Icc = ReadTestFile(ColorFolder() + "p3-lut.icc");
  // Every 5th value of each channel: 140,608 colours, wide-gamut ones clipped at sRGB's edge.
  std::vector<uint8_t> colours;
  for (int b = 0; b < 256; b += 5) {
    for (int g = 0; g < 256; g += 5) {
      for (int r = 0; r < 256; r += 5) {
        colours.insert(colours.end(),
                       {static_cast<uint8_t>(b), static_cast<uint8_t>(g), static_cast<uint8_t>(r)});
      }
    }
  }
  for (size_t i = 0; i < profiles.size(); ++i) {
    CAPTURE(i);
    const auto transform = TSrgbTransform::Make(profiles[i]);
    REQUIRE(transform);
    const bool table = i == 4;
    CHECK(transform->Direct() == !table);
    std::vector<uint8_t> direct = colours;
    transform->Convert(direct.data(), direct.size() / 3);
    cmsHPROFILE source =
        profiles[i].Calibrated()
            ? nullptr
            : cmsOpenProfileFromMem(profiles[i].Icc.data(),
                                    static_cast<cmsUInt32Number>(profiles[i].Icc.size()));
    if (source == nullptr) {
      const auto& c = profiles[i].Chromaticities;
      const cmsCIExyY white{c[0], c[1], 1.0};
      const cmsCIExyYTRIPLE rgb{{c[2], c[3], 1.0}, {c[4], c[5], 1.0}, {c[6], c[7], 1.0}};
      cmsToneCurve* curve = cmsBuildGamma(nullptr, profiles[i].Gamma);
      cmsToneCurve* curves[3] = {curve, curve, curve};
      source = cmsCreateRGBProfile(&white, &rgb, curves);
      cmsFreeToneCurve(curve);
    }
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    // Unoptimised, in floating point: the reference the 8-bit shortcut must match.
    cmsHTRANSFORM reference = cmsCreateTransform(source, TYPE_BGR_8, srgb, TYPE_BGR_8,
                                                 INTENT_PERCEPTUAL, cmsFLAGS_NOOPTIMIZE);
    REQUIRE(reference != nullptr);
    std::vector<uint8_t> expected(colours.size());
    cmsDoTransform(reference, colours.data(), expected.data(),
                   static_cast<cmsUInt32Number>(colours.size() / 3));
    cmsDeleteTransform(reference);
    cmsCloseProfile(srgb);
    cmsCloseProfile(source);
    int worst = 0;
    for (size_t k = 0; k < colours.size(); ++k)
      worst = std::max(worst, std::abs(direct[k] - expected[k]));
    CHECK(worst <= (table ? 2 : 1));
  }
}
