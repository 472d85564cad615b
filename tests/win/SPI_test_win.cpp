// The plug-in host and the plug-in graphic classes with real plug-in DLLs under Wine: our test
// fixtures from addons/fixture, copied into temporary search folders.
#include <doctest/doctest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>

#include "TestSupport_win.h"
#include "app/PluginSetup_win.h"
#include "base/Action.h"
#include "base/PumpedWait_win.h"
#include "base/Stream.h"
#include "base/TextCase.h"
#include "base/Unicode_win.h"
#include "decode/DIBErrors.h"
#include "decode/DIBImage_win.h"
#include "decode/PluginHelper_win.h"
#include "decode/SPIGraphic_win.h"
#include "decode/SPIs_win.h"

namespace {

std::wstring FixtureFolder() {
  return EnvPath(L"VESKO2_FIXTURE_SPI");
}

void CopyFixture(const std::wstring& name, const std::wstring& folder,
                 const std::wstring& as = L"") {
  REQUIRE(CopyFileW((FixtureFolder() + L"\\" + name + L".spi").c_str(),
                    (folder + L"\\" + (as.empty() ? name + L".spi" : as)).c_str(), FALSE));
}

std::string U(const std::wstring& s) {
  return ToUtf8(s);
}

std::string ExtractFileNameOf(const std::string& path) {
  return path.substr(path.rfind('\\') + 1);
}

bool SameTextPath(const std::string& a, const std::string& b) {
  return SameText(a, b);
}

// A picture in the fixtures' format: magic, width, height, depth, rows top-down.
std::string FxPicture(int width, int height, int bits, const char* magic = "FXPIC") {
  std::string bytes(magic, 5);
  bytes += static_cast<char>(width & 0xFF);
  bytes += static_cast<char>(width >> 8);
  bytes += static_cast<char>(height & 0xFF);
  bytes += static_cast<char>(height >> 8);
  bytes += static_cast<char>(bits);
  for (int y = 0; y < height; ++y) {
    if (bits == 1) {
      for (int x = 0; x < (width + 7) / 8; ++x) bytes += static_cast<char>(y & 1 ? 0xAA : 0x0F);
    } else {
      for (int x = 0; x < width; ++x) {
        bytes += static_cast<char>(x * 10);  // red
        bytes += static_cast<char>(y * 20);  // green
        bytes += static_cast<char>(100);     // blue
      }
    }
  }
  return bytes;
}

std::vector<std::string> Names(const TSPIs& spis) {
  std::vector<std::string> names;
  for (int i = 0; i < spis.Count(); ++i) names.push_back(ExtractFileNameOf(spis.Item(i).FileName));
  return names;
}

}  // namespace

TEST_CASE("the kind table decides the class and its required entry points") {
  const std::string folder = U(FixtureFolder()) + "\\";
  std::unique_ptr<TSPI> in = CreateSPIByKind(folder + "fxa.spi");
  REQUIRE(in);
  CHECK(std::string(in->ClassName()) == "TInSPI");
  CHECK(in->IsLoader);
  CHECK(in->APIVersion == "00IN");
  CHECK(in->PluginName == "Vesko 2 test plug-in fxa");
  CHECK(in->FilterList == std::vector<std::string>{"*.fxa"});
  CHECK(in->DescriptionList == std::vector<std::string>{"Fixture A"});
  CHECK(SameTextPath(in->FileName, folder + "fxa.spi"));

  std::unique_ptr<TSPI> lower = CreateSPIByKind(folder + "fxlower.spi");
  REQUIRE(lower);
  CHECK(std::string(lower->ClassName()) == "TSPI");
  CHECK_FALSE(lower->IsLoader);

  CHECK(CreateSPIByKind(folder + "fxnoinfo3.spi")->FilterList.empty());
  try {
    CreateSPIByKind(folder + "fxnoentry.spi");
    FAIL("no error");
  } catch (const ESPIInvalidAPI& e) {
    const std::string message = e.what();
    CHECK(message.rfind("GetPictureは[", 0) == 0);
    CHECK(message.find("fxnoentry.spi]では使えないSusie Plugin APIです") != std::string::npos);
  }
  CHECK_THROWS_AS(CreateSPIByKind(folder + "fxam.spi"), ESPIInvalidAPI);  // archive entries missing

  // Calling an entry point the plug-in lacks fails the same way.
  TSPI generic;
  generic.Load(folder + "fxnoentry.spi");
  CHECK_THROWS_AS(generic.GetPicture("x", 0, 0, nullptr, nullptr, nullptr, 0), ESPIInvalidAPI);
}

TEST_CASE("files that are no 32-bit DLL are skipped and named, with the reason") {
  TTempDir dir;
  WriteBytes(dir / L"text.spi", "this is not a library");
  std::string truncated = ReadBytes(FixtureFolder() + L"\\fxa.spi");
  truncated.resize(700);
  WriteBytes(dir / L"truncated.spi", truncated);
  CHECK_THROWS_WITH_AS(CreateSPIByKind(U(dir / L"text.spi")),
                       doctest::Contains("32 ビットの DLL ではありません"), ESPIFOpenErrorSPI);
  CHECK_THROWS_AS(CreateSPIByKind(U(dir / L"truncated.spi")), ESPIFOpenErrorSPI);
  CopyFixture(L"fxa", dir.Path());
  TSPIs spis;
  ConfigureMainWindowSPIs(spis);
  spis.Search(U(dir.Path()) + "\\*.spi");
  CHECK(Names(spis) == std::vector<std::string>{"fxa.spi"});
  CHECK(spis.SkippedFiles.size() == 2);
}

TEST_CASE("the main window keeps import filters only and registers extensions from the end") {
  TTempDir dir;
  for (const wchar_t* name : {L"fxa", L"fxlower", L"fxmulti", L"fxbuiltin"}) {
    CopyFixture(name, dir.Path());
  }
  CopyFixture(L"fxa", dir.Path(), L"ifhg.spi");
  CopyFixture(L"fxa", dir.Path(), L"IFBMP.SPI");
  TSPIs spis;
  ConfigureMainWindowSPIs(spis);
  std::vector<std::string> registered;  // extension, "+" registered or "-" suppressed
  auto handler = spis.OnPictureRegister;
  spis.OnPictureRegister = [&](TSPIs& sender, TSPI& spi, const std::string& extension,
                               const std::string& description, TGraphicClass& graphicClass) {
    handler(sender, spi, extension, description, graphicClass);
    registered.push_back(extension + (graphicClass.Empty() ? "-" : "+"));
  };
  spis.Search(U(dir.Path()) + "\\*.spi");
  std::vector<std::string> names = Names(spis);
  std::sort(names.begin(), names.end());
  CHECK(names == std::vector<std::string>{"fxa.spi", "fxbuiltin.spi", "fxmulti.spi"});
  const auto position = [&](const char* entry) {
    return std::find(registered.begin(), registered.end(), entry) - registered.begin();
  };
  CHECK(position("ccc+") + 1 == position("bbb+"));
  CHECK(position("bbb+") + 1 == position("aaa+"));
  // The built-in names keep their classes, whatever their letter case; jpe, and ico (which
  // has no class of its own), come from the plug-in.
  CHECK(position("jpeg-") + 4 == position("jpe+"));
  for (const char* builtIn : {"Bmp-", "JPG-", "ico+"}) {
    CHECK(position(builtIn) < static_cast<long>(registered.size()));
  }
  CHECK(TPictureFormatRegistry::Instance().Find("x.jpe") != nullptr);
  const TPictureFormat* fxa = TPictureFormatRegistry::Instance().Find("x.FXA");
  REQUIRE(fxa != nullptr);
  CHECK(std::string(fxa->Create()->ClassName()) == "TSPIDIBImage");
  CHECK(PluginFirstFilters(spis).size() == 3);

  TSPIs* second = nullptr;
  CHECK_THROWS_WITH_AS(second = new TSPIs(), "TSPIs は複数生成できません", ESPIDupCreateSPIs);
  delete second;
}

TEST_CASE("a file without the required entry points is named and skipped; the search goes on") {
  TTempDir dir;
  CopyFixture(L"fxnoentry", dir.Path());
  CopyFixture(L"p1", dir.Path());
  TSPIs spis;
  ConfigureMainWindowSPIs(spis);
  spis.Search(U(dir.Path()) + "\\*.spi");
  CHECK(Names(spis) == std::vector<std::string>{"p1.spi"});
  REQUIRE(spis.SkippedFiles.size() == 1);
  CHECK(spis.SkippedFiles[0].find("fxnoentry.spi\r") != std::string::npos);
  CHECK(spis.SkippedFiles[0].find("では使えないSusie Plugin APIです") != std::string::npos);
}

TEST_CASE("search folders: Susie's, the program's, the system's; never the current one alone") {
  TTempDir susie;
  TTempDir current;
  TTempDir app;
  CopyFixture(L"p1", susie.Path());
  CopyFixture(L"p2", current.Path());
  HKEY key = nullptr;
  REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Marovane\\Susie\\Plug-in", 0, nullptr, 0,
                          KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS);
  auto setPath = [&](const std::wstring& path) {
    RegSetValueExW(key, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
  };
  setPath(susie.Path());
  wchar_t saved[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, saved);
  SetCurrentDirectoryW(current.Path().c_str());
  {
    TSPIs spis;
    ConfigureMainWindowSPIs(spis);
    spis.AppFolder = U(app.Path());
    const std::vector<std::string> folders = spis.SearchFolders();
    REQUIRE(folders.size() == 4);
    CHECK(SameTextPath(folders[0], U(susie.Path()) + "\\"));
    CHECK(SameTextPath(folders[1], U(app.Path()) + "\\"));
    for (const std::string& folder : folders)
      CHECK_FALSE(SameTextPath(folder, U(current.Path()) + "\\"));
    spis.Loaded();
    // The plug-in planted in the current folder is not loaded.
    CHECK(Names(spis) == std::vector<std::string>{"p1.spi"});
  }
  setPath(current.Path());  // the current folder is the Susie folder, and the program's
  {
    TSPIs spis;
    ConfigureMainWindowSPIs(spis);
    spis.AppFolder = U(current.Path());
    spis.Loaded();
    CHECK(Names(spis) == std::vector<std::string>{"p2.spi"});  // one folder reached twice
  }
  CopyFixture(L"p2", susie.Path());  // the same file name in two folders
  setPath(susie.Path());
  {
    TSPIs spis;
    ConfigureMainWindowSPIs(spis);
    spis.AppFolder = U(current.Path());
    spis.Loaded();
    CHECK(Names(spis) == std::vector<std::string>{"p1.spi", "p2.spi", "p2.spi"});
  }
  RegDeleteValueW(key, L"Path");
  RegCloseKey(key);
  SetCurrentDirectoryW(saved);
}

TEST_CASE("candidates for a file: preferring plug-ins first, newest first") {
  TTempDir dir;
  TSPIs spis;
  ConfigureMainWindowSPIs(spis);
  for (const wchar_t* name : {L"p1", L"p2", L"p3"}) {
    CopyFixture(name, dir.Path());
    spis.Search(U(dir / (std::wstring(name) + L".spi")));
  }
  std::vector<std::string> order;
  for (TInSPI* spi : spis.GetInSPIs("C:\\x\\PHOTO.JPG"))
    order.push_back(ExtractFileNameOf(spi->FileName));
  CHECK(order == std::vector<std::string>{"p3.spi", "p1.spi", "p2.spi"});
}

TEST_CASE("decoding: MacBinary offsets, metrics, BMP output and the wrappers") {
  TTempDir dir;
  TTempDir plugins;
  CopyFixture(L"fxone", plugins.Path());
  CopyFixture(L"fxa", plugins.Path());
  TSPIs spis;
  ConfigureMainWindowSPIs(spis);
  spis.Search(U(plugins / L"fxone.spi"));
  spis.Search(U(plugins / L"fxa.spi"));
  const std::wstring log = dir / L"calls.log";
  SetEnvironmentVariableW(L"VESKO_FX_LOG", log.c_str());

  SUBCASE("each plug-in at offset 0, then 128, before the next") {
    WriteBytes(dir / L"mac.dat", std::string(128, 'J') + FxPicture(3, 2, 24));
    TSPIGraphic graphic;
    graphic.LoadFromFile(U(dir / L"mac.dat"));
    CHECK(ReadBytes(log) == "fxone JJJJJ\r\nfxone FXPIC\r\nfxa JJJJJ\r\nfxa FXPIC\r\n");
    CHECK(graphic.Width() == 3);
    spis.MacBinary = false;
    CHECK_THROWS_WITH_AS(graphic.LoadFromFile(U(dir / L"mac.dat")),
                         "Susie Plugins could not decode", EInvalidGraphic);
    CHECK(graphic.Empty());
  }
  SUBCASE("metrics of a 24-bit and a 1-bit picture") {
    WriteBytes(dir / L"rgb.fxa", FxPicture(5, 3, 24));
    TSPIGraphic rgb;
    rgb.LoadFromFile(U(dir / L"rgb.fxa"));
    CHECK(rgb.Width() == 5);
    CHECK(rgb.Height() == 3);
    CHECK(rgb.Palette().empty());
    TMemoryStream bmp;
    rgb.SaveToStream(bmp);
    CHECK(bmp.Bytes().size() == 14 + 40 + 16 * 3);

    WriteBytes(dir / L"mono.fxa", FxPicture(9, 2, 1));
    TSPIGraphic mono;
    mono.LoadFromFile(U(dir / L"mono.fxa"));
    CHECK(mono.Palette().size() == 2);
    TMemoryStream monoBmp;
    mono.SaveToStream(monoBmp);
    CHECK(monoBmp.Bytes().size() == 14 + 48 + 4 * 2);

    TSPIDIBImage dib;
    dib.LoadFromFile(U(dir / L"rgb.fxa"));
    TBitmap bitmap;
    bitmap.Assign(&dib);
    CHECK(bitmap.GetPixel(2, 1).Red == 20);
    CHECK(bitmap.GetPixel(2, 1).Green == 20);
    CHECK(bitmap.GetPixel(2, 1).Blue == 100);
    TSPIBitmap spiBitmap;
    spiBitmap.LoadFromFile(U(dir / L"mono.fxa"));
    CHECK(spiBitmap.PixelFormat() == TPixelFormat::pf1bit);
    CHECK(spiBitmap.GetPixel(4, 0).Red == 255);  // 0x0F: the right half of the first byte
  }
  SUBCASE("streams go to the plug-ins whole and come back to their position on failure") {
    TMemoryStream stream(std::vector<uint8_t>(0));
    const std::string picture = FxPicture(2, 2, 24);
    stream.Write(picture.data(), picture.size());
    stream.Seek(7);
    TSPIDIBImage dib;
    dib.LoadFromStreamWithName(stream, "p.fxa");
    CHECK(dib.Width() == 2);

    TMemoryStream junk(std::vector<uint8_t>(300, 'z'));
    junk.Seek(11);
    CHECK_THROWS_WITH_AS(dib.LoadFromStream(junk), "Susie Plugins could not decode",
                         EInvalidGraphic);
    CHECK(junk.Position() == 11);
    CHECK(dib.Width() == 2);
  }
  SUBCASE("a .bmp goes to the BMP reader first, and to the plug-ins when it cannot read it") {
    TDIBImage real;
    real.SetBitCount(24);
    real.SetWidth(4);
    real.SaveToFile(U(dir / L"real.bmp"));
    WriteBytes(dir / L"fake.bmp", FxPicture(6, 1, 24));
    DeleteFileW(log.c_str());
    TSPIDIBImage dib;
    dib.LoadFromFile(U(dir / L"real.bmp"));
    CHECK(dib.Width() == 4);
    CHECK_FALSE(Exists(log));  // no plug-in was asked
    dib.LoadFromFile(U(dir / L"fake.bmp"));
    CHECK(dib.Width() == 6);
  }
  SetEnvironmentVariableW(L"VESKO_FX_LOG", nullptr);
}

TEST_CASE("progress, aborts, failing plug-ins and bad handles") {
  TTempDir dir;
  TTempDir plugins;
  TSPIs spis;
  ConfigureMainWindowSPIs(spis);
  for (const wchar_t* name : {L"fxfail", L"fxshort", L"fxnull", L"fxprogress"}) {
    CopyFixture(name, plugins.Path());
    spis.Search(U(plugins / (std::wstring(name) + L".spi")));
  }
  WriteBytes(dir / L"pic.dat", FxPicture(4, 4, 24));

  std::vector<int> percents;
  std::vector<std::string> messages;
  TSPIDIBImage dib;
  dib.OnProgress = [&](TGraphic&, TProgressStage stage, uint8_t percent, bool, const TRect&,
                       const std::string& message) {
    if (stage == TProgressStage::psRunning && message.empty()) percents.push_back(percent);
    messages.push_back(message);
  };
  // The failing, short and null plug-ins are passed by; the progress plug-in decodes.
  dib.LoadFromFile(U(dir / L"pic.dat"));
  CHECK(dib.Width() == 4);
  CHECK(percents.front() == 2);
  CHECK(percents.back() == 99);
  CHECK(messages.front() == "Loading Graphic by Susie Plugin");
  CHECK(std::find(messages.begin(), messages.end(), "Loading by [fxprogress.spi]") !=
        messages.end());
  CHECK(messages.back() == "Loaded Graphic");

  // A handler that cancels stops the plug-in; nothing else decodes it.
  int reports = 0;
  dib.OnProgress = [&](TGraphic&, TProgressStage stage, uint8_t, bool, const TRect&,
                       const std::string& message) {
    if (stage == TProgressStage::psRunning && message.empty() && ++reports == 3) throw EAbort();
  };
  CHECK_THROWS_AS(dib.LoadFromFile(U(dir / L"pic.dat")), EInvalidGraphic);
  CHECK(reports == 3);
}

TEST_CASE("a decoded picture's pixels are taken over, and still work with a canvas") {
  TTempDir dir;
  TTempDir plugins;
  CopyFixture(L"fxa", plugins.Path());
  TSPIs spis;
  ConfigureMainWindowSPIs(spis);
  spis.Search(U(plugins / L"fxa.spi"));
  WriteBytes(dir / L"p.fxa", FxPicture(8, 4, 24));
  TSPIDIBImage dib;
  dib.LoadFromFile(U(dir / L"p.fxa"));
  CHECK(dib.Store().Pixels.Mapping() == nullptr);  // the plug-in's own block, not a copy
  {
    TDIBCanvas canvas(dib);
    SetPixel(canvas.Handle(), 0, 0, RGB(1, 2, 3));
  }
  CHECK(dib.Store().Pixels.Mapping() != nullptr);
  TBitmap bitmap;
  bitmap.Assign(&dib);
  CHECK(bitmap.GetPixel(0, 0).Red == 1);
  CHECK(bitmap.GetPixel(1, 0).Red == 10);
}

TEST_CASE(
    "a plug-in that faults is passed by like one that cannot decode, and never called again") {
  TTempDir dir;
  TTempDir plugins;
  TSPIs spis;
  ConfigureMainWindowSPIs(spis);
  // The faulting ones claim the extension, so they are asked first; the good one last.
  for (const wchar_t* name : {L"fxgood", L"fxfault2", L"fxfault3", L"fxfault4", L"fxfault1"}) {
    CopyFixture(name, plugins.Path());
  }
  spis.Search(U(plugins.Path()) + "\\*.spi");
  // A fault while its texts are read: the file is named and skipped like a foreign DLL.
  REQUIRE(spis.SkippedFiles.size() == 1);
  CHECK(spis.SkippedFiles[0].find("fxfault1.spi") != std::string::npos);
  REQUIRE(spis.Count() == 4);

  WriteBytes(dir / L"pic.fxq", FxPicture(4, 3, 24));
  const std::wstring log = dir / L"calls.log";
  SetEnvironmentVariableW(L"VESKO_FX_LOG", log.c_str());
  TSPIDIBImage dib;
  dib.LoadFromFile(U(dir / L"pic.fxq"));
  CHECK(dib.Width() == 4);
  std::vector<std::string> faulted;
  for (int i = 0; i < spis.Count(); ++i) {
    if (spis.Item(i).Faulted()) faulted.push_back(ExtractFileNameOf(spis.Item(i).FileName));
  }
  std::sort(faulted.begin(), faulted.end());
  CHECK(faulted == std::vector<std::string>{"fxfault2.spi", "fxfault3.spi", "fxfault4.spi"});

  // The next picture asks only the good plug-in.
  DeleteFileW(log.c_str());
  dib.LoadFromFile(U(dir / L"pic.fxq"));
  CHECK(dib.Width() == 4);
  CHECK(ReadBytes(log) == "fxgood FXPIC\r\n");
  SetEnvironmentVariableW(L"VESKO_FX_LOG", nullptr);
}

TEST_CASE("a Visual C++ or Delphi exception that leaves a plug-in is guarded like a fault") {
  TTempDir dir;
  for (const char how : {'C', 'D'}) {
    CAPTURE(how);
    const std::unique_ptr<TSPI> spi = CreateSPIByKind(U(FixtureFolder() + L"\\fxbad.spi"));
    REQUIRE(spi != nullptr);
    std::string bytes = FxPicture(4, 3, 24, "FXBD?");
    bytes[4] = how;
    WriteBytes(dir / L"pic.fxb", bytes);
    const std::string name = U(dir / L"pic.fxb");
    HLOCAL info = nullptr;
    HLOCAL pixels = nullptr;
    CHECK(spi->GetPicture(name.c_str(), 0, 0, &info, &pixels, nullptr, 0) ==
          SusieResult::kInternalError);
    CHECK(info == nullptr);
    CHECK(spi->Faulted());
  }
}

TEST_CASE("a colour table after a 108- or 124-byte header gives the picture's own colours") {
  TTempDir dir;
  TTempDir plugins;
  TSPIs spis;
  ConfigureMainWindowSPIs(spis);
  for (const wchar_t* name : {L"fxv4", L"fxv5"}) {
    CopyFixture(name, plugins.Path());
    spis.Search(U(plugins / (std::wstring(name) + L".spi")));
  }
  for (const wchar_t* name : {L"pic.fv4", L"pic.fv5"}) {
    CAPTURE(ToUtf8(name));
    // A one-bit picture: its palette is black and white, after the plug-in's long header.
    WriteBytes(dir / name, FxPicture(8, 2, 1));
    TSPIDIBImage dib;
    dib.LoadFromFile(U(dir / name));
    const std::vector<TRGBQuad> palette = dib.Palette();
    REQUIRE(palette.size() == 2);
    CHECK(palette[0] == TRGBQuad{0, 0, 0, 0});
    CHECK(palette[1] == TRGBQuad{255, 255, 255, 0});
  }
}

TEST_CASE(
    "the plug-in helper decodes in a process of its own; one that never returns costs a picture") {
  using plugin_wire::TKind;
  using plugin_wire::TMessage;
  const std::wstring fixtures = EnvPath(L"VESKO2_FIXTURE_SPI");
  TTempDir dir;
  WriteBytes(dir / L"pic.fxa", FxPicture(5, 3, 24));
  TPluginHelper helper(EnvPath(L"VESKO2_EXE"));
  std::string plugin;
  auto call = [&](TKind kind, const std::string& path = {}, int number = 0,
                  const std::function<bool(int, int)>& progress = nullptr, DWORD silence = 10000) {
    if (!path.empty()) plugin = path;
    TMessage m;
    m.Kind = kind;
    m.Plugin = plugin;
    m.Number = number;
    m.Source.FileName = U(dir / L"pic.fxa");
    return helper.Call(m, progress, silence);
  };
  // Prepared, a helper starts without waiting, and the first call finds it.
  helper.Prepare();
  const DWORD first = helper.ProcessId();
  CHECK(first != 0);
  CHECK(first != GetCurrentProcessId());
  CHECK(call(TKind::Load, U(fixtures + L"\\fxa.spi")).Text == "TInSPI");
  CHECK(helper.ProcessId() == first);
  helper.Prepare();  // one runs already
  CHECK(helper.ProcessId() == first);
  const TMessage version = call(TKind::PluginInfo, {}, 0);
  CHECK(std::string(version.Data.begin(), version.Data.end()) == "00IN");
  TMessage supported;
  supported.Kind = TKind::IsSupported;
  supported.Plugin = plugin;
  supported.Text = U(dir / L"pic.fxa");
  const std::string head = FxPicture(5, 3, 24);
  supported.Data.assign(head.begin(), head.end());
  CHECK(helper.Call(supported, nullptr, 10000).Number == 1);

  // The pixels through the helper's section are the plug-in's own, as decoded here: a small
  // picture, and one large enough to be copied by two threads each way.
  for (const int scale : {1, 400}) {
    CAPTURE(scale);
    WriteBytes(dir / L"pic.fxa", FxPicture(5 * scale, 3 * scale, 24));
    const TMessage picture = call(TKind::Picture);
    REQUIRE(picture.Number == SusieResult::kSuccess);
    REQUIRE(picture.Data.size() >= sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header{};
    std::memcpy(&header, picture.Data.data(), sizeof header);
    CHECK(header.biWidth == 5 * scale);
    CHECK(header.biHeight == 3 * scale);
    const std::vector<uint8_t> pixels = helper.Pixels(picture);
    const std::unique_ptr<TSPI> here = CreateSPIByKind(U(fixtures + L"\\fxa.spi"));
    REQUIRE(here != nullptr);
    HLOCAL info = nullptr;
    HLOCAL bits = nullptr;
    const std::string name = U(dir / L"pic.fxa");
    REQUIRE(here->GetPicture(name.c_str(), 0, 0, &info, &bits, nullptr, 0) == 0);
    const auto* own = static_cast<const uint8_t*>(LocalLock(bits));
    CHECK(std::vector<uint8_t>(own, own + LocalSize(bits)) == pixels);
    LocalUnlock(bits);
    LocalFree(bits);
    LocalFree(info);
  }
  WriteBytes(dir / L"pic.fxa", FxPicture(5, 3, 24));

  // A plug-in's steps in quick succession cost no round trip each (a large PNG reports 100):
  // the helper answers them itself and passes one on when the caller has heard nothing for a
  // while.
  CHECK(call(TKind::Load, U(fixtures + L"\\fxprogress.spi")).Number > 0);  // its entry points
  WriteBytes(dir / L"pic.fxa", FxPicture(5, 3, 24));
  int steps = 0;
  CHECK(call(TKind::Picture, {}, 0, [&](int, int) { return ++steps > 0; }).Number ==
        SusieResult::kSuccess);
  CHECK(steps <= 2);
  // A slow plug-in's progress reaches the caller, and its answer aborts.
  CHECK(call(TKind::Load, U(fixtures + L"\\fxbad.spi")).Number > 0);  // its entry points
  WriteBytes(dir / L"pic.fxa", FxPicture(5, 3, 24, "FXBDP"));
  steps = 0;
  CHECK(call(TKind::Picture, {}, 0, [&](int, int) { return ++steps < 2; }).Number ==
        SusieResult::kAborted);
  CHECK(steps == 2);
  // A call from inside a call's progress (a message handled while a picture loads) is refused
  // at once, and the outer call goes on.
  bool nestedRefused = false;
  CHECK(call(TKind::Picture, {}, 0, [&](int, int) {
          try {
            call(TKind::PluginInfo);
          } catch (const EHelperFailed&) {
            nestedRefused = true;
          }
          return true;
        }).Number == SusieResult::kSuccess);
  CHECK(nestedRefused);

  // A plug-in that never returns: the call fails after its silence, the helper is gone, and
  // the next call has a new one.
  CHECK(call(TKind::Load, U(fixtures + L"\\fxloop.spi")).Number > 0);  // its entry points
  const ULONGLONG before = GetTickCount64();
  CHECK_THROWS_AS(call(TKind::Picture, {}, 0, nullptr, 1000), EHelperFailed);
  CHECK(GetTickCount64() - before < 30000);  // it came back, and did not wait for the plug-in
  CHECK(helper.ProcessId() == 0);
  CHECK(call(TKind::Load, U(fixtures + L"\\fxfault4.spi")).Number > 0);  // its entry points
  CHECK(helper.ProcessId() != first);
  // A fault inside the plug-in: a failed picture, and the helper ends after its answer.
  WriteBytes(dir / L"pic.fxa", FxPicture(5, 3, 24, "FXPIC"));
  CHECK(call(TKind::Picture).Number == SusieResult::kInternalError);
  CHECK(call(TKind::Load, U(fixtures + L"\\fxa.spi")).Number > 0);  // its entry points
  CHECK(call(TKind::Picture).Number == SusieResult::kSuccess);
  // Stopped, the helper is gone.
  const DWORD last = helper.ProcessId();
  helper.Stop();
  THandle gone(OpenProcess(SYNCHRONIZE, FALSE, last));
  CHECK((!gone || WaitForSingleObject(gone.get(), 0) == WAIT_OBJECT_0));
}

namespace {

// What a window of the waiting thread saw of a message sent during a plug-in call.
struct TWaitWitness {
  int dispatched = 0;
  int waitDepth = 0;
} gWitness;

LRESULT CALLBACK WitnessProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER + 1) {
    ++gWitness.dispatched;
    gWitness.waitDepth = TPumpedWait::Depth();
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

double ThreadCpuSeconds() {
  FILETIME created{}, exited{}, kernel{}, user{};
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>(uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

}  // namespace

TEST_CASE("a plug-in call waits with the thread's messages going, and idles while it waits") {
  TTempDir dir;
  WriteBytes(dir / L"pic.fxa", FxPicture(5, 3, 24));
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = WitnessProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"Vesko2WaitWitness";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowW(L"Vesko2WaitWitness", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  REQUIRE(window != nullptr);
  TPluginHelper helper(EnvPath(L"VESKO2_EXE"));
  plugin_wire::TMessage load;
  load.Kind = plugin_wire::TKind::Load;
  load.Plugin = U(FixtureFolder() + L"\\fxloop.spi");
  REQUIRE(helper.Call(load, nullptr, 10000).Number > 0);
  TPumpedWait::SetEnabled(true);
  struct TRestore {
    HWND window;
    ~TRestore() {
      TPumpedWait::SetEnabled(false);
      DestroyWindow(window);
    }
  } restore{window};
  gWitness = {};
  // A message for now, and one left for after the wait.
  PostMessageW(window, WM_USER + 1, 0, 0);
  PostMessageW(window, kAfterWaitMessage, 0, 0);
  plugin_wire::TMessage picture;
  picture.Kind = plugin_wire::TKind::Picture;
  picture.Plugin = load.Plugin;
  picture.Source.FileName = U(dir / L"pic.fxa");
  const double cpu = ThreadCpuSeconds();
  const ULONGLONG started = GetTickCount64();
  CHECK_THROWS_AS(helper.Call(picture, nullptr, 1500), EHelperFailed);  // it never returns
  const double waited = static_cast<double>(GetTickCount64() - started) / 1000;
  const double busy = ThreadCpuSeconds() - cpu;
  MESSAGE("waited " << waited << " s, of it busy " << busy << " s");
  CHECK(gWitness.dispatched == 1);
  CHECK(gWitness.waitDepth == 1);
  CHECK(TPumpedWait::Depth() == 0);
  CHECK(busy < waited / 3);  // it slept, not spun over the message left for later
  MSG left{};
  CHECK(PeekMessageW(&left, window, kAfterWaitMessage, kAfterWaitMessage, PM_REMOVE));
}

TEST_CASE("with a helper, plug-ins load there: one that never returns is passed by, then left") {
  TTempDir dir;
  TTempDir plugins;
  for (const wchar_t* name : {L"fxgood", L"fxloop"}) CopyFixture(name, plugins.Path());
  TPluginHelper helper(EnvPath(L"VESKO2_EXE"));
  TSPI::Helper = &helper;
  TSPI::HelperSilenceMs = 1000;
  struct TRestore {
    ~TRestore() {
      TSPI::Helper = nullptr;
      TSPI::HelperSilenceMs = 10000;
    }
  } restore;
  TSPIs spis;
  ConfigureMainWindowSPIs(spis);
  spis.Search(U(plugins.Path()) + "\\*.spi");
  REQUIRE(spis.Count() == 2);
  for (int i = 0; i < spis.Count(); ++i) CHECK(spis.Item(i).Remote());
  // Nothing of them in this process.
  CHECK(GetModuleHandleW(L"fxloop.spi") == nullptr);
  CHECK(GetModuleHandleW(L"fxgood.spi") == nullptr);
  // The looping one claims .fxw and is asked first; after its silence the good one decodes.
  WriteBytes(dir / L"pic.fxw", FxPicture(4, 3, 24));
  const TSPI* looping = nullptr;
  for (int i = 0; i < spis.Count(); ++i)
    if (ExtractFileNameOf(spis.Item(i).FileName) == "fxloop.spi") looping = &spis.Item(i);
  REQUIRE(looping != nullptr);
  // One file it stalls on, met again and again, costs only that file; three different files,
  // and it is not asked again.
  for (const wchar_t* name :
       {L"pic.fxw", L"pic.fxw", L"pic.fxw", L"two.fxw", L"three.fxw", L"four.fxw"}) {
    CAPTURE(U(name));
    WriteBytes(dir / name, FxPicture(4, 3, 24));
    TSPIDIBImage dib;
    dib.LoadFromFile(U(dir / name));
    CHECK(dib.Width() == 4);
    CHECK(dib.Height() == 3);
    CHECK(looping->Faulted() ==
          (std::wstring(name) == L"three.fxw" || std::wstring(name) == L"four.fxw"));
  }
}

TEST_CASE("a helper that cannot start costs the pictures meanwhile, never the plug-in's strikes") {
  TTempDir dir;
  TTempDir plugins;
  TTempDir app;
  CopyFixture(L"fxa", plugins.Path());
  const std::wstring exe = app / L"Vesko2.exe";
  REQUIRE(CopyFileW(EnvPath(L"VESKO2_EXE").c_str(), exe.c_str(), FALSE));
  TPluginHelper helper(exe);
  TSPI::Helper = &helper;
  struct TRestore {
    ~TRestore() { TSPI::Helper = nullptr; }
  } restore;
  TSPIs spis;
  ConfigureMainWindowSPIs(spis);
  spis.Search(U(plugins.Path()) + "\\*.spi");
  REQUIRE(spis.Count() == 1);
  auto width = [&](const wchar_t* name) {
    WriteBytes(dir / name, FxPicture(5, 2, 24));
    TSPIDIBImage dib;
    try {
      dib.LoadFromFile(U(dir / name));
    } catch (const std::exception&) {
      return 0;
    }
    return dib.Width();
  };
  CHECK(width(L"first.fxa") == 5);
  // The program's file is gone for a while (an update replacing it): no helper can start.
  helper.StopIfIdle();
  const std::wstring away = app / L"away.exe";
  REQUIRE(MoveFileW(exe.c_str(), away.c_str()));
  for (const wchar_t* name : {L"a.fxa", L"b.fxa", L"c.fxa", L"d.fxa"}) {
    CAPTURE(U(name));
    CHECK(width(name) == 0);
  }
  CHECK_FALSE(spis.Item(0).Faulted());
  REQUIRE(MoveFileW(away.c_str(), exe.c_str()));
  CHECK(width(L"again.fxa") == 5);

  // A helper prepared at the start whose process never connects (another program under the
  // name) is ended by the idle check like any other.
  TPluginHelper silent(EnvPath(L"VESKO2_STRIPPED") + L"\\bare_window.exe");
  silent.IdleMs = 200;
  silent.Prepare();
  CHECK(silent.ProcessId() != 0);
  CHECK(PumpUntil([&] { return silent.ProcessId() == 0; }, 20000));
}

TEST_CASE("what old plug-ins do on files they half understand costs that picture, never more") {
  // One plug-in, each misbehaviour a file of its own (the fifth byte of its magic says which);
  // the plug-in's good file and a picture of another plug-in decode after each.
  TTempDir dir;
  TTempDir plugins;
  for (const wchar_t* name : {L"fxbad", L"fxa"}) CopyFixture(name, plugins.Path());
  TPluginHelper helper(EnvPath(L"VESKO2_EXE"));
  TSPI::Helper = &helper;
  TSPI::HelperSilenceMs = 1500;
  struct TRestore {
    ~TRestore() {
      TSPI::Helper = nullptr;
      TSPI::HelperSilenceMs = 10000;
    }
  } restore;
  // Each a fresh session of the plug-ins.
  auto session = [&](TSPIs& spis) {
    ConfigureMainWindowSPIs(spis);
    spis.Search(U(plugins.Path()) + "\\*.spi");
    REQUIRE(spis.Count() == 2);
  };
  auto picture = [](char how) {
    std::string bytes = FxPicture(4, 3, 24, "FXBD?");
    bytes[4] = how;
    return bytes;
  };
  WriteBytes(dir / L"good.fxb", picture('N'));
  WriteBytes(dir / L"other.fxa", FxPicture(5, 2, 24));
  auto decodes = [&](const std::wstring& name, int width) {
    TSPIDIBImage dib;
    dib.LoadFromFile(U(dir / name));
    return dib.Width() == width;
  };
  struct TCase {
    char how;
    const char* what;
  };
  SUBCASE("each misbehaviour fails its file only") {
    for (const TCase& c :
         {TCase{'L', "never returns from GetPicture"}, TCase{'I', "never returns from IsSupported"},
          TCase{'C', "lets a Visual C++ exception escape"},
          TCase{'D', "lets a Delphi exception escape"},
          TCase{'H', "faults holding the process heap's lock"}, TCase{'X', "ends its process"},
          TCase{'G', "answers absurd sizes"}}) {
      CAPTURE(std::string(c.what));
      TSPIs spis;
      session(spis);
      const std::wstring name = std::wstring(L"bad-") + static_cast<wchar_t>(c.how) + L".fxb";
      WriteBytes(dir / name, picture(c.how));
      TSPIDIBImage dib;
      CHECK_THROWS(dib.LoadFromFile(U(dir / name)));
      CHECK(decodes(L"good.fxb", 4));
      CHECK(decodes(L"other.fxa", 5));
      for (int i = 0; i < spis.Count(); ++i) CHECK_FALSE(spis.Item(i).Faulted());
    }
  }
  SUBCASE("a plug-in's message box waits on the user, past the silence, and the picture comes") {
    TSPIs spis;
    session(spis);
    WriteBytes(dir / L"box.fxb", picture('M'));
    std::atomic<bool> answered{false};
    std::thread user([&] {
      HWND box = nullptr;
      // The box stays unanswered for twice the silence, then the user presses OK.
      for (int i = 0; i < 300 && box == nullptr; ++i) {
        if (helper.ProcessId() != 0) {
          const std::vector<HWND> boxes = ProcessBoxes(helper.ProcessId());
          if (!boxes.empty()) box = boxes.front();
        }
        if (box == nullptr) Sleep(100);
      }
      if (box == nullptr) return;
      Sleep(2 * TSPI::HelperSilenceMs);
      answered = true;
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    CHECK(decodes(L"box.fxb", 4));
    user.join();
    CHECK(answered);
  }
  SUBCASE("a plug-in lost in its own format costs one deadline and one strike a file") {
    TSPIs spis;
    session(spis);
    const std::wstring log = dir / L"calls.log";
    SetEnvironmentVariableW(L"VESKO_FX_LOG", log.c_str());
    struct TUnset {
      ~TUnset() { SetEnvironmentVariableW(L"VESKO_FX_LOG", nullptr); }
    } unset;
    const TSPI* bad = nullptr;
    for (int i = 0; i < spis.Count(); ++i)
      if (ExtractFileNameOf(spis.Item(i).FileName) == "fxbad.spi") bad = &spis.Item(i);
    REQUIRE(bad != nullptr);
    // Its magic again past a MacBinary header: the retry there is the same file.
    std::string bytes = picture('S');
    bytes.resize(128, '\0');
    bytes += picture('S');
    for (const wchar_t* name : {L"lost-1.fxb", L"lost-2.fxb", L"lost-3.fxb"}) {
      CAPTURE(U(name));
      DeleteFileW(log.c_str());
      WriteBytes(dir / name, bytes);
      TSPIDIBImage dib;
      CHECK_THROWS(dib.LoadFromFile(U(dir / name)));
      // Asked for the picture's facts once; never for the picture after it stalled there.
      const std::string calls = ReadBytes(log);
      CHECK(calls.find("info") == calls.rfind("info"));
      CHECK(calls.find("picture") == std::string::npos);
      CHECK(bad->Faulted() == (std::wstring(name) == L"lost-3.fxb"));
    }
  }
  SUBCASE("a picture of 100 megapixels (over 256 MiB) comes whole through the helper") {
    TSPIs spis;
    session(spis);
    std::string header = FxPicture(0, 0, 24, "FXBDB");
    const int width = 10000;
    const int height = 10000;
    header[5] = static_cast<char>(width & 0xFF);
    header[6] = static_cast<char>(width >> 8);
    header[7] = static_cast<char>(height & 0xFF);
    header[8] = static_cast<char>(height >> 8);
    WriteBytes(dir / L"big.fxb", header);
    TSPIDIBImage dib;
    dib.LoadFromFile(U(dir / L"big.fxb"));
    CHECK(dib.Width() == width);
    CHECK(dib.Height() == height);
  }
  SUBCASE("a file a plug-in left open can be deleted once the helper is idle") {
    TSPIs spis;
    session(spis);
    WriteBytes(dir / L"kept.fxb", picture('K'));
    CHECK(decodes(L"kept.fxb", 4));
    CHECK_FALSE(DeleteFileW((dir / L"kept.fxb").c_str()));  // the plug-in holds it
    helper.StopIfIdle();
    CHECK(DeleteFileW((dir / L"kept.fxb").c_str()));
    CHECK(decodes(L"good.fxb", 4));
  }
  SUBCASE("an idle helper ends by itself, and the next picture starts another") {
    TPluginHelper idle(EnvPath(L"VESKO2_EXE"));
    idle.IdleMs = 400;
    TSPI::Helper = &idle;
    TSPIs spis;
    session(spis);
    CHECK(decodes(L"good.fxb", 4));
    const DWORD first = idle.ProcessId();
    REQUIRE(first != 0);
    THandle process(OpenProcess(SYNCHRONIZE, FALSE, first));
    REQUIRE(process);
    CHECK(WaitForSingleObject(process.get(), 30000) == WAIT_OBJECT_0);
    CHECK(decodes(L"good.fxb", 4));
    CHECK(idle.ProcessId() != first);
    TSPI::Helper = &helper;
  }
}
