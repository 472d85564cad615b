#include "decode/DIBImage.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/Stream.h"
#include "decode/Bitmap.h"
#include "decode/ColorReduction.h"
#include "decode/DIBErrors.h"
#include "decode/Rle.h"

bool TDIBImage::DefaultUseFMO = true;

namespace {

int BaseBits(TDIBPixelFormat f) {
  switch (f) {
    case TDIBPixelFormat::dfOneBit:
      return 1;
    case TDIBPixelFormat::dfFourBits:
    case TDIBPixelFormat::dfFourBitsRLE:
      return 4;
    case TDIBPixelFormat::dfEightBits:
    case TDIBPixelFormat::dfEightBitsRLE:
      return 8;
    default:
      return 24;
  }
}

bool IsRle(TDIBPixelFormat f) {
  return f == TDIBPixelFormat::dfFourBitsRLE || f == TDIBPixelFormat::dfEightBitsRLE;
}

const char* FormatName(TDIBPixelFormat f) {
  switch (f) {
    case TDIBPixelFormat::dfFourBits:
      return "4Bit";
    case TDIBPixelFormat::dfFourBitsRLE:
      return "4BitRLE";
    case TDIBPixelFormat::dfEightBits:
      return "8Bit";
    case TDIBPixelFormat::dfEightBitsRLE:
      return "8BitRLE";
    case TDIBPixelFormat::dfTrueColor:
      return "24Bit";
    default:
      return "";
  }
}

// Reads index or colour values from rows of any uncompressed depth.
unsigned IndexAt(const uint8_t* row, int bits, int x) {
  return IndexInRow(row, static_cast<uint32_t>(x), bits);
}

void PutIndex(uint8_t* row, int bits, int x, unsigned v) {
  switch (bits) {
    case 1:
      if (v & 1) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      break;
    case 4:
      row[x / 2] |= static_cast<uint8_t>((x & 1) ? (v & 0x0F) : ((v & 0x0F) << 4));
      break;
    default:
      row[x] = static_cast<uint8_t>(v);
  }
}

// A working picture during a conversion: uncompressed rows in block order.
struct TWork {
  int width;
  int height;
  int bits;
  std::vector<uint8_t> rows;
  std::vector<TRGBQuad> colors;
  size_t Stride() const {
    return static_cast<size_t>(RowBytes(static_cast<uint64_t>(width), bits));
  }
  uint8_t* Row(int y) { return rows.data() + Stride() * static_cast<size_t>(y); }
  TRGBQuad ColorAt(int x, int y) {
    const uint8_t* row = Row(y);
    if (bits == 24) return TRGBQuad{row[x * 3], row[x * 3 + 1], row[x * 3 + 2], 0};
    const unsigned i = IndexAt(row, bits, x);
    return i < colors.size() ? colors[i] : TRGBQuad{};
  }
};

TWork Blank(int width, int height, int bits) {
  TWork w{width, height, bits, {}, {}};
  w.rows.assign(w.Stride() * static_cast<size_t>(height), 0);
  return w;
}

TWork ToTrueColor(TWork& in) {
  TWork out = Blank(in.width, in.height, 24);
  for (int y = 0; y < in.height; ++y) {
    uint8_t* o = out.Row(y);
    for (int x = 0; x < in.width; ++x) {
      const TRGBQuad c = in.ColorAt(x, y);
      o[x * 3] = c.Blue;
      o[x * 3 + 1] = c.Green;
      o[x * 3 + 2] = c.Red;
    }
  }
  return out;
}

TWork Widen(TWork& in, int bits) {
  TWork out = Blank(in.width, in.height, bits);
  out.colors = in.colors;
  for (int y = 0; y < in.height; ++y) {
    const uint8_t* i = in.Row(y);
    uint8_t* o = out.Row(y);
    for (int x = 0; x < in.width; ++x) PutIndex(o, bits, x, IndexAt(i, in.bits, x));
  }
  return out;
}

TWork OneBit(TWork& in, TColor oneBitColor) {
  TWork out = Blank(in.width, in.height, 1);
  out.colors = {TRGBQuad{0, 0, 0, 0}, TRGBQuad{255, 255, 255, 0}};
  const auto wanted = static_cast<uint32_t>(oneBitColor) & 0xFFFFFF;
  for (int y = 0; y < in.height; ++y) {
    uint8_t* o = out.Row(y);
    for (int x = 0; x < in.width; ++x) {
      const TRGBQuad c = in.ColorAt(x, y);
      const uint32_t color = c.Red | (c.Green << 8) | (c.Blue << 16);
      PutIndex(o, 1, x, color == wanted ? 1 : 0);
    }
  }
  return out;
}

// 4x4 ordered dither onto the halftone palettes.
constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

int DitherLevel(int value, int levels, int x, int y) {
  const double step = 255.0 / (levels - 1);
  const double offset = ((kBayer[y & 3][x & 3] + 0.5) / 16.0 - 0.5) * step;
  const auto level = static_cast<int>(std::lround((value + offset) / step));
  return std::clamp(level, 0, levels - 1);
}

TWork Halftone(TWork& in, bool color) {
  TWork out = Blank(in.width, in.height, color ? 8 : 1);
  out.colors = color ? HalftoneColorPalette() : HalftoneBWPalette();
  for (int y = 0; y < in.height; ++y) {
    uint8_t* o = out.Row(y);
    for (int x = 0; x < in.width; ++x) {
      const TRGBQuad c = in.ColorAt(x, y);
      if (color) {
        const int r = DitherLevel(c.Red, 6, x, y);
        const int g = DitherLevel(c.Green, 7, x, y);
        const int b = DitherLevel(c.Blue, 5, x, y);
        PutIndex(o, 8, x, static_cast<unsigned>(r * 35 + g * 5 + b));
      } else {
        const int grey = (c.Red * 299 + c.Green * 587 + c.Blue * 114) / 1000;
        PutIndex(o, 1, x, static_cast<unsigned>(DitherLevel(grey, 2, x, y)));
      }
    }
  }
  return out;
}

}  // namespace

const std::vector<TRGBQuad>& HalftoneColorPalette() {
  static const std::vector<TRGBQuad> palette = [] {
    static const uint8_t reds[6] = {0, 51, 102, 153, 204, 255};
    static const uint8_t greens[7] = {0, 43, 85, 128, 171, 214, 255};
    static const uint8_t blues[5] = {0, 64, 128, 192, 255};
    std::vector<TRGBQuad> p;
    for (uint8_t r : reds) {
      for (uint8_t g : greens) {
        for (uint8_t b : blues) p.push_back(TRGBQuad{b, g, r, 0});
      }
    }
    p.push_back(TRGBQuad{0, 0, 128, 0});
    p.push_back(TRGBQuad{0, 128, 128, 0});
    p.push_back(TRGBQuad{128, 0, 128, 0});
    p.push_back(TRGBQuad{192, 192, 192, 0});
    p.push_back(TRGBQuad{128, 128, 128, 0});
    return p;
  }();
  return palette;
}

const std::vector<TRGBQuad>& HalftoneBWPalette() {
  static const std::vector<TRGBQuad> palette{TRGBQuad{0, 0, 0, 0}, TRGBQuad{255, 255, 255, 0}};
  return palette;
}

TDIBImage::TDIBImage() : store_(std::make_shared<TDIBStore>(UseFMO)) {}

void TDIBImage::Replace(std::shared_ptr<TDIBStore> store) {
  store_ = std::move(store);
  Changed();
}

TDIBStore& TDIBImage::UniqueDIB() {
  if (store_.use_count() > 1) store_ = std::make_shared<TDIBStore>(*store_);
  return *store_;
}

void TDIBImage::SetWidth(int width) {
  if (width == Width()) return;
  if (width <= 0) throw EDIBInvalidDIBPara("TDIBImage.SetWidth: Invalid Width");
  Replace(
      TDIBStore::CreateDIB(width, Height(), store_->ColorsUsed(), BaseBits(PixelFormat()), UseFMO));
}

void TDIBImage::SetHeight(int height) {
  if (height == store_->Header.biHeight) return;
  if (height == 0) throw EDIBInvalidDIBPara("TDIBImage.SetWidth: Invalid Height");
  Replace(
      TDIBStore::CreateDIB(Width(), height, store_->ColorsUsed(), BaseBits(PixelFormat()), UseFMO));
}

void TDIBImage::SetBitCount(int bitCount) {
  if (bitCount == BitCount()) return;
  int colors = 0;
  switch (bitCount) {
    case 1:
      colors = 2;
      break;
    case 4:
      colors = 16;
      break;
    case 8:
      colors = 256;
      break;
    case 24:
      colors = 0;
      break;
    default:
      throw EDIBInvalidDIBPara("TDIBImage.SetBitCount: Invalid BitCount");
  }
  Replace(TDIBStore::CreateDIB(Width(), store_->Header.biHeight, colors, bitCount, UseFMO));
}

void TDIBImage::LoadFromStream(TStream& stream) {
  Replace(TDIBStore::LoadFromStream(stream, UseFMO));
}

void TDIBImage::SaveToStream(TStream& stream) const {
  store_->SaveToStream(stream);
}

void TDIBImage::LoadFromStore(std::shared_ptr<TDIBStore> store) {
  store->GetPixelFormat();
  Replace(std::move(store));
}

void TDIBImage::LoadFromPackedDIB(const void* data, size_t size) {
  TBytesStream stream(data, size);
  Replace(TDIBStore::LoadPackedDIB(stream, UseFMO));
}

void TDIBImage::Assign(const TGraphic* source) {
  if (source == this) return;
  ColorProfile = source != nullptr ? source->ColorProfile : nullptr;
  if (source == nullptr) {
    Replace(std::make_shared<TDIBStore>(UseFMO));
    return;
  }
  if (const auto* dib = dynamic_cast<const TDIBImage*>(source)) {
    ReductionQuality = dib->ReductionQuality;
    OneBitColor = dib->OneBitColor;
    HalftoneMode = dib->HalftoneMode;
    Replace(dib->store_);
    return;
  }
  if (const auto* bitmap = dynamic_cast<const TBitmap*>(source)) {
    if (bitmap->Empty()) throw EDIBInvalidDIBPara("TDIBStore.CreateDIB: Invalid Parameters");
    const int bits = bitmap->BitCount() > 8 ? 24 : bitmap->BitCount();
    auto store = TDIBStore::CreateDIB(bitmap->Width(), bitmap->Height(), 0, bits, UseFMO);
    const size_t stride = store->RowSize();
    const bool direct = bitmap->BitCount() == bits;
    for (int y = 0; y < store->Height(); ++y) {
      uint8_t* row = store->Pixels.data() + stride * static_cast<size_t>(store->Height() - 1 - y);
      if (direct) {
        std::memcpy(row, bitmap->ScanLine(y), stride);
        continue;
      }
      for (int x = 0; x < bitmap->Width(); ++x) {
        const TRGBQuad c = bitmap->GetPixel(x, y);
        row[x * 3] = c.Blue;
        row[x * 3 + 1] = c.Green;
        row[x * 3 + 2] = c.Red;
      }
    }
    if (bits <= 8) {
      const std::vector<TRGBQuad>& palette = bitmap->Palette();
      const size_t n = std::min<size_t>(palette.size(), 256);
      std::copy_n(palette.begin(), n, store->ColorTable.begin());
      store->Header.biClrUsed = n > 0 ? static_cast<uint32_t>(n) : (1u << bits);
    }
    store->PaletteModified = true;
    Replace(std::move(store));
    return;
  }
  TGraphic::Assign(source);
  ColorProfile = source->ColorProfile;
}

bool TDIBImage::AssignTo(TGraphic& target) const {
  if (auto* dib = dynamic_cast<TDIBImage*>(&target)) {
    dib->Assign(this);
    return true;
  }
  auto* bitmap = dynamic_cast<TBitmap*>(&target);
  if (bitmap == nullptr) return false;
  const TDIBPixelFormat format = PixelFormat();
  TPixelFormat pf = TPixelFormat::pf24bit;
  switch (BaseBits(format)) {
    case 1:
      pf = TPixelFormat::pf1bit;
      break;
    case 4:
      pf = TPixelFormat::pf4bit;
      break;
    case 8:
      pf = TPixelFormat::pf8bit;
      break;
    default:
      break;
  }
  const std::vector<uint8_t> rows = store_->ExpandedPixels();
  bitmap->Assign(nullptr);
  bitmap->SetPixelFormat(pf);
  bitmap->SetPalette(store_->Colors());
  bitmap->SetSize(Width(), Height());
  const size_t stride =
      static_cast<size_t>(RowBytes(static_cast<uint64_t>(Width()), BaseBits(format)));
  for (int y = 0; y < Height(); ++y) {
    const int blockRow = store_->TopDown() ? y : Height() - 1 - y;
    std::memcpy(bitmap->ScanLine(y), rows.data() + stride * static_cast<size_t>(blockRow), stride);
  }
  return true;
}

std::vector<TRGBQuad> TDIBImage::Palette() const {
  if (HalftoneMode == 1) return HalftoneColorPalette();
  if (HalftoneMode == 2) return HalftoneBWPalette();
  return store_->Colors();
}

void TDIBImage::SetPalette(const std::vector<TRGBQuad>& colors) {
  TDIBStore& store = UniqueDIB();
  const size_t n = std::min<size_t>(colors.size(), 256);
  std::copy_n(colors.begin(), n, store.ColorTable.begin());
  store.Header.biClrUsed = static_cast<uint32_t>(n);
  store.PaletteModified = true;
  Changed();
}

void TDIBImage::SetPixelFormat(TDIBPixelFormat target) {
  const TDIBPixelFormat source = PixelFormat();
  if (target == source) return;
  if (ReductionQuality > 1) throw EDIBError("TDIBImage: Invalid Reduction Quality");
  const int width = Width();
  const int height = Height();
  const TRect rect{0, 0, width, height};

  TWork work{width, height, BaseBits(source), store_->ExpandedPixels(), store_->Colors()};
  const int targetBits = target == TDIBPixelFormat::dfHalftoneColor ? 8
                         : target == TDIBPixelFormat::dfHalftoneBW  ? 1
                                                                    : BaseBits(target);
  // Reductions by median cut, with progress.
  auto reduce = [&](int colorsWanted, std::vector<TColorCount> counts) {
    const std::string message =
        std::string("PixelFormat ") + FormatName(source) + " -> " + FormatName(target);
    Progress(TProgressStage::psStarting, 0, rect, message);
    std::vector<TRGBQuad> palette = MedianCut(std::move(counts), colorsWanted, [&](int made) {
      Progress(TProgressStage::psRunning, static_cast<uint8_t>(made * 100 / colorsWanted), rect,
               message);
    });
    Progress(TProgressStage::psEnding, 100, rect, message);
    return palette;
  };

  TWork out{};
  if (target == TDIBPixelFormat::dfHalftoneColor || target == TDIBPixelFormat::dfHalftoneBW) {
    out = Halftone(work, target == TDIBPixelFormat::dfHalftoneColor);
  } else if (targetBits == work.bits) {
    out = std::move(work);
  } else if (targetBits == 24) {
    out = ToTrueColor(work);
  } else if (targetBits == 1) {
    out = OneBit(work, OneBitColor);
  } else if (targetBits > work.bits) {
    out = Widen(work, targetBits);
  } else if (work.bits == 8) {  // 8 -> 4: the palette's colours weighted by their use
    std::vector<uint64_t> uses(256, 0);
    for (int y = 0; y < height; ++y) {
      const uint8_t* row = work.Row(y);
      for (int x = 0; x < width; ++x) ++uses[row[x]];
    }
    std::vector<TColorCount> counts;
    for (size_t i = 0; i < work.colors.size(); ++i) {
      if (uses[i] == 0) continue;
      counts.push_back(
          TColorCount{work.colors[i].Red, work.colors[i].Green, work.colors[i].Blue, uses[i]});
    }
    out = Blank(width, height, 4);
    out.colors = reduce(16, std::move(counts));
    std::vector<uint8_t> map(256, 0);
    for (size_t i = 0; i < work.colors.size(); ++i) {
      map[i] = static_cast<uint8_t>(
          NearestIndex(out.colors, work.colors[i].Red, work.colors[i].Green, work.colors[i].Blue));
    }
    for (int y = 0; y < height; ++y) {
      const uint8_t* row = work.Row(y);
      uint8_t* o = out.Row(y);
      for (int x = 0; x < width; ++x) PutIndex(o, 4, x, map[row[x]]);
    }
  } else {  // 24 -> 4 or 8
    const int wanted = targetBits == 4 ? 16 : 256;
    out = Blank(width, height, targetBits);
    out.colors = reduce(wanted, CountColors(work.rows.data(), width, height, ReductionQuality));
    TNearestMap nearest(out.colors, static_cast<uint64_t>(width) * static_cast<uint64_t>(height));
    for (int y = 0; y < height; ++y) {
      const uint8_t* row = work.Row(y);
      uint8_t* o = out.Row(y);
      for (int x = 0; x < width; ++x) {
        PutIndex(o, targetBits, x, nearest.Index(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]));
      }
    }
  }

  auto store = std::make_shared<TDIBStore>(*store_);
  store->Header.biBitCount = static_cast<uint16_t>(out.bits);
  store->Header.biCompression = BI_RGB_;
  store->Header.biSizeImage = 0;
  store->ColorTable.fill(TRGBQuad{});
  const size_t n = std::min<size_t>(out.colors.size(), 256);
  std::copy_n(out.colors.begin(), n, store->ColorTable.begin());
  store->Header.biClrUsed = static_cast<uint32_t>(out.bits == 24 ? 0 : n);
  if (IsRle(target)) {
    store->Pixels = target == TDIBPixelFormat::dfEightBitsRLE
                        ? EncodeRle8(out.rows.data(), width, height)
                        : EncodeRle4(out.rows.data(), width, height);
    store->Header.biCompression = target == TDIBPixelFormat::dfEightBitsRLE ? BI_RLE8_ : BI_RLE4_;
    store->Header.biSizeImage = static_cast<uint32_t>(store->Pixels.size());
  } else {
    store->Pixels = out.rows;
  }
  store->PaletteModified = true;
  Replace(std::move(store));
}

void TDIBImage::CreateTrueColorPalette() {
  if (PixelFormat() != TDIBPixelFormat::dfTrueColor) {
    throw EDIBBadDIBType("TDIBStore.CreateTrueColorPalette: Bad DIB Type");
  }
  if (ReductionQuality > 1) throw EDIBError("TDIBImage: Invalid Reduction Quality");
  const TRect rect{0, 0, Width(), Height()};
  const std::string message = "Create True Color Palette";
  Progress(TProgressStage::psStarting, 0, rect, message);
  std::vector<TRGBQuad> palette = MedianCut(
      CountColors(store_->Pixels.data(), Width(), Height(), ReductionQuality), 256, [&](int made) {
        Progress(TProgressStage::psRunning, static_cast<uint8_t>(made * 100 / 256), rect, message);
      });
  Progress(TProgressStage::psEnding, 100, rect, message);
  SetPalette(palette);
}
