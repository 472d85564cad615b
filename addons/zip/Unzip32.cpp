// Our ZIP archiver library (UNZIP32.DLL): the calls the program makes of a ZIP archiver —
// extraction of one member into memory, the archive check, open and close, and the optional
// owner-window and enumeration calls — on zlib. It never writes anything to disk.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "addons/zip/ZipReader.h"

#define ARC_EXPORT extern "C" __declspec(dllexport)

namespace {

constexpr int kErrorNotArchive = 0x8021;
constexpr int kErrorBrokenArchive = 0x8022;
constexpr int kErrorNoMember = 0x8023;
constexpr int kErrorUnsupported = 0x8024;
constexpr int kErrorCommand = 0x8025;
constexpr int kErrorCancelled = 0x8026;

// Progress states sent to the owner window with the "wm_arcextract" message.
constexpr WPARAM kExtractBegin = 0;
constexpr WPARAM kExtractInProcess = 1;
constexpr WPARAM kExtractEnd = 2;

// The record behind the progress message and the enumeration procedure's argument.
struct TExtractingInfo {
  DWORD FileSize;
  DWORD WriteSize;
  char SourceFileName[513];
  char DestFileName[513];
};

using TEnumMembersProc = BOOL(CALLBACK*)(void*);

// Set by the caller around one extraction; one caller at a time.
HWND ownerWindow = nullptr;
TEnumMembersProc enumMembers = nullptr;

// Tells the owner window; true when it asks to stop.
bool Notify(WPARAM state, TExtractingInfo& info) {
  if (ownerWindow == nullptr) return false;
  static const UINT message = RegisterWindowMessageA("wm_arcextract");
  return SendMessageA(ownerWindow, message, state, reinterpret_cast<LPARAM>(&info)) != 0;
}

class TFileSource final : public IZipSource {
 public:
  explicit TFileSource(const char* path)
      : file_(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr)) {
    LARGE_INTEGER size{};
    if (file_ != INVALID_HANDLE_VALUE && GetFileSizeEx(file_, &size))
      size_ = static_cast<uint64_t>(size.QuadPart);
  }
  TFileSource(const TFileSource&) = delete;
  TFileSource& operator=(const TFileSource&) = delete;
  ~TFileSource() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }
  bool Ok() const { return file_ != INVALID_HANDLE_VALUE; }
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* buffer, size_t count) override {
    if (offset > size_ || count > size_ - offset) return false;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file_, at, nullptr, FILE_BEGIN)) return false;
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (count > 0) {
      DWORD read = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count, 1 << 24));
      if (!ReadFile(file_, bytes, chunk, &read, nullptr) || read == 0) return false;
      bytes += read;
      count -= read;
    }
    return true;
  }

 private:
  HANDLE file_;
  uint64_t size_ = 0;
};

// The quoted names of a command line, switches (unquoted words) skipped.
std::vector<std::string> QuotedNames(const char* line) {
  std::vector<std::string> names;
  if (line == nullptr) return names;
  const std::string text(line);
  size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == '"') {
      const size_t end = text.find('"', pos + 1);
      if (end == std::string::npos) break;
      const std::string word = text.substr(pos + 1, end - pos - 1);
      if (!word.empty() && word[0] != '-') names.push_back(word);
      pos = end + 1;
    } else {
      ++pos;
    }
  }
  return names;
}

// A stored name as the command line's code page writes it.
std::string AnsiName(const TZipEntry& entry) {
  if (!entry.Utf8) return entry.Name;
  const int length = MultiByteToWideChar(CP_UTF8, 0, entry.Name.data(),
                                         static_cast<int>(entry.Name.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, entry.Name.data(), static_cast<int>(entry.Name.size()),
                      wide.data(), length);
  const int bytes =
      WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  std::string ansi(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), length, ansi.data(), bytes, nullptr, nullptr);
  return ansi;
}

bool IsZip(const char* path) {
  TFileSource source(path);
  TZipReader reader;
  return source.Ok() && reader.Open(source) == ZipError::kOk;
}

}  // namespace

ARC_EXPORT WORD WINAPI UnZipGetVersion() {
  return 100;
}

ARC_EXPORT int WINAPI UnZipExtractMem(HWND, LPCSTR commandLine, LPBYTE buffer, DWORD size,
                                      void* /*time*/, LPWORD /*attributes*/, LPDWORD written) {
  if (written != nullptr) *written = 0;
  const std::vector<std::string> names = QuotedNames(commandLine);
  if (names.size() < 2 || buffer == nullptr) return kErrorCommand;
  TFileSource source(names[0].c_str());
  if (!source.Ok()) return kErrorNotArchive;
  TZipReader reader;
  const int opened = reader.Open(source);
  if (opened != ZipError::kOk)
    return opened == ZipError::kNotZip ? kErrorNotArchive : kErrorBrokenArchive;
  for (const TZipEntry& entry : reader.Entries()) {
    const std::string name = AnsiName(entry);
    if (name.empty() || name.back() == '/') continue;  // folders
    bool match = false;
    for (size_t i = 1; i < names.size() && !match; ++i) match = ZipNameMatches(names[i], name);
    if (!match) continue;
    TExtractingInfo info{};
    info.FileSize = static_cast<DWORD>(std::min<uint64_t>(entry.Size, 0xFFFFFFFFu));
    lstrcpynA(info.SourceFileName, names[0].c_str(), sizeof info.SourceFileName);
    lstrcpynA(info.DestFileName, name.c_str(), sizeof info.DestFileName);
    if (enumMembers != nullptr && !enumMembers(&info)) return kErrorCancelled;
    if (Notify(kExtractBegin, info)) return kErrorCancelled;
    size_t done = 0;
    const int result = reader.Extract(entry, buffer, size, done);
    if (written != nullptr) *written = static_cast<DWORD>(done);
    info.WriteSize = static_cast<DWORD>(done);
    if (Notify(kExtractInProcess, info)) return kErrorCancelled;
    Notify(kExtractEnd, info);
    if (result == ZipError::kOk || result == ZipError::kBufferTooSmall) return 0;
    return result == ZipError::kUnsupported ? kErrorUnsupported : kErrorBrokenArchive;
  }
  return kErrorNoMember;
}

ARC_EXPORT BOOL WINAPI UnZipCheckArchive(LPCSTR path, const int /*mode*/) {
  return path != nullptr && IsZip(path) ? TRUE : FALSE;
}

ARC_EXPORT void* WINAPI UnZipOpenArchive(const HWND, LPCSTR path, const DWORD) {
  if (path == nullptr || !IsZip(path)) return nullptr;
  return new std::string(path);  // the handle: closed by UnZipCloseArchive
}

ARC_EXPORT int WINAPI UnZipCloseArchive(void* handle) {
  delete static_cast<std::string*>(handle);
  return 0;
}

ARC_EXPORT BOOL WINAPI UnZipSetOwnerWindowEx(HWND window, void* /*callback*/) {
  if (window != nullptr && !IsWindow(window)) return FALSE;
  ownerWindow = window;
  return TRUE;
}
ARC_EXPORT BOOL WINAPI UnZipKillOwnerWindowEx(HWND window) {
  if (window != ownerWindow) return FALSE;
  ownerWindow = nullptr;
  return TRUE;
}
ARC_EXPORT BOOL WINAPI UnZipSetEnumMembersProc64(void* procedure, DWORD /*structSize*/) {
  enumMembers = reinterpret_cast<TEnumMembersProc>(procedure);
  return TRUE;
}
ARC_EXPORT BOOL WINAPI UnZipClearEnumMembersProc64() {
  enumMembers = nullptr;
  return TRUE;
}
