// Our PNG plug-in (addons/png) loaded for real: the whole PngSuite decodes through the host to
// the expected colours and the corrupt files fail cleanly; beside the WIC plug-in it is the one
// the host asks first for a .png file.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "TestSupport_win.h"
#include "app/PluginSetup_win.h"
#include "base/Stream.h"
#include "base/TextCase.h"
#include "base/Unicode_win.h"
#include "decode/AlphaBlend.h"
#include "decode/DIBErrors.h"
#include "decode/SPIGraphic_win.h"
#include "decode/SPIs_win.h"

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
// by their alpha, as the plug-in lays transparency over it.
int WrongColours(const TBitmap& bitmap, const std::string& expected) {
  if (expected.size() != static_cast<size_t>(bitmap.Width()) * bitmap.Height() * 4) return -1;
  const COLORREF desktop = GetSysColor(COLOR_DESKTOP);
  int wrong = 0;
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) {
      const TRGBQuad c = bitmap.GetPixel(x, y);
      const auto* e = reinterpret_cast<const uint8_t*>(expected.data()) +
                      (static_cast<size_t>(y) * bitmap.Width() + x) * 4;
      if (c.Red != BlendOver(e[0], e[3], GetRValue(desktop)) ||
          c.Green != BlendOver(e[1], e[3], GetGValue(desktop)) ||
          c.Blue != BlendOver(e[2], e[3], GetBValue(desktop))) {
        ++wrong;
      }
    }
  }
  return wrong;
}

struct PngPluginFixture {
  TSPIs spis;
  explicit PngPluginFixture(const std::string& mask = "\\ifpng.spi") {
    ConfigureMainWindowSPIs(spis);
    spis.Search(ToUtf8(EnvPath(L"VESKO2_PLUGIN_DIR")) + mask);
  }
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
  REQUIRE(f.spis.Count() == 2);
  const std::vector<TInSPI*> order = f.spis.GetInSPIs("C:\\pictures\\photo.PNG");
  REQUIRE(order.size() == 2);
  const std::string first = order[0]->FileName;
  CHECK(SameText(first.substr(first.rfind('\\') + 1), "ifpng.spi"));

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
