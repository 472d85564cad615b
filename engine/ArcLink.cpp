#include "engine/ArcLink.h"

#include "base/IniFile.h"
#include "decode/Graphic.h"

bool ParseArcLink(const std::vector<std::string>& lines, TArcLink& link) {
  if (lines.size() < 3) return false;
  int32_t size = 0;
  if (!TryStrToInt(lines[2], size)) {
    throw EConvertError("'" + lines[2] + "' is not a valid integer value");
  }
  if (size < 0 || size > (1 << 30)) {
    throw EConvertError("'" + lines[2] + "' is not a valid member size");
  }
  link.Archive = lines[0];
  link.Member = lines[1];
  link.Size = size;
  return true;
}
