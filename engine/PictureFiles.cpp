#include "engine/PictureFiles.h"

int FindJpegStartIn(const uint8_t* data, size_t size) {
  for (size_t i = 0; i <= 256; ++i) {
    if (i + 2 > size) return -1;
    if (data[i] == 0xFF && data[i + 1] == 0xD8) return static_cast<int>(i);
  }
  return -1;
}
