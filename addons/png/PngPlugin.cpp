// A Susie import plug-in over the program's own PNG class: PNG out of the box, also where the
// Windows Imaging Component is missing. Pictures come out in the bitmap the class decodes them
// to (1, 4, 8 or 24 bits with their palette). Transparency is laid over the desktop's colour:
// pictures with an alpha channel come out in 24 bits, a single transparent colour takes the
// desktop's colour in place.
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "addons/SpiExports.h"
#include "base/Stream.h"
#include "decode/AlphaBlend.h"
#include "decode/PixelMemory.h"
#include "decode/PngGraphic.h"
#include "engine/ColorConvert.h"

namespace {

// Pixels in a movable local block, the form the host takes them in: a picture is decoded
// straight into the block it is handed over in, never copied (a 20,000 x 20,000 picture is
// 1.2 GB).
class TLocalPixels final : public TPixelMemory {
 public:
  explicit TLocalPixels(size_t size)
      : size_(size), block_(LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, size)) {
    if (block_ == nullptr) throw std::bad_alloc();
    bits_ = static_cast<uint8_t*>(LocalLock(block_));
  }
  TLocalPixels(const TLocalPixels&) = delete;
  TLocalPixels& operator=(const TLocalPixels&) = delete;
  ~TLocalPixels() override {
    if (block_ == nullptr) return;
    LocalUnlock(block_);
    LocalFree(block_);
  }
  uint8_t* Bits() override { return bits_; }
  size_t Size() const override { return size_; }
  void SetColorTable(const std::vector<TRGBQuad>& /*colors*/) override {}
  void* Handle() const override { return nullptr; }
  // The block, unlocked, for the host; this object no longer owns it.
  HLOCAL Release() {
    LocalUnlock(block_);
    return std::exchange(block_, nullptr);
  }

 private:
  size_t size_;
  HLOCAL block_;
  uint8_t* bits_ = nullptr;
};

std::unique_ptr<TPixelMemory> AllocateLocalPixels(const TPixelLayout& layout) {
  return std::make_unique<TLocalPixels>(static_cast<size_t>(
      RowBytes(static_cast<uint64_t>(layout.Width), static_cast<uint64_t>(layout.BitCount)) *
      static_cast<uint64_t>(layout.Height)));
}

// Every bitmap of this plug-in lives in local blocks; none is drawn by GDI here.
const TPixelAllocator kPreviousAllocator = SetPixelAllocator(AllocateLocalPixels);

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

TRGBQuad DesktopColor() {
  const COLORREF desktop = GetSysColor(COLOR_DESKTOP);
  return TRGBQuad{GetBValue(desktop), GetGValue(desktop), GetRValue(desktop), 0};
}

TColor ColorOf(const TRGBQuad& c) {
  return static_cast<TColor>(c.Red) | (static_cast<TColor>(c.Green) << 8) |
         (static_cast<TColor>(c.Blue) << 16);
}

// The host converts a picture that comes with a colour profile as a whole, once it is fitted:
// the desktop's colour laid into its transparent parts would be converted with it and differ
// from the bands beside it. While the host converts, such a picture's own colours are converted
// here, before the desktop's colour goes in, and the picture goes on in sRGB.
std::unique_ptr<TSrgbTransform> ColoursFirst(const TPngGraphic& png) {
  if ((!png.HasAlpha && !png.Transparent) || !png.ColorProfile || !SpiHostConvertsColours()) {
    return nullptr;
  }
  return TSrgbTransform::Make(*png.ColorProfile);
}

// Transparency over the desktop's colour, as a viewer shows the picture on this desktop: with an
// alpha channel (or palette alpha) every pixel is blended in 24 bits; a single transparent colour
// of a 24-bit picture is replaced in place (palette pictures change their palette instead). The
// picture's colours go through `toSrgb` first where there is one.
void LayOverDesktop(TPngGraphic& png, const TSrgbTransform* toSrgb) {
  TBitmap& image = png.Image();
  const TRGBQuad back = DesktopColor();
  if (png.HasAlpha) {
    if (image.PixelFormat() != TPixelFormat::pf24bit) image.SetPixelFormat(TPixelFormat::pf24bit);
    const TBitmap& clear = png.Alpha();  // 255 − alpha
    for (int y = 0; y < image.Height(); ++y) {
      uint8_t* row = image.ScanLine(y);
      if (toSrgb != nullptr) toSrgb->Convert(row, static_cast<size_t>(image.Width()));
      const uint8_t* transparency = clear.ScanLine(y);
      for (int x = 0; x < image.Width(); ++x) {
        const auto alpha = static_cast<uint8_t>(255 - transparency[x]);
        if (alpha == 255) continue;
        row[x * 3] = BlendOver(row[x * 3], alpha, back.Blue);
        row[x * 3 + 1] = BlendOver(row[x * 3 + 1], alpha, back.Green);
        row[x * 3 + 2] = BlendOver(row[x * 3 + 2], alpha, back.Red);
      }
    }
    return;
  }
  if (!png.Transparent || image.BitCount() != 24 || png.TransparentColor >= kPaletteReference) {
    return;
  }
  const TColor key = png.TransparentColor;
  const auto red = static_cast<uint8_t>(key & 0xFF);
  const auto green = static_cast<uint8_t>((key >> 8) & 0xFF);
  const auto blue = static_cast<uint8_t>((key >> 16) & 0xFF);
  std::vector<bool> keyed(static_cast<size_t>(image.Width()));
  for (int y = 0; y < image.Height(); ++y) {
    uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < image.Width(); ++x) {
      const uint8_t* p = row + x * 3;
      keyed[static_cast<size_t>(x)] = p[0] == blue && p[1] == green && p[2] == red;
    }
    if (toSrgb != nullptr) toSrgb->Convert(row, keyed.size());
    for (int x = 0; x < image.Width(); ++x) {
      if (!keyed[static_cast<size_t>(x)]) continue;
      uint8_t* p = row + x * 3;
      p[0] = back.Blue;
      p[1] = back.Green;
      p[2] = back.Red;
    }
  }
}

// The palette's colours through `toSrgb`.
void ConvertPalette(std::vector<TRGBQuad>& palette, const TSrgbTransform& toSrgb) {
  std::vector<uint8_t> colours;
  for (const TRGBQuad& entry : palette)
    colours.insert(colours.end(), {entry.Blue, entry.Green, entry.Red});
  toSrgb.Convert(colours.data(), palette.size());
  for (size_t i = 0; i < palette.size(); ++i) {
    palette[i].Blue = colours[i * 3];
    palette[i].Green = colours[i * 3 + 1];
    palette[i].Red = colours[i * 3 + 2];
  }
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

  TBitmap& image = png.Image();
  std::unique_ptr<TSrgbTransform> toSrgb;
  try {
    toSrgb = ColoursFirst(png);
    LayOverDesktop(png, toSrgb.get());
  } catch (const std::bad_alloc&) {
    return SusieResult::kNoMemory;
  } catch (...) {
    return SusieResult::kInternalError;
  }
  const int bits = image.BitCount();
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return SusieResult::kInternalError;
  const size_t colors = bits <= 8 ? size_t{1} << bits : 0;
  const int width = image.Width();
  const int height = image.Height();
  std::vector<TRGBQuad> palette = image.Palette();
  // A single transparent colour: the palette entries that show it take the desktop's colour.
  if (png.Transparent && bits <= 8) {
    std::vector<bool> keyed(palette.size());
    for (size_t i = 0; i < palette.size(); ++i) {
      keyed[i] = png.TransparentColor >= kPaletteReference
                     ? i == static_cast<size_t>(png.TransparentColor - kPaletteReference)
                     : ColorOf(palette[i]) == png.TransparentColor;
    }
    if (toSrgb != nullptr) ConvertPalette(palette, *toSrgb);
    for (size_t i = 0; i < palette.size(); ++i) {
      if (keyed[i]) palette[i] = DesktopColor();
    }
  }
  HLOCAL infoBlock = SpiNewInfo(colors, toSrgb != nullptr ? nullptr : png.ColorProfile.get());
  if (infoBlock == nullptr) return SusieResult::kNoMemory;
  // The bitmap's rows are already bottom-up and padded as a DIB's: its block is the answer.
  std::unique_ptr<TPixelMemory> memory = image.ReleaseMemory();
  auto* local = dynamic_cast<TLocalPixels*>(memory.get());
  if (local == nullptr) {
    LocalFree(infoBlock);
    return SusieResult::kInternalError;
  }
  HLOCAL pixelBlock = local->Release();
  auto* header = static_cast<BITMAPINFOHEADER*>(LocalLock(infoBlock));
  header->biWidth = width;
  header->biHeight = height;
  header->biPlanes = 1;
  header->biBitCount = static_cast<WORD>(bits);
  header->biCompression = BI_RGB;
  header->biXPelsPerMeter = header->biYPelsPerMeter = 3780;
  header->biClrUsed = static_cast<DWORD>(colors);
  auto* table = reinterpret_cast<RGBQUAD*>(reinterpret_cast<uint8_t*>(header) + header->biSize);
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
  return SpiFormatInfo(number, "Vesko 2 PNG plug-in", "*.png", "PNG (Vesko 2)", buffer, length);
}

SPI_EXPORT int WINAPI IsSupported(LPCSTR /*name*/, void* header) {
  const BYTE* h = SpiHeaderBlock(header);
  return h != nullptr && IsPng(h, 8) ? 1 : 0;
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
