// The pixel block of a DIB store: plain heap memory, or (the page-file option) a page-file
// backed file mapping on Windows, so that a DIB section can be laid over the same pixels.
// New bytes are always zero. Copies are deep and keep the option.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class TBlockMemory {
 public:
  virtual ~TBlockMemory() = default;
  virtual uint8_t* Data() = 0;
  // The file mapping holding the bytes (a HANDLE on Windows), or null.
  virtual void* Mapping() const = 0;
};

// Zero-filled memory of `size` bytes (at least one); mapped when asked and the platform can.
std::unique_ptr<TBlockMemory> AllocateBlockMemory(size_t size, bool mapped);

class TPixelBlock {
 public:
  TPixelBlock() = default;
  explicit TPixelBlock(bool useFMO) : useFMO_(useFMO) {}
  TPixelBlock(const TPixelBlock& other);
  TPixelBlock& operator=(const TPixelBlock& other);
  TPixelBlock(TPixelBlock&&) noexcept = default;
  TPixelBlock& operator=(TPixelBlock&&) noexcept = default;
  TPixelBlock& operator=(const std::vector<uint8_t>& bytes);

  uint8_t* data() { return memory_ ? memory_->Data() : nullptr; }
  const uint8_t* data() const { return memory_ ? memory_->Data() : nullptr; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // `size` zero bytes.
  void assign(size_t size);
  // Keeps the first bytes; new ones are zero.
  void resize(size_t size);
  // Takes over memory that already holds `size` bytes of pixels (no copy).
  void Adopt(std::unique_ptr<TBlockMemory> memory, size_t size) {
    memory_ = std::move(memory);
    size_ = size;
  }

  bool UseFMO() const { return useFMO_; }
  void SetUseFMO(bool useFMO) { useFMO_ = useFMO; }
  void* Mapping() const { return memory_ ? memory_->Mapping() : nullptr; }
  std::vector<uint8_t> ToVector() const { return {data(), data() + size_}; }

  bool operator==(const std::vector<uint8_t>& bytes) const;
  bool operator==(const TPixelBlock& other) const;

 private:
  bool useFMO_ = false;
  size_t size_ = 0;
  std::unique_ptr<TBlockMemory> memory_;
};
