#include "files/ShortcutName.h"

#include <array>

#include "base/Path.h"
#include "base/TextCase.h"

std::string ShortcutLinkPath(std::string_view folder, std::string_view paperName, bool addSuffix) {
  std::string link = IncludeTrailingPathDelimiter(folder) + ExtractFileName(paperName);
  if (addSuffix) link += "へのショートカット";
  return link + ".lnk";
}

std::string ProposeShortcutName(std::string_view target, std::string_view linkPath) {
  const std::string folder = ExtractFileName(ExtractFileDir(target));
  return folder + "-" + ChangeFileExt(ExtractFileName(linkPath), "");
}

std::string RenamedLinkPath(std::string_view linkPath, std::string_view name) {
  return ExtractFilePath(linkPath) + std::string(name) + ".lnk";
}

bool IsValidFileName(std::string_view name) {
  if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) return false;
  }
  // Device names stay devices whatever extension follows them.
  const std::string stem = UpperCase(std::string(name.substr(0, name.find('.'))));
  static constexpr std::array<std::string_view, 6> kDevices = {"CON", "PRN",    "AUX",
                                                               "NUL", "CONIN$", "CONOUT$"};
  for (const std::string_view device : kDevices) {
    if (stem == device) return false;
  }
  return !(stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
           stem[3] >= '1' && stem[3] <= '9');
}
