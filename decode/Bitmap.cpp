#include "decode/Bitmap.h"

#include <algorithm>
#include <cstring>

#include "decode/ColorReduction.h"
#include "decode/DIBErrors.h"
#include "decode/DIBImage.h"

int BitCountOf(TPixelFormat format) {
  switch (format) {
    case TPixelFormat::pf1bit:
      return 1;
    case TPixelFormat::pf4bit:
      return 4;
    case TPixelFormat::pf8bit:
      return 8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit:
      return 16;
    case TPixelFormat::pf24bit:
      return 24;
    case TPixelFormat::pf32bit:
      return 32;
  }
  return 24;
}

namespace {

TPixelAllocator allocator = nullptr;

// The palette an indexed bitmap starts with when it has none: black and white for 1 bit, the
// sixteen VGA colours for 4 bits, a grey ramp for 8 bits.
std::vector<TRGBQuad> DefaultPalette(int bitCount) {
  std::vector<TRGBQuad> p;
  if (bitCount == 1) {
    p = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  } else if (bitCount == 4) {
    static const uint8_t vga[16][3] = {
        {0, 0, 0},     {0, 0, 128},     {0, 128, 0},     {0, 128, 128},  {128, 0, 0}, {128, 0, 128},
        {128, 128, 0}, {192, 192, 192}, {128, 128, 128}, {0, 0, 255},    {0, 255, 0}, {0, 255, 255},
        {255, 0, 0},   {255, 0, 255},   {255, 255, 0},   {255, 255, 255}};
    for (const auto& c : vga) p.push_back(TRGBQuad{c[2], c[1], c[0], 0});
  } else if (bitCount == 8) {
    for (int i = 0; i < 256; ++i) {
      const auto v = static_cast<uint8_t>(i);
      p.push_back(TRGBQuad{v, v, v, 0});
    }
  }
  return p;
}

}  // namespace

TPixelAllocator SetPixelAllocator(TPixelAllocator next) {
  const TPixelAllocator previous = allocator;
  allocator = next;
  return previous;
}

std::unique_ptr<TPixelMemory> TBitmap::ReleaseMemory() {
  std::unique_ptr<TPixelMemory> memory = std::move(memory_);
  width_ = 0;
  height_ = 0;
  Changed();
  return memory;
}

void TBitmap::Reallocate(int width, int height, TPixelFormat format) {
  if (width < 0 || height < 0 ||
      RowBytes(static_cast<uint64_t>(width), BitCountOf(format)) * static_cast<uint64_t>(height) >
          kMaxPixelBytes) {
    throw EOutOfResources("TBitmap: picture too large");
  }
  std::unique_ptr<TPixelMemory> memory;
  if (width > 0 && height > 0) {
    TPixelLayout layout;
    layout.Width = width;
    layout.Height = height;
    layout.BitCount = BitCountOf(format);
    layout.Rgb565 = format == TPixelFormat::pf16bit;
    memory = allocator != nullptr ? allocator(layout) : AllocatePixelMemory(layout);
    if (BitCountOf(format) <= 8) memory->SetColorTable(palette_);
  }
  memory_ = std::move(memory);
  width_ = width;
  height_ = height;
  format_ = format;
}

void TBitmap::SetSize(int width, int height) {
  if (width == width_ && height == height_) return;
  const int oldHeight = height_;
  const size_t oldStride = Stride();
  std::unique_ptr<TPixelMemory> old = std::move(memory_);
  Reallocate(width, height, format_);
  if (old && memory_) {
    const size_t copy = std::min(oldStride, Stride());
    for (int y = 0; y < std::min(oldHeight, height); ++y) {
      // Rows are bottom-up: the top row of the old picture is its last.
      const uint8_t* from = old->Bits() + oldStride * static_cast<size_t>(oldHeight - 1 - y);
      std::memcpy(ScanLine(y), from, copy);
    }
  }
  Changed();
}

void TBitmap::SetPalette(std::vector<TRGBQuad> colors) {
  if (colors.size() > 256) colors.resize(256);
  palette_ = std::move(colors);
  if (memory_ && BitCount() <= 8) memory_->SetColorTable(palette_);
  Changed();
}

uint8_t* TBitmap::ScanLine(int y) {
  if (!memory_ || y < 0 || y >= height_) return nullptr;
  return memory_->Bits() + Stride() * static_cast<size_t>(height_ - 1 - y);
}

const uint8_t* TBitmap::ScanLine(int y) const {
  return const_cast<TBitmap*>(this)->ScanLine(y);
}

TRGBQuad TBitmap::GetPixel(int x, int y) const {
  const uint8_t* row = ScanLine(y);
  if (row == nullptr || x < 0 || x >= width_) return {};
  return PixelInRow(row, x);
}

TRGBQuad TBitmap::PixelInRow(const uint8_t* row, int x) const {
  auto indexed = [&](unsigned index) {
    return index < palette_.size() ? palette_[index] : TRGBQuad{};
  };
  switch (format_) {
    case TPixelFormat::pf1bit:
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit:
      return indexed(IndexInRow(row, static_cast<uint32_t>(x), BitCount()));
    case TPixelFormat::pf15bit: {
      const unsigned v = row[x * 2] | (row[x * 2 + 1] << 8);
      const auto scale = [](unsigned c) { return static_cast<uint8_t>((c << 3) | (c >> 2)); };
      return TRGBQuad{scale(v & 31), scale((v >> 5) & 31), scale((v >> 10) & 31), 0};
    }
    case TPixelFormat::pf16bit: {
      const unsigned v = row[x * 2] | (row[x * 2 + 1] << 8);
      const auto scale5 = [](unsigned c) { return static_cast<uint8_t>((c << 3) | (c >> 2)); };
      const auto scale6 = [](unsigned c) { return static_cast<uint8_t>((c << 2) | (c >> 4)); };
      return TRGBQuad{scale5(v & 31), scale6((v >> 5) & 63), scale5((v >> 11) & 31), 0};
    }
    case TPixelFormat::pf24bit:
      return TRGBQuad{row[x * 3], row[x * 3 + 1], row[x * 3 + 2], 0};
    case TPixelFormat::pf32bit:
      return TRGBQuad{row[x * 4], row[x * 4 + 1], row[x * 4 + 2], row[x * 4 + 3]};
  }
  return {};
}

void TBitmap::SetPixel(int x, int y, TRGBQuad c) {
  uint8_t* row = ScanLine(y);
  if (row == nullptr || x < 0 || x >= width_) return;
  switch (format_) {
    case TPixelFormat::pf1bit: {
      const uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
      if (NearestIndex(palette_, c.Red, c.Green, c.Blue) & 1) {
        row[x / 8] |= bit;
      } else {
        row[x / 8] &= static_cast<uint8_t>(~bit);
      }
      break;
    }
    case TPixelFormat::pf4bit: {
      const auto v = static_cast<uint8_t>(NearestIndex(palette_, c.Red, c.Green, c.Blue) & 15);
      row[x / 2] = (x & 1) ? static_cast<uint8_t>((row[x / 2] & 0xF0) | v)
                           : static_cast<uint8_t>((row[x / 2] & 0x0F) | (v << 4));
      break;
    }
    case TPixelFormat::pf8bit:
      row[x] = static_cast<uint8_t>(NearestIndex(palette_, c.Red, c.Green, c.Blue));
      break;
    case TPixelFormat::pf15bit: {
      const unsigned v = ((c.Red >> 3) << 10) | ((c.Green >> 3) << 5) | (c.Blue >> 3);
      row[x * 2] = static_cast<uint8_t>(v);
      row[x * 2 + 1] = static_cast<uint8_t>(v >> 8);
      break;
    }
    case TPixelFormat::pf16bit: {
      const unsigned v = ((c.Red >> 3) << 11) | ((c.Green >> 2) << 5) | (c.Blue >> 3);
      row[x * 2] = static_cast<uint8_t>(v);
      row[x * 2 + 1] = static_cast<uint8_t>(v >> 8);
      break;
    }
    case TPixelFormat::pf24bit:
      row[x * 3] = c.Blue;
      row[x * 3 + 1] = c.Green;
      row[x * 3 + 2] = c.Red;
      break;
    case TPixelFormat::pf32bit:
      row[x * 4] = c.Blue;
      row[x * 4 + 1] = c.Green;
      row[x * 4 + 2] = c.Red;
      row[x * 4 + 3] = c.Reserved;
      break;
  }
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
  if (format == format_) return;
  const int newBits = BitCountOf(format);
  if (Empty()) {
    format_ = format;
    if (newBits <= 8 && palette_.empty()) palette_ = DefaultPalette(newBits);
    Changed();
    return;
  }
  // Converts through colours: read every pixel from a copy, write it in the new format.
  TBitmap old;
  old.palette_ = palette_;
  old.width_ = width_;
  old.height_ = height_;
  old.format_ = format_;
  old.memory_ = std::move(memory_);
  if (newBits <= 8 && (palette_.empty() || palette_.size() > (size_t{1} << newBits))) {
    palette_ = DefaultPalette(newBits);
  }
  Reallocate(old.width_, old.height_, format);
  if (format == TPixelFormat::pf24bit) {
    // The common way (every picture the shrink reads): row by row, without per-pixel lookups.
    for (int y = 0; y < height_; ++y) {
      const uint8_t* in = old.ScanLine(y);
      uint8_t* out = ScanLine(y);
      for (int x = 0; x < width_; ++x) {
        const TRGBQuad c = old.PixelInRow(in, x);
        out[x * 3] = c.Blue;
        out[x * 3 + 1] = c.Green;
        out[x * 3 + 2] = c.Red;
      }
    }
  } else {
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) SetPixel(x, y, old.GetPixel(x, y));
    }
  }
  Changed();
}

void TBitmap::LoadFromStream(TStream& stream) {
  TDIBImage dib;
  dib.LoadFromStream(stream);
  dib.AssignTo(*this);
}

void TBitmap::SaveToStream(TStream& stream) const {
  TDIBImage dib;
  dib.Assign(this);
  dib.SaveToStream(stream);
}

void TBitmap::Assign(const TGraphic* source) {
  if (source == this) return;
  if (const auto* bitmap = dynamic_cast<const TBitmap*>(source)) {
    palette_ = bitmap->palette_;
    Reallocate(bitmap->width_, bitmap->height_, bitmap->format_);
    if (memory_) std::memcpy(memory_->Bits(), bitmap->memory_->Bits(), memory_->Size());
    Transparent = bitmap->Transparent;
    TransparentColor = bitmap->TransparentColor;
    ColorProfile = bitmap->ColorProfile;
    Changed();
    return;
  }
  if (source == nullptr) {
    Reallocate(0, 0, format_);
    ColorProfile.reset();
    Changed();
    return;
  }
  TGraphic::Assign(source);
  ColorProfile = source->ColorProfile;
}
