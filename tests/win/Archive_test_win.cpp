// Archive access with real libraries under Wine: our UNZIP32.DLL beside the program, pictures
// inside ZIP archives through archive-link files, and the paths without a library.
#include <doctest/doctest.h>

#include "../support/Fakes.h"
#include "TestSupport_win.h"
#include "base/Exception.h"
#include "base/PumpedWait_win.h"
#include "base/Unicode_win.h"
#include "decode/PluginHelper_win.h"
#include "decode/SPI_win.h"
#include "engine/PictureLoader_win.h"
#include "files/ArchiveFile_win.h"
#include "tests/files/ZipWriter.h"

namespace {

struct ArchiveFixture {
  TTempDir dir;
  TScriptedDialogs dialogs;
  TRecordingBusy busy;
  TPictureLoader loader{busy, dialogs};

  ArchiveFixture() {
    SetDllDirectoryW(EnvPath(L"VESKO2_PLUGIN_DIR").c_str());
    loader.CreateArchiveExtractor = [] { return std::make_unique<TArchiveExtractor>(nullptr); };
  }
  ~ArchiveFixture() {
    ReleaseAllArchivers();
    SetDllDirectoryW(nullptr);
  }
  std::string Link(const std::wstring& name, const std::string& archive, const std::string& member,
                   size_t size) {
    WriteBytes(dir / name,
               Utf8ToAnsi(archive + "\r\n" + member + "\r\n" + std::to_string(size) + "\r\n"));
    return ToUtf8(dir / name);
  }
};

// The program gives a waiting call up, as when it is closed meanwhile.
void CALLBACK GiveUpWait(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  TPumpedWait::Cancel();
}

}  // namespace

TEST_CASE("pictures inside a ZIP load through archive links with our library") {
  ArchiveFixture f;
  const std::string red = MakeTestBmp(12, 8, 255, 0, 0);
  const std::string blue = MakeTestBmp(7, 5, 0, 0, 255);
  TTestZip zip;
  zip.members = {{"stored/red.bmp", red, false, false},
                 {"deflated/blue.bmp", blue, true, false},
                 {"[x]/red.bmp", red, true, false},
                 {"壁紙/海.bmp", blue, true, true},
                 {Utf8ToAnsi("写真/赤.bmp"), red, true, false}};
  WriteBytes(f.dir / L"pics.zip", zip.Build());
  const std::string archive = ToUtf8(f.dir / L"pics.zip");
  struct Case {
    const wchar_t* link;
    std::string member;
    std::string bytes;
    int width;
  };
  const Case cases[] = {{L"1.ArcLink", "stored\\red.bmp", red, 12},
                        {L"2.ArcLink", "deflated\\blue.bmp", blue, 7},
                        {L"3.ArcLink", "[x]\\red.bmp", red, 12},
                        {L"4.ArcLink", "壁紙\\海.bmp", blue, 7},
                        {L"5.ArcLink", "写真\\赤.bmp", red, 12}};
  for (const Case& c : cases) {
    CAPTURE(c.member);
    TPicture image;
    f.loader.LoadArcLink(f.Link(c.link, archive, c.member, c.bytes.size()), image);
    REQUIRE(image.Bitmap() != nullptr);
    CHECK(image.Width() == c.width);
  }
  CHECK(f.dialogs.messages.empty());

  // The command line the ZIP library got for the name with "[".
  TArchiveFile file;
  file.SetFileName(archive);
  file.Options.Num("n") = 1;
  file.Options.Num("jso") = 1;
  std::vector<uint8_t> buffer(red.size() + 1024);
  size_t written = 0;
  CHECK(file.ExtractMem(nullptr, nullptr, "[x]\\red.bmp", buffer.data(), red.size(), written) == 0);
  CHECK(written == red.size());
  CHECK(file.LastCommandLine().find("\"[[]x]/red.bmp\"") != std::string::npos);

  // A member larger than the link says is cut there: never past the buffer.
  TPicture cut;
  f.loader.LoadArcLink(f.Link(L"6.ArcLink", archive, "stored\\red.bmp", 10), cut);
  CHECK(cut.Empty());

  // A self-extracting name: the content probe finds the ZIP.
  CopyFileW((f.dir / L"pics.zip").c_str(), (f.dir / L"pics.exe").c_str(), FALSE);
  TArchiveFile sfx;
  sfx.SetFileName(ToUtf8(f.dir / L"pics.exe"));
  CHECK(sfx.ArchiverType() == TArchiverType::atZip);
}

TEST_CASE("a JPEG inside a ZIP loads through the built-in reader, shrinkable as it streams") {
  ArchiveFixture f;
  std::vector<uint8_t> row(3 * 64, 0);
  for (size_t i = 0; i < row.size(); i += 3) row[i + 2] = 250;  // red, as BGR
  const std::string jpeg = MakeTestJpeg(64, 40, row, 92);
  REQUIRE_FALSE(jpeg.empty());
  TTestZip zip;
  zip.members = {{"photos/red.jpg", jpeg, true, false},
                 {"photos/nothing.jpg", std::string(700, 'z'), false, false}};
  WriteBytes(f.dir / L"photos.zip", zip.Build());
  const std::string archive = ToUtf8(f.dir / L"photos.zip");

  TPicture image;
  f.loader.LoadArcLink(f.Link(L"red.ArcLink", archive, "photos\\red.jpg", jpeg.size()), image);
  REQUIRE_FALSE(image.Empty());
  CHECK(image.Width() == 64);
  CHECK(image.Height() == 40);
  image.Realize();
  REQUIRE(image.Bitmap() != nullptr);
  const uint8_t* pixel = image.Bitmap()->ScanLine(20) + 3 * 30;
  CHECK(pixel[2] > 230);  // red
  CHECK(pixel[1] < 25);

  // Not a picture at all: the holder stays empty, nothing is said.
  TPicture none;
  f.loader.LoadArcLink(f.Link(L"z.ArcLink", archive, "photos\\nothing.jpg", 700), none);
  CHECK(none.Empty());
  CHECK(f.dialogs.messages.empty());
}

TEST_CASE("progress and member events reach their handlers, and either can stop extraction") {
  ArchiveFixture f;
  const std::string red = MakeTestBmp(12, 8, 255, 0, 0);
  TTestZip zip;
  zip.members = {{"red.bmp", red, true, false}};
  WriteBytes(f.dir / L"pics.zip", zip.Build());
  std::vector<uint8_t> buffer(red.size() + 1024);
  size_t written = 0;

  TArchiveFile file;
  file.SetFileName(ToUtf8(f.dir / L"pics.zip"));
  std::vector<int> states;
  int members = 0;
  file.OnProgress = [&](TArchiveFile& sender, int state, const void* info, bool&) {
    CHECK(&sender == &file);
    CHECK(info != nullptr);
    states.push_back(state);
  };
  file.OnEnumMember = [&](TArchiveFile&, void* info, bool&) { members += info != nullptr; };
  CHECK(file.ExtractMem(nullptr, nullptr, "red.bmp", buffer.data(), red.size(), written) == 0);
  CHECK(written == red.size());
  CHECK(states == std::vector<int>{0, 1, 2});
  CHECK(members == 1);
  // With an owner window the library is told to stay quiet itself.
  CHECK(file.LastCommandLine().find("--i") != std::string::npos);

  // The library's owner window and enumeration procedure are taken back after each call:
  // a component without handlers gets no events and no "--i".
  TArchiveFile plain;
  plain.SetFileName(ToUtf8(f.dir / L"pics.zip"));
  states.clear();
  CHECK(plain.ExtractMem(nullptr, nullptr, "red.bmp", buffer.data(), red.size(), written) == 0);
  CHECK(states.empty());
  CHECK(plain.LastCommandLine().find("--i") == std::string::npos);

  file.OnEnumMember = [](TArchiveFile&, void*, bool& abort) { abort = true; };
  CHECK(file.ExtractMem(nullptr, nullptr, "red.bmp", buffer.data(), red.size(), written) != 0);
  CHECK(written == 0);

  file.OnEnumMember = nullptr;
  file.OnProgress = [](TArchiveFile&, int, const void*, bool& abort) { abort = true; };
  CHECK(file.ExtractMem(nullptr, nullptr, "red.bmp", buffer.data(), red.size(), written) != 0);
  CHECK(written == 0);

  // A handler's exception never crosses the library: extraction stops, and it arrives here.
  file.OnProgress = [](TArchiveFile&, int, const void*, bool&) { throw EAbort(); };
  CHECK_THROWS_AS(file.ExtractMem(nullptr, nullptr, "red.bmp", buffer.data(), red.size(), written),
                  EAbort);
  file.OnProgress = nullptr;
  file.OnEnumMember = [](TArchiveFile&, void*, bool&) { throw EArchiver("stop"); };
  CHECK_THROWS_WITH_AS(
      file.ExtractMem(nullptr, nullptr, "red.bmp", buffer.data(), red.size(), written), "stop",
      EArchiver);
  file.OnEnumMember = nullptr;
  CHECK(file.ExtractMem(nullptr, nullptr, "red.bmp", buffer.data(), red.size(), written) == 0);
}

TEST_CASE("without a library, and for names no library takes, the messages say so") {
  ArchiveFixture f;
  TArchiveFile arj;
  CHECK_THROWS_WITH_AS(arj.SetFileName("C:\\a.arj"), "書庫の形式を特定できませんでした。",
                       EArchiver);
  TArchiveFile lha;
  CHECK_THROWS_WITH_AS(lha.SetFileName("C:\\a.lzh"),
                       "LHA 形式書庫 を扱うには UNLHA32.DLL が 必要です。", ENoArchiverDLL);
  TArchiveFile none;
  none.SetFileName("C:\\a.txt");
  size_t written = 0;
  uint8_t byte = 0;
  CHECK_THROWS_WITH_AS(none.ExtractMem(nullptr, nullptr, "m", &byte, 1, written),
                       "書庫の形式を判別できません。", EArchiver);

  // The ZIP library missing: extraction fails, picture loading says its own words.
  ReleaseAllArchivers();
  TTempDir empty;
  SetDllDirectoryW(empty.Path().c_str());
  WriteBytes(f.dir / L"pics.zip", TTestZip{}.Build());
  TPicture image;
  f.loader.LoadArcLink(f.Link(L"x.ArcLink", ToUtf8(f.dir / L"pics.zip"), "a.bmp", 10), image);
  CHECK(image.Empty());
  CHECK(f.dialogs.messages == std::vector<std::string>{"予期したかもしれないエラー"});
  TArchiveFile zip;
  zip.SetFileName(ToUtf8(f.dir / L"pics.zip"));
  CHECK_THROWS_WITH_AS(zip.ExtractMem(nullptr, nullptr, "a.bmp", &byte, 1, written),
                       "ExtractMem のエントリが DLL に見つかりませんでした。", EEntryNotFound);
}

TEST_CASE("archiver libraries run in the helper: one that stalls, faults or ends costs a picture") {
  // The helper is the program beside our UNZIP32.DLL and a stand-in UNLHA32.DLL that
  // misbehaves for members named so; nothing of either is loaded into this process.
  ArchiveFixture f;
  TTempDir app;
  REQUIRE(CopyFileW(EnvPath(L"VESKO2_EXE").c_str(), (app / L"Vesko2.exe").c_str(), FALSE));
  REQUIRE(CopyFileW((EnvPath(L"VESKO2_PLUGIN_DIR") + L"\\UNZIP32.DLL").c_str(),
                    (app / L"UNZIP32.DLL").c_str(), FALSE));
  REQUIRE(CopyFileW((EnvPath(L"VESKO2_FIXTURE_SPI") + L"\\..\\fixture-arc\\UNLHA32.DLL").c_str(),
                    (app / L"UNLHA32.DLL").c_str(), FALSE));
  TPluginHelper helper(app / L"Vesko2.exe");
  TArchiveExtractor::Helper = &helper;
  TSPI::HelperSilenceMs = 1500;
  struct TRestore {
    ~TRestore() {
      TArchiveExtractor::Helper = nullptr;
      TSPI::HelperSilenceMs = 10000;
    }
  } restore;
  ReleaseAllArchivers();
  const std::string red = MakeTestBmp(12, 8, 255, 0, 0);
  TTestZip zip;
  zip.members = {{"deflated/red.bmp", red, true, false}};
  WriteBytes(f.dir / L"pics.zip", zip.Build());
  WriteBytes(f.dir / L"pics.lzh", "-lh5-");
  const std::string zipArchive = ToUtf8(f.dir / L"pics.zip");
  const std::string lzhArchive = ToUtf8(f.dir / L"pics.lzh");
  auto load = [&](const std::string& archive, const std::string& member, size_t size) {
    TPicture image;
    f.loader.LoadArcLink(f.Link(L"x.ArcLink", archive, member, size), image);
    return image.Empty() ? 0 : image.Width();
  };
  CHECK(load(zipArchive, "deflated\\red.bmp", red.size()) == 12);
  CHECK(load(lzhArchive, "good.bmp", 70) == 2);
  const DWORD first = helper.ProcessId();
  CHECK(first != 0);
  // A wait the program gives up (it is closing) says nothing about the picture and costs the
  // library no strike.
  TPumpedWait::SetEnabled(true);
  SetTimer(nullptr, 0, 300, GiveUpWait);
  f.dialogs.messages.clear();
  CHECK(load(lzhArchive, "loop-given-up.bmp", 70) == 0);
  CHECK(f.dialogs.messages.empty());
  TPumpedWait::Resume();
  TPumpedWait::SetEnabled(false);
  // Each misbehaviour fails its member only, and the next picture has a helper again; after
  // three members it stalled, faulted or ended on, the family is not asked again this session.
  for (const char* member : {"loop.bmp", "fault.bmp", "loop.bmp", "exit.bmp"}) {
    CAPTURE(member);
    f.dialogs.messages.clear();
    CHECK(load(lzhArchive, member, 70) == 0);
    CHECK(f.dialogs.messages == std::vector<std::string>{"予期したかもしれないエラー"});
    CHECK(load(lzhArchive, "good.bmp", 70) == (std::string(member) == "exit.bmp" ? 0 : 2));
    CHECK(load(zipArchive, "deflated\\red.bmp", red.size()) == 12);
  }
  CHECK(helper.ProcessId() != first);
  CHECK(GetModuleHandleW(L"UNLHA32.DLL") == nullptr);
  CHECK(GetModuleHandleW(L"UNZIP32.DLL") == nullptr);
  const DWORD before = helper.ProcessId();
  CHECK(load(lzhArchive, "loop-again.bmp", 70) == 0);
  CHECK(helper.ProcessId() == before);  // not called: no helper was ended over it
  ReleaseAllArchivers();                // a new session of the libraries asks the family again
  CHECK(load(lzhArchive, "good.bmp", 70) == 2);
  CHECK(load(zipArchive, "deflated\\red.bmp", red.size()) == 12);
}

TEST_CASE(
    "an archiver DLL on PATH is found as before the search was restricted; the current "
    "folder's is not") {
  // The helper is the program with our UNZIP32.DLL beside it; the stand-in UNLHA32.DLL lies in
  // a tools folder named on PATH, as archiver installers put it, or only in the current folder.
  ArchiveFixture f;
  TTempDir app;
  TTempDir tools;
  TTempDir current;
  REQUIRE(CopyFileW(EnvPath(L"VESKO2_EXE").c_str(), (app / L"Vesko2.exe").c_str(), FALSE));
  REQUIRE(CopyFileW((EnvPath(L"VESKO2_PLUGIN_DIR") + L"\\UNZIP32.DLL").c_str(),
                    (app / L"UNZIP32.DLL").c_str(), FALSE));
  const std::wstring lha = EnvPath(L"VESKO2_FIXTURE_SPI") + L"\\..\\fixture-arc\\UNLHA32.DLL";
  REQUIRE(CopyFileW(lha.c_str(), (tools / L"UNLHA32.DLL").c_str(), FALSE));
  REQUIRE(CopyFileW(lha.c_str(), (current / L"UNLHA32.DLL").c_str(), FALSE));
  wchar_t oldPath[32767] = {};
  GetEnvironmentVariableW(L"PATH", oldPath, 32767);
  wchar_t oldCurrent[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, oldCurrent);
  struct TRestore {
    const wchar_t* path;
    const wchar_t* current;
    ~TRestore() {
      SetEnvironmentVariableW(L"PATH", path);
      SetCurrentDirectoryW(current);
      TArchiveExtractor::Helper = nullptr;
    }
  } restore{oldPath, oldCurrent};
  WriteBytes(f.dir / L"pics.lzh", "-lh5-");
  const std::string lzhArchive = ToUtf8(f.dir / L"pics.lzh");
  auto load = [&](const std::wstring& path) {
    SetEnvironmentVariableW(L"PATH", path.c_str());
    SetCurrentDirectoryW(current.Path().c_str());
    ReleaseAllArchivers();
    TPluginHelper helper(app / L"Vesko2.exe");  // a new one, with this PATH
    TArchiveExtractor::Helper = &helper;
    TPicture image;
    f.loader.LoadArcLink(f.Link(L"x.ArcLink", lzhArchive, "good.bmp", 70), image);
    TArchiveExtractor::Helper = nullptr;
    return image.Empty() ? 0 : image.Width();
  };
  CHECK(load(tools.Path() + L";" + oldPath) == 2);
  CHECK(load(oldPath) == 0);  // only in the current folder: never taken
}
