// The helper's messages as the program reads them: whatever bytes arrive, a message is either
// refused with EWireError or read whole, and then sends and reads back the same. Each message
// read is then taken as every kind of answer, as the program takes them: nothing it accepts
// goes past what came, and no handle of the helper's survives.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "decode/DIBStore.h"
#include "decode/PluginAnswer.h"
#include "decode/PluginWire.h"
#include "fuzz/FuzzCheck.h"

namespace {

void TakeAsEveryAnswer(const plugin_wire::TMessage& m) {
  const int32_t entries = plugin_answer::LoadedEntries(m, 10);
  FUZZ_CHECK(entries == -1 || (entries >= 0 && entries < (1 << 10)));

  char buffer[256];
  std::memset(buffer, 'x', sizeof buffer);
  const int written = plugin_answer::PluginInfo(m, buffer, 255);
  FUZZ_CHECK(written <= 0 || static_cast<size_t>(written) <= m.Data.size());
  FUZZ_CHECK(std::memchr(buffer, '\0', 255) != nullptr);
  FUZZ_CHECK(buffer[255] == 'x');

  TSusiePictureInfo info{};
  if (plugin_answer::PictureInfo(m, info) == SusieResult::kSuccess) {
    FUZZ_CHECK(m.Data.size() == sizeof info);
    FUZZ_CHECK(info.hInfo == 0);
  }

  if (plugin_answer::Picture(m, kMaxPixelBytes) == SusieResult::kSuccess) {
    FUZZ_CHECK(!m.Data.empty());
    FUZZ_CHECK(m.SectionSize > 0 && m.SectionSize <= kMaxPixelBytes);
  }

  const size_t bufferSize = m.Total > 0 ? static_cast<size_t>(m.Total) : 0;
  if (plugin_answer::Extraction(m, bufferSize).empty()) FUZZ_CHECK(m.SectionSize <= bufferSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace plugin_wire;
  TMessage message;
  try {
    message = Decode(data, size);
  } catch (const EWireError&) {
    return 0;
  }
  const std::vector<uint8_t> frame = Encode(message);
  FUZZ_CHECK(frame.size() == size + 4);
  FUZZ_CHECK(FrameLength(frame.data()) == size);
  FUZZ_CHECK(Decode(frame.data() + 4, frame.size() - 4) == message);
  TakeAsEveryAnswer(message);
  return 0;
}
