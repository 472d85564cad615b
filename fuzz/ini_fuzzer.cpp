// The settings file reader: any bytes parse, every setting reads, and writing the settings and
// reading them back reaches a fixed point after one round (the font height settles on a
// height its point size can express; line breaks in single-line values become spaces).
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/Settings.h"
#include "base/IniFile.h"
#include "fuzz/FuzzCheck.h"

namespace {

TSettings RoundTrip(const std::string& text, std::string& written) {
  IniFile ini = IniFile::Parse(text);
  TSettings settings;
  ReadSettings(ini, settings, TScreenMetrics{});
  WriteSettings(ini, settings);
  written = ini.ToText();
  return settings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string once;
  std::string twice;
  std::string thrice;
  RoundTrip(text, once);
  const TSettings second = RoundTrip(once, twice);
  const TSettings third = RoundTrip(twice, thrice);
  FUZZ_CHECK(second == third);
  FUZZ_CHECK(twice == thrice);
  FUZZ_CHECK(DecodeMultiLineValue(EncodeMultiLineValue(text)) == text);
  return 0;
}
