#include "TestSupport_win.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "base/Stream.h"
#include "decode/Bitmap.h"
#include "decode/JpegCodec.h"

TTempDir::TTempDir() {
  wchar_t base[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, base);
  static unsigned counter = 0;
  for (;;) {
    path_ = std::wstring(base) + L"vesko2-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter);
    if (CreateDirectoryW(path_.c_str(), nullptr)) break;
    if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot make temp dir");
  }
}

TTempDir::~TTempDir() {
  // A folder that is the current directory cannot be removed.
  wchar_t base[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, base);
  SetCurrentDirectoryW(base);
  RemoveTree(path_);
}

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write test file");
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

std::string ReadBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes(GetFileSize(file, nullptr), '\0');
  DWORD read = 0;
  ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring EnvPath(const wchar_t* name) {
  wchar_t value[1024] = {};
  GetEnvironmentVariableW(name, value, 1024);
  std::wstring path = value;
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

namespace {

void Put16(std::string& b, unsigned v) {
  b += static_cast<char>(v & 0xFF);
  b += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& b, unsigned v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

TTestRgb PaletteColorOf(int i) {
  return {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 7)};
}

// A GIF whose LZW data holds only literal codes: a clear code every 250 codes keeps the code
// width at 9 bits.
std::string MakeGif(int width, int height) {
  std::string b = "GIF89a";
  Put16(b, static_cast<unsigned>(width));
  Put16(b, static_cast<unsigned>(height));
  b += static_cast<char>(0xF7);  // global table of 256 entries
  b += '\0';
  b += '\0';
  for (int i = 0; i < 256; ++i) {
    const TTestRgb c = PaletteColorOf(i);
    b += static_cast<char>(c.r);
    b += static_cast<char>(c.g);
    b += static_cast<char>(c.b);
  }
  b += ',';
  Put16(b, 0);
  Put16(b, 0);
  Put16(b, static_cast<unsigned>(width));
  Put16(b, static_cast<unsigned>(height));
  b += '\0';
  b += static_cast<char>(8);  // minimum code size
  std::string data;
  uint32_t buffer = 0;
  int bits = 0;
  auto emit = [&](unsigned code) {
    buffer |= code << bits;
    bits += 9;
    while (bits >= 8) {
      data += static_cast<char>(buffer & 0xFF);
      buffer >>= 8;
      bits -= 8;
    }
  };
  int sinceClear = 0;
  emit(256);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (++sinceClear == 250) {
        emit(256);
        sinceClear = 1;
      }
      emit(static_cast<unsigned>((x * 3 + y * 5) % 256));
    }
  }
  emit(257);
  if (bits > 0) data += static_cast<char>(buffer & 0xFF);
  for (size_t at = 0; at < data.size(); at += 255) {
    const size_t n = std::min<size_t>(255, data.size() - at);
    b += static_cast<char>(n);
    b += data.substr(at, n);
  }
  b += '\0';
  b += ';';
  return b;
}

// A baseline TIFF: one uncompressed strip of 8-bit RGB.
std::string MakeTiff(int width, int height) {
  std::string b = "II";
  Put16(b, 42);
  Put32(b, 8);
  const int entries = 10;
  const unsigned bpsOffset = 8 + 2 + entries * 12 + 4;
  const unsigned dataOffset = bpsOffset + 6;
  Put16(b, entries);
  auto entry = [&](unsigned tag, unsigned type, unsigned count, unsigned value) {
    Put16(b, tag);
    Put16(b, type);
    Put32(b, count);
    Put32(b, value);
  };
  entry(256, 3, 1, static_cast<unsigned>(width));
  entry(257, 3, 1, static_cast<unsigned>(height));
  entry(258, 3, 3, bpsOffset);
  entry(259, 3, 1, 1);
  entry(262, 3, 1, 2);
  entry(273, 4, 1, dataOffset);
  entry(277, 3, 1, 3);
  entry(278, 3, 1, static_cast<unsigned>(height));
  entry(279, 4, 1, static_cast<unsigned>(width * height * 3));
  entry(284, 3, 1, 1);
  Put32(b, 0);
  Put16(b, 8);
  Put16(b, 8);
  Put16(b, 8);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      b += static_cast<char>(x * 9);
      b += static_cast<char>(y * 13);
      b += static_cast<char>(200 - x);
    }
  }
  return b;
}

}  // namespace

TTestRgb PaletteColor(int i) {
  return PaletteColorOf(i);
}

std::string MakeTestGif(int width, int height) {
  return MakeGif(width, height);
}
std::string MakeTestTiff(int width, int height) {
  return MakeTiff(width, height);
}

std::string MakeTestBmp(int width, int height, uint8_t red, uint8_t green, uint8_t blue) {
  TBitmap bitmap;
  bitmap.SetSize(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) bitmap.SetPixel(x, y, TRGBQuad{blue, green, red, 0});
  }
  TMemoryStream stream;
  bitmap.SaveToStream(stream);
  return std::string(stream.Bytes().begin(), stream.Bytes().end());
}

std::wstring DesktopValue(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  DWORD size = sizeof value;
  RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", name, RRF_RT_REG_SZ, nullptr, value,
               &size);
  return value;
}

size_t CommittedPrivateBytes() {
  size_t total = 0;
  MEMORY_BASIC_INFORMATION info{};
  const char* at = nullptr;
  while (VirtualQuery(at, &info, sizeof info) == sizeof info) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
    const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
    if (next <= at) break;
    at = next;
  }
  return total;
}

void SetDesktopValue(const wchar_t* name, const std::wstring& value) {
  RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", name, REG_SZ, value.c_str(),
                  static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

namespace {

BOOL CALLBACK CountChild(HWND, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  EnumChildWindows(window, CountChild, count);
  return TRUE;
}

}  // namespace

int CountThreadWindows() {
  int windows = 0;
  EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

int GdiRoom() {
  std::vector<HRGN> made;
  made.reserve(70000);
  while (made.size() < 70000) {
    HRGN region = CreateRectRgn(0, 0, 1, 1);
    if (region == nullptr) break;
    made.push_back(region);
  }
  for (HRGN region : made) DeleteObject(region);
  return static_cast<int>(made.size());
}

std::string MakeTestJpeg(int width, int height, const std::vector<uint8_t>& row, int quality) {
  struct TRow {
    static const uint8_t* At(void* context, int) {
      return static_cast<const std::vector<uint8_t>*>(context)->data();
    }
  };
  std::vector<uint8_t> bytes;
  if (EncodeJpeg(width, height, quality, false, false, &TRow::At,
                 const_cast<std::vector<uint8_t>*>(&row), bytes) != 0) {
    return {};
  }
  return {bytes.begin(), bytes.end()};
}

namespace {

struct TWindowSearch {
  DWORD process;
  const wchar_t* className;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectProcessWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<TWindowSearch*>(context);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t name[32] = {};
  GetClassNameW(window, name, 32);
  if (process == search->process && lstrcmpW(name, search->className) == 0 &&
      IsWindowVisible(window)) {
    search->found.push_back(window);
  }
  return TRUE;
}

}  // namespace

std::vector<HWND> ProcessWindows(DWORD process, const wchar_t* className) {
  TWindowSearch search{process, className, {}};
  EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> ProcessBoxes(DWORD process) {
  return ProcessWindows(process, L"#32770");
}

HDROP MakeDrop(const std::vector<std::wstring>& paths, POINT at) {
  std::wstring list;
  for (const std::wstring& path : paths) list += path + L'\0';
  list += L'\0';
  const size_t bytes = sizeof(DROPFILES) + list.size() * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
  auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
  header->pFiles = sizeof(DROPFILES);
  header->pt = at;
  header->fWide = TRUE;
  memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), list.data(),
         list.size() * sizeof(wchar_t));
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}
