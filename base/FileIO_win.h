// Whole-file reads and atomic whole-file writes: a rewritten file is first written to a
// temporary file in the same folder and then renamed over the target, so a crash or a full
// disk never leaves a truncated file behind.
#pragma once

#include <string>
#include <string_view>

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

// The file's bytes; EFOpenError when it cannot be opened or read.
std::string ReadWholeFile(const std::string& path);
// EFCreateError when any step fails; the previous file is then untouched.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

// The user's own pictures folder; empty when the system names none.
std::string UserPicturesFolder();

// The text of a system error code, in the user's language.
std::string SystemErrorText(unsigned long code);
