// Pixels in plain memory, for the portable build.
#include "decode/PixelMemory.h"

namespace {

class TPlainPixelMemory final : public TPixelMemory {
 public:
  explicit TPlainPixelMemory(size_t size) : bytes_(size, 0) {}
  uint8_t* Bits() override { return bytes_.data(); }
  size_t Size() const override { return bytes_.size(); }
  void SetColorTable(const std::vector<TRGBQuad>&) override {}
  void* Handle() const override { return nullptr; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace

std::unique_ptr<TPixelMemory> AllocatePixelMemory(const TPixelLayout& layout) {
  const uint64_t size =
      RowBytes(static_cast<uint64_t>(layout.Width), static_cast<uint64_t>(layout.BitCount)) *
      static_cast<uint64_t>(layout.Height);
  return std::make_unique<TPlainPixelMemory>(static_cast<size_t>(size));
}

#include "decode/PixelBlock.h"

namespace {

// Without page-file mappings the option keeps plain memory.
class THeapBlock final : public TBlockMemory {
 public:
  explicit THeapBlock(size_t size) : bytes_(new uint8_t[size]()) {}
  uint8_t* Data() override { return bytes_.get(); }
  void* Mapping() const override { return nullptr; }

 private:
  std::unique_ptr<uint8_t[]> bytes_;
};

}  // namespace

std::unique_ptr<TBlockMemory> AllocateBlockMemory(size_t size, bool /*mapped*/) {
  return std::make_unique<THeapBlock>(size);
}
