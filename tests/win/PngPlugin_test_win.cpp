// Our PNG plug-in (addons/png) loaded for real: the whole PngSuite decodes through the host to
// the expected colours and the corrupt files fail cleanly; beside the WIC plug-in it is the one
// the host asks first for a .png file. Our WebP plug-in (addons/webp) likewise: files made by
// cwebp and img2webp decode to what dwebp makes of them, broken and cut ones fail cleanly.
#include <doctest/doctest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport_win.h"
#include "app/PluginSetup_win.h"
#include "base/Stream.h"
#include "base/TextCase.h"
#include "base/Unicode_win.h"
#include "decode/AlphaBlend.h"
#include "decode/DIBErrors.h"
#include "decode/PluginHelper_win.h"
#include "decode/SPIGraphic_win.h"
#include "decode/SPIs_win.h"
#include "engine/ColorConvert.h"
#include "engine/ExtensionList.h"

namespace {

std::wstring SuiteDir() {
  return EnvPath(L"VESKO2_TEST_DATA") + L"\\pngsuite\\";
}

std::vector<std::wstring> SuiteNames() {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((SuiteDir() + L"*.png").c_str(), &found);
  REQUIRE(find != INVALID_HANDLE_VALUE);
  do {
    const std::wstring name = found.cFileName;
    names.push_back(name.substr(0, name.size() - 4));
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return names;
}

TBitmap Decode(const std::string& path) {
  TSPIDIBImage dib;
  dib.LoadFromFile(path);
  TBitmap bitmap;
  bitmap.Assign(&dib);
  return bitmap;
}

// Pixels whose colour differs from the expected red, green, blue laid over the desktop's colour
// by their alpha, as the plug-in lays transparency over it (by more than `tolerance`).
int WrongColours(const TBitmap& bitmap, const std::string& expected, int tolerance = 0) {
  if (expected.size() != static_cast<size_t>(bitmap.Width()) * bitmap.Height() * 4) return -1;
  const COLORREF desktop = GetSysColor(COLOR_DESKTOP);
  int wrong = 0;
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) {
      const TRGBQuad c = bitmap.GetPixel(x, y);
      const auto* e = reinterpret_cast<const uint8_t*>(expected.data()) +
                      (static_cast<size_t>(y) * bitmap.Width() + x) * 4;
      const int off[3] = {c.Red - BlendOver(e[0], e[3], GetRValue(desktop)),
                          c.Green - BlendOver(e[1], e[3], GetGValue(desktop)),
                          c.Blue - BlendOver(e[2], e[3], GetBValue(desktop))};
      for (const int o : off) {
        if (o > tolerance || o < -tolerance) {
          ++wrong;
          break;
        }
      }
    }
  }
  return wrong;
}

// The RGBA pixels of a PAM file as dwebp writes it; empty when its header is not that.
std::string PamPixels(const std::string& pam, int& width, int& height) {
  const size_t end = pam.find("ENDHDR\n");
  if (pam.rfind("P7\n", 0) != 0 || end == std::string::npos) return {};
  const std::string header = pam.substr(0, end);
  auto field = [&](const std::string& name) {
    const size_t at = header.find("\n" + name + " ");
    return at == std::string::npos ? 0 : std::stoi(header.substr(at + name.size() + 2));
  };
  width = field("WIDTH");
  height = field("HEIGHT");
  if (field("DEPTH") != 4 || field("MAXVAL") != 255) return {};
  return pam.substr(end + 7);
}

TBitmap DecodeBytes(const std::string& bytes, const std::string& name) {
  TMemoryStream stream;
  stream.Write(bytes.data(), bytes.size());
  stream.Seek(0);
  TSPIDIBImage dib;
  dib.LoadFromStreamWithName(stream, name);
  TBitmap bitmap;
  bitmap.Assign(&dib);
  return bitmap;
}

// Our plug-ins loaded as the program loads them. The program tells them whether it converts
// colours from profiles; by default here it does not, so that they give the stored colours the
// references hold.
struct PngPluginFixture {
  TSPIs spis;
  explicit PngPluginFixture(const std::string& mask = "\\ifpng.spi", bool hostConverts = false) {
    SetEnvironmentVariableA(kColorManagementVariable, hostConverts ? "1" : "0");
    ConfigureMainWindowSPIs(spis);
    spis.Search(ToUtf8(EnvPath(L"VESKO2_PLUGIN_DIR")) + mask);
  }
  PngPluginFixture(const PngPluginFixture&) = delete;
  PngPluginFixture& operator=(const PngPluginFixture&) = delete;
  ~PngPluginFixture() { SetEnvironmentVariableA(kColorManagementVariable, nullptr); }
};

}  // namespace

TEST_CASE("the PNG plug-in decodes PngSuite through the host and refuses the corrupt files") {
  PngPluginFixture f;
  REQUIRE(f.spis.Count() == 1);
  const TSPI& png = f.spis.Item(0);
  CHECK(png.APIVersion == "00IN");
  CHECK(png.FilterList == std::vector<std::string>{"*.png"});
  CHECK(png.DescriptionList == std::vector<std::string>{"PNG (Vesko 2)"});

  int decoded = 0;
  int refused = 0;
  for (const std::wstring& name : SuiteNames()) {
    CAPTURE(ToUtf8(name));
    const std::wstring path = SuiteDir() + name + L".png";
    const std::wstring expected = SuiteDir() + name + L".rgba";
    if (!Exists(expected)) {
      CHECK_THROWS_WITH_AS(Decode(ToUtf8(path)), "Susie Plugins could not decode", EInvalidGraphic);
      ++refused;
      continue;
    }
    CHECK(WrongColours(Decode(ToUtf8(path)), ReadBytes(expected)) == 0);
    ++decoded;
  }
  CHECK(decoded == 163);
  CHECK(refused == 12);
}

TEST_CASE("the PNG plug-in tells size and depth from the header, reads memory, honours abort") {
  PngPluginFixture f;
  REQUIRE(f.spis.Count() == 1);
  const TSPI& png = f.spis.Item(0);
  struct TCase {
    const wchar_t* name;
    int width, height, depth;
  };
  for (const TCase& c :
       {TCase{L"basn0g01", 32, 32, 1}, TCase{L"basn3p02", 32, 32, 4}, TCase{L"basn4a16", 32, 32, 8},
        TCase{L"s09n3p02", 9, 9, 4}, TCase{L"basi6a08", 32, 32, 24}}) {
    CAPTURE(ToUtf8(c.name));
    TSusiePictureInfo info{};
    const std::string bytes = ReadBytes(SuiteDir() + c.name + L".png");
    CHECK(png.GetPictureInfo(bytes.data(), static_cast<LONG>(bytes.size()), 1, &info) == 0);
    CHECK(info.width == c.width);
    CHECK(info.height == c.height);
    CHECK(info.colorDepth == c.depth);
  }

  // From memory, behind other data: the host hands the plug-in the bytes after the prefix.
  const std::string bytes = ReadBytes(SuiteDir() + L"basi2c16.png");
  TMemoryStream stream;
  stream.Write(bytes.data(), bytes.size());
  stream.Seek(0);
  TSPIDIBImage dib;
  dib.LoadFromStreamWithName(stream, "x.png");
  TBitmap bitmap;
  bitmap.Assign(&dib);
  CHECK(WrongColours(bitmap, ReadBytes(SuiteDir() + L"basi2c16.rgba")) == 0);

  // A handler that cancels stops our plug-in; no other one is there to decode the file.
  int reports = 0;
  dib.OnProgress = [&](TGraphic&, TProgressStage stage, uint8_t, bool, const TRect&,
                       const std::string& message) {
    if (stage == TProgressStage::psRunning && message.empty() && ++reports == 2) throw EAbort();
  };
  CHECK_THROWS_AS(dib.LoadFromFile(ToUtf8(SuiteDir() + L"basn2c08.png")), EInvalidGraphic);
  CHECK(reports == 2);
}

TEST_CASE("beside the WIC plug-in, ours is asked first for .png and decodes it") {
  PngPluginFixture f("\\*.spi");
  REQUIRE(f.spis.Count() == 4);  // ifheif, ifpng, ifwebp, ifwic
  // Every plug-in may be asked; the ones whose filter names the extension come first.
  const std::vector<TInSPI*> order = f.spis.GetInSPIs("C:\\pictures\\photo.PNG");
  REQUIRE(order.size() == 4);
  const std::string first = order[0]->FileName;
  CHECK(SameText(first.substr(first.rfind('\\') + 1), "ifpng.spi"));
  const std::vector<TInSPI*> webp = f.spis.GetInSPIs("C:\\pictures\\photo.webp");
  REQUIRE(webp.size() == 4);
  const std::string webpFirst = webp[0]->FileName;
  CHECK(SameText(webpFirst.substr(webpFirst.rfind('\\') + 1), "ifwebp.spi"));

  std::vector<std::string> loaders;
  TSPIDIBImage dib;
  dib.OnProgress = [&](TGraphic&, TProgressStage, uint8_t, bool, const TRect&,
                       const std::string& message) {
    if (message.rfind("Loading by [", 0) == 0) loaders.push_back(message);
  };
  dib.LoadFromFile(ToUtf8(SuiteDir() + L"basn6a16.png"));
  CHECK(loaders == std::vector<std::string>{"Loading by [ifpng.spi]"});
  CHECK(dib.Width() == 32);
}

TEST_CASE("the WebP plug-in decodes cwebp's and img2webp's files as dwebp does") {
  PngPluginFixture f("\\ifwebp.spi");
  REQUIRE(f.spis.Count() == 1);
  const TSPI& webp = f.spis.Item(0);
  CHECK(webp.APIVersion == "00IN");
  CHECK(webp.FilterList == std::vector<std::string>{"*.webp"});
  CHECK(webp.DescriptionList == std::vector<std::string>{"WebP (Vesko 2)"});
  // The program's folder scan takes .webp files by the plug-in's filter, as it lists them.
  const TExtensionList extensions = TExtensionList::Build(PluginFirstFilters(f.spis));
  CHECK(extensions.Accepts("C:\\Downloads\\wallpaper.webp"));
  CHECK(extensions.Accepts("C:\\Downloads\\WALLPAPER.WEBP"));
  const std::wstring dir = EnvPath(L"VESKO2_TEST_DATA") + L"\\webp\\";
  // Lossy decoding is exact integer arithmetic in libwebp, with or without SIMD: the 32-bit
  // plug-in gives dwebp's own bytes for every file.
  for (const wchar_t* name :
       {L"lossy", L"lossless", L"alpha", L"alpha-lossless", L"animated", L"offset-frame"}) {
    CAPTURE(ToUtf8(name));
    int width = 0;
    int height = 0;
    const std::string expected = PamPixels(ReadBytes(dir + name + L".pam"), width, height);
    REQUIRE(!expected.empty());
    const std::string path = ToUtf8(dir + name + L".webp");
    const TBitmap bitmap = Decode(path);
    CHECK(bitmap.Width() == width);
    CHECK(bitmap.Height() == height);
    CHECK(bitmap.BitCount() == 24);
    CHECK(WrongColours(bitmap, expected) == 0);

    // The header alone tells the size (of the canvas, for an animation).
    const std::string bytes = ReadBytes(dir + name + L".webp");
    TSusiePictureInfo info{};
    CHECK(webp.GetPictureInfo(bytes.data(), static_cast<LONG>(bytes.size()), 1, &info) == 0);
    CHECK(info.width == width);
    CHECK(info.height == height);
    CHECK(info.colorDepth == 24);
    // From memory too.
    CHECK(WrongColours(DecodeBytes(bytes, "x.webp"), expected) == 0);
  }
}

TEST_CASE("the WebP plug-in fails cleanly on broken and cut files and honours abort") {
  PngPluginFixture f("\\ifwebp.spi");
  REQUIRE(f.spis.Count() == 1);
  const TSPI& webp = f.spis.Item(0);
  const std::wstring dir = EnvPath(L"VESKO2_TEST_DATA") + L"\\webp\\";
  for (const wchar_t* name : {L"lossy", L"lossless", L"alpha", L"animated", L"offset-frame"}) {
    CAPTURE(ToUtf8(name));
    const std::string bytes = ReadBytes(dir + name + L".webp");
    REQUIRE(bytes.size() > 40);
    // Cut anywhere past the header: the host is told the data is broken, nothing is handed over.
    for (const size_t size : {bytes.size() - 1, bytes.size() / 2, size_t{40}, size_t{12}}) {
      CAPTURE(size);
      HLOCAL info = reinterpret_cast<HLOCAL>(1);
      HLOCAL pixels = reinterpret_cast<HLOCAL>(1);
      CHECK(webp.GetPicture(bytes.data(), static_cast<LONG>(size), 1, &info, &pixels, nullptr, 0) ==
            SusieResult::kBrokenData);
      CHECK(info == nullptr);
      CHECK(pixels == nullptr);
      CHECK_THROWS_WITH_AS(DecodeBytes(bytes.substr(0, size), "x.webp"),
                           "Susie Plugins could not decode", EInvalidGraphic);
    }
  }
  // A broken image chunk: the lossless signature byte and the lossy frame's start code changed.
  std::string lossless = ReadBytes(dir + L"lossless.webp");
  REQUIRE(lossless.substr(12, 4) == "VP8L");
  lossless[20] = 0x2E;
  CHECK_THROWS_WITH_AS(DecodeBytes(lossless, "x.webp"), "Susie Plugins could not decode",
                       EInvalidGraphic);
  std::string lossy = ReadBytes(dir + L"lossy.webp");
  REQUIRE(lossy.substr(12, 4) == "VP8 ");
  lossy[23] = 0x00;
  CHECK_THROWS_WITH_AS(DecodeBytes(lossy, "x.webp"), "Susie Plugins could not decode",
                       EInvalidGraphic);
  // Not WebP at all: another format's bytes and a RIFF of another kind.
  std::string wave = ReadBytes(dir + L"lossy.webp");
  wave.replace(8, 4, "WAVE");
  TSusiePictureInfo info{};
  CHECK(webp.GetPictureInfo(wave.data(), static_cast<LONG>(wave.size()), 1, &info) ==
        SusieResult::kUnknownFormat);
  std::vector<char> header(2048, 0);
  std::copy(wave.begin(), wave.begin() + 64, header.begin());
  CHECK(webp.IsSupported("x.webp", header.data()) == 0);
  std::copy(lossy.begin(), lossy.begin() + 64, header.begin());
  CHECK(webp.IsSupported("x.webp", header.data()) == 1);

  // A handler that cancels stops the plug-in.
  int reports = 0;
  TSPIDIBImage dib;
  dib.OnProgress = [&](TGraphic&, TProgressStage stage, uint8_t, bool, const TRect&,
                       const std::string& message) {
    if (stage == TProgressStage::psRunning && message.empty() && ++reports == 1) throw EAbort();
  };
  CHECK_THROWS_AS(dib.LoadFromFile(ToUtf8(dir + L"lossless.webp")), EInvalidGraphic);
  CHECK(reports == 1);
}

TEST_CASE("the HEIF plug-in decodes heif-enc's and avifenc's files as heif-convert does") {
  // libheif.dll and libde265.dll beside the plug-in, found there when the host loads it.
  {
    PngPluginFixture f("\\ifheif.spi");
    REQUIRE(f.spis.Count() == 1);
    const TSPI& heif = f.spis.Item(0);
    CHECK(heif.APIVersion == "00IN");
    CHECK(heif.FilterList == std::vector<std::string>{"*.heic;*.heif;*.avif;*.hif"});
    const TExtensionList extensions = TExtensionList::Build(PluginFirstFilters(f.spis));
    for (const char* name : {"C:\\DCIM\\IMG_0001.HEIC", "a.heif", "b.avif", "c.hif"}) {
      CHECK(extensions.Accepts(name));
    }
  }
  const std::wstring dir = EnvPath(L"VESKO2_TEST_DATA") + L"\\heif\\";
  struct TCase {
    const wchar_t* name;
    const wchar_t* extension;
    int tolerance;
  };
  // Here, and in the helper, where the plug-in writes the pixels straight into the section the
  // program copies them from: pictures smaller and larger than the one before come out whole.
  TPluginHelper helper(EnvPath(L"VESKO2_EXE"));
  struct TRestore {
    ~TRestore() { TSPI::Helper = nullptr; }
  } restore;
  for (const bool apart : {false, true}) {
    CAPTURE(apart);
    TSPI::Helper = apart ? &helper : nullptr;
    PngPluginFixture f("\\ifheif.spi");
    REQUIRE(f.spis.Count() == 1);
    REQUIRE(f.spis.Item(0).Remote() == apart);
    const TSPI& heif = f.spis.Item(0);
    for (const TCase& c :
         {TCase{L"heic-8", L".heic", 1}, TCase{L"heic-alpha", L".heic", 1},
          TCase{L"avif-8-420", L".avif", 1}, TCase{L"avif-10-444-alpha", L".avif", 2},
          TCase{L"avif-12-422", L".avif", 2}, TCase{L"avif-8-mono", L".avif", 1},
          TCase{L"iphone-like", L".heic", 1}}) {
      CAPTURE(ToUtf8(c.name));
      int width = 0;
      int height = 0;
      const std::string expected = PamPixels(ReadBytes(dir + c.name + L".ref.pam"), width, height);
      REQUIRE(!expected.empty());
      const std::string path = ToUtf8(dir + c.name + c.extension);
      const TBitmap bitmap = Decode(path);
      CHECK(bitmap.Width() == width);
      CHECK(bitmap.Height() == height);
      CHECK(WrongColours(bitmap, expected, c.tolerance) == 0);
      const std::string bytes = ReadBytes(dir + c.name + c.extension);
      TSusiePictureInfo info{};
      CHECK(heif.GetPictureInfo(bytes.data(), static_cast<LONG>(bytes.size()), 1, &info) == 0);
      CHECK(info.width == width);
      CHECK(info.height == height);
      CHECK(WrongColours(DecodeBytes(bytes, "x.heic"), expected, c.tolerance) == 0);
    }
    // Broken and cut files fail like any unreadable picture.
    for (const wchar_t* name : {L"truncated.heic", L"corrupt.heic"}) {
      CAPTURE(ToUtf8(name));
      TSPIDIBImage dib;
      CHECK_THROWS(dib.LoadFromFile(ToUtf8(dir + name)));
    }
  }
}

TEST_CASE("our plug-ins hand the file's colour profile to the host with the pixels") {
  const std::wstring data = EnvPath(L"VESKO2_TEST_DATA");
  const std::string prophoto = ReadBytes(data + L"\\color\\ProPhotoRGB.icc");
  const std::string adobe = ReadBytes(data + L"\\color\\AdobeRGB1998.icc");
  const std::string p3 = ReadBytes(data + L"\\heif\\display-p3.icc");
  struct TCase {
    const char* mask;
    const wchar_t* file;
    const std::string* icc;  // the profile expected whole; null for none or a calibrated one
    double gamma;            // of a calibrated space; 0 for none
  };
  for (const TCase& c : {
           TCase{"\\ifpng.spi", L"\\color\\rose-prophoto.png", &prophoto, 0},
           TCase{"\\ifpng.spi", L"\\pngsuite\\g25n2c08.png", nullptr, 0.4},  // gAMA 2.5
           TCase{"\\ifpng.spi", L"\\pngsuite\\g03n2c08.png", nullptr, 1 / 0.35},
           TCase{"\\ifpng.spi", L"\\pngsuite\\basn2c08.png", nullptr, 1},  // gAMA 1: linear
           TCase{"\\ifpng.spi", L"\\pngsuite\\f00n2c08.png", nullptr, 0},
           TCase{"\\ifpng.spi", L"\\pngsuite\\g04n3p04.png", nullptr, 0},  // 1/2.2 within 5 %
           TCase{"\\ifpng.spi", L"\\pngsuite\\ccwn3p08.png", nullptr, 1},  // cHRM, gAMA 1
           TCase{"\\ifwebp.spi", L"\\color\\rose-adobergb.webp", &adobe, 0},
           TCase{"\\ifwebp.spi", L"\\webp\\lossy.webp", nullptr, 0},
           TCase{"\\ifheif.spi", L"\\heif\\iphone-like.heic", &p3, 0},
           TCase{"\\ifheif.spi", L"\\heif\\avif-8-420.avif", nullptr, 0},
       }) {
    CAPTURE(ToUtf8(c.file));
    PngPluginFixture f(c.mask);
    REQUIRE(f.spis.Count() == 1);
    TSPIDIBImage dib;
    dib.LoadFromFile(ToUtf8(data + c.file));
    TBitmap bitmap;
    bitmap.Assign(&dib);
    CHECK(bitmap.ColorProfile == dib.ColorProfile);
    if (c.icc == nullptr && c.gamma == 0) {
      CHECK_FALSE(dib.ColorProfile);
      continue;
    }
    REQUIRE(dib.ColorProfile);
    if (c.icc != nullptr) {
      CHECK(std::string(dib.ColorProfile->Icc.begin(), dib.ColorProfile->Icc.end()) == *c.icc);
    } else {
      CHECK(dib.ColorProfile->Calibrated());
      CHECK(dib.ColorProfile->Gamma == doctest::Approx(c.gamma).epsilon(0.001));
    }
  }
  // A profile named by an nclx box arrives as a profile made for it.
  PngPluginFixture f("\\ifheif.spi");
  TSPIDIBImage dib;
  dib.LoadFromFile(ToUtf8(data + L"\\heif\\avif-p3-nclx.avif"));
  REQUIRE(dib.ColorProfile);
  CHECK(dib.ColorProfile->Icc.size() > 200);
}

TEST_CASE(
    "transparent parts of PNG and WebP pictures with a profile show exactly the desktop's colour") {
  // PngSuite's pictures with alpha or a transparent colour carry gAMA 1.0; the WebP is the alpha
  // test picture with the Adobe RGB profile. The host converts a picture that comes with a
  // profile as a whole once it is fitted, as done here after the decoding.
  const std::wstring data = EnvPath(L"VESKO2_TEST_DATA");
  const COLORREF desktop = GetSysColor(COLOR_DESKTOP);
  const uint8_t back[3] = {GetBValue(desktop), GetGValue(desktop), GetRValue(desktop)};
  struct TCase {
    const char* mask;
    const wchar_t* file;
    const wchar_t* rgba;  // the stored colours and alpha
  };
  for (const TCase& c : {
           TCase{"\\ifpng.spi", L"\\pngsuite\\basn6a08.png", L"\\pngsuite\\basn6a08.rgba"},
           TCase{"\\ifpng.spi", L"\\pngsuite\\basn4a16.png", L"\\pngsuite\\basn4a16.rgba"},
           TCase{"\\ifpng.spi", L"\\pngsuite\\tbrn2c08.png", L"\\pngsuite\\tbrn2c08.rgba"},
           TCase{"\\ifpng.spi", L"\\pngsuite\\tbbn3p08.png", L"\\pngsuite\\tbbn3p08.rgba"},
           TCase{"\\ifpng.spi", L"\\pngsuite\\tbbn0g04.png", L"\\pngsuite\\tbbn0g04.rgba"},
           TCase{"\\ifwebp.spi", L"\\color\\alpha-adobergb.webp", L"\\webp\\alpha.pam"},
       }) {
    CAPTURE(ToUtf8(c.file));
    std::string expected = ReadBytes(data + c.rgba);
    int width = 0;
    int height = 0;
    if (expected.rfind("P7\n", 0) == 0) expected = PamPixels(expected, width, height);
    // What the picture's own profile makes of its stored colours.
    std::unique_ptr<TSrgbTransform> toSrgb;
    {
      PngPluginFixture plain(c.mask, false);
      TSPIDIBImage stored;
      stored.LoadFromFile(ToUtf8(data + c.file));
      REQUIRE(stored.ColorProfile);
      toSrgb = TSrgbTransform::Make(*stored.ColorProfile);
      REQUIRE(toSrgb);
    }

    PngPluginFixture f(c.mask, true);
    TSPIDIBImage dib;
    dib.LoadFromFile(ToUtf8(data + c.file));
    TBitmap bitmap;
    bitmap.Assign(&dib);
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    if (dib.ColorProfile) ConvertBitmapToSrgb(bitmap, *dib.ColorProfile);
    REQUIRE(expected.size() == static_cast<size_t>(bitmap.Width()) * bitmap.Height() * 4);
    int clear = 0;
    int off = 0;
    int worst = 0;
    for (int y = 0; y < bitmap.Height(); ++y) {
      const uint8_t* row = bitmap.ScanLine(y);
      for (int x = 0; x < bitmap.Width(); ++x) {
        const auto* e = reinterpret_cast<const uint8_t*>(expected.data()) +
                        (static_cast<size_t>(y) * bitmap.Width() + x) * 4;
        uint8_t colour[3] = {e[2], e[1], e[0]};
        toSrgb->Convert(colour, 1);
        for (int i = 0; i < 3; ++i) {
          if (e[3] == 0 && row[x * 3 + i] != back[i]) ++off;
          worst = std::max(worst, std::abs(row[x * 3 + i] - BlendOver(colour[i], e[3], back[i])));
        }
        if (e[3] == 0) ++clear;
      }
    }
    CHECK(clear > 0);
    CHECK(off == 0);
    CHECK(worst <= 2);
  }
}
