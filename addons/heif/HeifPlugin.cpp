// A Susie import plug-in for HEIF pictures over libheif: HEIC (HEVC through libde265) and AVIF
// (AV1 through dav1d), always as a 24-bit bitmap, upright as the file says. Transparency is
// laid over the desktop's colour as ifpng.spi lays it. libheif.dll and libde265.dll are found
// beside the plug-in (the host loads it with its own folder first). The decoding itself is
// addons/heif/HeifDecode.cpp, shared with the native tests and the fuzz target.
#include <cstring>
#include <functional>
#include <new>
#include <vector>

#include "addons/SpiExports.h"
#include "addons/heif/HeifDecode.h"
#include "decode/DIBStore.h"

namespace {

THeifBackground DesktopColor() {
  const TSpiBackground desktop = SpiDesktopColor();
  return THeifBackground{desktop.Red, desktop.Green, desktop.Blue, SpiHostConvertsColours()};
}

int ResultOf(THeifResult result) {
  switch (result) {
    case THeifResult::kOk:
      return SusieResult::kSuccess;
    case THeifResult::kNotHeif:
    case THeifResult::kUnsupported:
      return SusieResult::kUnknownFormat;
    case THeifResult::kBroken:
      return SusieResult::kBrokenData;
    case THeifResult::kTooLarge:
    case THeifResult::kNoMemory:
      return SusieResult::kNoMemory;
  }
  return SusieResult::kInternalError;
}

// Decodes the picture into memory from `allocate`: its header goes to `info`.
int Decode(LPCSTR source, LONG length, UINT flag, const THeifAllocate& allocate, HLOCAL* info,
           SpiProgress progress, LONG_PTR user) {
  std::vector<BYTE> bytes;
  const int read = SpiReadSource(source, length, flag, bytes);
  if (read != SusieResult::kSuccess) return read;
  if (!IsHeif(bytes.data(), bytes.size())) return SusieResult::kUnknownFormat;
  THeifPicture picture;
  const THeifBackground back = DesktopColor();
  std::function<bool(int, int)> alive;
  if (progress != nullptr)
    alive = [progress, user](int done, int total) { return progress(done, total, user) == 0; };
  const THeifResult result = DecodeShowingLife(
      [&](THeifProgress* state) {
        try {
          return DecodeHeif24(bytes.data(), bytes.size(), back, kMaxPixelBytes, allocate, picture,
                              state);
        } catch (const std::bad_alloc&) {
          return THeifResult::kNoMemory;
        } catch (...) {
          return THeifResult::kBroken;
        }
      },
      alive);
  if (result != THeifResult::kOk) return ResultOf(result);
  const TColorProfilePtr profile = IccColorProfile(std::move(picture.Icc));
  return SpiNewInfo24(picture.Width, picture.Height, info, profile.get());
}

}  // namespace

SPI_EXPORT int WINAPI GetPluginInfo(int number, LPSTR buffer, int length) {
  return SpiFormatInfo(number, "Vesko 2 HEIF plug-in", "*.heic;*.heif;*.avif;*.hif",
                       "HEIC / AVIF (Vesko 2)", buffer, length);
}

SPI_EXPORT int WINAPI IsSupported(LPCSTR /*name*/, void* header) {
  const BYTE* h = SpiHeaderBlock(header);
  return h != nullptr && IsHeif(h, 2048) ? 1 : 0;
}

SPI_EXPORT int WINAPI GetPictureInfo(LPCSTR source, LONG length, UINT flag,
                                     TSusiePictureInfo* info) {
  if (info == nullptr) return SusieResult::kInternalError;
  // The size lies in the item boxes, anywhere in the file: the whole file is read.
  std::vector<BYTE> bytes;
  const int read = SpiReadSource(source, length, flag, bytes);
  if (read != SusieResult::kSuccess) return read;
  if (!IsHeif(bytes.data(), bytes.size())) return SusieResult::kUnknownFormat;
  uint32_t width = 0;
  uint32_t height = 0;
  try {
    if (!ReadHeifSize(bytes.data(), bytes.size(), width, height)) return SusieResult::kBrokenData;
  } catch (...) {
    return SusieResult::kBrokenData;
  }
  std::memset(info, 0, sizeof *info);
  info->width = static_cast<int32_t>(width);
  info->height = static_cast<int32_t>(height);
  info->colorDepth = 24;
  return SusieResult::kSuccess;
}

SPI_EXPORT int WINAPI GetPicture(LPCSTR source, LONG length, UINT flag, HLOCAL* info,
                                 HLOCAL* pixels, SpiProgress progress, LONG_PTR user) {
  if (info == nullptr || pixels == nullptr) return SusieResult::kInternalError;
  *info = nullptr;
  *pixels = nullptr;
  // The pixels are written straight into the movable block handed to the host.
  HLOCAL block = nullptr;
  const THeifAllocate allocate = [&](size_t size) -> uint8_t* {
    block = LocalAlloc(LMEM_MOVEABLE, size);
    return block != nullptr ? static_cast<uint8_t*>(LocalLock(block)) : nullptr;
  };
  const int result = Decode(source, length, flag, allocate, info, progress, user);
  if (block != nullptr) LocalUnlock(block);
  if (result == SusieResult::kSuccess) {
    *pixels = block;
  } else if (block != nullptr) {
    LocalFree(block);
  }
  return result;
}

SPI_EXPORT int WINAPI Vesko2GetPictureInto(LPCSTR source, LONG length, UINT flag, HLOCAL* info,
                                           SpiAllocate allocate, LONG_PTR allocateUser,
                                           SpiProgress progress, LONG_PTR user) {
  if (info == nullptr || allocate == nullptr) return SusieResult::kInternalError;
  *info = nullptr;
  const THeifAllocate into = [&](size_t size) {
    return static_cast<uint8_t*>(allocate(size, allocateUser));
  };
  return Decode(source, length, flag, into, info, progress, user);
}

SPI_EXPORT int WINAPI GetPreview(LPCSTR, LONG, UINT, HLOCAL*, HLOCAL*, SpiProgress, LONG_PTR) {
  return SusieResult::kNotImplemented;
}
