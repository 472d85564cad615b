// Our Windows Imaging Component plug-in, loaded for real: PNG (from PngSuite), GIF and TIFF
// (written here byte by byte) decode to the right pixels; corrupt files fail cleanly; JPEG and
// BMP are left to the built-in readers; the formats of the system's further decoders (under
// Wine: DDS, JPEG XR, Targa) join its filter, and a Targa picture decodes through it.
#include <doctest/doctest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <wincodec.h>

#include <cctype>

#include "TestSupport_win.h"
#include "app/PluginSetup_win.h"
#include "base/Unicode_win.h"
#include "decode/AlphaBlend.h"
#include "decode/DIBErrors.h"
#include "decode/SPIGraphic_win.h"
#include "decode/SPIs_win.h"
#include "engine/ExtensionList.h"

namespace {

struct WicFixture {
  TSPIs spis;
  WicFixture() {
    ConfigureMainWindowSPIs(spis);
    spis.Search(ToUtf8(EnvPath(L"VESKO2_PLUGIN_DIR")) + "\\ifwic.spi");
    REQUIRE(spis.Count() == 1);
  }
};

TBitmap Decode(const std::wstring& path) {
  TSPIDIBImage dib;
  dib.LoadFromFile(ToUtf8(path));
  TBitmap bitmap;
  bitmap.Assign(&dib);
  return bitmap;
}

}  // namespace

TEST_CASE("the WIC plug-in offers PNG, GIF, TIFF and icons, never JPEG or BMP") {
  WicFixture f;
  TSPI& wic = f.spis.Item(0);
  CHECK(wic.APIVersion == "00IN");
  REQUIRE(wic.FilterList.size() == 1);
  CHECK(wic.FilterList[0].rfind("*.png;*.gif;*.tif;*.tiff;*.ico", 0) == 0);
  for (const char* ext : {"png", "gif", "tif", "tiff"}) {
    const TPictureFormat* format = TPictureFormatRegistry::Instance().Find(std::string("x.") + ext);
    REQUIRE(format != nullptr);
    CHECK(format->Description.rfind("PNG, GIF, TIFF, Icon", 0) == 0);
  }
  unsigned char jpeg[2176] = {0xFF, 0xD8, 0xFF, 0xE0};
  unsigned char bmp[2176] = {'B', 'M'};
  CHECK(wic.IsSupported("a.jpg", jpeg) == 0);
  CHECK(wic.IsSupported("a.bmp", bmp) == 0);
}

namespace {

// The extensions of every decoder the system's imaging component has, in its order, lower case.
std::vector<std::string> InstalledDecoderExtensions() {
  std::vector<std::string> extensions;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IWICImagingFactory* factory = nullptr;
  REQUIRE(SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IWICImagingFactory, reinterpret_cast<void**>(&factory))));
  IEnumUnknown* components = nullptr;
  REQUIRE(SUCCEEDED(
      factory->CreateComponentEnumerator(WICDecoder, WICComponentEnumerateDefault, &components)));
  IUnknown* component = nullptr;
  ULONG fetched = 0;
  while (components->Next(1, &component, &fetched) == S_OK && fetched == 1) {
    IWICBitmapDecoderInfo* info = nullptr;
    if (SUCCEEDED(component->QueryInterface(IID_IWICBitmapDecoderInfo,
                                            reinterpret_cast<void**>(&info)))) {
      wchar_t list[512] = {};
      UINT chars = 0;
      if (SUCCEEDED(info->GetFileExtensions(512, list, &chars))) {
        std::string text = ToUtf8(list);
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        size_t start = 0;
        while (start <= text.size()) {
          const size_t end = std::min(text.find_first_of(",;", start), text.size());
          std::string one = text.substr(start, end - start);
          one.erase(0, one.find_first_not_of(' '));
          if (!one.empty()) extensions.push_back(one);
          start = end + 1;
        }
      }
      info->Release();
    }
    component->Release();
  }
  components->Release();
  factory->Release();
  CoUninitialize();
  return extensions;
}

// A 24-bit uncompressed Targa picture, rows from the top: pixel (x, y) is (x × 40, y × 60,
// 200) in red, green, blue.
std::string MakeTestTga(int width, int height) {
  std::string tga(18, '\0');
  tga[2] = 2;  // uncompressed true colour
  tga[12] = static_cast<char>(width);
  tga[13] = static_cast<char>(width >> 8);
  tga[14] = static_cast<char>(height);
  tga[15] = static_cast<char>(height >> 8);
  tga[16] = 24;
  tga[17] = 0x20;  // the first row is the top one
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      tga += static_cast<char>(200);
      tga += static_cast<char>(y * 60);
      tga += static_cast<char>(x * 40);
    }
  }
  return tga;
}

}  // namespace

TEST_CASE("the WIC plug-in also claims every further format the system has a decoder for") {
  WicFixture f;
  TSPI& wic = f.spis.Item(0);
  REQUIRE(wic.FilterList.size() == 1);
  // What the plug-in leaves to the program's readers and to our own plug-ins beside it.
  const std::wstring dir = EnvPath(L"VESKO2_PLUGIN_DIR");
  std::vector<std::string> others{".png", ".gif", ".tif",  ".tiff", ".ico",  ".bmp", ".dib",
                                  ".rle", ".jpg", ".jpeg", ".jpe",  ".jfif", ".exif"};
  if (Exists(dir + L"\\ifwebp.spi")) others.push_back(".webp");
  if (Exists(dir + L"\\ifavif.spi")) {
    others.push_back(".avif");
    others.push_back(".avifs");
  }
  std::string expected = "*.png;*.gif;*.tif;*.tiff;*.ico";
  std::vector<std::string> further;
  for (const std::string& ext : InstalledDecoderExtensions()) {
    if (std::find(others.begin(), others.end(), ext) != others.end()) continue;
    if (std::find(further.begin(), further.end(), ext) != further.end()) continue;
    further.push_back(ext);
    expected += ";*" + ext;
  }
  MESSAGE("the system's further formats: " << expected);
  CHECK(wic.FilterList[0] == expected);
  // Wine's imaging component reads Targa pictures, which have no signature of their own: under
  // Wine (our test platform) the check must run, never pass by for want of the format.
  const bool underWine =
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  const bool targa = std::find(further.begin(), further.end(), ".tga") != further.end();
  if (underWine) REQUIRE(targa);
  if (targa) {
    TTempDir dir2;
    WriteBytes(dir2 / L"x.tga", MakeTestTga(5, 3));
    const TBitmap bitmap = Decode(dir2 / L"x.tga");
    REQUIRE(bitmap.Width() == 5);
    REQUIRE(bitmap.Height() == 3);
    CHECK(bitmap.GetPixel(4, 2) == TRGBQuad{200, 120, 160, 0});
    CHECK(bitmap.GetPixel(0, 0) == TRGBQuad{200, 0, 0, 0});
  }
}

TEST_CASE("PngSuite pictures decode to their expected pixels") {
  WicFixture f;
  const std::wstring data = EnvPath(L"VESKO2_TEST_DATA") + L"\\pngsuite\\";
  const COLORREF desktop = GetSysColor(COLOR_DESKTOP);
  // With alpha channels (grey and colour, 8 and 16 bits), palette transparency, a clear colour.
  for (const wchar_t* name :
       {L"basn2c08", L"basn3p08", L"basn6a08", L"basi0g08", L"basn0g04", L"basn3p02", L"tbrn2c08",
        L"basn4a08", L"basn6a16", L"tbbn3p08", L"tp1n3p08"}) {
    CAPTURE(ToUtf8(name));
    const TBitmap bitmap = Decode(data + name + L".png");
    const std::string expected = ReadBytes(data + name + L".rgba");
    REQUIRE(expected.size() == static_cast<size_t>(bitmap.Width() * bitmap.Height() * 4));
    int wrong = 0;
    for (int y = 0; y < bitmap.Height(); ++y) {
      for (int x = 0; x < bitmap.Width(); ++x) {
        const TRGBQuad c = bitmap.GetPixel(x, y);
        const auto* e =
            reinterpret_cast<const uint8_t*>(expected.data()) + (y * bitmap.Width() + x) * 4;
        // Transparency is laid over the desktop's colour, as a viewer on this desktop shows it.
        const uint8_t red = BlendOver(e[0], e[3], GetRValue(desktop));
        const uint8_t green = BlendOver(e[1], e[3], GetGValue(desktop));
        const uint8_t blue = BlendOver(e[2], e[3], GetBValue(desktop));
        if (c.Red != red || c.Green != green || c.Blue != blue) ++wrong;
      }
    }
    CHECK(wrong == 0);
  }
}

TEST_CASE("GIF and TIFF written byte by byte decode exactly") {
  WicFixture f;
  TTempDir dir;
  WriteBytes(dir / L"p.gif", MakeTestGif(37, 23));
  const TBitmap gif = Decode(dir / L"p.gif");
  REQUIRE(gif.Width() == 37);
  REQUIRE(gif.Height() == 23);
  for (int y = 0; y < 23; ++y) {
    for (int x = 0; x < 37; ++x) {
      const TTestRgb e = PaletteColor((x * 3 + y * 5) % 256);
      const TRGBQuad c = gif.GetPixel(x, y);
      REQUIRE((c.Red == e.r && c.Green == e.g && c.Blue == e.b));
    }
  }
  WriteBytes(dir / L"p.tif", MakeTestTiff(19, 11));
  const TBitmap tiff = Decode(dir / L"p.tif");
  REQUIRE(tiff.Width() == 19);
  for (int y = 0; y < 11; ++y) {
    for (int x = 0; x < 19; ++x) {
      const TRGBQuad c = tiff.GetPixel(x, y);
      REQUIRE((c.Red == x * 9 && c.Green == y * 13 && c.Blue == 200 - x));
    }
  }
}

TEST_CASE("corrupt pictures fail cleanly and leave nothing behind") {
  WicFixture f;
  TTempDir dir;
  const std::wstring data = EnvPath(L"VESKO2_TEST_DATA") + L"\\pngsuite\\";
  std::vector<std::wstring> bad;
  for (const wchar_t* name : {L"xs1n0g01", L"xcrn0g04", L"xlfn0g04", L"xd0n2c08", L"xdtn0g01"}) {
    bad.push_back(data + name + L".png");
  }
  std::string png = ReadBytes(data + L"basn2c08.png");
  WriteBytes(dir / L"cut.png", png.substr(0, png.size() / 2));
  WriteBytes(dir / L"magic.png", png.substr(0, 8) + std::string(500, '\xAB'));
  std::string gif = MakeTestGif(40, 40);
  WriteBytes(dir / L"cut.gif", gif.substr(0, gif.size() - 100));
  WriteBytes(dir / L"empty.png", "");
  std::string tiff = MakeTestTiff(10, 10);
  tiff[8 + 2 + 5 * 12 + 8] = '\x7F';  // the strip offset points far past the end
  WriteBytes(dir / L"far.tif", tiff);
  for (const wchar_t* name : {L"cut.png", L"magic.png", L"cut.gif", L"empty.png", L"far.tif"}) {
    bad.push_back(dir / name);
  }
  for (const std::wstring& path : bad) {
    CAPTURE(ToUtf8(path));
    TSPIDIBImage dib;
    try {
      dib.LoadFromFile(ToUtf8(path));
      // A decoder may salvage a damaged file; what it gives must still be a whole picture.
      CHECK(dib.Width() > 0);
    } catch (const EInvalidGraphic& e) {
      CHECK(std::string(e.what()) == "Susie Plugins could not decode");
    }
  }
}

namespace {

// The stand-in codec (fake_wic_codec.dll) registered with the imaging component as an installed
// extension is, for `count` extensions .vkfake1 … .vkfakeN and files that start "VKFAKE";
// removed again at the end.
class TFakeCodecRegistration {
 public:
  explicit TFakeCodecRegistration(int count) {
    std::wstring extensions;
    for (int i = 1; i <= count; ++i)
      extensions += (i > 1 ? L"," : L"") + std::wstring(L".vkfake") + std::to_wstring(i);
    const std::wstring clsid = kClassKey;
    Set(clsid, L"FriendlyName", L"Vesko Fake Decoder");
    Set(clsid, L"FileExtensions", extensions);
    Set(clsid, L"ContainerFormat", kClsid);
    Set(clsid, L"Vendor", kClsid);
    Set(clsid, L"MimeTypes", L"image/x-vesko-fake");
    Set(clsid + L"\\InprocServer32", L"", EnvPath(L"VESKO2_PLUGIN_DIR") + L"\\fake_wic_codec.dll");
    Set(clsid + L"\\InprocServer32", L"ThreadingModel", L"Both");
    const std::wstring pattern = clsid + L"\\Patterns\\0";
    SetDword(pattern, L"Position", 0);
    SetDword(pattern, L"Length", 6);
    SetDword(pattern, L"EndOfStream", 0);
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, pattern.c_str(), L"Pattern", REG_BINARY, "VKFAKE", 6);
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, pattern.c_str(), L"Mask", REG_BINARY,
                    "\xFF\xFF\xFF\xFF\xFF\xFF", 6);
    Set(kInstanceKey, L"CLSID", kClsid);
    Set(kInstanceKey, L"FriendlyName", L"Vesko Fake Decoder");
  }
  ~TFakeCodecRegistration() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kInstanceKey);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kInstanceKey);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kClassKey);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kClassKey);
  }
  TFakeCodecRegistration(const TFakeCodecRegistration&) = delete;
  TFakeCodecRegistration& operator=(const TFakeCodecRegistration&) = delete;

 private:
  static constexpr const wchar_t* kClsid = L"{6C1E9A3B-2F0D-4B8E-9A57-0E5B2D7C4F11}";
  static constexpr const wchar_t* kClassKey =
      L"Software\\Classes\\CLSID\\{6C1E9A3B-2F0D-4B8E-9A57-0E5B2D7C4F11}";
  static constexpr const wchar_t* kInstanceKey =
      L"Software\\Classes\\CLSID\\{7ED96837-96F0-4812-B211-F13C24117ED3}\\Instance\\"
      L"{6C1E9A3B-2F0D-4B8E-9A57-0E5B2D7C4F11}";
  static void Set(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    REQUIRE(RegSetKeyValueW(
                HKEY_LOCAL_MACHINE, key.c_str(), *name != 0 ? name : nullptr, REG_SZ, value.c_str(),
                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS);
  }
  static void SetDword(const std::wstring& key, const wchar_t* name, DWORD value) {
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, REG_DWORD, &value, sizeof value);
  }
};

}  // namespace

TEST_CASE("a third-party codec: its many extensions in whole entries, its faults cost one file") {
  constexpr int kExtensions = 60;
  TFakeCodecRegistration codec(kExtensions);
  WicFixture f;
  TSPI& wic = f.spis.Item(0);
  // Every extension whole, in entries the host reads uncut, and every one in folder scans.
  REQUIRE(wic.FilterList.size() >= 3);
  std::string all = ";";
  for (const std::string& entry : wic.FilterList) {
    CHECK(entry.size() <= 254);
    all += entry + ";";
  }
  const TExtensionList extensions = TExtensionList::Build(PluginFirstFilters(f.spis));
  for (int i = 1; i <= kExtensions; ++i) {
    const std::string extension = ".vkfake" + std::to_string(i);
    CHECK(all.find(";*" + extension + ";") != std::string::npos);
    CHECK(extensions.Accepts("C:\\pictures\\x" + extension));
  }
  CHECK(extensions.Accepts("C:\\pictures\\x.png"));

  // A file that makes the codec fault while opening it, one that faults while its pixels are
  // copied: each is unreadable, and the plug-in goes on reading the codec's other files and
  // every PNG.
  TTempDir dir;
  WriteBytes(dir / L"opens.vkfake1", std::string("VKFAKEI") + std::string(9, '\0'));
  WriteBytes(dir / L"copies.vkfake2", std::string("VKFAKEP") + std::string(9, '\0'));
  WriteBytes(dir / L"good.vkfake3", std::string("VKFAKEG") + std::string(9, '\0'));
  for (int round = 0; round < 2; ++round) {
    CHECK_THROWS(Decode(dir / L"opens.vkfake1"));
    CHECK_THROWS(Decode(dir / L"copies.vkfake2"));
    CHECK_FALSE(wic.Faulted());
    const TBitmap good = Decode(dir / L"good.vkfake3");
    CHECK(good.Width() == 2);
    CHECK(good.GetPixel(1, 1) == TRGBQuad{0, 200, 0, 0});
  }
  const std::wstring png = EnvPath(L"VESKO2_TEST_DATA") + L"\\pngsuite\\basn2c08.png";
  CHECK(Decode(png).Width() == 32);
}
