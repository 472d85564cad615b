// The hand-over from a second start to the running instance: the first command-line argument
// travels as a 256-byte, NUL-terminated ANSI path in a WM_COPYDATA message.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

constexpr size_t kHandOverSize = 256;
using THandOverBuffer = std::array<char, kHandOverSize>;

// The path a second start sends for its first argument: "?@" forms, switches ("/..", "-..")
// and full or rooted paths go unchanged; a relative path ("a.jpg", "sub\\a.jpg") is put after
// the sender's current directory and "\", since the running instance's folder differs.
std::string HandOverPath(std::string_view argument, std::string_view currentDirectory);

// The arguments of a command line, the program's own name first. Blanks separate them; a
// double quote starts or ends a quoted part and is dropped; a backslash is always itself, so
// "D:\\My pics\\" names the folder with its closing separator.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// The buffer sent: at most 255 bytes of the (ANSI) path, then NUL padding.
THandOverBuffer MakeHandOverBuffer(std::string_view ansiPath);

// The path a received message carries: the bytes up to the first NUL, reading no further than
// the 256-byte buffer nor than the size the sender declared.
std::string ReadHandOverBuffer(const void* data, size_t declaredSize);

// Command-line switches of a first start, by their first two characters, ignoring case.
bool IsQuitSwitch(std::string_view argument);         // "/R" or "-R"
bool IsMessageFileSwitch(std::string_view argument);  // "/M" or "-M"
// The switch of a start at sign-in (the Run value the program writes), whole, ignoring case.
// Such a start keeps its settings beside the program, whatever the current folder.
constexpr const char* kSignInSwitch = "/startup";
bool IsSignInSwitch(std::string_view argument);
// The file named by a "/M" argument: from its third character, at most 256 characters.
std::string MessageFileOfSwitch(std::string_view argument);
