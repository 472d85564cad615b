// A Susie import plug-in for WebP over libwebp: lossy, lossless and the first frame of an
// animation, always as a 24-bit bitmap. Transparency is laid over the desktop's colour as
// ifpng.spi lays it. The decoding itself is addons/webp/WebpDecode.cpp, shared with the fuzz
// target.
#include <cstring>
#include <vector>

#include "addons/SpiExports.h"
#include "addons/webp/WebpDecode.h"

namespace {

// Enough for the header of any WebP file: RIFF, VP8X and the first image chunk's header.
constexpr size_t kHeaderBytes = 64;

TWebpBackground DesktopColor() {
  const TSpiBackground desktop = SpiDesktopColor();
  return TWebpBackground{desktop.Red, desktop.Green, desktop.Blue};
}

int ResultOf(TWebpResult result) {
  switch (result) {
    case TWebpResult::kOk:
      return SusieResult::kSuccess;
    case TWebpResult::kNotWebp:
      return SusieResult::kUnknownFormat;
    case TWebpResult::kBroken:
      return SusieResult::kBrokenData;
    case TWebpResult::kTooLarge:
    case TWebpResult::kNoMemory:
      return SusieResult::kNoMemory;
    case TWebpResult::kAborted:
      return SusieResult::kAborted;
  }
  return SusieResult::kInternalError;
}

int Decode(LPCSTR source, LONG length, UINT flag, HLOCAL* info, HLOCAL* pixels,
           SpiProgress progress, LONG_PTR user) {
  std::vector<BYTE> bytes;
  const int read = SpiReadSource(source, length, flag, bytes);
  if (read != SusieResult::kSuccess) return read;
  if (!IsWebp(bytes.data(), bytes.size())) return SusieResult::kUnknownFormat;

  // The pixels are decoded straight into the movable block handed to the host.
  HLOCAL block = nullptr;
  const TWebpAllocate allocate = [&](size_t size) -> uint8_t* {
    block = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, size);
    return block != nullptr ? static_cast<uint8_t*>(LocalLock(block)) : nullptr;
  };
  TWebpProgress told;
  if (progress != nullptr) told = [&](int percent) { return progress(percent, 100, user) == 0; };
  TWebpPicture picture;
  TWebpResult result;
  try {
    TWebpBackground back = DesktopColor();
    back.HostConverts = SpiHostConvertsColours();
    result =
        DecodeWebp24(bytes.data(), bytes.size(), back, kMaxPixelBytes, allocate, told, picture);
  } catch (const std::bad_alloc&) {
    result = TWebpResult::kNoMemory;
  } catch (...) {
    if (block != nullptr) {
      LocalUnlock(block);
      LocalFree(block);
    }
    return SusieResult::kInternalError;
  }
  if (block != nullptr) LocalUnlock(block);
  if (result != TWebpResult::kOk) {
    if (block != nullptr) LocalFree(block);
    return ResultOf(result);
  }
  // A picture with alpha was decoded in 32 bits into the block: the 24-bit rows need less.
  if (LocalSize(block) > picture.Bytes) {
    if (HLOCAL smaller = LocalReAlloc(block, picture.Bytes, LMEM_MOVEABLE)) block = smaller;
  }

  const TColorProfilePtr profile = IccColorProfile(std::move(picture.Icc));
  return SpiHandOver24(block, picture.Width, picture.Height, info, pixels, profile.get());
}

}  // namespace

SPI_EXPORT int WINAPI GetPluginInfo(int number, LPSTR buffer, int length) {
  return SpiFormatInfo(number, "Vesko 2 WebP plug-in", "*.webp", "WebP (Vesko 2)", buffer, length);
}

SPI_EXPORT int WINAPI IsSupported(LPCSTR /*name*/, void* header) {
  const BYTE* h = SpiHeaderBlock(header);
  return h != nullptr && IsWebp(h, 12) ? 1 : 0;
}

SPI_EXPORT int WINAPI GetPictureInfo(LPCSTR source, LONG length, UINT flag,
                                     TSusiePictureInfo* info) {
  if (info == nullptr) return SusieResult::kInternalError;
  std::vector<BYTE> h;
  const int read = SpiReadSource(source, length, flag, h, kHeaderBytes);
  if (read != SusieResult::kSuccess && h.size() < 12) return read;
  if (!IsWebp(h.data(), h.size())) return SusieResult::kUnknownFormat;
  TWebpHeader header;
  if (!ReadWebpHeader(h.data(), h.size(), header)) return SusieResult::kBrokenData;
  std::memset(info, 0, sizeof *info);
  info->width = static_cast<int32_t>(header.Width);
  info->height = static_cast<int32_t>(header.Height);
  info->colorDepth = 24;
  return SusieResult::kSuccess;
}

SPI_EXPORT int WINAPI GetPicture(LPCSTR source, LONG length, UINT flag, HLOCAL* info,
                                 HLOCAL* pixels, SpiProgress progress, LONG_PTR user) {
  if (info == nullptr || pixels == nullptr) return SusieResult::kInternalError;
  *info = nullptr;
  *pixels = nullptr;
  return Decode(source, length, flag, info, pixels, progress, user);
}

SPI_EXPORT int WINAPI GetPreview(LPCSTR, LONG, UINT, HLOCAL*, HLOCAL*, SpiProgress, LONG_PTR) {
  return SusieResult::kNotImplemented;
}
