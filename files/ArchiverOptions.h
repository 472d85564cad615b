// The switches handed to archiver libraries: one record of numeric switches (-1: not given),
// text switches (empty: not given) and a list, in a fixed record order that the LHA command
// line follows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class TSwitchKind { Numeric, Text, Folder, List };

struct TArchiverSwitch {
  std::string Name;
  TSwitchKind Kind = TSwitchKind::Numeric;
  int8_t Number = -1;
  std::string Text;
  std::vector<std::string> List;
};

enum class TPackFilter { pfArchiver, pfComponent };

class TArchiverOptions {
 public:
  TArchiverOptions();

  // The switch of that name (EArchiver-free: a name not in the record is a programming error).
  int8_t& Num(std::string_view name);
  std::string& Text(std::string_view name);
  std::vector<std::string>& Jx();
  const std::vector<TArchiverSwitch>& Switches() const { return switches_; }

  std::string UserOptions;
  std::string UserFileList;
  TPackFilter PackFilter = TPackFilter::pfComponent;
  std::string ResFileName;
  bool ResOnPack = true;
  bool ResOnUnpack = true;
  bool ResOnRemoveItem = true;
  bool ResOnUpdate = false;
  bool IncludeExtraStreams = true;
  std::string StreamSeparator = ";#";

 private:
  TArchiverSwitch& Find(std::string_view name);
  std::vector<TArchiverSwitch> switches_;
};
