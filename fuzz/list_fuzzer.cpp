// The line readers: list files and message files. Any bytes split into lines without line
// ends, writing the lines and reading them back gives the same lines, and choosing a message
// section from them (the first line as separator) stays within the file's text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/Random.h"
#include "engine/ListFile.h"
#include "engine/MessageText.h"
#include "fuzz/FuzzCheck.h"

namespace {

class TFuzzRandom final : public IRandom {
 public:
  uint32_t Next(uint32_t range) override {
    return range == 0 ? 0 : (state_ = state_ * 1103515245 + 12345) % range;
  }

 private:
  uint32_t state_ = 1;
};

}  // namespace

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

  TFuzzRandom random;
  TMessageState state;
  state.SepString = lines.empty() ? std::string() : lines.front();
  state.SepIndex = static_cast<int>(size % 7) - 2;
  state.SepRandom = (size & 1) != 0;
  for (int round = 0; round < 3; ++round) {
    const std::string message = ChooseMessage(lines, state, random);
    FUZZ_CHECK(message.size() <= size + 2 * lines.size() + 2);
    FUZZ_CHECK(state.SeparatorCount == 0 ||
               (state.SepIndex >= 0 && state.SepIndex < state.SeparatorCount));
  }
  return 0;
}
