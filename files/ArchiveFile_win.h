// Archive access through archiver libraries: the component that picks a library by the
// archive's name (or content, for self-extracting ".exe" files), loads it once per family, and
// extracts one member into memory with the family's command line.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "decode/PluginWire.h"
#include "engine/PictureLoader_win.h"
#include "files/ArchiveCommandLine.h"

class TArchiverLibrary;
class TPluginHelper;

class TArchiveFile {
 public:
  TArchiveFile();
  ~TArchiveFile();
  TArchiveFile(const TArchiveFile&) = delete;
  TArchiveFile& operator=(const TArchiveFile&) = delete;

  // Detects the type and installs its driver (loading its library).
  void SetFileName(const std::string& fileName);
  const std::string& FileName() const { return fileName_; }
  TArchiverType ArchiverType() const { return type_; }
  void SetArchiverType(TArchiverType type);

  TArchiverOptions Options;
  size_t OutputSize = 0;
  const std::string& LastCommandLine() const { return commandLine_; }

  // Raised while a member is extracted: the library's state code and its extracting-info record.
  // Setting abort asks the library to stop.
  std::function<void(TArchiveFile& sender, int state, const void* info, bool& abort)> OnProgress;
  // Raised for each member the library visits; setting abort stops the extraction. An exception
  // from either handler stops the extraction and is raised again by ExtractMem.
  std::function<void(TArchiveFile& sender, void* memberInfo, bool& abort)> OnEnumMember;

  // The library's result code; EArchiver "書庫の形式を判別できません。" without a driver.
  int ExtractMem(HWND window, TArchiverOptions* options, const std::string& member, uint8_t* buffer,
                 size_t size, size_t& written);

 private:
  std::string fileName_;
  TArchiverType type_ = TArchiverType::atAutoDetect;
  TArchiverDriver driver_ = TArchiverDriver::Lha;
  TArchiverLibrary* library_ = nullptr;  // shared by the family; not owned
  std::string commandLine_;
  HWND progressWindow_ = nullptr;    // turns the library's progress messages into OnProgress
  std::exception_ptr handlerError_;  // a handler's exception, kept from crossing the library

  static LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static BOOL CALLBACK EnumMembersProc(void* memberInfo);
  HWND ProgressWindow();
};

// The type of a self-extracting archive by asking every library (all are loaded).
TArchiverType ProbeArchiveContent(const std::string& path);

// Frees every archiver library (at the main window's end).
void ReleaseAllArchivers();

// Picture loading's way into archives: options n and jso set to 1, the buffer 1024 bytes larger
// than the member.
class TArchiveExtractor final : public IArchiveExtractor {
 public:
  explicit TArchiveExtractor(HWND owner) : owner_(owner) {}
  void ExtractToMemory(const std::string& archive, const std::string& member, uint8_t* buffer,
                       size_t bufferSize, size_t dataSize) override;
  // With a helper set, the archiver libraries are loaded and called there, never here: one
  // that stalls past TSPI::HelperSilenceMs, faults or ends its process fails the picture.
  static TPluginHelper* Helper;

 private:
  HWND owner_;
};

// The helper's side of ExtractToMemory: the member's bytes go back through `publish`; a
// failure comes back as a result Number -1 with its message, a fault also with Total 1 (the
// helper then ends).
void ServeArchiveCall(const plugin_wire::TMessage& request, plugin_wire::TMessage& result,
                      const std::function<bool(const void*, size_t)>& publish);
