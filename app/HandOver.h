// The hand-over from a second start to the running instance: the first command-line argument
// travels as a 256-byte, NUL-terminated ANSI path in a WM_COPYDATA message.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

constexpr size_t kHandOverSize = 256;
using THandOverBuffer = std::array<char, kHandOverSize>;

// The path a second start sends for its first argument: "?@" forms and anything holding "\" or
// "/" go unchanged; a bare name is put after the sender's current directory and "\".
std::string HandOverPath(std::string_view argument, std::string_view currentDirectory);

// The buffer sent: at most 255 bytes of the (ANSI) path, then NUL padding.
THandOverBuffer MakeHandOverBuffer(std::string_view ansiPath);

// The path a received message carries: the bytes up to the first NUL, reading no further than
// the 256-byte buffer nor than the size the sender declared.
std::string ReadHandOverBuffer(const void* data, size_t declaredSize);

// Command-line switches of a first start, by their first two characters, ignoring case.
bool IsQuitSwitch(std::string_view argument);         // "/R" or "-R"
bool IsMessageFileSwitch(std::string_view argument);  // "/M" or "-M"
// The file named by a "/M" argument: from its third character, at most 256 characters.
std::string MessageFileOfSwitch(std::string_view argument);
