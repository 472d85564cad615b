#include <doctest/doctest.h>

#include <new>
#include <stdexcept>

#include "base/ColorText.h"
#include "base/ListBox.h"
#include "base/Path.h"
#include "base/TextCase.h"
#include "base/Utf8.h"
#include "base/WorkerThread.h"

TEST_CASE("case-insensitive comparison folds letters as Windows does") {
  CHECK(SameText("C:\\Pics\\A.JPG", "c:\\pics\\a.jpg"));
  CHECK(SameText("ÄÖÜé", "äöüÉ"));
  CHECK(SameText("ＡＢＣ", "ａｂｃ"));  // full-width Latin
  CHECK(SameText("Жёлтый", "ЖЁЛТЫЙ"));
  CHECK_FALSE(SameText("壁紙", "壁"));
  CHECK_FALSE(SameText("a", "a "));
  // Kana have no case: hiragana and katakana stay different.
  CHECK_FALSE(SameText("あ", "ア"));
  CHECK(CompareText("abc", "ABD") < 0);
  CHECK(CompareText("b", "A") > 0);
  CHECK(UpperCase("photo.jpeg") == "PHOTO.JPEG");
  CHECK(UpperCase("写真.jpg") == "写真.JPG");
  // Invalid UTF-8 survives unchanged and never equals a valid character.
  CHECK(UpperCase(std::string("\xff\x80z", 3)) == std::string("\xff\x80Z", 3));
  CHECK_FALSE(SameText(std::string("\xc3", 1), "Ã"));
}

TEST_CASE("path parts") {
  CHECK(ExtractFilePath("C:\\pics\\a.jpg") == "C:\\pics\\");
  CHECK(ExtractFileDir("C:\\pics\\a.jpg") == "C:\\pics");
  CHECK(ExtractFileDir("C:\\a.jpg") == "C:\\");  // a drive root keeps its separator
  CHECK(ExtractFileDir("\\\\server\\share\\a.jpg") == "\\\\server\\share");
  CHECK(ExtractFileDir("a.jpg").empty());
  CHECK(ExtractFileName("C:\\pics\\a.jpg") == "a.jpg");
  CHECK(ExtractFileExt("C:\\pics.old\\a.JPG") == ".JPG");
  CHECK(ExtractFileExt("C:\\pics.old\\README").empty());
  CHECK(ExtractFileExt("archive.tar.gz") == ".gz");
  CHECK(ChangeFileExt("C:\\vesko\\Vesko2.exe", ".ini") == "C:\\vesko\\Vesko2.ini");
  CHECK(ChangeFileExt("C:\\v.d\\Vesko2", ".mes") == "C:\\v.d\\Vesko2.mes");
  CHECK(IncludeTrailingPathDelimiter("C:\\pics") == "C:\\pics\\");
  CHECK(IncludeTrailingPathDelimiter("C:\\pics\\") == "C:\\pics\\");
  CHECK(ExcludeTrailingPathDelimiter("D:\\My pics\\") == "D:\\My pics");
  CHECK(ExcludeTrailingPathDelimiter("D:\\My pics\\\\") == "D:\\My pics");
  CHECK(ExcludeTrailingPathDelimiter("D:\\") == "D:\\");
  CHECK(ExcludeTrailingPathDelimiter("\\\\srv\\share\\") == "\\\\srv\\share\\");
  CHECK(ExcludeTrailingPathDelimiter("\\\\srv\\share\\pics\\") == "\\\\srv\\share\\pics");
}

TEST_CASE("UTF-8 without a byte-order mark is told from Shift-JIS") {
  const struct {
    std::string bytes;
    bool utf8;
  } cases[] = {
      {"C:\\壁紙\\花.jpg", true},
      {"café", true},
      {"\xF0\x9F\x98\x80", true},  // U+1F600
      {"壁紙\xE5\xA3", true},      // cut inside its last character by a size limit
      {"C:\\pics\\a.jpg", false},  // ASCII alone: the code page reads it the same
      {"", false},
      {"\x95\xc7\x8e\x86", false},          // 壁紙 in Shift-JIS
      {"\x95\x5c", false},                  // 表 in Shift-JIS
      {"\x83\x65\x83\x58\x83\x67", false},  // テスト in Shift-JIS
      {"\xC0\xAF", false},                  // an overlong "/"
      {"\xED\xA0\x80", false},              // a surrogate
      {"\xF4\x90\x80\x80", false},          // beyond U+10FFFF
      {"\xE5\xA3x", false},                 // a character broken inside the text
      {"\x80", false},
  };
  for (const auto& c : cases) {
    CAPTURE(c.bytes);
    CHECK(IsNonAsciiUtf8(c.bytes) == c.utf8);
  }
}

TEST_CASE("full paths in the system's form: separators, dots, repeated separators") {
  const struct {
    const char* path;
    const char* canonical;
  } cases[] = {
      {"C:\\pics\\a.jpg", "C:\\pics\\a.jpg"},
      {"C:/pics/a.jpg", "C:\\pics\\a.jpg"},
      {"c:\\Pics\\.\\A.jpg", "c:\\Pics\\A.jpg"},  // case stays
      {"C:\\pics\\sub\\..\\a.jpg", "C:\\pics\\a.jpg"},
      {"C:\\..\\..\\a.jpg", "C:\\a.jpg"},  // never above the root
      {"C:\\pics\\\\a.jpg", "C:\\pics\\a.jpg"},
      {"C:\\pics\\", "C:\\pics\\"},
      {"C:\\pics\\sub\\..", "C:\\pics"},
      {"C:\\pics\\.", "C:\\pics"},
      {"C:\\", "C:\\"},
      {"C:/", "C:\\"},
      {"\\\\srv\\share\\pics\\..\\a.jpg", "\\\\srv\\share\\a.jpg"},
      {"//srv/share/./a.jpg", "\\\\srv\\share\\a.jpg"},
      {"\\\\srv\\share\\..\\a.jpg", "\\\\srv\\share\\a.jpg"},  // the share is the root
      {"\\\\srv\\share", "\\\\srv\\share\\"},
      {"C:\\壁紙\\.\\花.jpg", "C:\\壁紙\\花.jpg"},
      // Not full: as it is.
      {"pics\\a.jpg", "pics\\a.jpg"},
      {"\\pics\\a.jpg", "\\pics\\a.jpg"},
      {"C:a.jpg", "C:a.jpg"},
      {"", ""},
  };
  for (const auto& c : cases) {
    CAPTURE(c.path);
    CHECK(CanonicalPath(c.path) == c.canonical);
  }
  CHECK(FullPathRootLength("C:\\x") == 3);
  CHECK(FullPathRootLength("\\\\srv\\share\\x") == 12);
  CHECK(FullPathRootLength("\\\\\\x") == 0);
  CHECK(FullPathRootLength("x:") == 0);
}

TEST_CASE("colours read back in both written forms") {
  CHECK(ColorToString(clWindowText) == "clWindowText");
  CHECK(ColorToString(0x0000FF) == "clRed");
  CHECK(ColorToString(0x123456) == "$00123456");
  TColor c = 0;
  REQUIRE(TryStringToColor("clwindowtext", c));
  CHECK(c == clWindowText);
  REQUIRE(TryStringToColor("$00123456", c));
  CHECK(c == 0x123456);
  REQUIRE(TryStringToColor("255", c));
  CHECK(c == 255);
  CHECK_FALSE(TryStringToColor("clNoSuchColour", c));
  for (const TColor value : {0, 0x00ABCDEF, static_cast<TColor>(0xFF00000F), 0x1FFFFFFF}) {
    REQUIRE(TryStringToColor(ColorToString(value), c));
    CHECK(c == value);
  }
}

TEST_CASE("hidden list box finds whole entries without regard to case") {
  TListBox box;
  box.Assign({"C:\\a.jpg", "C:\\B.JPG", "C:\\b.jpg"});
  CHECK(box.ItemIndex == -1);
  CHECK(box.Current().empty());
  CHECK(box.IndexOf("c:\\b.jpg") == 1);
  CHECK(box.IndexOf("C:\\b") == -1);
  box.ItemIndex = 2;
  CHECK(box.Current() == "C:\\b.jpg");
  box.Clear();
  CHECK(box.ItemIndex == -1);
}

TEST_CASE("an exception that ends a worker's work reaches the thread that joins it") {
  TWorkerThread failing([] { throw std::bad_alloc(); });
  CHECK_THROWS_AS(failing.Join(), std::bad_alloc);
  CHECK_FALSE(failing.Joinable());
  failing.Join();  // joined once: nothing more to wait for or throw
  int done = 0;
  {
    TWorkerThread fine([&] { done = 1; });
    fine.Join();
  }
  CHECK(done == 1);
  // Never joined: its destructor waits and drops the exception instead of ending the program.
  {
    TWorkerThread dropped([] { throw std::runtime_error("lost"); });
  }
}
