#include "engine/MessageText.h"

#include "base/Random.h"

namespace {

std::string AllLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text.append(line).append("\r\n");
  return text;
}

std::string ReplaceAll(const std::string& text, const std::string& what, const std::string& with) {
  if (what.empty()) return text;
  std::string out;
  size_t pos = 0;
  for (;;) {
    const size_t found = text.find(what, pos);
    if (found == std::string::npos) break;
    out.append(text, pos, found - pos).append(with);
    pos = found + what.size();
  }
  out.append(text, pos, std::string::npos);
  return out;
}

}  // namespace

std::vector<size_t> FindSeparators(const std::vector<std::string>& lines,
                                   const std::string& sepString) {
  std::vector<size_t> separators;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i + 1 == lines.size() && lines[i] == sepString) break;
    if (i > 0 && lines[i] == sepString) separators.push_back(i);
  }
  return separators;
}

std::string GetMessageSection(const std::vector<std::string>& lines,
                              const std::vector<size_t>& separators, size_t index,
                              const std::string& sepString) {
  std::string text;
  if (index >= separators.size()) return text;
  for (size_t i = separators[index] + 1; i < lines.size() && lines[i] != sepString; ++i) {
    text.append(lines[i]).append("\r\n");
  }
  return text;
}

std::string ChooseMessage(const std::vector<std::string>& lines, TMessageState& state,
                          IRandom& random) {
  std::string text;
  if (state.SepString.empty()) {
    text = AllLines(lines);
  } else {
    const std::vector<size_t> separators = FindSeparators(lines, state.SepString);
    state.SeparatorCount = static_cast<int>(separators.size());
    if (separators.empty()) {
      text = AllLines(lines);
    } else {
      if (state.SepRandom) {
        state.SepIndex = static_cast<int>(random.Next(static_cast<uint32_t>(separators.size())));
      } else {
        state.SepIndex = state.SepIndex + 1;
        // A stored index from an older, longer file (or a negative one) starts over.
        if (state.SepIndex > state.SeparatorCount - 1 || state.SepIndex < 0) state.SepIndex = 0;
      }
      text = GetMessageSection(lines, separators, static_cast<size_t>(state.SepIndex),
                               state.SepString);
    }
  }
  std::string above;
  for (int i = 0; i < state.SepLines && i < 1000; ++i) above += "\r\n";
  return above + text;
}

std::string SubstituteFileName(const std::string& text, const std::string& name) {
  return ReplaceAll(text, "$FileName", name);
}

std::string WidenLineEnds(const std::string& text) {
  return ReplaceAll(text, "\r", "  \r");
}
