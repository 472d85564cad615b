// The external programs a picture can be opened in: the command line handed to them, and the
// user's list file of programs ("caption???path" per line).
#pragma once

#include <string>
#include <vector>

struct TEditorEntry {
  std::string Caption;
  std::string Program;
};

// One entry per line, in file order. A line without "???" has an empty caption and, as its
// program, the line from its third character on.
std::vector<TEditorEntry> ParseEditorList(const std::vector<std::string>& lines);

// The program and the picture each in double quotes, one space between them.
std::string EditorCommandLine(const std::string& program, const std::string& file);
