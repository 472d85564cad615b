// Whole-file streams for the native build (tests, benchmarks, fuzz replays).
#include <cstdio>

#include "base/Stream.h"

namespace {

class TStdFileStream final : public TStream {
 public:
  TStdFileStream(std::FILE* file, uint64_t size) : file_(file), size_(size) {}
  TStdFileStream(const TStdFileStream&) = delete;
  TStdFileStream& operator=(const TStdFileStream&) = delete;
  ~TStdFileStream() override { std::fclose(file_); }

  size_t Read(void* buffer, size_t count) override {
    const size_t n = std::fread(buffer, 1, count, file_);
    position_ += n;
    return n;
  }
  void Write(const void* buffer, size_t count) override {
    if (std::fwrite(buffer, 1, count, file_) != count) throw Exception("Stream write error");
    position_ += count;
    if (position_ > size_) size_ = position_;
  }
  uint64_t Position() const override { return position_; }
  void Seek(uint64_t position) override {
    std::fseek(file_, static_cast<long>(position), SEEK_SET);
    position_ = position;
  }
  uint64_t Size() const override { return size_; }

 private:
  std::FILE* file_;
  uint64_t size_;
  uint64_t position_ = 0;
};

}  // namespace

std::unique_ptr<TStream> OpenFileStream(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) throw EFOpenError("Cannot open file \"" + path + "\"");
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  std::fseek(file, 0, SEEK_SET);
  return std::make_unique<TStdFileStream>(file, size < 0 ? 0 : static_cast<uint64_t>(size));
}

std::unique_ptr<TStream> CreateFileStream(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) throw EFCreateError("Cannot create file \"" + path + "\"");
  return std::make_unique<TStdFileStream>(file, 0);
}
