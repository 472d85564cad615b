#include "decode/SPIRules.h"

#include <algorithm>
#include <cstring>

#include "base/Path.h"
#include "base/TextCase.h"
#include "decode/DIBStore.h"

std::vector<std::string> FilterExtensions(std::string_view entry) {
  std::vector<std::string> extensions;
  std::string_view rest = entry;
  while (!rest.empty()) {
    const size_t semicolon = rest.rfind(';');
    std::string_view piece =
        semicolon == std::string_view::npos ? rest : rest.substr(semicolon + 1);
    rest = semicolon == std::string_view::npos ? std::string_view() : rest.substr(0, semicolon);
    const size_t dot = piece.find('.');
    if (dot != std::string_view::npos) piece = piece.substr(dot + 1);
    extensions.emplace_back(piece);
  }
  return extensions;
}

bool PrefersExtension(const std::vector<std::string>& filters, std::string_view fileName) {
  const std::string ext = ExtractFileExt(fileName);
  if (ext.empty()) return false;
  for (const std::string& filter : filters) {
    const size_t dot = filter.rfind('.');
    if (dot == std::string::npos) continue;
    if (SameText(std::string_view(filter).substr(dot), ext)) return true;
  }
  return false;
}

std::vector<size_t> PreferenceOrder(const std::vector<bool>& prefers) {
  std::vector<size_t> order;
  for (size_t i = 0; i < prefers.size(); ++i) {
    if (prefers[i]) {
      order.insert(order.begin(), i);
    } else {
      order.push_back(i);
    }
  }
  return order;
}

int ProgressPercent(int done, int total) {
  if (total == 0) return 2;
  int64_t product = int64_t{done} * 97;
  const int64_t divisor = total;
  // Round half away from zero.
  const bool negative = (product < 0) != (divisor < 0);
  product = product < 0 ? -product : product;
  const int64_t d = divisor < 0 ? -divisor : divisor;
  int64_t quotient = (product + d / 2) / d;
  if (negative) quotient = -quotient;
  // A plug-in that reports more done than there is, or less than nothing, stays in 0 to 100.
  return static_cast<int>(std::clamp<int64_t>(quotient + 2, 0, 100));
}

TPluginDib CheckPluginDib(const uint8_t* info, size_t infoSize, size_t pixelSize) {
  TPluginDib dib;
  if (info == nullptr || infoSize < 40) return dib;
  auto get32 = [&](size_t at) {
    uint32_t v;
    std::memcpy(&v, info + at, 4);
    return v;
  };
  uint16_t bits = 0;
  std::memcpy(&bits, info + 14, 2);
  const uint32_t headerBytes = get32(0);
  dib.Width = static_cast<int32_t>(get32(4));
  dib.Height = static_cast<int32_t>(get32(8));
  dib.BitCount = bits;
  dib.Compression = get32(16);
  const uint32_t stated = get32(20);
  const uint32_t used = get32(32);
  if (headerBytes < 40 || headerBytes > infoSize) return dib;
  if (dib.Width <= 0 || dib.Height == 0 || dib.Height == INT32_MIN) return dib;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return dib;
  if (used > 256) return dib;
  dib.ColorCount = used != 0 ? static_cast<int>(used) : (bits <= 8 ? 1 << bits : 0);
  const bool masks = dib.Compression == BI_BITFIELDS_;
  const uint64_t table = uint64_t{4} * static_cast<uint64_t>(dib.ColorCount);
  uint64_t header = 40 + table + (masks ? 12 : 0);
  // The later headers (108, 124 bytes) hold the masks themselves; the table follows them.
  const uint64_t tableOffset = headerBytes + (masks && headerBytes < 52 ? 12 : 0);
  if (tableOffset + table > infoSize) return dib;
  const uint64_t height = static_cast<uint64_t>(dib.Height < 0 ? -int64_t{dib.Height} : dib.Height);
  uint64_t image = RowBytes(static_cast<uint64_t>(dib.Width), bits) * height;
  if (dib.Compression == BI_RLE8_ || dib.Compression == BI_RLE4_) image = stated;
  if (image == 0 || image > kMaxPixelBytes || image > pixelSize) return dib;
  dib.HeaderSize = static_cast<uint32_t>(header);
  dib.TableOffset = static_cast<uint32_t>(tableOffset);
  dib.ImageSize = static_cast<uint32_t>(image);
  dib.Valid = true;
  return dib;
}

std::vector<uint8_t> PluginBmpHead(const uint8_t* info, const TPluginDib& dib) {
  std::vector<uint8_t> head(14 + dib.HeaderSize, 0);
  const uint32_t offBits = 14 + dib.HeaderSize;
  const uint32_t total = offBits + dib.ImageSize;
  head[0] = 'B';
  head[1] = 'M';
  std::memcpy(&head[2], &total, 4);
  std::memcpy(&head[10], &offBits, 4);
  // Whatever header the plug-in wrote, it is written as 40 bytes, then the masks, then the
  // colour table from where the plug-in put it.
  std::memcpy(&head[14], info, 40);
  const uint32_t forty = 40;
  std::memcpy(&head[14], &forty, 4);
  size_t at = 14 + 40;
  if (dib.Compression == BI_BITFIELDS_) {
    std::memcpy(&head[at], info + 40, 12);
    at += 12;
  }
  std::memcpy(&head[at], info + dib.TableOffset, 4 * static_cast<size_t>(dib.ColorCount));
  return head;
}

std::vector<std::pair<std::string, std::string>> ReadFilterPairs(
    const std::function<bool(int number, std::string& text)>& info) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (int n = 2; pairs.size() < kMaxFilterPairs; n += 2) {
    std::string filter;
    std::string description;
    if (!info(n, filter) || !info(n + 1, description)) break;
    pairs.emplace_back(std::move(filter), std::move(description));
  }
  return pairs;
}
