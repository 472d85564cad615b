// What the program knows of its system: here, the version strings of a program file (its own,
// for the about box), read from the file's version resource.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <string>

class TFileInfo {
 public:
  const std::string& FileName() const { return fileName_; }
  // Reads the version information when the name differs from the current one (case counts).
  void SetFileName(const std::string& fileName);

  // Empty when the file has no version resource; "UnKnown" for a string its resource lacks.
  const std::string& ProductVersion() const { return strings_[0]; }
  const std::string& ProductName() const { return strings_[1]; }
  const std::string& CompanyName() const { return strings_[2]; }
  const std::string& OriginalFilename() const { return strings_[3]; }
  const std::string& FileDescription() const { return strings_[4]; }
  const std::string& FileVersion() const { return strings_[5]; }
  const std::string& InternalName() const { return strings_[6]; }
  // The resource's fixed block, as the file holds it (zero when there is none).
  const VS_FIXEDFILEINFO& FixedInfo() const { return fixed_; }
  // How many times a resource was read (the program's tests check it is read once per name).
  int Reads() const { return reads_; }

 private:
  void Read();

  std::string fileName_;
  std::array<std::string, 7> strings_;
  VS_FIXEDFILEINFO fixed_{};
  int reads_ = 0;
};

// The main window's system-information component; the program uses its file information.
class TSysInfo {
 public:
  TFileInfo& FileInfo() { return fileInfo_; }

 private:
  TFileInfo fileInfo_;
};
