// The portable helpers of picture loading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The offset of the first JPEG start-of-image marker (0xFF 0xD8) at 0 to 256, or -1. Data too
// short for a read at some offset ends the search as a failure.
int FindJpegStartIn(const uint8_t* data, size_t size);

constexpr int kJpegSearchBytes = 258;

inline const char* BoolToText(bool value) {
  return value ? "True" : "False";
}
