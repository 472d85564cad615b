// The text drawn on the wallpaper: a message file split into sections by a separator line,
// taken in turn or at random, with empty lines above it and the picture's file name filled in.
#pragma once

#include <string>
#include <vector>

class IRandom;

struct TMessageState {
  std::string SepString;  // empty: the whole file is one message
  int SepLines = 0;       // empty lines above a text from the file
  int SepIndex = 0;       // the section shown last; advanced by each choice
  bool SepRandom = false;
  int SeparatorCount = 0;  // sections found by the last choice
};

// The lines after separator `index` up to the next separator or the end, each with CR LF.
std::string GetMessageSection(const std::vector<std::string>& lines,
                              const std::vector<size_t>& separators, size_t index,
                              const std::string& sepString);

// The positions of the separator lines: never the first line; a last line equal to the
// separator ends the scan without counting.
std::vector<size_t> FindSeparators(const std::vector<std::string>& lines,
                                   const std::string& sepString);

// The message from the file's lines: all of them without separators, else the next (or a
// random) section; SepLines empty lines above it.
std::string ChooseMessage(const std::vector<std::string>& lines, TMessageState& state,
                          IRandom& random);

// Every "$FileName" (this letter case only) replaced by the name.
std::string SubstituteFileName(const std::string& text, const std::string& name);
// Every CR becomes two spaces and a CR, so every line but the last ends in two spaces.
std::string WidenLineEnds(const std::string& text);
