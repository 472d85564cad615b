// Shortcut files written through the shell's link object.
#pragma once

#include <string>

class IDialogs;

// Writes a shortcut to `target` at `linkPath`. An existing file is never replaced: while the
// name is taken the user is asked for another one (the folder of the target and the link's
// name as the proposal). False when the prompt was cancelled or the link could not be written
// (the latter is reported to the user).
bool CreateShortcutFile(IDialogs& dialogs, const std::string& target, std::string linkPath,
                        const std::string& description, const std::string& workingDir);
