// The rules of the plug-in host that need no plug-in: which extensions a filter entry
// registers, which plug-ins prefer a file, progress arithmetic, and the checks a plug-in's
// returned bitmap must pass before anything reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The extensions of a filter entry such as "*.aaa;*.bbb;*.ccc", in registration order: from
// the last pattern to the first. A pattern's extension is the text after its first ".", a
// pattern without "." is taken whole.
std::vector<std::string> FilterExtensions(std::string_view filterEntry);

// Whether some filter entry, reduced to its last pattern's extension (from its last "."),
// equals the file's extension without regard to case. An empty file extension prefers nothing.
bool PrefersExtension(const std::vector<std::string>& filters, std::string_view fileName);

// The order GetSPIs hands out candidates: preferring ones first in reverse order, then the
// others in their order. `prefers[i]` is the answer for candidate i.
std::vector<size_t> PreferenceOrder(const std::vector<bool>& prefers);

// The percent a plug-in's progress report shows: done × 97 / total rounded to nearest, + 2.
int ProgressPercent(int done, int total);

// What the host needs to know of a plug-in's packed bitmap block, checked against the sizes of
// the memory the plug-in returned. Valid is false for anything that would make a reader go past
// either block or ask for an absurd picture.
struct TPluginDib {
  bool Valid = false;
  int32_t Width = 0;
  int32_t Height = 0;  // as stored: negative for top-down rows
  int BitCount = 0;
  uint32_t Compression = 0;
  int ColorCount = 0;       // colours used, or 2/16/256 for 1/4/8 bits when 0
  uint32_t HeaderSize = 0;  // 40 + 4 × colours (+ 12 masks for bit fields), as a BMP holds it
  uint32_t ImageSize = 0;   // padded rows × |height|, or the stated size of compressed data
  // Where the colour table starts in the plug-in's block: after the header's own size (40, or
  // 108 and 124 for the later headers, whose masks lie inside them), then 12 bytes of masks
  // after a 40-byte header with bit fields.
  uint32_t TableOffset = 40;
};
TPluginDib CheckPluginDib(const uint8_t* info, size_t infoSize, size_t pixelSize);

// The start of the BMP image of a checked plug-in picture: file header, a 40-byte information
// header, the bit-field masks if any and the colour table (taken from after the plug-in's own
// header, whatever its size); the pixel block follows it unchanged.
std::vector<uint8_t> PluginBmpHead(const uint8_t* info, const TPluginDib& dib);

// A plug-in's filter entries (extension patterns and their descriptions), read by asking for the
// information numbers 2, 3, 4, ... until one has no text. A plug-in that has text for every
// number is believed for kMaxFilterPairs pairs: the reading ends.
constexpr int kMaxFilterPairs = 64;
std::vector<std::pair<std::string, std::string>> ReadFilterPairs(
    const std::function<bool(int number, std::string& text)>& info);
