#include "base/Stream.h"

#include <algorithm>
#include <cstring>

size_t TMemoryStream::Read(void* buffer, size_t count) {
  if (count == 0 || position_ >= bytes_.size()) return 0;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(count, bytes_.size() - position_));
  std::memcpy(buffer, bytes_.data() + position_, n);
  position_ += n;
  return n;
}

void TMemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return;
  const uint64_t end = position_ + count;
  if (end > bytes_.size()) bytes_.resize(static_cast<size_t>(end));
  std::memcpy(bytes_.data() + position_, buffer, count);
  position_ = end;
}

size_t TBytesStream::Read(void* buffer, size_t count) {
  if (count == 0 || position_ >= size_) return 0;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(count, size_ - position_));
  std::memcpy(buffer, data_ + position_, n);
  position_ += n;
  return n;
}

void TBytesStream::Write(const void*, size_t) {
  throw Exception("Stream write error");
}
