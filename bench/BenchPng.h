// A large RGB PNG for the benchmarks: smooth gradients and some noise, compressed fast.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>

inline void PngChunk(std::string& png, const char* type, const std::string& data) {
  const auto length = static_cast<uint32_t>(data.size());
  for (int i = 3; i >= 0; --i) png += static_cast<char>(length >> (8 * i));
  std::string body = std::string(type, 4) + data;
  png += body;
  const uLong crc =
      crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  for (int i = 3; i >= 0; --i) png += static_cast<char>(crc >> (8 * i));
}

// An RGB PNG with smooth gradients and some noise, compressed fast.
inline std::string BenchPng(int width, int height) {
  std::string raw;
  raw.reserve(static_cast<size_t>(width * 3 + 1) * height);
  uint32_t seed = 1;
  for (int y = 0; y < height; ++y) {
    raw += '\0';
    for (int x = 0; x < width; ++x) {
      seed = seed * 1103515245 + 12345;
      raw += static_cast<char>((x / 24 + (seed >> 28)) & 0xFF);
      raw += static_cast<char>((y / 16) & 0xFF);
      raw += static_cast<char>(((x + y) / 40) & 0xFF);
    }
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string compressed(size, '\0');
  compress2(reinterpret_cast<Bytef*>(compressed.data()), &size,
            reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()), 1);
  compressed.resize(size);
  std::string png = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  for (int v : {width, height}) {
    for (int i = 3; i >= 0; --i) ihdr += static_cast<char>(v >> (8 * i));
  }
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);
  PngChunk(png, "IHDR", ihdr);
  PngChunk(png, "IDAT", compressed);
  PngChunk(png, "IEND", "");
  return png;
}
