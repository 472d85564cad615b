#include "app/PropertiesText.h"

namespace {

const char* Bool(bool value) {
  return value ? "True" : "False";
}

}  // namespace

std::string PropertiesText(const TSettings& s, const TPropertiesState& state,
                           const std::function<std::string(int64_t)>& groupThousands) {
  // The tick count wraps after 49 days: the difference is taken unsigned.
  const uint32_t loadTime = (state.ListLoadedTick - state.StartTick) / 1000;
  std::string text;
  auto line = [&text](const std::string& l) {
    if (!text.empty()) text += '\r';
    text += l;
  };
  line("LoadTime = " + std::to_string(loadTime) + "秒");
  line("PaperFolder = " + s.PaperFolder);
  line("PaperName = " + s.PaperName);
  line("RealFileName = " + state.RealFileName);
  line("FileSize = " + groupThousands(state.FileSize));
  line("ImageSize = " + std::to_string(state.ImageWidth) + " x " +
       std::to_string(state.ImageHeight));
  if (!s.SepString.empty()) {
    line("SepMess = " + s.SepString);
    line("Message = " + std::to_string(s.SepIndex) + " / " + std::to_string(state.SeparatorCount));
  } else {
    line("SepString = False");
  }
  line("FilesCount = " + std::to_string(state.FilesCount));
  line(std::string("SpeedpPriority = ") + Bool(s.SpeedpPriority));
  line(std::string("NotUsedInTray = ") + Bool(s.NotUsedInTray));
  line(std::string("RandomLoad = ") + Bool(s.RandomLoad));
  line("TmpPaperName = " + state.TmpPaperName);
  line("G_Editor = " + s.G_Editor);
  line("IniFileName = " + state.IniFileName);
  return text;
}
