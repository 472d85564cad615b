// Pixels in a DIB section, so that GDI draws straight into a bitmap's rows.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "decode/PixelMemory.h"

namespace {

struct TBitmapInfo256 {
  BITMAPINFOHEADER header;
  RGBQUAD colors[256];
};

struct TLayoutKey {
  int width, height, bitCount;
  bool rgb565;
  bool operator==(const TLayoutKey&) const = default;
};

// The last two big DIB sections freed, kept for the next picture of the same layout: a fresh
// section's pages cost more in page faults than decoding a photo into them. Pictures for
// several monitors are made on several threads at once: one lock guards the entries.
class TSectionCache {
 public:
  static constexpr size_t kMinSize = size_t{4} << 20;
  struct TEntry {
    TLayoutKey key;
    HBITMAP bitmap;
    uint8_t* bits;
    size_t size;
  };

  TSectionCache() = default;
  TSectionCache(const TSectionCache&) = delete;
  TSectionCache& operator=(const TSectionCache&) = delete;
  ~TSectionCache() {
    for (const TEntry& e : entries_) DeleteObject(e.bitmap);
  }
  void Put(const TEntry& entry) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (entries_.size() == 2) {
      DeleteObject(entries_.front().bitmap);
      entries_.erase(entries_.begin());
    }
    entries_.push_back(entry);
  }
  void Clear() {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (const TEntry& e : entries_) DeleteObject(e.bitmap);
    entries_.clear();
  }
  bool Take(const TLayoutKey& key, TEntry& entry) {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->key == key) {
        entry = *it;
        entries_.erase(it);
        return true;
      }
    }
    return false;
  }

 private:
  std::mutex mutex_;
  std::vector<TEntry> entries_;
};

TSectionCache& SectionCache() {
  static TSectionCache cache;
  return cache;
}

class TDibSectionMemory final : public TPixelMemory {
 public:
  TDibSectionMemory(HBITMAP bitmap, uint8_t* bits, size_t size, TLayoutKey key)
      : bitmap_(bitmap), bits_(bits), size_(size), key_(key) {}
  TDibSectionMemory(const TDibSectionMemory&) = delete;
  TDibSectionMemory& operator=(const TDibSectionMemory&) = delete;
  ~TDibSectionMemory() override {
    if (size_ >= TSectionCache::kMinSize) {
      SectionCache().Put({key_, bitmap_, bits_, size_});
    } else {
      DeleteObject(bitmap_);
    }
  }

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
  TLayoutKey key_;
};

}  // namespace

void ReleaseCachedPixelMemory() {
  SectionCache().Clear();
}

std::unique_ptr<TPixelMemory> AllocatePixelMemory(const TPixelLayout& layout) {
  const TLayoutKey key{layout.Width, layout.Height, layout.BitCount,
                       layout.BitCount == 16 && layout.Rgb565};
  if (TSectionCache::TEntry entry; SectionCache().Take(key, entry)) {
    std::memset(entry.bits, 0, entry.size);
    return std::make_unique<TDibSectionMemory>(entry.bitmap, entry.bits, entry.size, key);
  }
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
  const uint64_t size =
      RowBytes(static_cast<uint64_t>(layout.Width), static_cast<uint64_t>(layout.BitCount)) *
      static_cast<uint64_t>(layout.Height);
  return std::make_unique<TDibSectionMemory>(bitmap, static_cast<uint8_t*>(bits),
                                             static_cast<size_t>(size), key);
}

#include "decode/DIBErrors.h"
#include "decode/PixelBlock.h"

namespace {

class THeapBlock final : public TBlockMemory {
 public:
  explicit THeapBlock(size_t size) : bytes_(new uint8_t[size]()) {}
  uint8_t* Data() override { return bytes_.get(); }
  void* Mapping() const override { return nullptr; }

 private:
  std::unique_ptr<uint8_t[]> bytes_;
};

// A page-file backed mapping: its pages start zero, and a DIB section can share them.
class TMappedBlock final : public TBlockMemory {
 public:
  explicit TMappedBlock(size_t size) {
    mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                  static_cast<DWORD>(size), nullptr);
    if (mapping_ == nullptr) throw EOutOfResources("GetMemory: Cannot Make File Mapping Object");
    view_ = static_cast<uint8_t*>(MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, size));
    if (view_ == nullptr) {
      CloseHandle(mapping_);
      throw EOutOfResources("GetMemory: Cannot Make View of File Map");
    }
  }
  TMappedBlock(const TMappedBlock&) = delete;
  TMappedBlock& operator=(const TMappedBlock&) = delete;
  ~TMappedBlock() override {
    UnmapViewOfFile(view_);
    CloseHandle(mapping_);
  }
  uint8_t* Data() override { return view_; }
  void* Mapping() const override { return mapping_; }

 private:
  HANDLE mapping_ = nullptr;
  uint8_t* view_ = nullptr;
};

}  // namespace

std::unique_ptr<TBlockMemory> AllocateBlockMemory(size_t size, bool mapped) {
  if (mapped) return std::make_unique<TMappedBlock>(size);
  return std::make_unique<THeapBlock>(size);
}
