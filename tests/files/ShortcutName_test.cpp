#include "files/ShortcutName.h"

#include <doctest/doctest.h>

TEST_CASE("a shortcut's name: the picture's full file name, the suffix on request, .lnk") {
  CHECK(ShortcutLinkPath("D:\\links", "C:\\pics\\a.jpg", true) ==
        "D:\\links\\a.jpgへのショートカット.lnk");
  CHECK(ShortcutLinkPath("D:\\links\\", "C:\\pics\\a.jpg", false) == "D:\\links\\a.jpg.lnk");
  CHECK(ShortcutLinkPath("D:\\", "C:\\pics\\a.jpg", false) == "D:\\a.jpg.lnk");
  // A shortcut entry gets a shortcut to itself.
  CHECK(ShortcutLinkPath("D:\\l", "C:\\p\\b.bmp.lnk", false) == "D:\\l\\b.bmp.lnk.lnk");
}

TEST_CASE("a taken name: the target's folder, '-', and the link's name without .lnk") {
  CHECK(ProposeShortcutName("C:\\pics\\a.jpg", "D:\\links\\a.jpg.lnk") == "pics-a.jpg");
  CHECK(ProposeShortcutName("C:\\pics\\a.jpg", "D:\\links\\a.jpgへのショートカット.lnk") ==
        "pics-a.jpgへのショートカット");
  CHECK(ProposeShortcutName("C:\\a.jpg", "D:\\a.jpg.lnk") == "-a.jpg");
  CHECK(ProposeShortcutName("C:\\写真\\桜.jpg", "D:\\桜.jpg.lnk") == "写真-桜.jpg");
  CHECK(RenamedLinkPath("D:\\links\\a.jpg.lnk", "pics-a.jpg") == "D:\\links\\pics-a.jpg.lnk");
  CHECK(RenamedLinkPath("D:\\a.lnk", "新") == "D:\\新.lnk");
}

TEST_CASE("names a file can bear") {
  for (const char* good : {"a", "pics-a.jpg", "桜の写真", "con-tent", "COM0", "LPT10", ".hidden"}) {
    CAPTURE(good);
    CHECK(IsValidFileName(good));
  }
  for (const char* bad : {"", "a\\b", "a/b", "c:d", "a*", "a?", "\"a\"", "<a>", "a|b", "a.", "a ",
                          "tab\there", "CON", "con.lnk", "Nul", "COM1", "lpt9.txt", "AUX"}) {
    CAPTURE(bad);
    CHECK_FALSE(IsValidFileName(bad));
  }
}
