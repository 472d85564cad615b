// Text conversion, whole-file I/O and the folder scan against the real (Wine) Windows.
#include <doctest/doctest.h>

#include <thread>
#include <vector>

#include "TestSupport_win.h"
#include "app/Settings.h"
#include "base/Exception.h"
#include "base/FileIO_win.h"
#include "base/Unicode_win.h"
#include "engine/FileSystem_win.h"
#include "engine/ListFile.h"
#include "engine/PictureList.h"

TEST_CASE("the ANSI code page is Shift-JIS and conversions are exact") {
  REQUIRE(GetACP() == 932);
  CHECK(Utf8ToAnsi("壁紙") == "\x95\xc7\x8e\x86");
  CHECK(AnsiToUtf8("\x95\xc7\x8e\x86") == "壁紙");
  CHECK(AnsiToUtf8("\x95\x5c") == "表");  // a trail byte that looks like "\"
  bool lossy = false;
  Utf8ToAnsi("😀", &lossy);
  CHECK(lossy);
  Utf8ToAnsi("C:\\写真", &lossy);
  CHECK_FALSE(lossy);
  CHECK(Utf8ToAnsi("café", &lossy) != "cafe");  // never a best-fit look-alike
  CHECK(lossy);
  CHECK(ToUtf8(ToWide("ＭＳ Ｐゴシック")) == "ＭＳ Ｐゴシック");
  // Cutting to a number of ANSI bytes never splits a character.
  CHECK(TruncateForAnsi("Vesko 2 - 壁紙.jpg", 11) == "Vesko 2 - ");  // 壁 would need 12
  CHECK(TruncateForAnsi("Vesko 2 - 壁紙.jpg", 13) == "Vesko 2 - 壁");
  CHECK(TruncateForAnsi("Vesko 2 - 壁紙.jpg", 12) == "Vesko 2 - 壁");
  CHECK(TruncateForAnsi("abc", 63) == "abc");
  // Invalid Shift-JIS still converts to something valid.
  CHECK_FALSE(AnsiToUtf8("\x81\xff\x82").empty());
}

TEST_CASE("atomic writes replace whole files and never leave a broken one") {
  TTempDir dir;
  const std::string path = ToUtf8(dir / L"設定.ini");
  WriteFileAtomically(path, "first");
  CHECK(ReadWholeFile(path) == "first");
  WriteFileAtomically(path, "second, longer");
  CHECK(ReadWholeFile(path) == "second, longer");

  // Another program holds the file without sharing: the rename fails, the old text stays and
  // no temporary file is left behind.
  HANDLE held =
      CreateFileW(ToWide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  REQUIRE(held != INVALID_HANDLE_VALUE);
  CHECK_THROWS_AS(WriteFileAtomically(path, "third"), EFCreateError);
  CloseHandle(held);
  CHECK(ReadWholeFile(path) == "second, longer");
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((dir.Path() + L"\\*").c_str(), &data);
  do {
    if (data.cFileName[0] != L'.') names.emplace_back(data.cFileName);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  CHECK(names == std::vector<std::wstring>{L"設定.ini"});

  // A reader that holds the file a moment (the desktop drawing the wallpaper, a virus scanner)
  // only delays the write.
  held = CreateFileW(ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, 0, nullptr);
  REQUIRE(held != INVALID_HANDLE_VALUE);
  std::thread reader([held] {
    Sleep(100);
    CloseHandle(held);
  });
  CHECK_NOTHROW(WriteFileAtomically(path, "fourth"));
  reader.join();
  CHECK(ReadWholeFile(path) == "fourth");

  CHECK_THROWS_AS(WriteFileAtomically(ToUtf8(dir / L"no\\such\\dir.ini"), "x"), EFCreateError);
  try {
    ReadWholeFile(ToUtf8(dir / L"missing.V2List"));
    FAIL("no error");
  } catch (const EFOpenError& error) {
    CHECK(std::string(error.what()).find("missing.V2List") != std::string::npos);
  }
}

TEST_CASE("list files on disk are Shift-JIS with CR LF") {
  TTempDir dir;
  TWinFileSystem files;
  const std::string path = ToUtf8(dir / L"一覧.V2List");
  const std::vector<std::string> lines{"C:\\壁紙\\表.jpg", "", "D:\\x.lnk", "E:\\a.ArcLink"};
  files.WriteListFile(path, lines);
  CHECK(ReadWholeFile(path) ==
        "C:\\\x95\xc7\x8e\x86\\\x95\x5c.jpg\r\n\r\nD:\\x.lnk\r\nE:\\a.ArcLink\r\n");
  CHECK(files.ReadListFile(path) == lines);

  // A line Shift-JIS cannot hold: the file becomes UTF-8 after a byte-order mark, and reads
  // back whole.
  const std::vector<std::string> wide{"C:\\café\\한국.jpg", "C:\\壁紙\\表.jpg", "😀.png"};
  files.WriteListFile(path, wide);
  CHECK(ReadWholeFile(path) == "\xEF\xBB\xBF" + JoinListLines(wide));
  CHECK(files.ReadListFile(path) == wide);

  // UTF-8 without a byte-order mark, as Notepad and PowerShell write it, reads as UTF-8; a
  // Shift-JIS file as Shift-JIS.
  WriteBytes(dir / L"notepad.V2List", JoinListLines(wide));
  CHECK(files.ReadListFile(ToUtf8(dir / L"notepad.V2List")) == wide);
  WriteBytes(dir / L"sjis.V2List", Utf8ToAnsi(JoinListLines(lines)));
  CHECK(files.ReadListFile(ToUtf8(dir / L"sjis.V2List")) == lines);

  // A big list (400,000 entries, 20 MB) reads whole.
  std::string big;
  for (int i = 0; i < 400000; ++i) big += "C:\\pictures\\folder\\" + std::to_string(i) + ".jpg\r\n";
  WriteBytes(dir / L"big.V2List", big);
  const std::vector<std::string> bigLines = files.ReadListFile(ToUtf8(dir / L"big.V2List"));
  REQUIRE(bigLines.size() == 400000);
  CHECK(bigLines.back() == "C:\\pictures\\folder\\399999.jpg");

  // A binary file still reads as lines.
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 37) & 0xFF);
  WriteBytes(dir / L"binary.bin", binary);
  CHECK(!files.ReadListFile(ToUtf8(dir / L"binary.bin")).empty());
}

TEST_CASE("the folder scan matches a bare enumeration and the Japanese names") {
  TTempDir dir;
  const std::vector<std::wstring> names{L"b.jpg", L"写真.JPG", L"a.txt", L"c.jpeg", L"noext"};
  for (const auto& name : names) WriteBytes(dir / name, "x");
  CreateDirectoryW((dir / L"sub").c_str(), nullptr);
  WriteBytes(dir / L"sub\\d.bmp", "x");

  std::vector<std::string> expected;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((dir.Path() + L"\\*.*").c_str(), &data);
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L".." || name == L"sub") {
      if (name == L"sub") expected.push_back(ToUtf8(dir / L"sub\\d.bmp"));
      continue;
    }
    expected.push_back(ToUtf8(dir / name));
  } while (FindNextFileW(find, &data));
  FindClose(find);

  TWinFileSystem files;
  std::vector<std::string> scanned;
  ScanFolder(files, ToUtf8(dir.Path()), true, scanned);
  CHECK(scanned == expected);

  // A folder is known however it is reached; another folder is another.
  const std::string identity = files.FolderIdentity(ToUtf8(dir.Path()));
  CHECK_FALSE(identity.empty());
  CHECK(files.FolderIdentity(ToUtf8(dir / L"sub\\..\\")) == identity);
  CHECK(files.FolderIdentity(ToUtf8(dir / L"sub")) != identity);
  CHECK(files.FolderIdentity(ToUtf8(dir / L"missing")).empty());
}
