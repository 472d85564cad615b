#include "decode/DIBStore.h"

#include <algorithm>
#include <cstring>

#include "base/Stream.h"
#include "decode/DIBErrors.h"
#include "decode/Rle.h"

namespace {

uint16_t Get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

// One channel of a bit-field pixel: the mask is shifted into 128..255 and the value scaled.
struct TChannel {
  uint32_t mask = 0;
  int shift = 0;  // > 0: right, < 0: left
  uint32_t scaledMask = 0;

  explicit TChannel(uint32_t m) : mask(m) {
    if (m == 0) throw EDIBInvalidDIB("TDIBStore.LoadFromStream: Invalid Masks");
    uint64_t v = m;
    while (v >= 256) {
      v >>= 1;
      ++shift;
    }
    while (v < 128) {
      v <<= 1;
      --shift;
    }
    scaledMask = static_cast<uint32_t>(v);
  }
  uint8_t Value(uint32_t pixel) const {
    uint64_t v = pixel & mask;
    v = shift >= 0 ? v >> shift : v << -shift;
    return static_cast<uint8_t>(v * 255 / scaledMask);
  }
};

// The pixel data that follows the headers. `declared` is the size the file header gives for
// it (negative or zero when it gives none).
void ReadPixels(TStream& stream, TDIBStore& store, int64_t declared, const uint32_t masks[3]) {
  TBitmapInfoHeader& h = store.Header;
  const uint64_t width = static_cast<uint64_t>(h.biWidth);
  const uint64_t height = static_cast<uint64_t>(store.Height());
  const uint64_t remaining = stream.Remaining();

  if (h.biBitCount == 16 || h.biBitCount == 32) {
    const uint64_t targetRow = RowBytes(width, 24);
    if (targetRow * height > kMaxPixelBytes) {
      throw EDIBInvalidDIB("TDIBStore.LoadFromStream: Invalid Width or Height");
    }
    const bool fields = h.biCompression != BI_RGB_;
    const uint32_t r = fields ? masks[0] : (h.biBitCount == 16 ? 0x7C00u : 0xFF0000u);
    const uint32_t g = fields ? masks[1] : (h.biBitCount == 16 ? 0x03E0u : 0x00FF00u);
    const uint32_t b = fields ? masks[2] : (h.biBitCount == 16 ? 0x001Fu : 0x0000FFu);
    const TChannel red(r), green(g), blue(b);
    const size_t sourceRow =
        static_cast<size_t>(h.biBitCount == 16 ? (width * 2 + 3) & ~uint64_t{3} : width * 4);
    // A file that ends before its last row is refused before anything is allocated.
    if (remaining < sourceRow * height) throw EReadError();
    std::vector<uint8_t> row(sourceRow);
    store.Pixels.assign(static_cast<size_t>(targetRow * height));
    for (uint64_t y = 0; y < height; ++y) {
      stream.ReadBuffer(row.data(), row.size());
      uint8_t* out = store.Pixels.data() + targetRow * y;
      for (uint64_t x = 0; x < width; ++x) {
        const uint32_t pixel = h.biBitCount == 16 ? Get16(&row[x * 2]) : Get32(&row[x * 4]);
        out[x * 3] = blue.Value(pixel);
        out[x * 3 + 1] = green.Value(pixel);
        out[x * 3 + 2] = red.Value(pixel);
      }
    }
    h.biBitCount = 24;
    h.biCompression = BI_RGB_;
    h.biSizeImage = 0;
    return;
  }

  if (h.biCompression == BI_RLE8_ || h.biCompression == BI_RLE4_) {
    // The expanded picture must be a size we accept, too.
    if (RowBytes(width, h.biBitCount) * height > kMaxPixelBytes) {
      throw EDIBInvalidDIB("TDIBStore.LoadFromStream: Invalid Width or Height");
    }
    uint64_t size = remaining;
    if (declared > 0 && static_cast<uint64_t>(declared) < size) {
      size = static_cast<uint64_t>(declared);
    } else if (h.biSizeImage > 0 && h.biSizeImage < size) {
      size = h.biSizeImage;
    }
    size = std::min(size, kMaxPixelBytes);
    store.Pixels.resize(static_cast<size_t>(size));
    stream.ReadBuffer(store.Pixels.data(), store.Pixels.size());
    h.biSizeImage = static_cast<uint32_t>(size);
    return;
  }

  // Uncompressed: the block holds every row the header describes, whatever the file-size field
  // says. A file that ends before its last row (a truncated download) is refused before
  // anything is allocated, so a few bytes can never make the program reserve a gigabyte.
  const uint64_t need = RowBytes(width, h.biBitCount) * height;
  if (need > kMaxPixelBytes) {
    throw EDIBInvalidDIB("TDIBStore.LoadFromStream: Invalid Width or Height");
  }
  if (remaining < need) throw EReadError();
  // Read into ordinary memory, whatever UseFMO says: a fresh page-file mapping costs three
  // times the read itself under Wine, and a canvas moves the pixels into one when it is made.
  std::unique_ptr<TBlockMemory> memory = AllocateBlockMemory(static_cast<size_t>(need), false);
  stream.ReadBuffer(memory->Data(), static_cast<size_t>(need));
  store.Pixels.Adopt(std::move(memory), static_cast<size_t>(need));
}

// Reads the information header, colour table and pixels. `fileStart` is the position of the
// file header, or -1 for a packed DIB without one.
std::shared_ptr<TDIBStore> ReadInfoAndPixels(TStream& stream, bool useFMO, int64_t fileStart,
                                             uint32_t offBits, int64_t declared) {
  auto store = std::make_shared<TDIBStore>(useFMO);
  TBitmapInfoHeader& h = store->Header;
  uint8_t raw[124] = {};
  stream.ReadBuffer(raw, 4);
  const uint32_t size = Get32(raw);
  uint32_t masks[3] = {0, 0, 0};
  uint64_t tableStart = 0;  // bytes from the file start to the colour table
  if (size == 40 || size == 108 || size == 124) {
    stream.ReadBuffer(raw + 4, size - 4);
    h.biWidth = static_cast<int32_t>(Get32(raw + 4));
    h.biHeight = static_cast<int32_t>(Get32(raw + 8));
    h.biPlanes = Get16(raw + 12);
    h.biBitCount = Get16(raw + 14);
    h.biCompression = Get32(raw + 16);
    h.biSizeImage = Get32(raw + 20);
    h.biXPelsPerMeter = static_cast<int32_t>(Get32(raw + 24));
    h.biYPelsPerMeter = static_cast<int32_t>(Get32(raw + 28));
    h.biClrUsed = Get32(raw + 32);
    h.biClrImportant = Get32(raw + 36);
    h.biSize = 40;
    h.biPlanes = 1;
    if (h.biXPelsPerMeter == 0) h.biXPelsPerMeter = 3780;
    if (h.biYPelsPerMeter == 0) h.biYPelsPerMeter = 3780;
    const uint16_t bits = h.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
      throw EDIBInvalidDIB("TDIBStore.LoadFromStream: Invalid BitCout");
    }
    uint64_t colors = h.biClrUsed;
    if (colors == 0 && bits <= 8) colors = uint64_t{1} << bits;
    const bool fields = h.biCompression == BI_BITFIELDS_;
    if (fields && size == 40) {
      uint8_t m[12];
      stream.ReadBuffer(m, 12);
      masks[0] = Get32(m);
      masks[1] = Get32(m + 4);
      masks[2] = Get32(m + 8);
    } else if (fields) {  // the newer headers hold their masks themselves
      masks[0] = Get32(raw + 40);
      masks[1] = Get32(raw + 44);
      masks[2] = Get32(raw + 48);
    }
    const uint64_t read = std::min<uint64_t>(colors, 256);
    std::vector<uint8_t> table(static_cast<size_t>(read * 4));
    stream.ReadBuffer(table.data(), table.size());
    if (!table.empty()) std::memcpy(store->ColorTable.data(), table.data(), table.size());
    if (colors > 256) stream.Skip((colors - 256) * 4);
    tableStart = size + 14 + ((fields && size == 40) ? 12 : 0);
    if (fileStart >= 0 && uint64_t{offBits} < tableStart + colors * 4) {
      throw EDIBInvalidDIB("TDIBStore.LoadFromFile: bfOffBits is too small");
    }
    h.biClrUsed = static_cast<uint32_t>(read);
  } else if (size == 12) {
    stream.ReadBuffer(raw + 4, 8);
    h.biSize = 40;
    h.biWidth = Get16(raw + 4);
    h.biHeight = Get16(raw + 6);
    h.biPlanes = 1;
    h.biBitCount = Get16(raw + 10);
    h.biCompression = BI_RGB_;
    const uint16_t bits = h.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) {
      throw EDIBInvalidDIB("TDIBStore.LoadFromStream: Invalid BitCount");
    }
    const uint32_t colors = bits == 24 ? 0 : (1u << bits);
    std::vector<uint8_t> table(colors * 3);
    stream.ReadBuffer(table.data(), table.size());
    for (uint32_t i = 0; i < colors; ++i) {
      store->ColorTable[i] = TRGBQuad{table[i * 3], table[i * 3 + 1], table[i * 3 + 2], 0};
    }
    tableStart = 12 + 14;
    if (fileStart >= 0 && uint64_t{offBits} < tableStart + uint64_t{colors} * 3) {
      throw EDIBInvalidDIB("TDIBStore.LoadFromFile: bfOffBits is too small");
    }
    h.biClrUsed = colors;
  } else {
    throw EDIBInvalidDIB("TDIBStore.LoadFromStream: Invalid Bitmap Header Size");
  }

  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) {
    throw EDIBInvalidDIB("TDIBStore.LoadFromStream: Invalid Width or Height");
  }
  if (fileStart >= 0) {
    const uint64_t dataStart = static_cast<uint64_t>(fileStart) + offBits;
    if (dataStart > stream.Position()) stream.Skip(dataStart - stream.Position());
  }
  ReadPixels(stream, *store, declared, masks);
  store->GetPixelFormat();  // refuses bit count and compression pairs no format has
  // RLE data that leads outside the picture is refused now rather than at its first use.
  if (store->Header.biCompression == BI_RLE8_) {
    CheckRle8(store->Pixels.data(), store->Pixels.size(), store->Width(), store->Height());
  } else if (store->Header.biCompression == BI_RLE4_) {
    CheckRle4(store->Pixels.data(), store->Pixels.size(), store->Width(), store->Height());
  }
  store->PaletteModified = true;
  return store;
}

}  // namespace

TDIBStore::TDIBStore(bool useFMO) : Pixels(useFMO) {
  Pixels.assign(4);
}

std::shared_ptr<TDIBStore> TDIBStore::CreateDIB(int width, int height, int colors, int bitCount,
                                                bool useFMO) {
  const bool bitsOk = bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24;
  const uint64_t absHeight = height < 0 ? -static_cast<int64_t>(height) : height;
  if (width <= 0 || height == 0 || height == INT32_MIN || colors < 0 || colors > 256 || !bitsOk ||
      RowBytes(static_cast<uint64_t>(width), static_cast<uint64_t>(bitCount)) * absHeight >
          kMaxPixelBytes) {
    throw EDIBInvalidDIBPara("TDIBStore.CreateDIB: Invalid Parameters");
  }
  auto store = std::make_shared<TDIBStore>(useFMO);
  store->Header = TBitmapInfoHeader{};
  store->Header.biWidth = width;
  store->Header.biHeight = height;
  store->Header.biBitCount = static_cast<uint16_t>(bitCount);
  store->Header.biClrUsed = static_cast<uint32_t>(colors);
  store->Pixels.assign(static_cast<size_t>(
      RowBytes(static_cast<uint64_t>(width), static_cast<uint64_t>(bitCount)) * absHeight));
  return store;
}

std::shared_ptr<TDIBStore> TDIBStore::LoadFromStream(TStream& stream, bool useFMO) {
  const uint64_t start = stream.Position();
  uint8_t file[14];
  stream.ReadBuffer(file, sizeof file);
  if (Get16(file) != 0x4D42) {
    throw EDIBInvalidDIBFile("TDIBStore.LoadFromFile: File type is invalid");
  }
  const uint32_t fileSize = Get32(file + 2);
  const uint32_t offBits = Get32(file + 10);
  const int64_t declared = static_cast<int64_t>(fileSize) - static_cast<int64_t>(offBits);
  return ReadInfoAndPixels(stream, useFMO, static_cast<int64_t>(start), offBits, declared);
}

std::shared_ptr<TDIBStore> TDIBStore::LoadPackedDIB(TStream& stream, bool useFMO) {
  return ReadInfoAndPixels(stream, useFMO, -1, 0, -1);
}

namespace {

void PutHeader(uint8_t* p, const TBitmapInfoHeader& h) {
  Put32(p, 40);
  Put32(p + 4, static_cast<uint32_t>(h.biWidth));
  Put32(p + 8, static_cast<uint32_t>(h.biHeight));
  Put16(p + 12, h.biPlanes);
  Put16(p + 14, h.biBitCount);
  Put32(p + 16, h.biCompression);
  Put32(p + 20, h.biSizeImage);
  Put32(p + 24, static_cast<uint32_t>(h.biXPelsPerMeter));
  Put32(p + 28, static_cast<uint32_t>(h.biYPelsPerMeter));
  Put32(p + 32, h.biClrUsed);
  Put32(p + 36, h.biClrImportant);
}

}  // namespace

void TDIBStore::SaveToStream(TStream& stream) const {
  const uint32_t colors = std::min<uint32_t>(Header.biClrUsed, 256);
  const uint32_t offBits = 54 + 4 * colors;
  uint8_t head[54] = {};
  Put16(head, 0x4D42);
  Put32(head + 2, offBits + static_cast<uint32_t>(Pixels.size()));
  Put32(head + 10, offBits);
  PutHeader(head + 14, Header);
  stream.Write(head, sizeof head);
  stream.Write(ColorTable.data(), colors * 4);
  stream.Write(Pixels.data(), Pixels.size());
}

std::vector<uint8_t> TDIBStore::SavePackedDIB() const {
  const uint32_t colors = std::min<uint32_t>(Header.biClrUsed, 256);
  std::vector<uint8_t> bytes(40 + colors * 4 + Pixels.size());
  PutHeader(bytes.data(), Header);
  std::memcpy(bytes.data() + 40, ColorTable.data(), colors * 4);
  if (!Pixels.empty()) std::memcpy(bytes.data() + 40 + colors * 4, Pixels.data(), Pixels.size());
  return bytes;
}

TDIBPixelFormat TDIBStore::GetPixelFormat() const {
  const uint32_t c = Header.biCompression;
  switch (Header.biBitCount) {
    case 1:
      if (c == BI_RGB_) return TDIBPixelFormat::dfOneBit;
      throw EDIBInvalidDIB("TDIBStore.GetPixelFormat: Invalid DIB(1Bit)");
    case 4:
      if (c == BI_RGB_) return TDIBPixelFormat::dfFourBits;
      if (c == BI_RLE4_) return TDIBPixelFormat::dfFourBitsRLE;
      throw EDIBInvalidDIB("TDIBStore.GetPixelFormat: Invalid DIB(4Bit)");
    case 8:
      if (c == BI_RGB_) return TDIBPixelFormat::dfEightBits;
      if (c == BI_RLE8_) return TDIBPixelFormat::dfEightBitsRLE;
      throw EDIBInvalidDIB("TDIBStore.GetPixelFormat: Invalid DIB(8Bit)");
    case 24:
      if (c == BI_RGB_) return TDIBPixelFormat::dfTrueColor;
      throw EDIBInvalidDIB("TDIBStore.GetPixelFormat: Invalid DIB(24Bit)");
    default:
      throw EDIBInvalidDIB("TDIBStore.GetPixelFormat: Invalid DIB(Illegal BitCount)");
  }
}

std::vector<uint8_t> TDIBStore::ExpandedPixels() const {
  switch (GetPixelFormat()) {
    case TDIBPixelFormat::dfEightBitsRLE:
      return DecodeRle8(Pixels.data(), Pixels.size(), Width(), Height());
    case TDIBPixelFormat::dfFourBitsRLE:
      return DecodeRle4(Pixels.data(), Pixels.size(), Width(), Height());
    default:
      return Pixels.ToVector();
  }
}
