// The "&Vesko2" entry of the shell's context menu for every file. It lives in the user's own
// part of the registry (HKEY_CURRENT_USER\Software\Classes), which a normal user may write and
// the shell merges into HKEY_CLASSES_ROOT.
#pragma once

#include <string>

#include "base/Exception.h"

class EShellMenuEntry : public Exception {
 public:
  using Exception::Exception;
};

// Whether the entry is there (the user's own, or one in the merged view).
bool ShellMenuEntryExists();
// Writes the entry: choosing it starts `programPath` with the file. EShellMenuEntry when the
// registry refuses.
void AddShellMenuEntry(const std::string& programPath);
// Takes the user's entry away; EShellMenuEntry when the registry refuses.
void RemoveShellMenuEntry();
