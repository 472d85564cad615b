// Pixels in plain memory, for the portable build.
#include "decode/PixelMemory.h"

#include <cstdlib>
#include <cstring>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {

// calloc: big blocks come straight from the system already zero, with no second pass over
// them (a zero-initialised vector would write every byte once more).
struct TFree {
  void operator()(uint8_t* p) const { std::free(p); }
};
using TZeroBytes = std::unique_ptr<uint8_t, TFree>;

TZeroBytes ZeroBytes(size_t size) {
#ifdef __linux__
  // Big pictures in huge pages: a 24-megapixel bitmap otherwise spends more time in page
  // faults than in decoding.
  constexpr size_t kHuge = size_t{2} << 20;
  if (size >= 2 * kHuge) {
    void* p = nullptr;
    const size_t rounded = (size + kHuge - 1) / kHuge * kHuge;
    if (posix_memalign(&p, kHuge, rounded) != 0) throw std::bad_alloc();
    madvise(p, rounded, MADV_HUGEPAGE);
    std::memset(p, 0, size);
    return TZeroBytes(static_cast<uint8_t*>(p));
  }
#endif
  auto* p = static_cast<uint8_t*>(std::calloc(size == 0 ? 1 : size, 1));
  if (p == nullptr) throw std::bad_alloc();
  return TZeroBytes(p);
}

class TPlainPixelMemory final : public TPixelMemory {
 public:
  explicit TPlainPixelMemory(size_t size) : bytes_(ZeroBytes(size)), size_(size) {}
  uint8_t* Bits() override { return bytes_.get(); }
  size_t Size() const override { return size_; }
  void SetColorTable(const std::vector<TRGBQuad>&) override {}
  void* Handle() const override { return nullptr; }

 private:
  TZeroBytes bytes_;
  size_t size_;
};

}  // namespace

void ReleaseCachedPixelMemory() {}  // plain memory is never kept

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
  explicit THeapBlock(size_t size) : bytes_(ZeroBytes(size)) {}
  uint8_t* Data() override { return bytes_.get(); }
  void* Mapping() const override { return nullptr; }

 private:
  TZeroBytes bytes_;
};

}  // namespace

std::unique_ptr<TBlockMemory> AllocateBlockMemory(size_t size, bool /*mapped*/) {
  return std::make_unique<THeapBlock>(size);
}
