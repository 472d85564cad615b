// The picture list's view of the Windows file system: W APIs for names, the ANSI code page for
// list files, atomic rewrites.
#pragma once

#include "engine/FileSystem.h"

class TWinFileSystem final : public IFileSystem {
 public:
  bool DirectoryExists(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  void EnumerateFolder(const std::string& folder, const Visitor& visit) override;
  std::vector<std::string> ReadListFile(const std::string& path) override;
  void WriteListFile(const std::string& path, const std::vector<std::string>& lines) override;
  std::string FullPath(const std::string& path) override;
  // The volume's serial number and the folder's file index.
  std::string FolderIdentity(const std::string& folder) override;
};
