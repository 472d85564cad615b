// Byte streams the picture classes read from and write to: an owning memory stream, a read-only
// view over bytes, and whole files (on Windows through the W APIs).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Exception.h"

// A stream ended before the bytes a reader needed.
class EReadError : public Exception {
 public:
  EReadError() : Exception("Stream read error") {}
};

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to `count` bytes; returns how many were read.
  virtual size_t Read(void* buffer, size_t count) = 0;
  virtual void Write(const void* buffer, size_t count) = 0;
  virtual uint64_t Position() const = 0;
  virtual void Seek(uint64_t position) = 0;
  virtual uint64_t Size() const = 0;

  uint64_t Remaining() const { return Size() > Position() ? Size() - Position() : 0; }
  // Reads exactly `count` bytes or fails with EReadError.
  void ReadBuffer(void* buffer, size_t count) {
    if (Read(buffer, count) != count) throw EReadError();
  }
  void Skip(uint64_t count) {
    if (count > Remaining()) throw EReadError();
    Seek(Position() + count);
  }
};

class TMemoryStream final : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  size_t Read(void* buffer, size_t count) override;
  void Write(const void* buffer, size_t count) override;
  uint64_t Position() const override { return position_; }
  void Seek(uint64_t position) override { position_ = position; }
  uint64_t Size() const override { return bytes_.size(); }

  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  std::vector<uint8_t> TakeBytes() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
  uint64_t position_ = 0;
};

// Reads bytes that someone else owns; writing is refused.
class TBytesStream final : public TStream {
 public:
  TBytesStream(const void* data, size_t size)
      : data_(static_cast<const uint8_t*>(data)), size_(size) {}

  size_t Read(void* buffer, size_t count) override;
  void Write(const void*, size_t) override;
  uint64_t Position() const override { return position_; }
  void Seek(uint64_t position) override { position_ = position; }
  uint64_t Size() const override { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  uint64_t position_ = 0;
};

// A whole file opened for reading (EFOpenError when it cannot be) or created for writing
// (EFCreateError).
std::unique_ptr<TStream> OpenFileStream(const std::string& path);
std::unique_ptr<TStream> CreateFileStream(const std::string& path);
