// A Susie import plug-in over the program's own PNG class: PNG out of the box, also where the
// Windows Imaging Component is missing. Pictures come out in the bitmap the class decodes them
// to (1, 4, 8 or 24 bits with their palette); alpha is dropped, as when the picture is assigned
// to a bitmap.
#include <cstring>
#include <new>
#include <vector>

#include "addons/SpiExports.h"
#include "base/Stream.h"
#include "decode/PngGraphic.h"

namespace {

const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
// Signature, then the IHDR chunk's length and type, then its width, height, depth and type.
constexpr size_t kHeaderBytes = 8 + 8 + 10;

bool IsPng(const BYTE* bytes, size_t size) {
  return size >= 8 && std::memcmp(bytes, kSignature, 8) == 0;
}

// The bits per pixel the class decodes a colour type and depth to.
int BitsOf(BYTE depth, BYTE colorType) {
  if (colorType == 2 || colorType == 6) return 24;
  if (colorType == 4 || depth >= 8) return 8;
  return depth == 1 ? 1 : 4;
}

int Decode(LPCSTR source, LONG length, UINT flag, HLOCAL* info, HLOCAL* pixels,
           SpiProgress progress, LONG_PTR user) {
  std::vector<BYTE> bytes;
  const int read = SpiReadSource(source, length, flag, bytes);
  if (read != SusieResult::kSuccess) return read;
  if (!IsPng(bytes.data(), bytes.size())) return SusieResult::kUnknownFormat;
  TPngGraphic png;
  if (progress != nullptr) {
    // The end is not passed on: after a failure it would tell the host "all done".
    png.OnProgress = [&](TGraphic&, TProgressStage stage, uint8_t percent, bool, const TRect&,
                         const std::string&) {
      if (stage != TProgressStage::psEnding && progress(percent, 100, user) != 0) throw EAbort();
    };
  }
  try {
    TBytesStream stream(bytes.data(), bytes.size());
    png.LoadFromStream(stream);
  } catch (const EAbort&) {
    return SusieResult::kAborted;
  } catch (const EPngGraphic&) {
    return SusieResult::kBrokenData;
  } catch (const std::bad_alloc&) {
    return SusieResult::kNoMemory;
  } catch (...) {
    return SusieResult::kInternalError;
  }
  bytes = {};

  const TBitmap& image = png.Image();
  const int bits = image.BitCount();
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return SusieResult::kInternalError;
  const size_t colors = bits <= 8 ? size_t{1} << bits : 0;
  const size_t stride = image.Stride();
  const auto height = static_cast<size_t>(image.Height());
  HLOCAL infoBlock = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT,
                                sizeof(BITMAPINFOHEADER) + colors * sizeof(RGBQUAD));
  HLOCAL pixelBlock = LocalAlloc(LMEM_MOVEABLE, stride * height);
  if (infoBlock == nullptr || pixelBlock == nullptr) {
    if (infoBlock != nullptr) LocalFree(infoBlock);
    if (pixelBlock != nullptr) LocalFree(pixelBlock);
    return SusieResult::kNoMemory;
  }
  auto* out = static_cast<BYTE*>(LocalLock(pixelBlock));
  for (size_t y = 0; y < height; ++y) {
    // DIB rows are bottom-up.
    std::memcpy(out + stride * (height - 1 - y), image.ScanLine(static_cast<int>(y)), stride);
  }
  LocalUnlock(pixelBlock);
  auto* header = static_cast<BITMAPINFOHEADER*>(LocalLock(infoBlock));
  header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = image.Width();
  header->biHeight = image.Height();
  header->biPlanes = 1;
  header->biBitCount = static_cast<WORD>(bits);
  header->biCompression = BI_RGB;
  header->biXPelsPerMeter = header->biYPelsPerMeter = 3780;
  header->biClrUsed = static_cast<DWORD>(colors);
  auto* table = reinterpret_cast<RGBQUAD*>(header + 1);
  const std::vector<TRGBQuad>& palette = image.Palette();
  for (size_t i = 0; i < colors && i < palette.size(); ++i) {
    table[i] = RGBQUAD{palette[i].Blue, palette[i].Green, palette[i].Red, 0};
  }
  LocalUnlock(infoBlock);
  *info = infoBlock;
  *pixels = pixelBlock;
  return SusieResult::kSuccess;
}

}  // namespace

SPI_EXPORT int WINAPI GetPluginInfo(int number, LPSTR buffer, int length) {
  switch (number) {
    case 0:
      return SpiInfoText("00IN", buffer, length);
    case 1:
      return SpiInfoText("Vesko 2 PNG plug-in", buffer, length);
    case 2:
      return SpiInfoText("*.png", buffer, length);
    case 3:
      return SpiInfoText("PNG (Vesko 2)", buffer, length);
    default:
      return 0;
  }
}

SPI_EXPORT int WINAPI IsSupported(LPCSTR /*name*/, void* header) {
  // The host always hands over a 2 KB block of the file's first bytes.
  if (header == nullptr || reinterpret_cast<uintptr_t>(header) < 0x10000) return 0;
  return IsPng(static_cast<const BYTE*>(header), 8) ? 1 : 0;
}

SPI_EXPORT int WINAPI GetPictureInfo(LPCSTR source, LONG length, UINT flag,
                                     TSusiePictureInfo* info) {
  if (info == nullptr) return SusieResult::kInternalError;
  std::vector<BYTE> h;
  const int read = SpiReadSource(source, length, flag, h, kHeaderBytes);
  if (read != SusieResult::kSuccess && h.size() < kHeaderBytes) return read;
  if (h.size() < kHeaderBytes || !IsPng(h.data(), h.size()) ||
      std::memcmp(h.data() + 12, "IHDR", 4) != 0) {
    return SusieResult::kUnknownFormat;
  }
  auto be32 = [&](size_t at) {
    return (uint32_t{h[at]} << 24) | (uint32_t{h[at + 1]} << 16) | (uint32_t{h[at + 2]} << 8) |
           h[at + 3];
  };
  const uint32_t width = be32(16);
  const uint32_t height = be32(20);
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) {
    return SusieResult::kBrokenData;
  }
  std::memset(info, 0, sizeof *info);
  info->width = static_cast<int32_t>(width);
  info->height = static_cast<int32_t>(height);
  info->colorDepth = static_cast<int16_t>(BitsOf(h[24], h[25]));
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
