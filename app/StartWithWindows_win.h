// 「Windows の起動時に起動する」: a value under the user's Run key
// (HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run) that starts the program by
// its full path, quoted, with the switch that says it was started at sign-in. The registry is
// the truth: the options dialog shows what is there, also when something else changed it.
#pragma once

#include <string>

#include "base/Exception.h"

class EStartWithWindows : public Exception {
 public:
  using Exception::Exception;
};

// The command the Run value holds for the program at `programPath`.
std::string StartWithWindowsCommand(const std::string& programPath);
// The program the Run value starts (this copy or another), empty when there is no value.
std::string StartWithWindowsProgram();
// Writes the value for `programPath` (on) or deletes it (off); EStartWithWindows when the
// registry refuses.
void SetStartWithWindows(bool on, const std::string& programPath);
