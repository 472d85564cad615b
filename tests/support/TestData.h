// The committed test pictures under tests/data, and readers for the reference decodings made
// beside them (PAM and PPM as ImageMagick writes them).
#pragma once

#include <doctest/doctest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

// tests/data/<folder>/, or the same under VESKO2_TEST_DATA where the tests run elsewhere.
inline std::string TestDataFolder(const std::string& folder) {
  if (const char* data = std::getenv("VESKO2_TEST_DATA"))
    return std::string(data) + "/" + folder + "/";
  return std::string(__FILE__).substr(0, std::string(__FILE__).rfind("/tests/")) + "/tests/data/" +
         folder + "/";
}

inline std::vector<uint8_t> ReadTestFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  REQUIRE(in);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A reference picture: 8-bit samples, `Channels` per pixel (3 RGB or 4 RGBA), rows from the top.
struct TReference {
  int Width = 0;
  int Height = 0;
  int Channels = 0;
  std::vector<uint8_t> Samples;  // 8 bits, rounded from Wide when the file has more
  std::vector<uint16_t> Wide;    // a 16-bit PAM's own samples; empty for 8 bits

  const uint8_t* At(int x, int y) const {
    return Samples.data() + (static_cast<size_t>(y) * Width + x) * Channels;
  }
};

// An 8-bit PAM (P7) or binary PPM (P6) file.
inline TReference ReadReference(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadTestFile(path);
  const std::string text(bytes.begin(), bytes.end());
  TReference r;
  size_t start = 0;
  if (text.rfind("P7", 0) == 0) {
    const size_t end = text.find("ENDHDR\n");
    REQUIRE(end != std::string::npos);
    std::istringstream header(text.substr(0, end));
    std::string key;
    int maximum = 255;
    while (header >> key) {
      if (key == "WIDTH") header >> r.Width;
      if (key == "HEIGHT") header >> r.Height;
      if (key == "DEPTH") header >> r.Channels;
      if (key == "MAXVAL") header >> maximum;
    }
    start = end + 7;
    REQUIRE((maximum == 255 || maximum == 65535));
    if (maximum == 65535) {
      const size_t count = static_cast<size_t>(r.Width) * r.Height * r.Channels;
      REQUIRE(bytes.size() - start == count * 2);
      for (size_t i = 0; i < count; ++i) {
        const auto v = static_cast<uint16_t>(bytes[start + 2 * i] << 8 | bytes[start + 2 * i + 1]);
        r.Wide.push_back(v);
        r.Samples.push_back(static_cast<uint8_t>((v * 255u + 32767) / 65535));
      }
      return r;
    }
  } else {
    REQUIRE(text.rfind("P6", 0) == 0);
    std::istringstream header(text);
    std::string magic;
    int maximum = 0;
    header >> magic >> r.Width >> r.Height >> maximum;
    REQUIRE(maximum == 255);
    r.Channels = 3;
    start = static_cast<size_t>(header.tellg()) + 1;
  }
  r.Samples.assign(bytes.begin() + static_cast<long>(start), bytes.end());
  REQUIRE(r.Samples.size() == static_cast<size_t>(r.Width) * r.Height * r.Channels);
  return r;
}
