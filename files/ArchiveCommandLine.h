// What archiver libraries are asked: the archive kind by file name, and the command line of a
// memory extraction for each library family, byte for byte.
#pragma once

#include <string>
#include <string_view>

#include "base/Exception.h"
#include "files/ArchiverOptions.h"

class EArchiver : public Exception {
 public:
  using Exception::Exception;
};
class ENoArchiverDLL : public EArchiver {
 public:
  using EArchiver::EArchiver;
};
class EEntryNotFound : public EArchiver {
 public:
  using EArchiver::EArchiver;
};
class ESfxNoRequiredFile : public EArchiver {
 public:
  using EArchiver::EArchiver;
};

enum class TArchiverType {
  atLha,
  atZip,
  atCab,
  atArj,
  atTar,
  atTgz,
  atBZ2,
  atRar,
  atBga,
  atYz1,
  atGCA,
  atBel,
  at7z,
  atNone,
  atAutoDetect,
  // Not a type: ".exe" asks for the content probe.
  atProbeContent
};

// The type of an archive by its extension, compared without regard to case.
TArchiverType ArchiverTypeOfName(std::string_view fileName);

// Builds a command line: every part after one space (an empty part still adds its space);
// switches only when given.
class TCmdOpt {
 public:
  explicit TCmdOpt(bool quoting = false) : quoting_(quoting) {}
  void Part(std::string_view text);
  void Numeric(std::string_view name, int value);
  void Text(std::string_view name, std::string_view value);
  void FileName(std::string_view name);
  const std::string& Result() const { return text_; }

 private:
  std::string text_;
  bool quoting_;
};

enum class TArchiverDriver { Lha, Zip, Cab, Tar, Tgz, BZ2, Rar, Bga, Yz1, SevenZip };

// The command line of a memory extraction of `member` from `archive`. EArchiver
// "この形式ではメモリ展開をサポートしておりません。" for the families without one; for LHA an
// assertion failure when jso is not set.
std::string ExtractMemCommandLine(TArchiverDriver driver, const std::string& archive,
                                  const std::string& member, TArchiverOptions& options,
                                  bool ownerWindow);

// The ZIP libraries' member names: a leading "-" as "[-]", "/" for "\", "[" as "[[]".
std::string ZipMemberName(std::string_view member);
