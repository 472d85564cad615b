// The line readers: list files, the exclusion list and message files. Any bytes split into lines
// without line ends, writing the lines and reading them back gives the same lines; every line
// read as an exclusion excludes the path it names, in any case; and choosing a message section
// from them (the first line as separator) stays within the file's text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/Random.h"
#include "base/TextCase.h"
#include "engine/ExcludedPictures.h"
#include "engine/FileSystem.h"
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

// Only what a list line's path needs: "C:pic.jpg" made full.
class TFuzzFiles final : public IFileSystem {
 public:
  bool DirectoryExists(const std::string&) override { return false; }
  bool FileExists(const std::string&) override { return false; }
  void EnumerateFolder(const std::string&, const Visitor&) override {}
  std::vector<std::string> ReadListFile(const std::string&) override { return {}; }
  void WriteListFile(const std::string&, const std::vector<std::string>&) override {}
  std::string FullPath(const std::string& path) override { return "C:\\cwd\\" + path.substr(2); }
  std::string FolderIdentity(const std::string&) override { return {}; }
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

  TFuzzFiles files;
  std::vector<std::string> paths;
  for (const std::string& line : lines) paths.push_back(ListEntryPath(files, "C:\\app", line));
  TExcludedPictures excluded;
  excluded.Assign(paths);
  FUZZ_CHECK(excluded.Count() <= lines.size());
  for (const std::string& path : paths) {
    FUZZ_CHECK(path.empty() || (excluded.Contains(path) && excluded.Contains(UpperCase(path))));
  }

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
