// Turns one PictureList entry into a device bitmap in an image holder: plain picture files
// (plug-ins, the BMP reader, then JPEG data behind a foreign header), shell shortcuts, and
// pictures inside archives named by archive-link files.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "decode/Picture.h"

class IBusyDisplay;
class IDialogs;

// Takes one member of an archive into memory (the archive access layer).
class IArchiveExtractor {
 public:
  virtual ~IArchiveExtractor() = default;
  // The member's bytes go to the start of `buffer`; `dataSize` is the size the link names.
  virtual void ExtractToMemory(const std::string& archive, const std::string& member,
                               uint8_t* buffer, size_t bufferSize, size_t dataSize) = 0;
};

struct TImageSize {
  int Width = 0;
  int Height = 0;
};

// Decodes a file into a bitmap: plug-ins and the BMP reader, then the JPEG fallback.
bool LoadPictureAsBitmap(const std::string& path, TBitmap& bitmap);
// On success the holder holds the picture: a bitmap, or a JPEG still compressed (decoded when
// it is drawn, realised or shrunk); on failure it is untouched.
bool LoadPictureIntoImage(const std::string& path, TPicture& holder);
int FindJpegStart(const std::string& path);
// The last-write time as local date-time text and the size in decimal; size "0" when the file
// is missing.
void GetFileDateAndSize(const std::string& path, std::string& date, std::string& size);
// The target of a shell shortcut (long form), or an empty text; never raises.
std::string ResolveShortcut(const std::string& path);
// The long form of an existing path; other paths come back unchanged. EConvertError
// "ファイルを変換できません。" when the shell cannot convert it.
std::string GetLongFileName(const std::string& path);

class TPictureLoader {
 public:
  TPictureLoader(IBusyDisplay& busy, IDialogs& dialogs) : busy_(busy), dialogs_(dialogs) {}

  // Makes the archive access component; none means archives cannot be read.
  std::function<std::unique_ptr<IArchiveExtractor>()> CreateArchiveExtractor;

  TImageSize ImageSize;

  bool LoadPictureFile(const std::string& path, TPicture& holder);
  void UpdatePictureSize(const TPicture& holder);
  void LoadArcLink(const std::string& path, TPicture& holder);
  void ExtractArchivePicture(const std::string& archive, const std::string& member,
                             TPicture& holder, int64_t size);

 private:
  IBusyDisplay& busy_;
  IDialogs& dialogs_;
};
