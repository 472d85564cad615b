#include "engine/FolderIdentity.h"

#include <algorithm>

#include "base/TextCase.h"

std::string FolderIdentityText(const TFolderFacts& facts) {
  static const char kHex[] = "0123456789abcdef";
  std::string id;
  if (std::any_of(facts.FileId.begin(), facts.FileId.end(), [](uint8_t b) { return b != 0; })) {
    for (const uint8_t b : facts.FileId) {
      id += kHex[b >> 4];
      id += kHex[b & 15];
    }
  } else if (facts.FileIndex != 0) {
    id = std::to_string(facts.FileIndex);
  }
  const std::string path = facts.FinalPath.empty() ? std::string() : UpperCase(facts.FinalPath);
  if (!id.empty()) {
    std::string text =
        std::to_string(facts.VolumeSerial) + ":" + id + ":" + std::to_string(facts.CreationTime);
    if (!path.empty()) text += ":" + path;
    return text;
  }
  return path.empty() ? std::string() : "path:" + path;
}
