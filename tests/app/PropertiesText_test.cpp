#include <doctest/doctest.h>

#include "app/PropertiesText.h"

namespace {

std::string Grouped(int64_t value) {
  std::string digits = std::to_string(value);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(i, ",");
  return digits;
}

}  // namespace

TEST_CASE("the properties text: fourteen lines in order, or fifteen with a separator") {
  TSettings s;
  s.PaperFolder = "C:\\写真";
  s.PaperName = "C:\\写真\\a.jpg";
  s.SpeedpPriority = true;
  s.G_Editor = "C:\\paint.exe";
  TPropertiesState state;
  state.StartTick = 0xFFFFF000u;  // the tick count wrapped during the load
  state.ListLoadedTick = 7904;    // 12 seconds later
  state.RealFileName = "";
  state.FileSize = 1234567;
  state.ImageWidth = 640;
  state.ImageHeight = 480;
  state.FilesCount = 12;
  state.TmpPaperName = "C:\\v\\$Vesko2.bmp";
  state.IniFileName = "C:\\v\\Vesko2.ini";
  CHECK(PropertiesText(s, state, Grouped) ==
        "LoadTime = 12"
        "秒\rPaperFolder = C:\\写真\rPaperName = C:\\写真\\a.jpg\rRealFileName = \r"
        "FileSize = 1,234,567\rImageSize = 640 x 480\rSepString = False\rFilesCount = 12\r"
        "SpeedpPriority = True\rNotUsedInTray = False\rRandomLoad = False\r"
        "TmpPaperName = C:\\v\\$Vesko2.bmp\rG_Editor = C:\\paint.exe\r"
        "IniFileName = C:\\v\\Vesko2.ini");

  s.SepString = "%%";
  s.SepIndex = 2;
  state.SeparatorCount = 5;
  const std::string text = PropertiesText(s, state, Grouped);
  CHECK(text.find("\rSepMess = %%\rMessage = 2 / 5\rFilesCount") != std::string::npos);
  state.FileSize = 0;
  CHECK(PropertiesText(s, state, Grouped).find("\rFileSize = 0\r") != std::string::npos);
}
