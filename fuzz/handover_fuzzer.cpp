// The hand-over message reader: whatever another process sends, the path read stops at the
// first NUL and never reaches past the 256-byte buffer or the declared size.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/HandOver.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte chooses the declared size, below or above the real one.
  const size_t declared = static_cast<size_t>(data[0]) * 2;
  std::vector<char> buffer(data + 1, data + size);
  buffer.resize(std::max(buffer.size(), declared));  // a real sender's block is that large
  const std::string path = ReadHandOverBuffer(buffer.data(), declared);
  FUZZ_CHECK(path.size() <= kHandOverSize);
  FUZZ_CHECK(path.size() <= declared);
  FUZZ_CHECK(path.find('\0') == std::string::npos);
  FUZZ_CHECK(path.empty() || std::memcmp(path.data(), buffer.data(), path.size()) == 0);
  const THandOverBuffer sent = MakeHandOverBuffer(path);
  FUZZ_CHECK(sent[kHandOverSize - 1] == '\0');
  FUZZ_CHECK(ReadHandOverBuffer(sent.data(), sent.size()) == path.substr(0, kHandOverSize - 1));
  return 0;
}
