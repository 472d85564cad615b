#include <doctest/doctest.h>

#include "files/ArchiveCommandLine.h"

namespace {

// The switches picture loading sets.
TArchiverOptions PictureOptions() {
  TArchiverOptions o;
  o.Num("n") = 1;
  o.Num("jso") = 1;
  return o;
}

std::string Line(TArchiverDriver driver, const std::string& member = "pics\\a.jpg",
                 bool owner = false) {
  TArchiverOptions o = PictureOptions();
  return ExtractMemCommandLine(driver, "C:\\arc\\x.lzh", member, o, owner);
}

}  // namespace

TEST_CASE("archive types by extension, in any letter case") {
  CHECK(ArchiverTypeOfName("a.lzh") == TArchiverType::atLha);
  CHECK(ArchiverTypeOfName("A.TGZ") == TArchiverType::atTgz);
  CHECK(ArchiverTypeOfName("a.tgz") == TArchiverType::atTgz);
  for (const char* zip : {"a.zip", "a.JAR", "a.ear", "a.War"})
    CHECK(ArchiverTypeOfName(zip) == TArchiverType::atZip);
  for (const char* tar : {"a.tar", "a.a", "a.lib", "a.deb", "a.rpm", "a.cpio"}) {
    CHECK(ArchiverTypeOfName(tar) == TArchiverType::atTar);
  }
  for (const char* tgz : {"a.gz", "a.Z", "a.taz"})
    CHECK(ArchiverTypeOfName(tgz) == TArchiverType::atTgz);
  CHECK(ArchiverTypeOfName("a.bz2") == TArchiverType::atBZ2);
  CHECK(ArchiverTypeOfName("a.gza") == TArchiverType::atBga);
  CHECK(ArchiverTypeOfName("a.bza") == TArchiverType::atBga);
  CHECK(ArchiverTypeOfName("a.arj") == TArchiverType::atArj);
  CHECK(ArchiverTypeOfName("a.gca") == TArchiverType::atGCA);
  CHECK(ArchiverTypeOfName("a.7z") == TArchiverType::at7z);
  CHECK(ArchiverTypeOfName("a.yz1") == TArchiverType::atYz1);
  CHECK(ArchiverTypeOfName("a.exe") == TArchiverType::atProbeContent);
  CHECK(ArchiverTypeOfName("a.txt") == TArchiverType::atNone);
  CHECK(ArchiverTypeOfName("noext") == TArchiverType::atNone);
}

TEST_CASE("memory extraction command lines, byte for byte, with picture loading's switches") {
  CHECK(Line(TArchiverDriver::Lha) == "  -+ -n1 -jso1  \"C:\\arc\\x.lzh\"  \"pics\\a.jpg\" ");
  CHECK(Line(TArchiverDriver::Zip) == "  --i  \"C:\\arc\\x.lzh\"  \"pics/a.jpg\" ");
  CHECK(Line(TArchiverDriver::Cab) == "  -i  \"C:\\arc\\x.lzh\"  \"pics\\a.jpg\" ");
  CHECK(Line(TArchiverDriver::Tar) ==
        "  --display-dialog=0  -f \"C:\\arc\\x.lzh\"  \"pics\\a.jpg\" ");
  CHECK(Line(TArchiverDriver::Tgz) ==
        "  --display-dialog=0 -z  -f \"C:\\arc\\x.lzh\"  \"pics\\a.jpg\" ");
  CHECK(Line(TArchiverDriver::BZ2) ==
        "  --display-dialog=0 -B  -f \"C:\\arc\\x.lzh\"  \"pics\\a.jpg\" ");
  CHECK(Line(TArchiverDriver::Rar) == "  -u  \"C:\\arc\\x.lzh\"  \"pics\\a.jpg\" ");
  for (TArchiverDriver none :
       {TArchiverDriver::Bga, TArchiverDriver::Yz1, TArchiverDriver::SevenZip}) {
    CHECK_THROWS_WITH_AS(Line(none), "この形式ではメモリ展開をサポートしておりません。", EArchiver);
  }
}

TEST_CASE("switch combinations and the member transform") {
  CHECK(ZipMemberName("[x]\\a.jpg") == "[[]x]/a.jpg");
  CHECK(ZipMemberName("-dash\\[b].jpg") == "[-]dash/[[]b].jpg");
  CHECK(ZipMemberName("a-b.jpg") == "a-b.jpg");
  CHECK(Line(TArchiverDriver::Zip, "[x]\\a.jpg") == "  --i  \"C:\\arc\\x.lzh\"  \"[[]x]/a.jpg\" ");

  TArchiverOptions o;
  o.Num("jso") = 0;
  o.Num("c") = 1;
  o.Num("x") = 0;
  o.Num("r") = 2;
  o.Num("ji") = 1;
  o.Text("w") = "D:\\out";
  o.UserOptions = "-extra";
  o.UserFileList = "list.txt";
  CHECK(ExtractMemCommandLine(TArchiverDriver::Cab, "a.cab", "m", o, true) ==
        "  -o -i -r \"-hD:\\out\\\" -j -q -extra \"a.cab\"  \"m\" list.txt");
  CHECK(ExtractMemCommandLine(TArchiverDriver::Zip, "a.zip", "m", o, false) ==
        "  -o -j -extra \"a.zip\"  \"m\" list.txt");
  o.Jx() = {"*.txt", "*.log"};
  o.Text("jo") = "ok";
  CHECK(ExtractMemCommandLine(TArchiverDriver::Lha, "a.lzh", "m", o, true) ==
        "  -+ -c1 -n1 -r2 \"-wD:\\out\\\" -x0 -ji1 \"-jook\" -jso0 \"-jx*.txt\" \"-jx*.log\" "
        "-extra \"a.lzh\"  \"m\" list.txt");

  TArchiverOptions tar;
  tar.Num("a") = 0;
  tar.Num("o") = 1;
  tar.Num("p") = 1;
  tar.Num("x") = 0;
  tar.Num("jm") = 9;
  CHECK(ExtractMemCommandLine(TArchiverDriver::Tgz, "a.tgz", "m", tar, true) ==
        "  -I -g --check-all-path=1 --use-directory=0 -z9  -f \"a.tgz\"  \"m\" ");
  tar.Num("a") = 1;
  CHECK(ExtractMemCommandLine(TArchiverDriver::BZ2, "a.bz2", "m", tar, true) ==
        "  -AH -g --check-all-path=1 --use-directory=0 -B9  -f \"a.bz2\"  \"m\" ");

  TArchiverOptions rar;
  rar.Num("c") = 1;
  rar.Num("m") = 1;
  rar.Num("p") = 1;
  CHECK(ExtractMemCommandLine(TArchiverDriver::Rar, "a.rar", "m", rar, false) ==
        "  -y -s  \"a.rar\"  \"m\" ");

  TArchiverOptions noJso;
  CHECK_THROWS_WITH(ExtractMemCommandLine(TArchiverDriver::Lha, "a.lzh", "m", noJso, false),
                    "jso オプションが設定されていません。");
}

TEST_CASE("the options record: every switch unset, the stream settings as created") {
  TArchiverOptions o;
  CHECK(o.Switches().size() == 73);
  CHECK(o.Switches().front().Name == "a");
  CHECK(o.Switches().back().Name == "gyx");
  for (const TArchiverSwitch& s : o.Switches()) {
    CHECK(s.Number == -1);
    CHECK(s.Text.empty());
  }
  CHECK(o.IncludeExtraStreams);
  CHECK(o.StreamSeparator == ";#");
  CHECK(o.PackFilter == TPackFilter::pfComponent);
  CHECK((o.ResOnPack && o.ResOnUnpack && o.ResOnRemoveItem && !o.ResOnUpdate));
}
