// The list file reader: any bytes split into lines without line ends, and writing the lines
// and reading them back gives the same lines.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/ListFile.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = SplitListLines(text);
  size_t total = 0;
  for (const std::string& line : lines) {
    FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
    total += line.size();
  }
  FUZZ_CHECK(total <= size);
  FUZZ_CHECK(SplitListLines(JoinListLines(lines)) == lines);
  return 0;
}
