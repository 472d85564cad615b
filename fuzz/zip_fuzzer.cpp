// Our ZIP reader over any bytes: the directory opens or is refused; every member extracts into
// a buffer whose size the last byte chooses, and nothing is ever written past that buffer,
// whatever the archive claims.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "addons/zip/ZipReader.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  TZipMemorySource source(data, size - 1);
  TZipReader reader;
  if (reader.Open(source) != ZipError::kOk) return 0;
  const size_t capacity = static_cast<size_t>(data[size - 1]) * 64;
  size_t tried = 0;
  for (const TZipEntry& entry : reader.Entries()) {
    if (++tried > 8) break;
    std::vector<uint8_t> buffer(capacity + 32, 0xA5);
    size_t written = 0;
    reader.Extract(entry, buffer.data(), capacity, written);
    FUZZ_CHECK(written <= capacity);
    for (size_t i = capacity; i < buffer.size(); ++i) FUZZ_CHECK(buffer[i] == 0xA5);
    ZipNameMatches(entry.Name, entry.Name);
  }
  return 0;
}
