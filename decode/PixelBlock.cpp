#include "decode/PixelBlock.h"

#include <algorithm>
#include <cstring>

TPixelBlock::TPixelBlock(const TPixelBlock& other) : useFMO_(other.useFMO_) {
  assign(other.size_);
  if (size_ != 0) std::memcpy(data(), other.data(), size_);
}

TPixelBlock& TPixelBlock::operator=(const TPixelBlock& other) {
  if (this != &other) {
    TPixelBlock copy(other);
    *this = std::move(copy);
  }
  return *this;
}

TPixelBlock& TPixelBlock::operator=(const std::vector<uint8_t>& bytes) {
  assign(bytes.size());
  if (!bytes.empty()) std::memcpy(data(), bytes.data(), bytes.size());
  return *this;
}

void TPixelBlock::assign(size_t size) {
  memory_ = AllocateBlockMemory(std::max<size_t>(size, 1), useFMO_);
  size_ = size;
}

void TPixelBlock::resize(size_t size) {
  if (size == size_) return;
  std::unique_ptr<TBlockMemory> memory = AllocateBlockMemory(std::max<size_t>(size, 1), useFMO_);
  if (size_ != 0) std::memcpy(memory->Data(), data(), std::min(size, size_));
  memory_ = std::move(memory);
  size_ = size;
}

bool TPixelBlock::operator==(const std::vector<uint8_t>& bytes) const {
  return bytes.size() == size_ && (size_ == 0 || std::memcmp(bytes.data(), data(), size_) == 0);
}

bool TPixelBlock::operator==(const TPixelBlock& other) const {
  return other.size_ == size_ && (size_ == 0 || std::memcmp(other.data(), data(), size_) == 0);
}
