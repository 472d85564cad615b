// Pixels in a DIB section, so that GDI draws straight into a bitmap's rows.
#include <windows.h>

#include <algorithm>
#include <new>

#include "decode/PixelMemory.h"

namespace {

struct TBitmapInfo256 {
  BITMAPINFOHEADER header;
  RGBQUAD colors[256];
};

class TDibSectionMemory final : public TPixelMemory {
 public:
  TDibSectionMemory(HBITMAP bitmap, uint8_t* bits, size_t size)
      : bitmap_(bitmap), bits_(bits), size_(size) {}
  TDibSectionMemory(const TDibSectionMemory&) = delete;
  TDibSectionMemory& operator=(const TDibSectionMemory&) = delete;
  ~TDibSectionMemory() override { DeleteObject(bitmap_); }

  uint8_t* Bits() override { return bits_; }
  size_t Size() const override { return size_; }
  void SetColorTable(const std::vector<TRGBQuad>& colors) override {
    if (colors.empty()) return;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap_);
    SetDIBColorTable(dc, 0, static_cast<UINT>(std::min<size_t>(colors.size(), 256)),
                     reinterpret_cast<const RGBQUAD*>(colors.data()));
    SelectObject(dc, old);
    DeleteDC(dc);
  }
  void* Handle() const override { return bitmap_; }

 private:
  HBITMAP bitmap_;
  uint8_t* bits_;
  size_t size_;
};

}  // namespace

std::unique_ptr<TPixelMemory> AllocatePixelMemory(const TPixelLayout& layout) {
  TBitmapInfo256 info{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = layout.Width;
  info.header.biHeight = layout.Height;
  info.header.biPlanes = 1;
  info.header.biBitCount = static_cast<WORD>(layout.BitCount);
  info.header.biCompression = BI_RGB;
  if (layout.BitCount == 16 && layout.Rgb565) {
    info.header.biCompression = BI_BITFIELDS;
    auto* masks = reinterpret_cast<DWORD*>(info.colors);
    masks[0] = 0xF800;
    masks[1] = 0x07E0;
    masks[2] = 0x001F;
  }
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                    &bits, nullptr, 0);
  if (bitmap == nullptr || bits == nullptr) throw std::bad_alloc();
  const uint64_t size = RowBytes(static_cast<uint64_t>(layout.Width), static_cast<uint64_t>(layout.BitCount)) *
                        static_cast<uint64_t>(layout.Height);
  return std::make_unique<TDibSectionMemory>(bitmap, static_cast<uint8_t*>(bits),
                                             static_cast<size_t>(size));
}
