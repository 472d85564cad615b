// The version strings of program files, read from their version resources.
#include <doctest/doctest.h>

#include "TestSupport_win.h"
#include "base/Unicode_win.h"
#include "files/SysInfo_win.h"

TEST_CASE("the program's own version strings, from its Japanese Unicode resource") {
  TSysInfo info;
  TFileInfo& file = info.FileInfo();
  const std::string exe = ToUtf8(EnvPath(L"VESKO2_EXE"));
  file.SetFileName(exe);
  const std::string version = ToUtf8(EnvPath(L"VESKO2_VERSION"));
  CHECK(file.ProductVersion() == version);
  CHECK(file.FileVersion() == version);
  CHECK(file.ProductName() == "Vesko 2");
  CHECK(file.FileDescription() == "Vesko 2 壁紙チェンジャー");
  CHECK(file.OriginalFilename() == "Vesko2.exe");
  CHECK(file.InternalName() == "Vesko2");
  CHECK(HIWORD(file.FixedInfo().dwFileVersionMS) == static_cast<WORD>(std::stoi(version)));
  // The same name again reads nothing; a name differing in case is another name.
  file.SetFileName(exe);
  CHECK(file.Reads() == 1);
  std::string upper = exe;
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  file.SetFileName(upper);
  CHECK(file.Reads() == 2);
  CHECK(file.ProductName() == "Vesko 2");
}

TEST_CASE("missing strings read UnKnown; a file without a resource leaves them all empty") {
  TFileInfo file;
  file.SetFileName(ToUtf8(EnvPath(L"VESKO2_FAKE_SCR")));
  CHECK(file.ProductName() == "Stand-in");
  CHECK(file.FileVersion() == "1.2");
  CHECK(file.ProductVersion() == "UnKnown");
  CHECK(file.CompanyName() == "UnKnown");
  CHECK(file.InternalName() == "UnKnown");

  TTempDir dir;
  WriteBytes(dir / L"picture.bmp", MakeTestBmp(2, 2));
  file.SetFileName(ToUtf8(dir / L"picture.bmp"));
  CHECK(file.ProductName().empty());
  CHECK(file.ProductVersion().empty());
  CHECK(file.FileVersion().empty());
}
