// The properties text: the program's current state in fourteen lines (one more when a message
// separator is set), separated by single carriage returns.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/Settings.h"

struct TPropertiesState {
  uint32_t StartTick = 0;
  uint32_t ListLoadedTick = 0;
  std::string RealFileName;
  int64_t FileSize = 0;  // of PaperName; 0 when it is not found
  int ImageWidth = 0;
  int ImageHeight = 0;
  int SeparatorCount = 0;
  int FilesCount = 0;
  std::string TmpPaperName;
  std::string IniFileName;
};

// `groupThousands` writes a count in the locale's "#,##0" form.
std::string PropertiesText(const TSettings& settings, const TPropertiesState& state,
                           const std::function<std::string(int64_t)>& groupThousands);
