// What the picture list needs of the file system, so that its rules run natively in tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace FileAttr {
constexpr uint32_t ReadOnly = 0x01;
constexpr uint32_t Hidden = 0x02;
constexpr uint32_t System = 0x04;
constexpr uint32_t VolumeLabel = 0x08;
constexpr uint32_t Directory = 0x10;
constexpr uint32_t Archive = 0x20;
constexpr uint32_t Normal = 0x80;
}  // namespace FileAttr

class IFileSystem {
 public:
  using Visitor = std::function<void(std::string_view name, uint32_t attributes)>;

  virtual ~IFileSystem() = default;
  virtual bool DirectoryExists(const std::string& path) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  // Every entry of the folder (mask "*.*", every attribute), in the file system's order.
  // The folder ends with a separator.
  virtual void EnumerateFolder(const std::string& folder, const Visitor& visit) = 0;
  // A list file's lines (EFOpenError when it cannot be read).
  virtual std::vector<std::string> ReadListFile(const std::string& path) = 0;
  // Replaces a list file as a whole (EFCreateError when it cannot be written).
  virtual void WriteListFile(const std::string& path, const std::vector<std::string>& lines) = 0;
  // The path made full against the current folder, "." and ".." resolved.
  virtual std::string FullPath(const std::string& path) = 0;
  // What tells a folder from every other however it is reached (through a link or junction it
  // is the same); empty when it cannot be told.
  virtual std::string FolderIdentity(const std::string& folder) = 0;
};

// Whether a path is full: "C:\..." or "\\server\..." ("/" counts as "\").
bool IsFullPath(const std::string& path);
// A path as it stands when it is full; otherwise `base` (a full folder) and a separator before
// it.
std::string ResolveAgainst(const std::string& base, const std::string& path);

// The full, canonical path that a line of a list file names (see CanonicalPath): a relative
// line names a file beside the list file in `listFolder`, a rooted one ("\pics\a.jpg") a file
// on the list file's drive or share; an empty line stays empty.
std::string ListEntryPath(IFileSystem& files, const std::string& listFolder,
                          const std::string& line);
