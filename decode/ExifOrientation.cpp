#include "decode/ExifOrientation.h"

#include <cstring>

#include "decode/JpegSegments.h"

namespace {

constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kShortType = 3;

// The TIFF block of an Exif segment: every read is checked against its bounds first.
class TTiffReader {
 public:
  TTiffReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  // Reads the byte order and the magic number 42; false when they are not there.
  bool ReadHeader() {
    if (size_ < 8) return false;
    if (data_[0] == 'I' && data_[1] == 'I') {
      bigEndian_ = false;
    } else if (data_[0] == 'M' && data_[1] == 'M') {
      bigEndian_ = true;
    } else {
      return false;
    }
    uint16_t magic = 0;
    return Read16(2, magic) && magic == 42;
  }

  bool Read16(uint64_t offset, uint16_t& value) const {
    if (offset > size_ || size_ - offset < 2) return false;
    const uint8_t* p = data_ + offset;
    value = bigEndian_ ? static_cast<uint16_t>((p[0] << 8) | p[1])
                       : static_cast<uint16_t>((p[1] << 8) | p[0]);
    return true;
  }

  bool Read32(uint64_t offset, uint32_t& value) const {
    uint16_t first = 0;
    uint16_t second = 0;
    if (!Read16(offset, first) || !Read16(offset + 2, second)) return false;
    value = bigEndian_ ? (uint32_t{first} << 16) | second : (uint32_t{second} << 16) | first;
    return true;
  }

  size_t Size() const { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  bool bigEndian_ = false;
};

// The orientation in IFD0 of the TIFF block, or 1. Only IFD0 is read: its link to the next IFD
// (the thumbnail's) is never followed, so no chain of links can make this loop.
int OrientationInTiff(const uint8_t* data, size_t size) {
  TTiffReader tiff(data, size);
  if (!tiff.ReadHeader()) return 1;
  uint32_t ifd = 0;
  uint16_t entries = 0;
  if (!tiff.Read32(4, ifd) || !tiff.Read16(ifd, entries)) return 1;
  // The whole directory must lie inside the block; one that runs past its end is not trusted.
  const uint64_t first = uint64_t{ifd} + 2;
  if (first + uint64_t{entries} * 12 > tiff.Size()) return 1;
  for (uint64_t entry = first; entry < first + uint64_t{entries} * 12; entry += 12) {
    uint16_t tag = 0;
    tiff.Read16(entry, tag);
    if (tag != kOrientationTag) continue;
    uint16_t type = 0;
    uint32_t count = 0;
    uint16_t value = 0;
    tiff.Read16(entry + 2, type);
    tiff.Read32(entry + 4, count);
    // One SHORT sits in the first two bytes of the entry's value field.
    tiff.Read16(entry + 8, value);
    if (type != kShortType || count != 1 || value < 1 || value > 8) return 1;
    return value;
  }
  return 1;
}

}  // namespace

int ReadExifOrientation(const uint8_t* data, size_t size) {
  static const uint8_t kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
  int orientation = 1;
  ForEachJpegSegment(data, size, [&](uint8_t marker, const uint8_t* payload, size_t payloadSize) {
    if (marker == 0xE1 && payloadSize >= sizeof kExif &&
        std::memcmp(payload, kExif, sizeof kExif) == 0) {
      orientation = OrientationInTiff(payload + sizeof kExif, payloadSize - sizeof kExif);
      return false;
    }
    return true;
  });
  return orientation;
}
