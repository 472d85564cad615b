// Picture loading under Wine: the JPEG fallback, empty files, shell shortcuts made with the real
// shell link object, the image size, archive links with a stand-in for the archive layer.
#include <doctest/doctest.h>

#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <tuple>

#include "../support/Fakes.h"
#include "TestSupport_win.h"
#include "app/PluginSetup_win.h"
#include "base/Stream.h"
#include "base/TextCase.h"
#include "base/Unicode_win.h"
#include "decode/DIBImage.h"
#include "decode/JPEGImage.h"
#include "decode/JpegCodec.h"
#include "decode/SPIs_win.h"
#include "engine/PictureFiles.h"
#include "engine/PictureLoader_win.h"

namespace {

std::string U(const std::wstring& s) {
  return ToUtf8(s);
}

std::string ExtractFileNameOf(const std::string& path) {
  return path.substr(path.rfind('\\') + 1);
}

std::string MakeJpeg(int width, int height) {
  std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
  for (int x = 0; x < width; ++x) {
    row[x * 3] = 200;  // blue
    row[x * 3 + 1] = static_cast<uint8_t>(x * 4);
    row[x * 3 + 2] = 30;
  }
  std::string jpeg = MakeTestJpeg(width, height, row, 95);
  REQUIRE_FALSE(jpeg.empty());
  return jpeg;
}

std::string MakeBmp(int width, int height) {
  TDIBImage dib;
  dib.SetBitCount(24);
  dib.SetWidth(width);
  dib.SetHeight(height);
  TMemoryStream stream;
  dib.SaveToStream(stream);
  return std::string(stream.Bytes().begin(), stream.Bytes().end());
}

void MakeShortcut(const std::wstring& link, const std::wstring& target) {
  IShellLinkW* shell = nullptr;
  REQUIRE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IShellLinkW, reinterpret_cast<void**>(&shell))));
  shell->SetPath(target.c_str());
  IPersistFile* file = nullptr;
  REQUIRE(SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
  REQUIRE(SUCCEEDED(file->Save(link.c_str(), TRUE)));
  file->Release();
  shell->Release();
}

class TFakeExtractor final : public IArchiveExtractor {
 public:
  explicit TFakeExtractor(std::string bytes, bool fail = false)
      : bytes_(std::move(bytes)), fail_(fail) {}
  void ExtractToMemory(const std::string& archive, const std::string& member, uint8_t* buffer,
                       size_t bufferSize, size_t dataSize) override {
    calls.push_back(archive + "|" + member + "|" + std::to_string(bufferSize) + "|" +
                    std::to_string(dataSize));
    if (fail_) throw Exception("archive broken");
    std::copy_n(bytes_.begin(), std::min(bytes_.size(), bufferSize), buffer);
  }
  static inline std::vector<std::string> calls;

 private:
  std::string bytes_;
  bool fail_;
};

}  // namespace

TEST_CASE("JPEG data behind a foreign header loads through the fallback; past 256 it does not") {
  TTempDir dir;
  const std::string jpeg = MakeJpeg(40, 20);
  WriteBytes(dir / L"mac.dat", std::string(128, '\x01') + jpeg);
  WriteBytes(dir / L"far.dat", std::string(300, '\x01') + jpeg);
  WriteBytes(dir / L"plain.jpg", jpeg);
  TBitmap bitmap;
  CHECK(LoadPictureAsBitmap(U(dir / L"mac.dat"), bitmap));
  CHECK(bitmap.Width() == 40);
  CHECK(bitmap.GetPixel(10, 5).Blue > 190);
  CHECK_FALSE(LoadPictureAsBitmap(U(dir / L"far.dat"), bitmap));
  CHECK(FindJpegStart(U(dir / L"mac.dat")) == 128);
  CHECK(FindJpegStart(U(dir / L"far.dat")) == -1);
  CHECK(FindJpegStart(U(dir / L"missing")) == -1);
  CHECK(LoadPictureAsBitmap(U(dir / L"plain.jpg"), bitmap));
  CHECK(bitmap.PixelFormat() == TPixelFormat::pf24bit);

  uint8_t tiny[3] = {0x00, 0xFF, 0xD8};
  CHECK(FindJpegStartIn(tiny, 3) == 1);
  CHECK(FindJpegStartIn(tiny, 2) == -1);  // too short for the read at offset 1
}

TEST_CASE(
    "BMP, JPEG and plug-in pictures all end as device bitmaps; empty files reach no decoder") {
  TTempDir dir;
  TTempDir plugins;
  const std::wstring folder = EnvPath(L"VESKO2_FIXTURE_SPI");
  REQUIRE(CopyFileW((folder + L"\\fxa.spi").c_str(), (plugins / L"fxa.spi").c_str(), FALSE));
  TSPIs spis;
  ConfigureMainWindowSPIs(spis);
  spis.Search(U(plugins / L"fxa.spi"));

  std::string fx = "FXPIC";
  fx += std::string("\x03\x00\x02\x00\x18", 5);
  fx += std::string(18, '\x7F');
  WriteBytes(dir / L"a.bmp", MakeBmp(7, 5));
  WriteBytes(dir / L"b.jpg", MakeJpeg(9, 4));
  WriteBytes(dir / L"c.fxa", fx);
  WriteBytes(dir / L"empty.fxa", "");
  WriteBytes(dir / L"broken.jpg", "\xFF\xD8 this is no picture at all, only text");

  TScriptedDialogs dialogs;
  TRecordingBusy busy;
  TPictureLoader loader(busy, dialogs);
  TPicture image;
  for (const auto& [name, w, h] : std::vector<std::tuple<std::wstring, int, int>>{
           {L"a.bmp", 7, 5}, {L"b.jpg", 9, 4}, {L"c.fxa", 3, 2}}) {
    CAPTURE(U(name));
    REQUIRE(loader.LoadPictureFile(U(dir / name), image));
    // A JPEG stays compressed until it is shrunk or realised.
    CHECK((dynamic_cast<const TJPEGImage*>(image.Graphic()) != nullptr) == (name == L"b.jpg"));
    image.Realize();
    REQUIRE(image.Bitmap() != nullptr);
    CHECK(loader.ImageSize.Width == w);
    CHECK(loader.ImageSize.Height == h);
  }

  const std::wstring log = dir / L"calls.log";
  SetEnvironmentVariableW(L"VESKO_FX_LOG", log.c_str());
  CHECK_FALSE(loader.LoadPictureFile(U(dir / L"empty.fxa"), image));
  CHECK_FALSE(Exists(log));  // no plug-in was asked
  SetEnvironmentVariableW(L"VESKO_FX_LOG", nullptr);
  CHECK(loader.ImageSize.Width == 0);  // a failed load of an existing file

  CHECK(loader.LoadPictureFile(U(dir / L"a.bmp"), image));
  CHECK_FALSE(loader.LoadPictureFile(U(dir / L"broken.jpg"), image));
  CHECK(loader.ImageSize.Width == 0);
  CHECK(image.Width() == 7);  // the holder keeps the last picture
  loader.ImageSize = TImageSize{1, 1};
  CHECK_FALSE(loader.LoadPictureFile(U(dir / L"missing.bmp"), image));
  CHECK(loader.ImageSize.Width == 1);  // a missing file changes nothing

  std::string date;
  std::string size;
  GetFileDateAndSize(U(dir / L"a.bmp"), date, size);
  CHECK(size == std::to_string(MakeBmp(7, 5).size()));
  CHECK(date.size() >= 14);
  GetFileDateAndSize(U(dir / L"missing.bmp"), date, size);
  CHECK(size == "0");
  CHECK(std::string(BoolToText(true)) == "True");
  CHECK(std::string(BoolToText(false)) == "False");
}

TEST_CASE("shell shortcuts resolve to their targets; a vanished target gives the stored path") {
  TTempDir dir;
  const std::wstring target = dir / L"長い名前の壁紙.bmp";
  WriteBytes(target, MakeBmp(2, 2));
  MakeShortcut(dir / L"pic.lnk", target);
  CHECK(ResolveShortcut(U(dir / L"pic.lnk")) == U(target));
  CHECK(GetLongFileName(U(dir / L"nowhere\\x.bmp")) == U(dir / L"nowhere\\x.bmp"));
  wchar_t shortName[MAX_PATH] = {};
  REQUIRE(GetShortPathNameW(target.c_str(), shortName, MAX_PATH) > 0);
  CHECK(GetLongFileName(U(shortName)) == U(target));

  MakeShortcut(dir / L"gone.lnk", dir / L"gone.bmp");
  WriteBytes(dir / L"gone.bmp", "x");
  MakeShortcut(dir / L"gone.lnk", dir / L"gone.bmp");
  DeleteFileW((dir / L"gone.bmp").c_str());
  const std::string stored = ResolveShortcut(U(dir / L"gone.lnk"));
  CHECK(SameText(ExtractFileNameOf(stored), "gone.bmp"));

  WriteBytes(dir / L"notalink.lnk", "garbage");
  CHECK(ResolveShortcut(U(dir / L"notalink.lnk")).empty());
  CHECK(ResolveShortcut(U(dir / L"missing.lnk")).empty());
}

TEST_CASE("archive links: their error paths and a member decoded from memory") {
  TTempDir dir;
  WriteBytes(dir / L"pics.zip", "not really an archive");
  const std::string bmp = MakeBmp(6, 3);
  auto link = [&](const std::wstring& name, const std::string& text) {
    WriteBytes(dir / name, Utf8ToAnsi(text));
    return U(dir / name);
  };
  const std::string archive = U(dir / L"pics.zip");
  TScriptedDialogs dialogs;
  TRecordingBusy busy;
  TPictureLoader loader(busy, dialogs);
  TPicture image;

  loader.LoadArcLink(link(L"two.ArcLink", archive + "\r\nwall.bmp\r\n"), image);
  CHECK(image.Empty());  // two lines: nothing happens
  loader.LoadArcLink(link(L"noarc.ArcLink", U(dir / L"missing.zip") + "\r\na.bmp\r\n10\r\n"),
                     image);
  CHECK(image.Empty());
  CHECK_THROWS_AS(loader.LoadArcLink(link(L"nan.ArcLink", archive + "\r\na.bmp\r\nten\r\n"), image),
                  EConvertError);
  CHECK_THROWS_AS(loader.LoadArcLink(U(dir / L"missing.ArcLink"), image), EFOpenError);

  loader.CreateArchiveExtractor = [&] { return std::make_unique<TFakeExtractor>(bmp); };
  TFakeExtractor::calls.clear();
  loader.LoadArcLink(link(L"ok.ArcLink", archive + "\r\n壁紙/wall.bmp\r\n" +
                                             std::to_string(bmp.size()) + "\r\nignored\r\n"),
                     image);
  REQUIRE(image.Bitmap() != nullptr);
  CHECK(image.Width() == 6);
  CHECK(TFakeExtractor::calls ==
        std::vector<std::string>{archive + "|壁紙/wall.bmp|" + std::to_string(bmp.size() + 1024) +
                                 "|" + std::to_string(bmp.size())});
  CHECK(busy.colors == std::vector<uint32_t>{255, 0xD2E4F4});
  CHECK(busy.titles == std::vector<std::string>{"Load PNG..", "Vesko 2"});

  loader.CreateArchiveExtractor = [&] { return std::make_unique<TFakeExtractor>("", true); };
  image.Clear();
  loader.LoadArcLink(U(dir / L"ok.ArcLink"), image);
  CHECK(image.Empty());
  CHECK(dialogs.messages == std::vector<std::string>{"予期したかもしれないエラー"});
  CHECK(busy.color == 0xD2E4F4);

  // An undecodable member: nothing is said and the holder stays as it was.
  loader.CreateArchiveExtractor = [&] { return std::make_unique<TFakeExtractor>("garbage"); };
  loader.LoadArcLink(U(dir / L"ok.ArcLink"), image);
  CHECK(image.Empty());
  CHECK(dialogs.messages.size() == 1);
}
