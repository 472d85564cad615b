// Builds BMP files byte by byte for the tests, with every header field under the test's control.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TBmpBuilder {
  uint32_t headerSize = 40;
  int32_t width = 1;
  int32_t height = 1;
  uint16_t bitCount = 24;
  uint32_t compression = 0;
  uint32_t sizeImage = 0;
  uint32_t colorsUsed = 0;
  std::vector<uint32_t> masks;      // written after a 40-byte header, or inside V4/V5 ones
  std::vector<uint8_t> colorTable;  // raw bytes (4 per entry, or 3 for the OS/2 header)
  std::vector<uint8_t> pixels;      // raw bytes
  int64_t offBitsDelta = 0;         // added to the natural data offset
  int64_t fileSizeDelta = 0;        // added to the natural file size
  std::string magic = "BM";

  static void Put(std::vector<uint8_t>& b, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }

  std::vector<uint8_t> Build() const {
    std::vector<uint8_t> info;
    if (headerSize == 12) {
      Put(info, 12, 4);
      Put(info, static_cast<uint16_t>(width), 2);
      Put(info, static_cast<uint16_t>(height), 2);
      Put(info, 1, 2);
      Put(info, bitCount, 2);
    } else {
      Put(info, headerSize, 4);
      Put(info, static_cast<uint32_t>(width), 4);
      Put(info, static_cast<uint32_t>(height), 4);
      Put(info, 1, 2);
      Put(info, bitCount, 2);
      Put(info, compression, 4);
      Put(info, sizeImage, 4);
      Put(info, 0, 4);
      Put(info, 0, 4);
      Put(info, colorsUsed, 4);
      Put(info, 0, 4);
      if (headerSize > 40) {
        for (size_t i = 0; i < 4; ++i) Put(info, i < masks.size() ? masks[i] : 0, 4);
        while (info.size() < headerSize) info.push_back(0);
      } else {
        for (uint32_t m : masks) Put(info, m, 4);
      }
    }
    const uint64_t offBits = 14 + info.size() + colorTable.size() + offBitsDelta;
    std::vector<uint8_t> file;
    file.push_back(static_cast<uint8_t>(magic[0]));
    file.push_back(static_cast<uint8_t>(magic[1]));
    Put(file, offBits + pixels.size() + fileSizeDelta, 4);
    Put(file, 0, 4);
    Put(file, offBits, 4);
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), colorTable.begin(), colorTable.end());
    for (int64_t i = 0; i < offBitsDelta; ++i) file.push_back(0xEE);
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
  }
};
