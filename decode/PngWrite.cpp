// Writing a PNG: the colour type that keeps the bitmap's pixels (grey when the palette is the
// grey ramp, palette indices, true colour; with alpha when the alpha bitmap holds it), the
// ancillary chunks from the fields, the rows filtered and deflated into IDAT chunks.
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "base/Stream.h"
#include "decode/PngCodec.h"
#include "decode/PngGraphic.h"
#include "decode/PngRows.h"

namespace {

using namespace PngMessage;

[[noreturn]] void Fail(const char* message) {
  throw EPngGraphic(message);
}

void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

void PutBe16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

bool IsGreyRamp(const std::vector<TRGBQuad>& palette, int depth) {
  const int count = 1 << depth;
  if (static_cast<int>(palette.size()) != count) return false;
  for (int i = 0; i < count; ++i) {
    const auto v = static_cast<uint8_t>(i * 255 / (count - 1));
    if (!(palette[i] == TRGBQuad{v, v, v, 0})) return false;
  }
  return true;
}

// Where a row's samples come from.
enum class TSource {
  kIndex,      // indices (or grey levels) of a 1-, 4- or 8-bit bitmap, packed to the PNG depth
  kGreyAlpha,  // an 8-bit grey bitmap and the alpha bitmap
  kBgr,        // a 24-bit bitmap, with the alpha bitmap for colour type 6
  kPixels,     // the colour of each pixel, whatever the bitmap's format
};

class TPngWriter {
 public:
  TPngWriter(const TPngGraphic& png, TStream& stream)
      : png_(png), image_(png.Image()), alpha_(png.Alpha()), stream_(stream) {}

  void Run() {
    ChooseLayout();
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    stream_.Write(kSignature, sizeof kSignature);
    std::vector<uint8_t> d;
    PutBe32(d, header_.Width);
    PutBe32(d, header_.Height);
    d.insert(d.end(), {header_.BitDepth, header_.ColorType, 0, 0, header_.Interlace});
    Chunk("IHDR", d);
    WriteAncillaryBeforePalette();
    if (!palette_.empty()) {
      d.clear();
      for (const TRGBQuad& c : palette_) d.insert(d.end(), {c.Red, c.Green, c.Blue});
      Chunk("PLTE", d);
    }
    WriteTransparency();
    WriteBackground();
    if (png_.PhysicalSize.X != 0 || png_.PhysicalSize.Y != 0) {
      d.clear();
      PutBe32(d, png_.PhysicalSize.X);
      PutBe32(d, png_.PhysicalSize.Y);
      d.push_back(png_.PhysicalSize.Unit);
      Chunk("pHYs", d);
    }
    const TPngTime& t = png_.ModificationTime;
    d.clear();
    PutBe16(d, t.Year);
    d.insert(d.end(), {t.Month, t.Day, t.Hour, t.Minute, t.Second});
    Chunk("tIME", d);
    Text("Software", "Vesko2 PNG 1.0");
    if (!png_.Comment.empty()) {
      // A comment read from a file ends in CR LF, which reading adds again.
      std::string comment = png_.Comment;
      if (comment.size() >= 2 && comment.compare(comment.size() - 2, 2, "\r\n") == 0) {
        comment.resize(comment.size() - 2);
      }
      Text("Comment", comment);
    }
    WriteImageData();
    Chunk("IEND", {});
  }

 private:
  void ChooseLayout() {
    header_.Width = static_cast<uint32_t>(image_.Width());
    header_.Height = static_cast<uint32_t>(image_.Height());
    header_.Interlace = png_.Interlace != 0 ? 1 : 0;
    header_.BitDepth = 8;
    bits_ = image_.BitCount();
    const bool alpha = png_.HasAlpha && alpha_.Width() == image_.Width() &&
                       alpha_.Height() == image_.Height() && alpha_.BitCount() == 8;
    if (bits_ > 8) {
      header_.ColorType = alpha ? PngColor::kRgba : PngColor::kRgb;
      source_ = bits_ == 24 ? TSource::kBgr : TSource::kPixels;
      alphaUsed_ = alpha;
      if (image_.Palette().size() <= 256) palette_ = image_.Palette();
      return;
    }
    // Indices beyond the palette get black entries, so that every index names a colour.
    std::vector<TRGBQuad> palette = image_.Palette();
    palette.resize(std::min<size_t>(palette.size(), size_t{1} << bits_));
    unsigned top = 0;
    std::vector<int> indexAlpha(256, -1);
    bool consistent = true;
    for (int y = 0; y < image_.Height(); ++y) {
      const uint8_t* row = image_.ScanLine(y);
      const uint8_t* a = alpha ? alpha_.ScanLine(y) : nullptr;
      for (uint32_t x = 0; x < header_.Width; ++x) {
        const unsigned index = IndexInRow(row, x, bits_);
        top = std::max(top, index);
        if (a == nullptr) continue;
        const int value = 255 - a[x];
        if (indexAlpha[index] < 0) indexAlpha[index] = value;
        consistent = consistent && indexAlpha[index] == value;
      }
    }
    if (palette.size() <= top) palette.resize(top + 1, TRGBQuad{});
    int depth = bits_;
    if (bits_ == 4 && palette.size() <= 4) depth = 2;
    header_.BitDepth = static_cast<uint8_t>(depth);
    const bool grey = IsGreyRamp(palette, depth);
    source_ = TSource::kIndex;
    if (!alpha) {
      header_.ColorType = grey ? PngColor::kGrey : PngColor::kPalette;
    } else if (grey && depth == 8) {
      header_.ColorType = PngColor::kGreyAlpha;
      source_ = TSource::kGreyAlpha;
      alphaUsed_ = true;
    } else if (consistent) {
      header_.ColorType = PngColor::kPalette;
      size_t count = 0;
      for (size_t i = 0; i < 256; ++i) {
        if (indexAlpha[i] >= 0 && indexAlpha[i] != 255) count = i + 1;
      }
      for (size_t i = 0; i < count; ++i) {
        paletteAlpha_.push_back(static_cast<uint8_t>(indexAlpha[i] < 0 ? 255 : indexAlpha[i]));
      }
    } else {
      header_.ColorType = PngColor::kRgba;
      header_.BitDepth = 8;
      source_ = TSource::kPixels;
      alphaUsed_ = true;
    }
    if (header_.ColorType == PngColor::kPalette) palette_ = palette;
    greyLevels_ = grey ? (1 << depth) : 0;
  }

  void WriteAncillaryBeforePalette() {
    std::vector<uint8_t> d;
    if (png_.Gamma > 0 && png_.Gamma < 40000) {
      PutBe32(d, static_cast<uint32_t>(std::lround(png_.Gamma * 100000)));
      Chunk("gAMA", d);
    }
    const auto& c = png_.Chromaticities;
    if (std::any_of(c.begin(), c.end(), [](uint32_t v) { return v != 0; })) {
      d.clear();
      for (uint32_t v : c) PutBe32(d, v);
      Chunk("cHRM", d);
    }
    const auto& s = png_.SignificantBits;
    const uint8_t type = header_.ColorType;
    const auto valid = [](uint8_t v) { return v >= 1 && v <= 8; };
    if ((type == PngColor::kRgb || type == PngColor::kPalette || type == PngColor::kRgba) &&
        valid(s[0]) && valid(s[1]) && valid(s[2])) {
      d.assign({s[0], s[1], s[2]});
      if (type == PngColor::kRgba) d.push_back(valid(s[3]) ? s[3] : 8);
      Chunk("sBIT", d);
    }
    const auto& g = png_.GifExtension;
    if (std::any_of(g.begin(), g.end(), [](uint8_t v) { return v != 0; })) {
      Chunk("gIFg", std::vector<uint8_t>(g.begin(), g.end()));
    }
  }

  // The grey level of a colour in this picture's grey ramp, or -1.
  int GreyLevel(TColor color) const {
    const int r = color & 0xFF;
    if (greyLevels_ == 0 || color < 0 || color >= kPaletteReference || ((color >> 8) & 0xFF) != r ||
        ((color >> 16) & 0xFF) != r) {
      return -1;
    }
    for (int i = 0; i < greyLevels_; ++i) {
      if (i * 255 / (greyLevels_ - 1) == r) return i;
    }
    return -1;
  }
  // The palette index a colour names: a palette reference, or an entry of exactly that colour.
  int PaletteIndex(TColor color) const {
    if (color >= kPaletteReference) {
      const int index = color - kPaletteReference;
      return index < static_cast<int>(palette_.size()) ? index : -1;
    }
    for (size_t i = 0; i < palette_.size(); ++i) {
      const TRGBQuad& p = palette_[i];
      if (color == static_cast<TColor>(p.Red | (p.Green << 8) | (p.Blue << 16))) {
        return static_cast<int>(i);
      }
    }
    return -1;
  }

  void WriteTransparency() {
    std::vector<uint8_t> d;
    const TColor color = png_.TransparentColor;
    switch (header_.ColorType) {
      case PngColor::kGrey:
        if (GreyLevel(color) >= 0) PutBe16(d, static_cast<uint32_t>(GreyLevel(color)));
        break;
      case PngColor::kRgb:
        if (color >= 0 && color < kPaletteReference) {
          for (int shift : {0, 8, 16}) PutBe16(d, (color >> shift) & 0xFF);
        }
        break;
      case PngColor::kPalette:
        if (!paletteAlpha_.empty()) {
          d = paletteAlpha_;
        } else if (!png_.HasAlpha && color != kNoColor && PaletteIndex(color) >= 0) {
          d.assign(static_cast<size_t>(PaletteIndex(color)) + 1, 255);
          d.back() = 0;
        }
        break;
      default:
        break;
    }
    if (!d.empty()) Chunk("tRNS", d);
  }

  void WriteBackground() {
    std::vector<uint8_t> d;
    const TColor color = png_.BackgroundColor;
    if (color == kNoColor) return;
    switch (header_.ColorType) {
      case PngColor::kGrey:
      case PngColor::kGreyAlpha:
        if (GreyLevel(color) >= 0) PutBe16(d, static_cast<uint32_t>(GreyLevel(color)));
        break;
      case PngColor::kRgb:
      case PngColor::kRgba:
        if (color >= 0 && color < kPaletteReference) {
          for (int shift : {0, 8, 16}) PutBe16(d, (color >> shift) & 0xFF);
        }
        break;
      case PngColor::kPalette:
        if (PaletteIndex(color) >= 0) d.push_back(static_cast<uint8_t>(PaletteIndex(color)));
        break;
      default:
        break;
    }
    if (!d.empty()) Chunk("bKGD", d);
  }

  void Text(const std::string& keyword, const std::string& text) {
    std::vector<uint8_t> d(keyword.begin(), keyword.end());
    d.push_back(0);
    d.insert(d.end(), text.begin(), text.end());
    Chunk("tEXt", d);
  }

  void Chunk(const char* type, const std::vector<uint8_t>& data) {
    Chunk(type, data.data(), data.size());
  }
  void Chunk(const char* type, const uint8_t* data, size_t size) {
    std::vector<uint8_t> head;
    PutBe32(head, static_cast<uint32_t>(size));
    head.insert(head.end(), type, type + 4);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    if (size > 0) crc = crc32(crc, data, static_cast<uInt>(size));
    std::vector<uint8_t> tail;
    PutBe32(tail, static_cast<uint32_t>(crc));
    stream_.Write(head.data(), head.size());
    if (size > 0) stream_.Write(data, size);
    stream_.Write(tail.data(), tail.size());
  }

  // The samples of one row of a pass, unfiltered.
  void RawRow(const TPngPass& pass, uint32_t row, uint8_t* out, size_t size) const {
    const int y = static_cast<int>(pass.YStart + row * pass.YStep);
    const uint8_t* in = image_.ScanLine(y);
    const uint8_t* a = alphaUsed_ ? alpha_.ScanLine(y) : nullptr;
    const int depth = header_.BitDepth;
    std::memset(out, 0, size);
    for (uint32_t i = 0; i < pass.Width; ++i) {
      const uint32_t x = pass.XStart + i * pass.XStep;
      switch (source_) {
        case TSource::kIndex: {
          const size_t bit = size_t{i} * depth;
          out[bit / 8] |= static_cast<uint8_t>(IndexInRow(in, x, bits_) << (8 - depth - bit % 8));
          break;
        }
        case TSource::kGreyAlpha:
          out[i * 2] = in[x];
          out[i * 2 + 1] = static_cast<uint8_t>(255 - a[x]);
          break;
        case TSource::kBgr:
        case TSource::kPixels: {
          const size_t stride = a != nullptr ? 4 : 3;
          uint8_t* p = out + i * stride;
          if (source_ == TSource::kBgr) {
            p[0] = in[x * 3 + 2];
            p[1] = in[x * 3 + 1];
            p[2] = in[x * 3];
          } else {
            const TRGBQuad c = image_.GetPixel(static_cast<int>(x), y);
            p[0] = c.Red;
            p[1] = c.Green;
            p[2] = c.Blue;
          }
          if (a != nullptr) p[3] = static_cast<uint8_t>(255 - a[x]);
          break;
        }
      }
    }
  }

  void WriteImageData() {
    TPngDeflater deflater(png_.CompressionLevel, static_cast<size_t>(png_.IDATSize),
                          [this](const uint8_t* data, size_t size) { Chunk("IDAT", data, size); });
    if (!deflater.Ok()) Fail(kWriteError);
    const size_t step = static_cast<size_t>(std::max(1, PngPixelBits(header_) / 8));
    const bool unfiltered = header_.ColorType == PngColor::kPalette || header_.BitDepth < 8;
    const size_t widest = static_cast<size_t>(PngRowBytes(header_, header_.Width));
    std::vector<uint8_t> raw(widest);
    std::vector<uint8_t> above(widest);
    std::vector<uint8_t> filtered(widest + 1);
    std::vector<uint8_t> trial(widest + 1);
    for (const TPngPass& pass : PngPasses(header_)) {
      if (pass.Width == 0 || pass.Height == 0) continue;
      const size_t size = static_cast<size_t>(PngRowBytes(header_, pass.Width));
      std::fill(above.begin(), above.end(), uint8_t{0});
      for (uint32_t y = 0; y < pass.Height; ++y) {
        RawRow(pass, y, raw.data(), size);
        if (unfiltered || png_.FilterChoice <= 4) {
          filtered[0] = unfiltered ? 0 : png_.FilterChoice;
          FilterRow(filtered[0], raw.data(), above.data(), size, step, filtered.data() + 1);
        } else {
          // The filter whose output has the smallest sum of magnitudes, as signed bytes.
          uint64_t best = UINT64_MAX;
          for (uint8_t type = 0; type <= 4; ++type) {
            FilterRow(type, raw.data(), above.data(), size, step, trial.data() + 1);
            uint64_t sum = 0;
            for (size_t i = 1; i <= size; ++i) sum += std::abs(static_cast<int8_t>(trial[i]));
            if (sum < best) {
              best = sum;
              trial[0] = type;
              std::swap(trial, filtered);
            }
          }
        }
        if (!deflater.Write(filtered.data(), size + 1)) Fail(kWriteError);
        std::swap(raw, above);
      }
    }
    if (!deflater.Finish()) Fail(kWriteError);
  }

  const TPngGraphic& png_;
  const TBitmap& image_;
  const TBitmap& alpha_;
  TStream& stream_;
  TPngHeader header_;
  int bits_ = 24;
  TSource source_ = TSource::kBgr;
  bool alphaUsed_ = false;
  int greyLevels_ = 0;  // entries of the grey ramp when the picture is written as grey
  std::vector<TRGBQuad> palette_;
  std::vector<uint8_t> paletteAlpha_;
};

}  // namespace

void TPngGraphic::SaveToStream(TStream& stream) const {
  if (IDATSize < 256 || IDATSize > 100000) Fail(kIdatSize);
  if (Image().Empty()) Fail(kWriteError);
  try {
    TPngWriter(*this, stream).Run();
  } catch (const EPngGraphic&) {
    throw;
  } catch (const Exception&) {
    Fail(kWriteError);
  } catch (const std::bad_alloc&) {
    Fail(kWriteError);
  }
}
