#include <doctest/doctest.h>

#include <cstring>
#include <string>
#include <utility>

#include "addons/wic/WicFilters.h"
#include "decode/AlphaBlend.h"
#include "decode/SPIRules.h"

TEST_CASE("filter entries register from the last pattern to the first") {
  CHECK(FilterExtensions("*.aaa;*.bbb;*.ccc") == std::vector<std::string>{"ccc", "bbb", "aaa"});
  CHECK(FilterExtensions("*.pic") == std::vector<std::string>{"pic"});
  CHECK(FilterExtensions("noext") == std::vector<std::string>{"noext"});
  CHECK(FilterExtensions("*.tar.gz") == std::vector<std::string>{"tar.gz"});
  CHECK(FilterExtensions("").empty());
}

TEST_CASE("a plug-in prefers a file by the last pattern of a filter entry") {
  CHECK(PrefersExtension({"*.jpg"}, "C:\\A.JPG"));
  CHECK_FALSE(PrefersExtension({"*.png"}, "C:\\a.jpg"));
  CHECK(PrefersExtension({"*.png", "*.jpeg;*.jpg"}, "x.jpg"));
  CHECK_FALSE(PrefersExtension({"*.jpg;*.jpeg"}, "x.jpg"));  // only the last pattern counts
  CHECK_FALSE(PrefersExtension({"*.jpg"}, "C:\\noext"));
  // P1 (jpg), P2 (png), P3 (jpg) for a .JPG file: P3, P1, P2.
  const std::vector<bool> prefers{PrefersExtension({"*.jpg"}, "a.JPG"),
                                  PrefersExtension({"*.png"}, "a.JPG"),
                                  PrefersExtension({"*.jpg"}, "a.JPG")};
  CHECK(PreferenceOrder(prefers) == std::vector<size_t>{2, 0, 1});
  CHECK(PreferenceOrder({false, false}) == std::vector<size_t>{0, 1});
}

TEST_CASE("progress percent: 97 parts, rounded, plus 2") {
  CHECK(ProgressPercent(0, 100) == 2);
  CHECK(ProgressPercent(100, 100) == 99);
  CHECK(ProgressPercent(1, 2) == 51);                    // 48.5 rounds up
  CHECK(ProgressPercent(2000000000, 2000000000) == 99);  // no 32-bit overflow
  CHECK(ProgressPercent(5, 0) == 2);
  // Reports past the end or below nothing stay within a percentage (a byte wrapped 300 to 44).
  CHECK(ProgressPercent(300, 100) == 100);
  CHECK(ProgressPercent(-300, 100) == 0);
  CHECK(ProgressPercent(1, -1) == 0);
}

namespace {

std::vector<uint8_t> Info(int32_t w, int32_t h, uint16_t bits, uint32_t compression = 0,
                          uint32_t used = 0, uint32_t size = 40, size_t colors = 0) {
  std::vector<uint8_t> b(40 + colors * 4, 0);
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
  put32(0, size);
  put32(4, static_cast<uint32_t>(w));
  put32(8, static_cast<uint32_t>(h));
  b[12] = 1;
  std::memcpy(&b[14], &bits, 2);
  put32(16, compression);
  put32(32, used);
  return b;
}

}  // namespace

TEST_CASE("a plug-in's bitmap block is checked against the memory it came in") {
  auto info = Info(3, 2, 24);
  TPluginDib dib = CheckPluginDib(info.data(), info.size(), 24);
  CHECK(dib.Valid);
  CHECK(dib.HeaderSize == 40);
  CHECK(dib.ImageSize == 24);
  CHECK(dib.ColorCount == 0);
  CHECK_FALSE(CheckPluginDib(info.data(), info.size(), 23).Valid);  // pixel block too small

  info = Info(9, -1, 1, 0, 0, 40, 2);
  dib = CheckPluginDib(info.data(), info.size(), 4);
  CHECK(dib.Valid);
  CHECK(dib.ColorCount == 2);
  CHECK(dib.HeaderSize == 48);
  info = Info(9, 1, 1);  // says two colours but the block holds none
  CHECK_FALSE(CheckPluginDib(info.data(), info.size(), 4).Valid);

  CHECK_FALSE(CheckPluginDib(info.data(), 39, 100).Valid);
  for (auto bad : {Info(0, 1, 24), Info(1, 0, 24), Info(1, INT32_MIN, 24), Info(1, 1, 7),
                   Info(1, 1, 24, 0, 300), Info(1, 1, 24, 0, 0, 1000), Info(100000, 100000, 32)}) {
    CHECK_FALSE(CheckPluginDib(bad.data(), bad.size(), 1u << 30).Valid);
  }
  info = Info(2, 1, 16, 3, 0, 40, 3);  // bit fields: 12 bytes of masks
  CHECK(CheckPluginDib(info.data(), info.size(), 4).HeaderSize == 52);
  CHECK(CheckPluginDib(info.data(), info.size(), 4).TableOffset == 52);
}

TEST_CASE("the colour table follows the plug-in's own header, also a 108- or 124-byte one") {
  for (const uint32_t size : {40u, 108u, 124u}) {
    CAPTURE(size);
    // Two colours, red and blue, after a header of `size` bytes; a 2 x 1 picture of 8 bits.
    std::vector<uint8_t> info = Info(2, 1, 8, 0, 2, size, 0);
    info.resize(size, 0);
    for (const uint8_t byte : {0, 0, 255, 0, 255, 0, 0, 0}) info.push_back(byte);
    const TPluginDib dib = CheckPluginDib(info.data(), info.size(), 4);
    REQUIRE(dib.Valid);
    CHECK(dib.TableOffset == size);
    CHECK(dib.HeaderSize == 48);
    const std::vector<uint8_t> head = PluginBmpHead(info.data(), dib);
    REQUIRE(head.size() == 14 + 48);
    uint32_t written = 0;
    std::memcpy(&written, &head[14], 4);
    CHECK(written == 40);
    CHECK(std::vector<uint8_t>(head.begin() + 54, head.end()) ==
          std::vector<uint8_t>{0, 0, 255, 0, 255, 0, 0, 0});
    // A block that ends inside the table is refused.
    CHECK_FALSE(CheckPluginDib(info.data(), info.size() - 1, 4).Valid);
  }
}

TEST_CASE("transparency over a background: exact at both ends, rounded between") {
  for (const int colour : {0, 1, 127, 200, 255}) {
    for (const int background : {0, 58, 110, 255}) {
      CHECK(BlendOver(static_cast<uint8_t>(colour), 255, static_cast<uint8_t>(background)) ==
            colour);
      CHECK(BlendOver(static_cast<uint8_t>(colour), 0, static_cast<uint8_t>(background)) ==
            background);
    }
  }
  CHECK(BlendOver(255, 128, 0) == 128);   // 32640 / 255 = 128
  CHECK(BlendOver(200, 64, 100) == 125);  // (12800 + 19100) / 255 = 125.1
  CHECK(BlendOver(0, 1, 255) == 254);
}

TEST_CASE("the system-codec plug-in's filters: entries of at most 254 bytes, no pattern cut") {
  // A RAW extension's thirty-odd camera formats and a HEIF extension after them.
  std::vector<std::string> raw;
  for (const char* e : {".3fr", ".ari", ".arw", ".bay", ".cap", ".cr2", ".cr3", ".crw", ".dcs",
                        ".dcr", ".drf", ".eip", ".erf", ".fff", ".iiq", ".k25", ".kdc", ".mef",
                        ".mos", ".mrw", ".nef", ".nrw", ".orf", ".ori", ".pef", ".ptx", ".pxn",
                        ".raf", ".raw", ".rw2", ".rwl", ".sr2", ".srf", ".srw", ".x3f", ".dng"}) {
    raw.emplace_back(e);
  }
  const std::vector<TDecoderClaim> decoders{
      {"Raw Image Decoder", raw}, {"HEIF Decoder", {".heic", ".heif", ".hif"}}, {"", {".jxr"}}};
  const std::vector<TFilterEntry> entries =
      WicFilterEntries("*.png;*.gif;*.tif;*.tiff;*.ico", "PNG, GIF, TIFF, Icon", decoders);
  REQUIRE(entries.size() == 2);
  CHECK(entries[0].filter.rfind("*.png;*.gif;*.tif;*.tiff;*.ico;*.3fr;", 0) == 0);
  // .heic still fits the first entry, .heif starts the second: the HEIF decoder is named in both.
  CHECK(entries[0].filter.substr(entries[0].filter.size() - 7) == ";*.heic");
  CHECK(entries[0].description ==
        "PNG, GIF, TIFF, Icon, Raw Image Decoder, HEIF Decoder (Windows Imaging Component)");
  std::string all;
  for (const TFilterEntry& entry : entries) {
    CHECK(entry.filter.size() <= 254);
    CHECK(entry.description.size() <= 254);
    CHECK(entry.filter.back() != ';');
    all += (all.empty() ? "" : ";") + entry.filter;
  }
  std::string expected = "*.png;*.gif;*.tif;*.tiff;*.ico";
  for (const auto& [name, extensions] : decoders)
    for (const std::string& e : extensions) expected += ";*" + e;
  CHECK(all == expected);
  CHECK(entries[1].description.find("HEIF Decoder") != std::string::npos);
  // Nothing further: the one entry as before; a tiny limit still cuts no pattern.
  CHECK(WicFilterEntries("*.png", "PNG", {}).size() == 1);
  CHECK(WicFilterEntries("*.png", "PNG", {}).front().description ==
        "PNG (Windows Imaging Component)");
  for (const TFilterEntry& entry : WicFilterEntries("*.png", "PNG", decoders, 12)) {
    CHECK(entry.filter.size() <= 12);
    CHECK(entry.filter.find("*.") == 0);
  }
}

TEST_CASE("a plug-in with filter text for every number is believed for so many pairs only") {
  int asked = 0;
  const auto pairs = ReadFilterPairs([&](int n, std::string& text) {
    text = "*.x" + std::to_string(n);
    return ++asked < 100000;
  });
  CHECK(pairs.size() == static_cast<size_t>(kMaxFilterPairs));
  CHECK(pairs[0] == std::pair<std::string, std::string>{"*.x2", "*.x3"});
  CHECK(ReadFilterPairs([](int n, std::string& text) {
          text = "t";
          return n < 6;
        }).size() == 2);
}
