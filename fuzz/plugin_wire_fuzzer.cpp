// The helper's messages as the program reads them: whatever bytes arrive, a message is either
// refused with EWireError or read whole, and then sends and reads back the same.
#include <cstddef>
#include <cstdint>

#include "decode/PluginWire.h"
#include "fuzz/FuzzCheck.h"

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
  return 0;
}
