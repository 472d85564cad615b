// Whole-file streams on Windows, through the W APIs.
#include <windows.h>

#include "base/FileIO_win.h"
#include "base/Handles_win.h"
#include "base/Stream.h"
#include "base/Unicode_win.h"

namespace {

class TWinFileStream final : public TStream {
 public:
  TWinFileStream(THandle file, uint64_t size) : file_(std::move(file)), size_(size) {}

  size_t Read(void* buffer, size_t count) override {
    size_t done = 0;
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (done < count) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - done, 1 << 24));
      DWORD read = 0;
      if (!ReadFile(file_.get(), bytes + done, chunk, &read, nullptr) || read == 0) break;
      done += read;
    }
    position_ += done;
    return done;
  }
  void Write(const void* buffer, size_t count) override {
    size_t done = 0;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    while (done < count) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - done, 1 << 24));
      DWORD written = 0;
      if (!WriteFile(file_.get(), bytes + done, chunk, &written, nullptr) || written == 0) {
        throw Exception("Stream write error");
      }
      done += written;
    }
    position_ += count;
    if (position_ > size_) size_ = position_;
  }
  uint64_t Position() const override { return position_; }
  void Seek(uint64_t position) override {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(position);
    SetFilePointerEx(file_.get(), to, nullptr, FILE_BEGIN);
    position_ = position;
  }
  uint64_t Size() const override { return size_; }

 private:
  THandle file_;
  uint64_t size_;
  uint64_t position_ = 0;
};

}  // namespace

std::unique_ptr<TStream> OpenFileStream(const std::string& path) {
  THandle file(CreateFileW(ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) {
    throw EFOpenError("Cannot open file \"" + path + "\". " + SystemErrorText(GetLastError()));
  }
  LARGE_INTEGER size{};
  GetFileSizeEx(file.get(), &size);
  return std::make_unique<TWinFileStream>(std::move(file), static_cast<uint64_t>(size.QuadPart));
}

std::unique_ptr<TStream> CreateFileStream(const std::string& path) {
  THandle file(CreateFileW(ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    throw EFCreateError("Cannot create file \"" + path + "\". " + SystemErrorText(GetLastError()));
  }
  return std::make_unique<TWinFileStream>(std::move(file), 0);
}
