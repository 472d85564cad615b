// Archive-link files: three lines naming an archive, a member inside it and the member's size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TArcLink {
  std::string Archive;
  std::string Member;
  int64_t Size = 0;
};

// False with fewer than three lines (further lines are ignored). A third line that is not a
// decimal integer fails with EConvertError as the platform's conversion would; so does a size
// below 0 or above 1 GiB, which no picture member needs and no buffer should be made for.
bool ParseArcLink(const std::vector<std::string>& lines, TArcLink& link);
