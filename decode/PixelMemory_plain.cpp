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
  const uint64_t size = RowBytes(static_cast<uint64_t>(layout.Width), static_cast<uint64_t>(layout.BitCount)) *
                        static_cast<uint64_t>(layout.Height);
  return std::make_unique<TPlainPixelMemory>(static_cast<size_t>(size));
}
