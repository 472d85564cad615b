// The entry points a Susie import plug-in exports, as our own plug-ins declare them. Built with
// --kill-at so the names stay undecorated ("GetPicture", not "GetPicture@28").
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "decode/ColorProfile.h"
#include "decode/SusieApi.h"

#define SPI_EXPORT extern "C" __declspec(dllexport)

using SpiProgress = int(WINAPI*)(int done, int total, LONG_PTR user);

// Copies an info text into the caller's buffer; the number of bytes written.
inline int SpiInfoText(const char* text, LPSTR buffer, int length) {
  if (text == nullptr || buffer == nullptr || length <= 0) return 0;
  int n = 0;
  while (text[n] != '\0' && n < length - 1) {
    buffer[n] = text[n];
    ++n;
  }
  buffer[n] = '\0';
  return n;
}

// GetPluginInfo's answers for a plug-in of one format: the API version, the plug-in's name, its
// filter and the filter's description; 0 past them.
inline int SpiFormatInfo(int number, const char* name, const char* filter, const char* description,
                         LPSTR buffer, int length) {
  const char* const texts[] = {"00IN", name, filter, description};
  if (number < 0 || number >= 4) return 0;
  return SpiInfoText(texts[number], buffer, length);
}

// The 2 KB block of a file's first bytes that the host hands IsSupported, or null when the
// argument is not such a block (an old host's file handle).
inline const BYTE* SpiHeaderBlock(void* header) {
  if (header == nullptr || reinterpret_cast<uintptr_t>(header) < 0x10000) return nullptr;
  return static_cast<const BYTE*>(header);
}

// Fills a zeroed info block with the header of a bottom-up 24-bit picture, the form our
// plug-ins hand over.
inline void SpiInfoHeader24(HLOCAL infoBlock, uint32_t width, uint32_t height) {
  auto* header = static_cast<BITMAPINFOHEADER*>(LocalLock(infoBlock));
  if (header->biSize == 0) header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = static_cast<LONG>(width);
  header->biHeight = static_cast<LONG>(height);
  header->biPlanes = 1;
  header->biBitCount = 24;
  header->biCompression = BI_RGB;
  header->biXPelsPerMeter = header->biYPelsPerMeter = 3780;
  LocalUnlock(infoBlock);
}

// A zeroed info block for a bottom-up picture with `colors` table entries, or null without
// memory. A picture in colours other than sRGB gets a 124-byte header that says which (its
// profile after the table); all others the plain 40-byte one. The caller fills in the rest of
// the header and the table, which starts `biSize` bytes in.
inline HLOCAL SpiNewInfo(size_t colors, const TColorProfile* profile) {
  const size_t header = profile != nullptr ? sizeof(BITMAPV5HEADER) : sizeof(BITMAPINFOHEADER);
  const size_t table = colors * sizeof(RGBQUAD);
  const size_t icc = profile != nullptr ? profile->Icc.size() : 0;
  HLOCAL infoBlock = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, header + table + icc);
  if (infoBlock == nullptr) return nullptr;
  auto* bytes = static_cast<uint8_t*>(LocalLock(infoBlock));
  const auto size = static_cast<DWORD>(header);
  std::memcpy(bytes, &size, 4);
  if (profile != nullptr) {
    WriteBitmapHeaderProfile(bytes, *profile, static_cast<uint32_t>(header + table));
    if (icc > 0) std::memcpy(bytes + header + table, profile->Icc.data(), icc);
  }
  LocalUnlock(infoBlock);
  return infoBlock;
}

// A new header for a bottom-up 24-bit picture, with its colour profile if any, in `info`;
// kNoMemory without memory for it.
inline int SpiNewInfo24(uint32_t width, uint32_t height, HLOCAL* info,
                        const TColorProfile* profile) {
  HLOCAL infoBlock = SpiNewInfo(0, profile);
  if (infoBlock == nullptr) return SusieResult::kNoMemory;
  SpiInfoHeader24(infoBlock, width, height);
  *info = infoBlock;
  return SusieResult::kSuccess;
}

// Hands a decoded bottom-up 24-bit picture to the host: `pixels` gets the block as it is, `info`
// a new header (with the picture's colour profile, if any). Without memory for the header the
// block is freed and kNoMemory comes back.
inline int SpiHandOver24(HLOCAL block, uint32_t width, uint32_t height, HLOCAL* info,
                         HLOCAL* pixels, const TColorProfile* profile = nullptr) {
  const int made = SpiNewInfo24(width, height, info, profile);
  if (made != SusieResult::kSuccess) {
    LocalFree(block);
    return made;
  }
  *pixels = block;
  return SusieResult::kSuccess;
}

// The host's memory for a picture's pixels in Vesko2GetPictureInto, our own entry point beside
// the Susie ones: GetPicture with the pixels written where the host says (`allocate`, called
// once with their size; null when it has none), the info block the plug-in's as ever. The
// host's declaration is TGetPictureInto (decode/SPI_win.h).
using SpiAllocate = void*(WINAPI*)(size_t size, LONG_PTR user);

// The desktop's colour, which our plug-ins lay transparency over.
struct TSpiBackground {
  uint8_t Red, Green, Blue;
};
inline TSpiBackground SpiDesktopColor() {
  const COLORREF desktop = GetSysColor(COLOR_DESKTOP);
  return {GetRValue(desktop), GetGValue(desktop), GetBValue(desktop)};
}

// Whether the program converts pictures from their colour profiles (kColorManagementVariable).
inline bool SpiHostConvertsColours() {
  char value[8] = {};
  const DWORD length = GetEnvironmentVariableA(kColorManagementVariable, value, sizeof value);
  return !(length == 1 && value[0] == '0');
}

// The bytes of the picture: a file from an offset (flag 0) or memory (flag 1), at most `limit`.
inline int SpiReadSource(LPCSTR source, LONG length, UINT flag, std::vector<BYTE>& bytes,
                         size_t limit = SIZE_MAX) {
  if ((flag & 7) == 1) {
    if (source == nullptr || length <= 0) return SusieResult::kBrokenData;
    const size_t size = std::min(static_cast<size_t>(length), limit);
    bytes.assign(reinterpret_cast<const BYTE*>(source),
                 reinterpret_cast<const BYTE*>(source) + size);
    return SusieResult::kSuccess;
  }
  HANDLE file = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return SusieResult::kFileReadError;
  LARGE_INTEGER size{};
  int result = SusieResult::kFileReadError;
  if (GetFileSizeEx(file, &size) && length >= 0 && size.QuadPart >= length &&
      size.QuadPart - length < 0x40000000) {
    bytes.resize(std::min(static_cast<size_t>(size.QuadPart - length), limit));
    LARGE_INTEGER at;
    at.QuadPart = length;
    DWORD read = 0;
    if (SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
        read == bytes.size()) {
      result = SusieResult::kSuccess;
    }
  }
  CloseHandle(file);
  return result;
}
