// Builds PNG files chunk by chunk for the tests, with every byte under the test's control: CRCs
// right or wrong, image data deflated by zlib from rows the test writes (filter byte first).
#pragma once

#include <zlib.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

using TBytes = std::vector<uint8_t>;

namespace png_build {

inline void Be32(TBytes& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

inline TBytes Signature() {
  return {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
}

inline TBytes Chunk(const std::string& type, const TBytes& data, bool goodCrc = true) {
  TBytes out;
  Be32(out, static_cast<uint32_t>(data.size()));
  out.insert(out.end(), type.begin(), type.end());
  out.insert(out.end(), data.begin(), data.end());
  uLong crc = crc32(0, out.data() + 4, static_cast<uInt>(out.size() - 4));
  Be32(out, static_cast<uint32_t>(goodCrc ? crc : ~crc));
  return out;
}

inline TBytes Ihdr(uint32_t width, uint32_t height, uint8_t depth, uint8_t colorType,
                   uint8_t interlace = 0, uint8_t compression = 0, uint8_t filter = 0) {
  TBytes d;
  Be32(d, width);
  Be32(d, height);
  d.insert(d.end(), {depth, colorType, compression, filter, interlace});
  return Chunk("IHDR", d);
}

inline TBytes Deflate(const TBytes& raw, int level = 9) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  TBytes out(size);
  compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), level);
  out.resize(size);
  return out;
}

inline TBytes Idat(const TBytes& raw) {
  return Chunk("IDAT", Deflate(raw));
}

inline TBytes Iend() {
  return Chunk("IEND", {});
}

// The signature followed by the chunks.
inline TBytes File(std::initializer_list<TBytes> chunks) {
  TBytes out = Signature();
  for (const TBytes& c : chunks) out.insert(out.end(), c.begin(), c.end());
  return out;
}

// Unfiltered rows (filter byte 0) of `rowBytes` bytes each, from a function of (x, y).
template <typename F>
TBytes Rows(int rowBytes, int height, F byteAt) {
  TBytes raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    for (int x = 0; x < rowBytes; ++x) raw.push_back(static_cast<uint8_t>(byteAt(x, y)));
  }
  return raw;
}

}  // namespace png_build
