// What tells one folder from every other, from what the file system reports about it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

struct TFolderFacts {
  uint64_t VolumeSerial = 0;
  // The 128-bit file id (Windows 8 and later; all zero where the system has none).
  std::array<uint8_t, 16> FileId{};
  // The older 64-bit file index.
  uint64_t FileIndex = 0;
  uint64_t CreationTime = 0;
  // The path the system reaches the folder by once links are followed; empty when unknown.
  std::string FinalPath;
};

// The folder's identity: its file id (the 128-bit one first), where the volume gives one; a
// volume that answers 0 (some network redirectors) is told by the final path instead. The
// creation time and the final path go with the id, so that two folders of a volume that
// repeats its ids, even with their creation times, stay apart; a link still leads to the final
// path of the folder it names.
// Empty when nothing tells the folder.
std::string FolderIdentityText(const TFolderFacts& facts);
