#include "addons/zip/ZipReader.h"

#include <zlib.h>

#include <cstring>

namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr size_t kMaxEntries = 1 << 20;

uint16_t Get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Get32(const uint8_t* p) {
  return Get16(p) | (static_cast<uint32_t>(Get16(p + 2)) << 16);
}
uint64_t Get64(const uint8_t* p) {
  return Get32(p) | (static_cast<uint64_t>(Get32(p + 4)) << 32);
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
char Slash(char c) {
  return c == '\\' ? '/' : c;
}

}  // namespace

bool TZipMemorySource::ReadAt(uint64_t offset, void* buffer, size_t count) {
  if (offset > size_ || count > size_ - offset) return false;
  if (count != 0) std::memcpy(buffer, data_ + offset, count);
  return true;
}

int TZipReader::Open(IZipSource& source) {
  source_ = &source;
  entries_.clear();
  const uint64_t size = source.Size();
  if (size < 22) return ZipError::kNotZip;
  // The end record: within the last 22 + 65535 bytes.
  const size_t tail = static_cast<size_t>(std::min<uint64_t>(size, 22 + 65535));
  std::vector<uint8_t> end(tail);
  if (!source.ReadAt(size - tail, end.data(), tail)) return ZipError::kBroken;
  size_t at = tail - 22 + 1;
  bool found = false;
  while (at-- > 0) {
    if (Get32(&end[at]) == kEndSignature) {
      found = true;
      break;
    }
  }
  if (!found) return ZipError::kNotZip;
  const uint64_t endOffset = size - tail + at;
  uint64_t count = Get16(&end[at + 10]);
  uint64_t directorySize = Get32(&end[at + 12]);
  uint64_t directoryOffset = Get32(&end[at + 16]);
  // Zip64: the locator just before the end record names the Zip64 end record.
  if (endOffset >= 20) {
    uint8_t locator[20];
    if (source.ReadAt(endOffset - 20, locator, 20) && Get32(locator) == kZip64LocatorSignature) {
      uint8_t end64[56];
      if (!source.ReadAt(Get64(locator + 8), end64, 56) || Get32(end64) != kZip64EndSignature) {
        return ZipError::kBroken;
      }
      count = Get64(end64 + 32);
      directorySize = Get64(end64 + 40);
      directoryOffset = Get64(end64 + 48);
    }
  }
  if (count > kMaxEntries || directoryOffset > size || directorySize > size - directoryOffset) {
    return ZipError::kBroken;
  }
  std::vector<uint8_t> directory(static_cast<size_t>(directorySize));
  if (!source.ReadAt(directoryOffset, directory.data(), directory.size())) return ZipError::kBroken;
  size_t pos = 0;
  for (uint64_t i = 0; i < count; ++i) {
    if (pos + 46 > directory.size() || Get32(&directory[pos]) != kCentralSignature) {
      return ZipError::kBroken;
    }
    const uint8_t* h = &directory[pos];
    const size_t nameLength = Get16(h + 28);
    const size_t extraLength = Get16(h + 30);
    const size_t commentLength = Get16(h + 32);
    if (pos + 46 + nameLength + extraLength + commentLength > directory.size()) {
      return ZipError::kBroken;
    }
    TZipEntry entry;
    const uint16_t flags = Get16(h + 8);
    entry.Utf8 = (flags & 0x0800) != 0;
    entry.Encrypted = (flags & 0x0001) != 0;
    entry.Method = Get16(h + 10);
    entry.CompressedSize = Get32(h + 20);
    entry.Size = Get32(h + 24);
    entry.LocalOffset = Get32(h + 42);
    entry.Name.assign(reinterpret_cast<const char*>(h + 46), nameLength);
    // The Zip64 extra field holds the values that did not fit, in this order.
    const uint8_t* extra = h + 46 + nameLength;
    for (size_t e = 0; e + 4 <= extraLength;) {
      const uint16_t id = Get16(extra + e);
      const size_t length = Get16(extra + e + 2);
      if (e + 4 + length > extraLength) break;
      if (id == 0x0001) {
        const uint8_t* v = extra + e + 4;
        size_t left = length;
        auto next = [&](uint64_t& field) {
          if (field != 0xFFFFFFFFu || left < 8) return;
          field = Get64(v);
          v += 8;
          left -= 8;
        };
        next(entry.Size);
        next(entry.CompressedSize);
        next(entry.LocalOffset);
      }
      e += 4 + length;
    }
    entries_.push_back(std::move(entry));
    pos += 46 + nameLength + extraLength + commentLength;
  }
  return ZipError::kOk;
}

int TZipReader::Extract(const TZipEntry& entry, uint8_t* out, size_t capacity, size_t& written) {
  written = 0;
  if (source_ == nullptr) return ZipError::kBroken;
  if (entry.Encrypted || (entry.Method != 0 && entry.Method != 8)) return ZipError::kUnsupported;
  uint8_t local[30];
  if (!source_->ReadAt(entry.LocalOffset, local, 30) || Get32(local) != kLocalSignature) {
    return ZipError::kBroken;
  }
  const uint64_t dataOffset = entry.LocalOffset + 30 + Get16(local + 26) + Get16(local + 28);
  const uint64_t size = source_->Size();
  if (dataOffset > size || entry.CompressedSize > size - dataOffset) return ZipError::kBroken;

  if (entry.Method == 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(entry.CompressedSize, capacity));
    if (!source_->ReadAt(dataOffset, out, n)) return ZipError::kBroken;
    written = n;
    return n < entry.CompressedSize ? ZipError::kBufferTooSmall : ZipError::kOk;
  }
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return ZipError::kBroken;
  struct TEnd {
    z_stream& z;
    ~TEnd() { inflateEnd(&z); }
  } end{z};
  std::vector<uint8_t> chunk(64 * 1024);
  uint64_t consumed = 0;
  z.next_out = out;
  z.avail_out = static_cast<uInt>(std::min<size_t>(capacity, 0x7FFFFFFF));
  int result = Z_OK;
  while (result != Z_STREAM_END) {
    if (z.avail_in == 0) {
      const size_t n =
          static_cast<size_t>(std::min<uint64_t>(chunk.size(), entry.CompressedSize - consumed));
      if (n == 0) break;  // the data ends before the stream does
      if (!source_->ReadAt(dataOffset + consumed, chunk.data(), n)) return ZipError::kBroken;
      consumed += n;
      z.next_in = chunk.data();
      z.avail_in = static_cast<uInt>(n);
    }
    if (z.avail_out == 0) {
      written = capacity;
      return ZipError::kBufferTooSmall;
    }
    result = inflate(&z, Z_NO_FLUSH);
    if (result != Z_OK && result != Z_STREAM_END) {
      written = static_cast<size_t>(z.total_out);
      return ZipError::kBroken;
    }
  }
  written = static_cast<size_t>(z.total_out);
  return result == Z_STREAM_END ? ZipError::kOk : ZipError::kBroken;
}

bool ZipNameMatches(const std::string& pattern, const std::string& name) {
  size_t p = 0;
  size_t n = 0;
  size_t starP = std::string::npos;
  size_t starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
      continue;
    }
    if (p < pattern.size() && pattern[p] == '[') {
      const size_t close = pattern.find(']', p + 2);
      if (close != std::string::npos) {
        bool hit = false;
        for (size_t i = p + 1; i < close; ++i) {
          if (i + 2 < close && pattern[i + 1] == '-') {
            hit |= Lower(name[n]) >= Lower(pattern[i]) && Lower(name[n]) <= Lower(pattern[i + 2]);
            i += 2;
          } else {
            hit |= Lower(pattern[i]) == Lower(name[n]);
          }
        }
        if (hit) {
          p = close + 1;
          ++n;
          continue;
        }
      }
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || Lower(Slash(pattern[p])) == Lower(Slash(name[n])))) {
      ++p;
      ++n;
      continue;
    }
    if (starP == std::string::npos) return false;
    p = starP + 1;
    n = ++starN;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}
