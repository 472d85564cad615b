// A Susie import plug-in over the Windows Imaging Component: PNG, GIF, TIFF and icons on every
// Windows (and Wine) without a third-party plug-in. It claims neither JPEG nor BMP, so those
// keep the program's own faster readers. Pictures come out as 24-bit DIBs, transparency laid
// over the desktop's colour (the first frame of an animation or a multi-page file).
#include <wincodec.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "addons/SpiExports.h"
#include "base/ComPtr_win.h"
#include "decode/AlphaBlend.h"

namespace {

constexpr uint64_t kMaxPixelBytes = uint64_t{1} << 30;
constexpr UINT kBandRows = 256;  // rows per progress step

struct TFormat {
  const char* filter;
  const char* description;
};
// One filter entry for every format: the program accepts a plug-in's first entry in folder scans.
constexpr TFormat kFormats[] = {
    {"*.png;*.gif;*.tif;*.tiff;*.ico", "PNG, GIF, TIFF, Icon (Windows Imaging Component)"}};

bool HasMagic(const unsigned char* h) {
  static const unsigned char png[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (std::memcmp(h, png, 8) == 0) return true;
  if (std::memcmp(h, "GIF87a", 6) == 0 || std::memcmp(h, "GIF89a", 6) == 0) return true;
  if (std::memcmp(h, "II*\0", 4) == 0 || std::memcmp(h, "MM\0*", 4) == 0) return true;
  // An icon directory: reserved 0, type 1, at least one image.
  return h[0] == 0 && h[1] == 0 && h[2] == 1 && h[3] == 0 && (h[4] | h[5]) != 0;
}

// The picture's size from its first bytes, without decoding (WIC under Wine decodes a whole PNG
// to tell its size). False when the header does not tell it plainly.
bool SizeFromHeader(const unsigned char* h, size_t n, uint32_t& width, uint32_t& height) {
  auto be32 = [&](size_t at) {
    return (uint32_t{h[at]} << 24) | (uint32_t{h[at + 1]} << 16) | (uint32_t{h[at + 2]} << 8) |
           h[at + 3];
  };
  auto le16 = [&](size_t at) { return static_cast<uint32_t>(h[at] | (h[at + 1] << 8)); };
  if (n >= 24 && h[0] == 0x89 && std::memcmp(h + 12, "IHDR", 4) == 0) {
    width = be32(16);
    height = be32(20);
  } else if (n >= 10 && std::memcmp(h, "GIF", 3) == 0) {
    width = le16(6);
    height = le16(8);
  } else if (n >= 22 && h[0] == 0 && h[2] == 1) {  // icon: the first image's size, 0 = 256
    width = h[6] != 0 ? h[6] : 256;
    height = h[7] != 0 ? h[7] : 256;
  } else {
    return false;
  }
  return width != 0 && height != 0;
}

// Initialises COM for this call if the thread has not done so.
class TComScope {
 public:
  TComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  TComScope(const TComScope&) = delete;
  TComScope& operator=(const TComScope&) = delete;
  ~TComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }

 private:
  HRESULT hr_;
};

// The first frame of the picture, converted to 32-bit BGRA. A whole file is read by WIC
// itself (only what it needs); memory, or a file with a header before the picture, from bytes.
HRESULT OpenFrame(const std::wstring& file, std::vector<BYTE>& bytes, IWICImagingFactory* factory,
                  TComPtr<IWICStream>& stream, TComPtr<IWICBitmapDecoder>& decoder,
                  TComPtr<IWICBitmapFrameDecode>& frame, TComPtr<IWICFormatConverter>& converter) {
  HRESULT hr = factory->CreateStream(&stream);
  if (SUCCEEDED(hr)) {
    hr = file.empty() ? stream->InitializeFromMemory(bytes.data(), static_cast<DWORD>(bytes.size()))
                      : stream->InitializeFromFilename(file.c_str(), GENERIC_READ);
  }
  if (SUCCEEDED(hr)) {
    hr = factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                          &decoder);
  }
  if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, &frame);
  if (SUCCEEDED(hr)) hr = factory->CreateFormatConverter(&converter);
  if (SUCCEEDED(hr)) {
    hr = converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                               nullptr, 0.0, WICBitmapPaletteTypeCustom);
  }
  return hr;
}

// The first bytes of a file, for the magic check before WIC sees it.
bool FileHasMagic(const std::wstring& file) {
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  unsigned char header[8] = {};
  DWORD read = 0;
  const bool ok = ReadFile(handle, header, sizeof header, &read, nullptr) && read == sizeof header;
  CloseHandle(handle);
  return ok && HasMagic(header);
}

int Decode(LPCSTR source, LONG length, UINT flag, HLOCAL* info, HLOCAL* pixels,
           SpiProgress progress, LONG_PTR user, TSusiePictureInfo* pictureInfo) {
  std::vector<BYTE> bytes;
  std::wstring file;
  if ((flag & 7) == 0 && length == 0 && source != nullptr) {
    const int size = MultiByteToWideChar(CP_ACP, 0, source, -1, nullptr, 0);
    file.resize(static_cast<size_t>(std::max(size, 1)));
    MultiByteToWideChar(CP_ACP, 0, source, -1, file.data(), size);
    file.resize(wcslen(file.c_str()));
    if (!FileHasMagic(file)) return SusieResult::kUnknownFormat;
  } else {
    const int read = SpiReadSource(source, length, flag, bytes);
    if (read != SusieResult::kSuccess) return read;
    if (bytes.size() < 8 || !HasMagic(bytes.data())) return SusieResult::kUnknownFormat;
  }
  TComScope com;
  TComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, reinterpret_cast<void**>(&factory)))) {
    return SusieResult::kInternalError;
  }
  TComPtr<IWICStream> stream;
  TComPtr<IWICBitmapDecoder> decoder;
  TComPtr<IWICBitmapFrameDecode> frame;
  TComPtr<IWICFormatConverter> converter;
  if (FAILED(OpenFrame(file, bytes, factory.get(), stream, decoder, frame, converter))) {
    return SusieResult::kUnknownFormat;
  }
  UINT width = 0;
  UINT height = 0;
  if (FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0 ||
      width > 0x7FFFFFFF || height > 0x7FFFFFFF) {
    return SusieResult::kBrokenData;
  }
  const uint64_t row = ((uint64_t{width} * 24 + 31) / 32) * 4;
  if (row * height > kMaxPixelBytes) return SusieResult::kNoMemory;
  if (pictureInfo != nullptr) {
    std::memset(pictureInfo, 0, sizeof *pictureInfo);
    pictureInfo->width = static_cast<int32_t>(width);
    pictureInfo->height = static_cast<int32_t>(height);
    pictureInfo->colorDepth = 24;
    return SusieResult::kSuccess;
  }

  HLOCAL infoBlock = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, sizeof(BITMAPINFOHEADER));
  HLOCAL pixelBlock = LocalAlloc(LMEM_MOVEABLE, static_cast<SIZE_T>(row * height));
  if (infoBlock == nullptr || pixelBlock == nullptr) {
    if (infoBlock != nullptr) LocalFree(infoBlock);
    if (pixelBlock != nullptr) LocalFree(pixelBlock);
    return SusieResult::kNoMemory;
  }
  auto* out = static_cast<BYTE*>(LocalLock(pixelBlock));
  std::vector<BYTE> band(static_cast<size_t>(width) * 4 * kBandRows);
  // Transparent and partly transparent pixels are laid over the desktop's own colour, so that
  // a logo on a clear background looks as a viewer shows it on this desktop.
  const COLORREF desktop = GetSysColor(COLOR_DESKTOP);
  const BYTE backBlue = GetBValue(desktop);
  const BYTE backGreen = GetGValue(desktop);
  const BYTE backRed = GetRValue(desktop);
  int result = SusieResult::kSuccess;
  if (progress != nullptr && progress(0, static_cast<int>(height), user) != 0) {
    result = SusieResult::kAborted;
  }
  for (UINT top = 0; top < height && result == SusieResult::kSuccess; top += kBandRows) {
    const UINT rows = std::min(kBandRows, height - top);
    const WICRect rect{0, static_cast<INT>(top), static_cast<INT>(width), static_cast<INT>(rows)};
    if (FAILED(converter->CopyPixels(&rect, width * 4, static_cast<UINT>(width) * 4 * rows,
                                     band.data()))) {
      result = SusieResult::kBrokenData;
      break;
    }
    for (UINT y = 0; y < rows; ++y) {
      const BYTE* in = band.data() + static_cast<size_t>(width) * 4 * y;
      BYTE* target = out + row * (height - 1 - (top + y));  // DIB rows are bottom-up
      for (UINT x = 0; x < width; ++x) {
        const BYTE alpha = in[x * 4 + 3];
        if (alpha == 255) {
          target[x * 3] = in[x * 4];
          target[x * 3 + 1] = in[x * 4 + 1];
          target[x * 3 + 2] = in[x * 4 + 2];
        } else {
          target[x * 3] = BlendOver(in[x * 4], alpha, backBlue);
          target[x * 3 + 1] = BlendOver(in[x * 4 + 1], alpha, backGreen);
          target[x * 3 + 2] = BlendOver(in[x * 4 + 2], alpha, backRed);
        }
      }
      for (uint64_t pad = uint64_t{width} * 3; pad < row; ++pad) target[pad] = 0;
    }
    if (progress != nullptr &&
        progress(static_cast<int>(top + rows), static_cast<int>(height), user) != 0) {
      result = SusieResult::kAborted;
    }
  }
  LocalUnlock(pixelBlock);
  if (result != SusieResult::kSuccess) {
    LocalFree(infoBlock);
    LocalFree(pixelBlock);
    return result;
  }
  auto* header = static_cast<BITMAPINFOHEADER*>(LocalLock(infoBlock));
  header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = static_cast<LONG>(width);
  header->biHeight = static_cast<LONG>(height);
  header->biPlanes = 1;
  header->biBitCount = 24;
  header->biCompression = BI_RGB;
  header->biXPelsPerMeter = header->biYPelsPerMeter = 3780;
  LocalUnlock(infoBlock);
  *info = infoBlock;
  *pixels = pixelBlock;
  return SusieResult::kSuccess;
}

}  // namespace

SPI_EXPORT int WINAPI GetPluginInfo(int number, LPSTR buffer, int length) {
  if (number == 0) return SpiInfoText("00IN", buffer, length);
  if (number == 1) return SpiInfoText("Vesko 2 WIC plug-in (PNG, GIF, TIFF, ICO)", buffer, length);
  const int index = (number - 2) / 2;
  if (number < 2 || index >= static_cast<int>(std::size(kFormats))) return 0;
  return SpiInfoText(number % 2 == 0 ? kFormats[index].filter : kFormats[index].description, buffer,
                     length);
}

SPI_EXPORT int WINAPI IsSupported(LPCSTR /*name*/, void* header) {
  // The host always hands over a 2 KB block of the file's first bytes.
  if (header == nullptr || reinterpret_cast<uintptr_t>(header) < 0x10000) return 0;
  return HasMagic(static_cast<const unsigned char*>(header)) ? 1 : 0;
}

SPI_EXPORT int WINAPI GetPictureInfo(LPCSTR source, LONG length, UINT flag,
                                     TSusiePictureInfo* info) {
  if (info == nullptr) return SusieResult::kInternalError;
  unsigned char header[32] = {};
  size_t n = 0;
  if ((flag & 7) == 1) {
    if (source == nullptr || length <= 0) return SusieResult::kBrokenData;
    n = std::min<size_t>(sizeof header, static_cast<size_t>(length));
    std::memcpy(header, source, n);
  } else {
    HANDLE file = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return SusieResult::kFileReadError;
    DWORD read = 0;
    if (SetFilePointer(file, length, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER) {
      ReadFile(file, header, sizeof header, &read, nullptr);
    }
    CloseHandle(file);
    n = read;
  }
  if (n < 8 || !HasMagic(header)) return SusieResult::kUnknownFormat;
  uint32_t width = 0;
  uint32_t height = 0;
  if (SizeFromHeader(header, n, width, height) && width <= 0x7FFFFFFF && height <= 0x7FFFFFFF) {
    std::memset(info, 0, sizeof *info);
    info->width = static_cast<int32_t>(width);
    info->height = static_cast<int32_t>(height);
    info->colorDepth = 24;
    return SusieResult::kSuccess;
  }
  return Decode(source, length, flag, nullptr, nullptr, nullptr, 0, info);
}

SPI_EXPORT int WINAPI GetPicture(LPCSTR source, LONG length, UINT flag, HLOCAL* info,
                                 HLOCAL* pixels, SpiProgress progress, LONG_PTR user) {
  if (info == nullptr || pixels == nullptr) return SusieResult::kInternalError;
  *info = nullptr;
  *pixels = nullptr;
  return Decode(source, length, flag, info, pixels, progress, user, nullptr);
}

SPI_EXPORT int WINAPI GetPreview(LPCSTR, LONG, UINT, HLOCAL*, HLOCAL*, SpiProgress, LONG_PTR) {
  return SusieResult::kNotImplemented;
}
