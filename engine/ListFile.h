// List files: one PictureList entry per line, nothing else. Written with CR LF after every
// line; read with CR, LF or CR LF as line ends. Every line is an entry, empty ones too; a final
// line end adds no entry. The text is handled as bytes: CR and LF never occur inside a
// Shift-JIS character, so the lines can be split before they are converted.
#pragma once

#include <string>
#include <string_view>
#include <vector>

std::vector<std::string> SplitListLines(std::string_view text);
std::string JoinListLines(const std::vector<std::string>& lines);
