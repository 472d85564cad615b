#include "files/EditorList.h"

std::vector<TEditorEntry> ParseEditorList(const std::vector<std::string>& lines) {
  std::vector<TEditorEntry> entries;
  for (const std::string& line : lines) {
    const size_t at = line.find("???");
    if (at == std::string::npos) {
      // As the position 0 of "not found" would give: nothing before it, the rest from the third
      // character (UTF-8 never puts a '?' inside a character, so the search is plain).
      entries.push_back({std::string(), line.size() > 2 ? line.substr(2) : std::string()});
    } else {
      entries.push_back({line.substr(0, at), line.substr(at + 3)});
    }
  }
  return entries;
}

std::string EditorCommandLine(const std::string& program, const std::string& file) {
  return "\"" + program + "\" \"" + file + "\"";
}
