#include "base/FileIO_win.h"

#include <windows.h>
// After windows.h.
#include <shlobj.h>

#include "base/Exception.h"
#include "base/Handles_win.h"
#include "base/Path.h"
#include "base/Unicode_win.h"

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesW(ToWide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesW(ToWide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string SystemErrorText(unsigned long code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length != 0 ? std::wstring(buffer, length) : std::wstring();
  LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
    text.pop_back();
  }
  if (text.empty()) return "error " + std::to_string(code);
  return ToUtf8(text);
}

namespace {

std::string OpenErrorText(const std::string& path, DWORD code) {
  return "Cannot open file \"" + path + "\". " + SystemErrorText(code);
}

std::string CreateErrorText(const std::string& path, DWORD code) {
  return "Cannot create file \"" + path + "\". " + SystemErrorText(code);
}

}  // namespace

std::string ReadWholeFile(const std::string& path) {
  THandle file(CreateFileW(ToWide(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) throw EFOpenError(OpenErrorText(path, GetLastError()));
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) throw EFOpenError(OpenErrorText(path, GetLastError()));
  if (static_cast<unsigned long long>(size.QuadPart) > 0x7FFFFFFFull) {
    throw EFOpenError(OpenErrorText(path, ERROR_FILE_TOO_LARGE));
  }
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 24));
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes.data() + done, chunk, &read, nullptr)) {
      throw EFOpenError(OpenErrorText(path, GetLastError()));
    }
    if (read == 0) break;  // the file shrank while we read it
    done += read;
  }
  bytes.resize(done);
  return bytes;
}

namespace {
constexpr DWORD kReplaceRetryMs = 50;
constexpr DWORD kReplaceWaitMs = 2000;
}  // namespace

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
  const std::wstring target = ToWide(path);
  // A read-only file stays as it is (Windows refuses to replace it; not every system does).
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    throw EFCreateError(CreateErrorText(path, ERROR_ACCESS_DENIED));
  }
  std::wstring folder = ToWide(ExtractFilePath(path));
  if (folder.empty()) folder = L".";
  wchar_t temp[MAX_PATH + 16] = {};
  if (GetTempFileNameW(folder.c_str(), L"v2~", 0, temp) == 0) {
    throw EFCreateError(CreateErrorText(path, GetLastError()));
  }
  bool committed = false;
  struct TTempRemover {
    const wchar_t* name;
    bool& committed;
    ~TTempRemover() {
      if (!committed) DeleteFileW(name);
    }
  } remover{temp, committed};

  {
    THandle file(CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr));
    if (!file) throw EFCreateError(CreateErrorText(path, GetLastError()));
    size_t done = 0;
    while (done < bytes.size()) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 24));
      DWORD written = 0;
      if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0) {
        throw EFCreateError(CreateErrorText(path, GetLastError()));
      }
      done += written;
    }
    if (!FlushFileBuffers(file.get())) throw EFCreateError(CreateErrorText(path, GetLastError()));
  }
  // A reader that holds the file without sharing its deletion (the desktop drawing the
  // wallpaper, a virus scanner) blocks the replace for a moment: it is tried again for a while.
  for (DWORD waited = 0;; waited += kReplaceRetryMs) {
    if (MoveFileExW(temp, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      break;
    const DWORD error = GetLastError();
    const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
                      error == ERROR_LOCK_VIOLATION;
    if (!held || waited >= kReplaceWaitMs) throw EFCreateError(CreateErrorText(path, error));
    Sleep(kReplaceRetryMs);
  }
  committed = true;
}

std::string UserPicturesFolder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_MYPICTURES, nullptr, SHGFP_TYPE_CURRENT, path))) {
    return {};
  }
  return ToUtf8(path);
}
