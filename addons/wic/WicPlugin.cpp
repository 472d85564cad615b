// A Susie import plug-in over the Windows Imaging Component: PNG, GIF, TIFF and icons on every
// Windows (and Wine) without a third-party plug-in, and whatever further formats the system has
// decoders installed for (HEIC, JPEG XR, WebP, AVIF with the store's extensions), asked at run
// time. It claims neither JPEG nor BMP, so those keep the program's own faster readers, nor
// WebP and AVIF while our own plug-ins for them lie beside it. Pictures come out as 24-bit DIBs,
// transparency laid over the desktop's colour (the first frame of an animation or a multi-page
// file).
#include <wincodec.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

#include "addons/SpiExports.h"
#include "addons/wic/WicFilters.h"
#include "base/ComPtr_win.h"
#include "decode/AlphaBlend.h"
#include "decode/FaultGuard_win.h"

namespace {

constexpr uint64_t kMaxPixelBytes = uint64_t{1} << 30;
constexpr UINT kBandRows = 256;  // rows per progress step

// The first filter entry; the further decoders' extensions follow it, in as many entries as
// they need (the program's folder scans take every entry of its own plug-ins).
constexpr char kBaseFilter[] = "*.png;*.gif;*.tif;*.tiff;*.ico";
constexpr char kBaseDescription[] = "PNG, GIF, TIFF, Icon";
constexpr size_t kHeaderBytes = 2048;  // what the host hands IsSupported

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

// A signature of a further decoder: the bytes at `position` under `mask` equal `pattern`.
struct TPattern {
  size_t position = 0;
  std::vector<BYTE> pattern;
  std::vector<BYTE> mask;
};

// The system's decoders for formats beyond the base ones, as this plug-in offers them.
struct TFurtherFormats {
  std::vector<TFilterEntry> entries = WicFilterEntries(kBaseFilter, kBaseDescription, {});
  std::vector<TPattern> patterns;
};

// The host reads a plug-in's texts in the ANSI code page.
std::string Narrow(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(std::max(size, 0)), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

// Our own plug-in for a format beside this one: it then keeps the format.
bool OwnPluginBeside(const wchar_t* name) {
  HMODULE self = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&OwnPluginBeside), &self);
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  std::wstring folder(path, length);
  folder.erase(folder.find_last_of(L"\\/") + 1);
  return GetFileAttributesW((folder + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Whether an extension (".heic", lower case) is one this plug-in leaves to another reader.
bool LeftToOthers(const std::string& extension) {
  static const bool ownWebp = OwnPluginBeside(L"ifwebp.spi");
  static const bool ownAvif = OwnPluginBeside(L"ifavif.spi");
  for (const char* taken : {".png", ".gif", ".tif", ".tiff", ".ico", ".bmp", ".dib", ".rle", ".jpg",
                            ".jpeg", ".jpe", ".jfif", ".exif"}) {
    if (extension == taken) return true;
  }
  if (ownWebp && extension == ".webp") return true;
  return ownAvif && (extension == ".avif" || extension == ".avifs");
}

TFurtherFormats EnumerateDecoders() {
  TFurtherFormats formats;
  TComScope com;
  TComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, reinterpret_cast<void**>(&factory)))) {
    return formats;
  }
  TComPtr<IEnumUnknown> components;
  if (FAILED(factory->CreateComponentEnumerator(WICDecoder, WICComponentEnumerateDefault,
                                                &components))) {
    return formats;
  }
  std::set<std::string> seen;
  std::vector<TDecoderClaim> claims;
  for (;;) {
    TComPtr<IUnknown> component;
    ULONG fetched = 0;
    if (components->Next(1, &component, &fetched) != S_OK || fetched != 1) break;
    TComPtr<IWICBitmapDecoderInfo> info;
    if (FAILED(component->QueryInterface(IID_IWICBitmapDecoderInfo,
                                         reinterpret_cast<void**>(&info)))) {
      continue;
    }
    UINT chars = 0;
    if (FAILED(info->GetFileExtensions(0, nullptr, &chars)) || chars == 0) continue;
    std::wstring list(chars, L'\0');
    if (FAILED(info->GetFileExtensions(chars, list.data(), &chars))) continue;
    list.resize(wcslen(list.c_str()));
    // ".heic,.heif" (Wine separates them by ';'): the extensions no other reader takes, each
    // once.
    std::vector<std::string> taken;
    size_t start = 0;
    while (start <= list.size()) {
      const size_t comma = std::min(list.find_first_of(L",;", start), list.size());
      std::string extension = Narrow(list.substr(start, comma - start));
      std::transform(extension.begin(), extension.end(), extension.begin(),
                     [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
      extension.erase(0, extension.find_first_not_of(' '));
      if (extension.size() > 1 && extension[0] == '.' && !LeftToOthers(extension) &&
          seen.insert(extension).second) {
        taken.push_back(extension);
      }
      start = comma + 1;
    }
    if (taken.empty()) continue;
    std::string friendly;
    UINT nameChars = 0;
    if (SUCCEEDED(info->GetFriendlyName(0, nullptr, &nameChars)) && nameChars > 0) {
      std::wstring name(nameChars, L'\0');
      if (SUCCEEDED(info->GetFriendlyName(nameChars, name.data(), &nameChars))) {
        name.resize(wcslen(name.c_str()));
        friendly = Narrow(name);
      }
    }
    claims.emplace_back(friendly, taken);
    UINT count = 0;
    UINT bytes = 0;
    if (FAILED(info->GetPatterns(0, nullptr, &count, &bytes)) || count == 0 || bytes == 0) continue;
    std::vector<BYTE> block(bytes);
    auto* patterns = reinterpret_cast<WICBitmapPattern*>(block.data());
    if (FAILED(info->GetPatterns(bytes, patterns, &count, &bytes))) continue;
    for (UINT i = 0; i < count; ++i) {
      const WICBitmapPattern& p = patterns[i];
      // Only signatures within the first bytes the host hands over.
      if (p.EndOfStream || p.Position.QuadPart + p.Length > kHeaderBytes || p.Length == 0) continue;
      TPattern pattern;
      pattern.position = static_cast<size_t>(p.Position.QuadPart);
      pattern.pattern.assign(p.Pattern, p.Pattern + p.Length);
      pattern.mask.assign(p.Mask, p.Mask + p.Length);
      formats.patterns.push_back(std::move(pattern));
    }
  }
  formats.entries = WicFilterEntries(kBaseFilter, kBaseDescription, claims);
  return formats;
}

// Asked once, at the first need.
const TFurtherFormats& FurtherFormats() {
  static const TFurtherFormats formats = EnumerateDecoders();
  return formats;
}

// Whether the first bytes match a further decoder's signature.
bool MatchesFurther(const unsigned char* h, size_t n) {
  for (const TPattern& p : FurtherFormats().patterns) {
    if (p.position + p.pattern.size() > n) continue;
    bool same = true;
    for (size_t i = 0; i < p.pattern.size() && same; ++i)
      same = (h[p.position + i] & p.mask[i]) == (p.pattern[i] & p.mask[i]);
    if (same) return true;
  }
  return false;
}

bool HasBaseMagic(const unsigned char* h) {
  static const unsigned char png[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (std::memcmp(h, png, 8) == 0) return true;
  if (std::memcmp(h, "GIF87a", 6) == 0 || std::memcmp(h, "GIF89a", 6) == 0) return true;
  if (std::memcmp(h, "II*\0", 4) == 0 || std::memcmp(h, "MM\0*", 4) == 0) return true;
  // An icon directory: reserved 0, type 1, at least one image.
  return h[0] == 0 && h[1] == 0 && h[2] == 1 && h[3] == 0 && (h[4] | h[5]) != 0;
}

// Whether this plug-in reads a picture that starts with these bytes (at least 8 of them).
bool HasMagic(const unsigned char* h, size_t n) {
  return (n >= 8 && HasBaseMagic(h)) || MatchesFurther(h, n);
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

// One file's calls into the system's codecs, some of them installed by other vendors (a RAW or
// HEIF extension) and liable to fault on a file they half understand. A fault fails this file
// alone: no further call is made, and the objects of the call are let go unreleased.
class TCodecCalls {
 public:
  template <typename F>
  HRESULT operator()(F call) {
    if (faulted_) return E_FAIL;
    int result = 0;
    auto guarded = [&call]() -> int { return call(); };
    if (CallGuarded(guarded, result)) return result;
    faulted_ = true;
    return E_FAIL;
  }
  bool Faulted() const { return faulted_; }

 private:
  bool faulted_ = false;
};

// A file's codec objects, let go unreleased after a fault.
struct TCodecObjects {
  TComPtr<IWICStream> stream;
  TComPtr<IWICBitmapDecoder> decoder;
  TComPtr<IWICBitmapFrameDecode> frame;
  TComPtr<IWICFormatConverter> converter;
  TCodecCalls calls;
  TCodecObjects() = default;
  TCodecObjects(const TCodecObjects&) = delete;
  TCodecObjects& operator=(const TCodecObjects&) = delete;
  ~TCodecObjects() {
    if (!calls.Faulted()) return;
    stream.Abandon();
    decoder.Abandon();
    frame.Abandon();
    converter.Abandon();
  }
};

// The first frame of the picture, converted to 32-bit BGRA. A whole file is read by WIC
// itself (only what it needs); memory, or a file with a header before the picture, from bytes.
HRESULT OpenFrame(const std::wstring& file, std::vector<BYTE>& bytes, IWICImagingFactory* factory,
                  TCodecObjects& o) {
  HRESULT hr = factory->CreateStream(&o.stream);
  IWICStream* stream = o.stream.get();
  if (SUCCEEDED(hr)) {
    hr = file.empty() ? stream->InitializeFromMemory(bytes.data(), static_cast<DWORD>(bytes.size()))
                      : stream->InitializeFromFilename(file.c_str(), GENERIC_READ);
  }
  IWICBitmapDecoder** decoder = &o.decoder;
  if (SUCCEEDED(hr)) {
    hr = o.calls([=] {
      return factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand,
                                              decoder);
    });
  }
  IWICBitmapFrameDecode** frame = &o.frame;
  if (SUCCEEDED(hr)) hr = o.calls([=] { return (*decoder)->GetFrame(0, frame); });
  if (SUCCEEDED(hr)) hr = factory->CreateFormatConverter(&o.converter);
  IWICFormatConverter* converter = o.converter.get();
  if (SUCCEEDED(hr)) {
    hr = o.calls([=] {
      return converter->Initialize(*frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                   nullptr, 0.0, WICBitmapPaletteTypeCustom);
    });
  }
  return hr;
}

// The first bytes of a file, for the magic check before WIC sees it.
bool FileHasMagic(const std::wstring& file) {
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  unsigned char header[kHeaderBytes] = {};
  DWORD read = 0;
  const bool ok = ReadFile(handle, header, sizeof header, &read, nullptr) && read >= 8;
  CloseHandle(handle);
  return ok && HasMagic(header, read);
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
    if (bytes.size() < 8 || !HasMagic(bytes.data(), std::min(bytes.size(), kHeaderBytes))) {
      return SusieResult::kUnknownFormat;
    }
  }
  TComScope com;
  TComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, reinterpret_cast<void**>(&factory)))) {
    return SusieResult::kInternalError;
  }
  TCodecObjects codec;
  if (FAILED(OpenFrame(file, bytes, factory.get(), codec))) {
    return codec.calls.Faulted() ? SusieResult::kBrokenData : SusieResult::kUnknownFormat;
  }
  IWICFormatConverter* converter = codec.converter.get();
  UINT width = 0;
  UINT height = 0;
  UINT* w = &width;
  UINT* h = &height;
  if (FAILED(codec.calls([=] { return converter->GetSize(w, h); })) || width == 0 || height == 0 ||
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
    const WICRect* area = &rect;
    BYTE* into = band.data();
    if (FAILED(codec.calls([=] {
          return converter->CopyPixels(area, width * 4, static_cast<UINT>(width) * 4 * rows, into);
        }))) {
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
  SpiInfoHeader24(infoBlock, width, height);
  *info = infoBlock;
  *pixels = pixelBlock;
  return SusieResult::kSuccess;
}

}  // namespace

SPI_EXPORT int WINAPI GetPluginInfo(int number, LPSTR buffer, int length) {
  if (number == 0) return SpiInfoText("00IN", buffer, length);
  if (number == 1) return SpiInfoText("Vesko 2 WIC plug-in (PNG, GIF, TIFF, ICO)", buffer, length);
  const std::vector<TFilterEntry>& entries = FurtherFormats().entries;
  const size_t entry = number >= 2 ? static_cast<size_t>(number - 2) / 2 : entries.size();
  if (entry >= entries.size()) return 0;
  const std::string& text = number % 2 == 0 ? entries[entry].filter : entries[entry].description;
  return SpiInfoText(text.c_str(), buffer, length);
}

SPI_EXPORT int WINAPI IsSupported(LPCSTR /*name*/, void* header) {
  const BYTE* h = SpiHeaderBlock(header);
  return h != nullptr && HasMagic(h, kHeaderBytes) ? 1 : 0;
}

SPI_EXPORT int WINAPI GetPictureInfo(LPCSTR source, LONG length, UINT flag,
                                     TSusiePictureInfo* info) {
  if (info == nullptr) return SusieResult::kInternalError;
  unsigned char header[kHeaderBytes] = {};
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
  if (n < 8 || !HasMagic(header, n)) return SusieResult::kUnknownFormat;
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
