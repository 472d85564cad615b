// Reading members of ZIP archives: the central directory (with Zip64), stored and deflated
// members, names in the ANSI code page or UTF-8. Every size the archive claims is checked against
// the archive and the caller's buffer: nothing is ever written past the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Random access to the archive's bytes.
class IZipSource {
 public:
  virtual ~IZipSource() = default;
  virtual uint64_t Size() const = 0;
  // Exactly `count` bytes at `offset`, or false.
  virtual bool ReadAt(uint64_t offset, void* buffer, size_t count) = 0;
};

class TZipMemorySource final : public IZipSource {
 public:
  TZipMemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* buffer, size_t count) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

struct TZipEntry {
  std::string Name;   // as stored
  bool Utf8 = false;  // general-purpose flag bit 11
  bool Encrypted = false;
  uint16_t Method = 0;
  uint64_t CompressedSize = 0;
  uint64_t Size = 0;
  uint64_t LocalOffset = 0;
};

namespace ZipError {
constexpr int kOk = 0;
constexpr int kNotZip = 1;
constexpr int kBroken = 2;
constexpr int kNoMember = 3;
constexpr int kUnsupported = 4;     // method or encryption
constexpr int kBufferTooSmall = 5;  // the member was cut to the buffer
}  // namespace ZipError

class TZipReader {
 public:
  // Reads the central directory; ZipError::kNotZip or kBroken when it cannot.
  int Open(IZipSource& source);
  const std::vector<TZipEntry>& Entries() const { return entries_; }
  // Inflates or copies a member into `out` (at most `capacity` bytes); `written` tells how many.
  int Extract(const TZipEntry& entry, uint8_t* out, size_t capacity, size_t& written);

 private:
  IZipSource* source_ = nullptr;
  std::vector<TZipEntry> entries_;
};

// Matching a member name against a pattern as archiver command lines give it: "*" and "?",
// "[...]" sets ("[[]" is a "[", "[-]" a "-"), "/" and "\" alike, letters without regard to case
// (ASCII).
bool ZipNameMatches(const std::string& pattern, const std::string& name);
