#include "base/Utf8.h"

#include <cstdint>

bool IsNonAsciiUtf8(std::string_view bytes) {
  bool beyondAscii = false;
  size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<uint8_t>(bytes[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    beyondAscii = true;
    size_t length = 0;
    uint8_t low = 0x80;   // the range of the second byte, narrowed for the lead bytes whose
    uint8_t high = 0xBF;  // sequences could be overlong, surrogates or beyond U+10FFFF
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    for (size_t k = 1; k < length; ++k) {
      if (i + k >= bytes.size()) return true;  // cut short by the end
      const auto next = static_cast<uint8_t>(bytes[i + k]);
      if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return false;
    }
    i += length;
  }
  return beyondAscii;
}
