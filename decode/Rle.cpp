#include "decode/Rle.h"

#include <algorithm>

#include "decode/DIBErrors.h"
#include "decode/PixelMemory.h"

namespace {

// Shared decoder: `Bits` is 8 or 4; errors carry the first message number of the family.
// With `Write` false the stream is only checked, without allocating the picture.
template <int Bits, bool Write = true>
std::vector<uint8_t> Decode(const uint8_t* data, size_t size, int width, int height) {
  const char* const prefix = Bits == 8 ? "Convert8BitRLETo8BitRGB: Bad RLE Data "
                                       : "Convert4BitRLETo4BitRGB: Bad RLE Data ";
  const int first = Bits == 8 ? 1 : 5;
  auto fail = [&](int n) { throw EDIBInvalidDIB(prefix + std::to_string(first + n)); };

  const size_t stride = static_cast<size_t>(RowBytes(static_cast<uint64_t>(width), Bits));
  std::vector<uint8_t> out(Write ? stride * static_cast<size_t>(height) : 0, 0);
  auto put = [&](int x, int y, uint8_t value) {
    if constexpr (!Write) return;
    uint8_t* row = out.data() + stride * static_cast<size_t>(y);
    if constexpr (Bits == 8) {
      row[x] = value;
    } else if (x & 1) {
      row[x / 2] = static_cast<uint8_t>((row[x / 2] & 0xF0) | (value & 0x0F));
    } else {
      row[x / 2] = static_cast<uint8_t>((row[x / 2] & 0x0F) | (value << 4));
    }
  };

  int x = 0;
  int y = 0;
  size_t pos = 0;
  while (pos + 1 < size) {
    const int count = data[pos];
    const uint8_t code = data[pos + 1];
    pos += 2;
    if (count > 0) {
      if (y >= height) fail(3);
      // A run past the row end (writers pad each row's runs to 4 bytes) is clipped there, as
      // Windows draws it.
      for (int i = 0; i < count && x + i < width; ++i) {
        if constexpr (Bits == 8) {
          put(x + i, y, code);
        } else {
          put(x + i, y, (i & 1) ? (code & 0x0F) : (code >> 4));
        }
      }
      x = std::min(x + count, width);
      continue;
    }
    if (code == 0) {  // end of line
      if (y >= height) fail(0);
      x = 0;
      ++y;
    } else if (code == 1) {  // end of bitmap
      break;
    } else if (code == 2) {  // delta
      if (pos + 1 >= size) break;
      x += data[pos];
      y += data[pos + 1];
      pos += 2;
      if (x > width || y > height || (y == height && x > 0)) fail(1);
    } else {  // absolute run of `code` pixels, padded to a 16-bit boundary
      const int n = code;
      const size_t bytes = Bits == 8 ? static_cast<size_t>(n) : static_cast<size_t>((n + 1) / 2);
      if (y >= height) fail(2);
      if (pos + bytes > size) break;
      for (int i = 0; i < n && x + i < width; ++i) {
        if constexpr (Bits == 8) {
          put(x + i, y, data[pos + static_cast<size_t>(i)]);
        } else {
          const uint8_t pair = data[pos + static_cast<size_t>(i / 2)];
          put(x + i, y, (i & 1) ? (pair & 0x0F) : (pair >> 4));
        }
      }
      x = std::min(x + n, width);
      pos += bytes + (bytes & 1);
    }
  }
  return out;
}

uint8_t Pixel4(const uint8_t* row, int x) {
  return (x & 1) ? (row[x / 2] & 0x0F) : (row[x / 2] >> 4);
}

}  // namespace

std::vector<uint8_t> DecodeRle8(const uint8_t* data, size_t size, int width, int height) {
  return Decode<8>(data, size, width, height);
}

std::vector<uint8_t> DecodeRle4(const uint8_t* data, size_t size, int width, int height) {
  return Decode<4>(data, size, width, height);
}

void CheckRle8(const uint8_t* data, size_t size, int width, int height) {
  Decode<8, false>(data, size, width, height);
}

void CheckRle4(const uint8_t* data, size_t size, int width, int height) {
  Decode<4, false>(data, size, width, height);
}

namespace {

// The escape that ends a row: end of line, or end of bitmap after the last row.
void EndRow(std::vector<uint8_t>& out, bool last) {
  out.push_back(0);
  out.push_back(last ? 1 : 0);
}

}  // namespace

std::vector<uint8_t> EncodeRle8(const uint8_t* rows, int width, int height) {
  const size_t stride = static_cast<size_t>(RowBytes(static_cast<uint64_t>(width), 8));
  std::vector<uint8_t> out;
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = rows + stride * static_cast<size_t>(y);
    int x = 0;
    while (x < width) {
      int run = 1;
      while (x + run < width && run < 255 && row[x + run] == row[x]) ++run;
      if (run >= 3 || width - x < 3) {
        // A run, or a tail too short for absolute mode: encoded runs.
        out.push_back(static_cast<uint8_t>(run));
        out.push_back(row[x]);
        x += run;
        continue;
      }
      // Absolute mode: pixels up to the next run of three or more.
      int n = 0;
      while (x + n < width && n < 255) {
        if (x + n + 2 < width && row[x + n] == row[x + n + 1] && row[x + n] == row[x + n + 2]) {
          break;
        }
        ++n;
      }
      if (n < 3) {
        for (int i = 0; i < n; ++i) {
          out.push_back(1);
          out.push_back(row[x + i]);
        }
      } else {
        out.push_back(0);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), row + x, row + x + n);
        if (n & 1) out.push_back(0);
      }
      x += n;
    }
    EndRow(out, y + 1 == height);
  }
  if (height == 0) EndRow(out, true);
  return out;
}

std::vector<uint8_t> EncodeRle4(const uint8_t* rows, int width, int height) {
  const size_t stride = static_cast<size_t>(RowBytes(static_cast<uint64_t>(width), 4));
  std::vector<uint8_t> out;
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = rows + stride * static_cast<size_t>(y);
    int x = 0;
    while (x < width) {
      int run = 1;
      while (x + run < width && run < 255 && Pixel4(row, x + run) == Pixel4(row, x)) ++run;
      if (run >= 4 || width - x < 4) {
        const uint8_t p = Pixel4(row, x);
        out.push_back(static_cast<uint8_t>(run));
        out.push_back(static_cast<uint8_t>((p << 4) | p));
        x += run;
        continue;
      }
      int n = 0;
      while (x + n < width && n < 252) {
        if (x + n + 3 < width && Pixel4(row, x + n) == Pixel4(row, x + n + 1) &&
            Pixel4(row, x + n) == Pixel4(row, x + n + 2) &&
            Pixel4(row, x + n) == Pixel4(row, x + n + 3)) {
          break;
        }
        ++n;
      }
      if (n < 3) {
        for (int i = 0; i < n; ++i) {
          const uint8_t p = Pixel4(row, x + i);
          out.push_back(1);
          out.push_back(static_cast<uint8_t>((p << 4) | p));
        }
      } else {
        out.push_back(0);
        out.push_back(static_cast<uint8_t>(n));
        const int bytes = (n + 1) / 2;
        for (int i = 0; i < bytes; ++i) {
          const uint8_t hi = Pixel4(row, x + 2 * i);
          const uint8_t lo = 2 * i + 1 < n ? Pixel4(row, x + 2 * i + 1) : 0;
          out.push_back(static_cast<uint8_t>((hi << 4) | lo));
        }
        if (bytes & 1) out.push_back(0);
      }
      x += n;
    }
    EndRow(out, y + 1 == height);
  }
  if (height == 0) EndRow(out, true);
  return out;
}
