#include <doctest/doctest.h>

#include "base/IniFile.h"

TEST_CASE("numbers as the settings file stores them") {
  int32_t v = 0;
  CHECK((TryStrToInt("42", v) && v == 42));
  CHECK((TryStrToInt("-12", v) && v == -12));
  CHECK((TryStrToInt(" 7", v) && v == 7));
  CHECK((TryStrToInt("$FF", v) && v == 255));
  CHECK((TryStrToInt("$FFFFFFFF", v) && v == -1));
  CHECK((TryStrToInt("2147483647", v) && v == 2147483647));
  CHECK((TryStrToInt("-2147483648", v) && v == INT32_MIN));
  CHECK_FALSE(TryStrToInt("2147483648", v));
  CHECK_FALSE(TryStrToInt("$100000000", v));
  CHECK_FALSE(TryStrToInt("99999999999999999999999", v));
  CHECK_FALSE(TryStrToInt("", v));
  CHECK_FALSE(TryStrToInt("-", v));
  CHECK_FALSE(TryStrToInt("$", v));
  CHECK_FALSE(TryStrToInt("12abc", v));
  CHECK_FALSE(TryStrToInt("0x10", v));  // "0x" is the INI reader's business
}

TEST_CASE("reading values: case, hexadecimal, defaults") {
  const IniFile ini = IniFile::Parse(
      "[window]\r\ntop=0x20\r\nLeft=$10\r\nBad=12x\r\nShort=0x\r\n"
      "[Load]\nPaperName=C:\\a b\\c.jpg\nEmpty=\n");
  CHECK(ini.ReadInteger("Window", "Top", 5) == 32);
  CHECK(ini.ReadInteger("WINDOW", "LEFT", 5) == 16);
  CHECK(ini.ReadInteger("Window", "Bad", 5) == 5);
  CHECK(ini.ReadInteger("Window", "Short", 5) == 5);
  CHECK(ini.ReadInteger("Window", "Missing", 5) == 5);
  CHECK(ini.ReadBool("Window", "Top", false));
  CHECK(ini.ReadString("load", "papername", "") == "C:\\a b\\c.jpg");
  CHECK(ini.ReadString("Load", "Empty", "x").empty());
  CHECK(ini.ValueExists("Load", "Empty"));
  CHECK_FALSE(ini.ValueExists("Nope", "Empty"));
}

TEST_CASE("unknown sections, comments and garbage survive a rewrite") {
  const char* text =
      "garbage before any section\r\n"
      "[History]\r\nCount=2\r\n0=C:\\pics\r\n; a comment\r\nno equals sign here\r\n\r\n"
      "[Window]\r\nTop=3\r\n\r\n";
  IniFile ini = IniFile::Parse(text);
  ini.WriteInteger("Window", "Top", 4);
  ini.WriteInteger("Window", "Left", 9);
  ini.WriteString("Timer", "Interval", "0");
  CHECK(ini.ToText() ==
        "garbage before any section\r\n"
        "[History]\r\nCount=2\r\n0=C:\\pics\r\n; a comment\r\nno equals sign here\r\n\r\n"
        "[Window]\r\nTop=4\r\nLeft=9\r\n\r\n"
        "[Timer]\r\nInterval=0\r\n\r\n");
  CHECK(IniFile::Parse(ini.ToText()).ToText() == ini.ToText());
}

TEST_CASE("line ends, repeated sections and odd lines") {
  const IniFile ini =
      IniFile::Parse("[A]\rk=1\r\r[B]\nk=2\n[a]\r\nj=3\r\n  [ C ]  \n x = y \n=novalue\n[]\n");
  CHECK(ini.ReadInteger("A", "k", 0) == 1);
  CHECK(ini.ReadInteger("A", "j", 0) == 3);  // the second [a] merged into the first
  CHECK(ini.ReadInteger("B", "k", 0) == 2);
  CHECK(ini.ReadString("C", "x", "") == " y");  // key trimmed, value kept after "="
  CHECK(ini.ReadSection("A") == std::vector<std::string>{"k", "j"});
}

TEST_CASE("a value never breaks the line structure") {
  IniFile ini;
  ini.WriteString("S", "K", "one\r\ntwo");
  ini.WriteString("S", "Next", "x");
  const IniFile back = IniFile::Parse(ini.ToText());
  CHECK(back.ReadString("S", "K", "") == "one  two");
  CHECK(back.ReadString("S", "Next", "") == "x");
}

TEST_CASE("multi-line values round-trip; single-line ones stay plain") {
  for (const std::string text : {"plain", "", "C:\\path\\new", "a\rb\rc", "a\r\nb\n", "\"quoted\"",
                                 "back\\slash\r\"q\"", "\\", "\"", "\"\\r\""}) {
    CHECK(DecodeMultiLineValue(EncodeMultiLineValue(text)) == text);
  }
  CHECK(EncodeMultiLineValue("C:\\path\\new") == "C:\\path\\new");
  CHECK(EncodeMultiLineValue("a\rb") == "\"a\\rb\"");
  IniFile ini;
  ini.WriteString("Mess", "MessText", EncodeMultiLineValue("一行目\r二行目"));
  CHECK(DecodeMultiLineValue(IniFile::Parse(ini.ToText()).ReadString("Mess", "MessText", "")) ==
        "一行目\r二行目");
}

TEST_CASE("keys can be deleted and sections erased") {
  IniFile ini = IniFile::Parse("[A]\nk=1\nj=2\n[B]\nk=3\n");
  ini.DeleteKey("a", "K");
  ini.EraseSection("b");
  CHECK(ini.ToText() == "[A]\r\nj=2\r\n\r\n");
  CHECK_FALSE(ini.SectionExists("B"));
}
