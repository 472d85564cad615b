// Case-insensitive comparison of UTF-8 texts as Windows does it for file names and list
// entries: letters are compared by their simple upper-case mapping, one code point at a time.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Upper-cases the letters Windows folds (ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic and
// the full-width Latin letters). Bytes that are not valid UTF-8 are kept as they are.
std::string UpperCase(std::string_view text);

// The text cut into its characters, each as its UTF-8 bytes (a byte that starts no valid
// sequence is a character of its own).
std::vector<std::string> SplitCharacters(std::string_view text);

// Orders two texts by their upper-cased code points: negative, zero or positive.
int CompareText(std::string_view a, std::string_view b);

inline bool SameText(std::string_view a, std::string_view b) {
  return CompareText(a, b) == 0;
}

// Orders texts for sorted containers, ignoring case.
struct TextLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return CompareText(a, b) < 0; }
};
