// Walks the segments of a JPEG file that come before its scan, checking every length against
// the data; nothing outside `data` is ever read.
#pragma once

#include <cstddef>
#include <cstdint>

// Calls `visit(marker, payload, payloadSize)` for each segment with a length before the scan,
// until it returns false or the segments end or stop holding together.
template <typename Visit>
void ForEachJpegSegment(const uint8_t* data, size_t size, Visit&& visit) {
  if (data == nullptr || size < 2 || data[0] != 0xFF || data[1] != 0xD8) return;
  size_t pos = 2;
  for (;;) {
    // A marker: 0xFF, any number of fill bytes 0xFF, then its code.
    if (pos >= size || data[pos] != 0xFF) return;
    while (pos < size && data[pos] == 0xFF) ++pos;
    if (pos >= size) return;
    const uint8_t marker = data[pos++];
    // The scan starts, or the picture ends.
    if (marker == 0xDA || marker == 0xD9 || marker == 0x00) return;
    // Markers that stand alone, without a length.
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
    if (size - pos < 2) return;
    const size_t length = (size_t{data[pos]} << 8) | data[pos + 1];
    if (length < 2 || length > size - pos) return;
    if (!visit(marker, data + pos + 2, length - 2)) return;
    pos += length;
  }
}
