#include "decode/Orientation.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// Copies pixel `from` of row `source` to pixel `to` of row `target`: whole bytes per pixel.
template <size_t kBytes>
struct TCopyBytes {
  void operator()(const uint8_t* source, int from, uint8_t* target, int to) const {
    std::memcpy(target + static_cast<size_t>(to) * kBytes,
                source + static_cast<size_t>(from) * kBytes, kBytes);
  }
};

// The same for palette indices of 1 or 4 bits, packed from the high bits of each byte.
struct TCopyBits {
  int bits;
  void operator()(const uint8_t* source, int from, uint8_t* target, int to) const {
    const int perByte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    const int fromShift = 8 - bits * (from % perByte + 1);
    const int toShift = 8 - bits * (to % perByte + 1);
    const unsigned index = (source[from / perByte] >> fromShift) & mask;
    uint8_t& out = target[to / perByte];
    out = static_cast<uint8_t>((out & ~(mask << toShift)) | (index << toShift));
  }
};

template <typename TWork>
void WithPixelCopy(int bitCount, TWork work) {
  switch (bitCount) {
    case 8:
      work(TCopyBytes<1>{});
      break;
    case 16:
      work(TCopyBytes<2>{});
      break;
    case 24:
      work(TCopyBytes<3>{});
      break;
    case 32:
      work(TCopyBytes<4>{});
      break;
    default:
      work(TCopyBits{bitCount});
      break;
  }
}

template <typename TCopy>
void MirrorLeftRight(TBitmap& bitmap, TCopy copy) {
  const int width = bitmap.Width();
  std::vector<uint8_t> row(bitmap.Stride());
  for (int y = 0; y < bitmap.Height(); ++y) {
    uint8_t* line = bitmap.ScanLine(y);
    std::memcpy(row.data(), line, row.size());
    for (int x = 0; x < width; ++x) copy(row.data(), width - 1 - x, line, x);
  }
}

void MirrorTopBottom(TBitmap& bitmap) {
  std::vector<uint8_t> row(bitmap.Stride());
  for (int top = 0, bottom = bitmap.Height() - 1; top < bottom; ++top, --bottom) {
    std::memcpy(row.data(), bitmap.ScanLine(top), row.size());
    std::memcpy(bitmap.ScanLine(top), bitmap.ScanLine(bottom), row.size());
    std::memcpy(bitmap.ScanLine(bottom), row.data(), row.size());
  }
}

// Target pixel (x, y) takes source pixel (y, x), counted from the right end of the source rows
// when `reverseColumns`, from the bottom row when `reverseRows`. Tiles keep the rows read
// across at once in the cache.
template <typename TCopy>
void Transpose(const TBitmap& source, TBitmap& target, bool reverseColumns, bool reverseRows,
               TCopy copy) {
  constexpr int kTile = 64;
  const int width = source.Width();
  const int height = source.Height();
  std::vector<const uint8_t*> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    rows[static_cast<size_t>(reverseRows ? height - 1 - y : y)] = source.ScanLine(y);
  }
  for (int top = 0; top < width; top += kTile) {
    for (int left = 0; left < height; left += kTile) {
      const int bottom = std::min(top + kTile, width);
      const int right = std::min(left + kTile, height);
      for (int y = top; y < bottom; ++y) {
        uint8_t* line = target.ScanLine(y);
        const int column = reverseColumns ? width - 1 - y : y;
        for (int x = left; x < right; ++x) copy(rows[static_cast<size_t>(x)], column, line, x);
      }
    }
  }
}

}  // namespace

bool OrientationSwapsSides(int orientation) {
  return orientation >= 5 && orientation <= 8;
}

void OrientedSize(int orientation, int width, int height, int& uprightWidth, int& uprightHeight) {
  const bool swaps = OrientationSwapsSides(orientation);
  uprightWidth = swaps ? height : width;
  uprightHeight = swaps ? width : height;
}

void OrientBitmap(TBitmap& bitmap, int orientation) {
  if (orientation < 2 || orientation > 8 || bitmap.Empty()) return;
  if (orientation <= 4) {
    if (orientation != 4) {
      WithPixelCopy(bitmap.BitCount(), [&](auto copy) { MirrorLeftRight(bitmap, copy); });
    }
    if (orientation != 2) MirrorTopBottom(bitmap);
    return;
  }
  TBitmap turned;
  turned.SetPixelFormat(bitmap.PixelFormat());
  turned.SetPalette(bitmap.Palette());
  turned.SetSize(bitmap.Height(), bitmap.Width());
  const bool reverseColumns = orientation == 7 || orientation == 8;
  const bool reverseRows = orientation == 6 || orientation == 7;
  WithPixelCopy(bitmap.BitCount(),
                [&](auto copy) { Transpose(bitmap, turned, reverseColumns, reverseRows, copy); });
  // The bitmap keeps everything of its own but the pixels.
  turned.TransparentColor = bitmap.TransparentColor;
  turned.Transparent = bitmap.Transparent;
  turned.Modified = bitmap.Modified;
  turned.OnChange = std::move(bitmap.OnChange);
  turned.OnProgress = std::move(bitmap.OnProgress);
  bitmap = std::move(turned);
}

TRect StoredBox(int orientation, const TRect& u, int width, int height) {
  switch (orientation) {
    case 2:
      return {width - u.Right, u.Top, width - u.Left, u.Bottom};
    case 3:
      return {width - u.Right, height - u.Bottom, width - u.Left, height - u.Top};
    case 4:
      return {u.Left, height - u.Bottom, u.Right, height - u.Top};
    case 5:
      return {u.Top, u.Left, u.Bottom, u.Right};
    case 6:
      return {u.Top, height - u.Right, u.Bottom, height - u.Left};
    case 7:
      return {width - u.Bottom, height - u.Right, width - u.Top, height - u.Left};
    case 8:
      return {width - u.Bottom, u.Left, width - u.Top, u.Right};
    default:
      return u;
  }
}
