// The built-in PNG picture class. A load gives a device bitmap (the image) and, when the PNG
// carries transparency per pixel, an 8-bit bitmap of 255 - alpha (the alpha bitmap, 0 opaque),
// together with the ancillary chunks' values. It also writes PNG files.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/ColorText.h"
#include "decode/Bitmap.h"
#include "decode/DIBStore.h"
#include "decode/Graphic.h"
#include "decode/PngErrors.h"

struct TPngPhysicalSize {
  uint32_t X = 0;  // pixels per unit
  uint32_t Y = 0;
  uint8_t Unit = 0;  // 0 unknown, 1 metre
  bool operator==(const TPngPhysicalSize&) const = default;
};

struct TPngTime {
  uint16_t Year = 0;
  uint8_t Month = 0;
  uint8_t Day = 0;
  uint8_t Hour = 0;
  uint8_t Minute = 0;
  uint8_t Second = 0;
  bool operator==(const TPngTime&) const = default;
};

// Colours are 0x00BBGGRR, or kPaletteReference + index; kNoColor when absent.
constexpr TColor kNoColor = -1;
constexpr TColor kPaletteReference = 0x01000000;

class TPngGraphic : public TGraphic {
 public:
  TPngGraphic();

  const char* ClassName() const override { return "TPngGraphic"; }
  int Width() const override { return Image().Width(); }
  int Height() const override { return Image().Height(); }
  bool Empty() const override { return Image().Empty(); }
  // Resize the image and the alpha bitmap, each only when it is not empty.
  void SetWidth(int width);
  void SetHeight(int height);
  const std::vector<TRGBQuad>& Palette() const { return Image().Palette(); }
  void SetPalette(std::vector<TRGBQuad> colors);
  // The transparent flag, mirrored onto the image bitmap.
  void SetTransparent(bool transparent);

  // Decodes from the stream's position; EPngGraphic on every failure.
  void LoadFromStream(TStream& stream) override;
  // Encodes the image (with the alpha bitmap when HasAlpha is set).
  void SaveToStream(TStream& stream) const override;
  // From another TPngGraphic: both bitmaps and every field; from any other graphic: into the
  // image bitmap, the alpha bitmap left as it was.
  void Assign(const TGraphic* source) override;
  // Any graphic target receives the image bitmap (without alpha).
  bool AssignTo(TGraphic& target) const override;
  void Draw(TCanvasHandle canvas, const TRect& rect) const override;

  // The bitmaps every query and saving use: the external ones when set, else the owned ones.
  TBitmap& Image() { return ExternalImage != nullptr ? *ExternalImage : image_; }
  const TBitmap& Image() const { return ExternalImage != nullptr ? *ExternalImage : image_; }
  TBitmap& Alpha() { return ExternalAlpha != nullptr ? *ExternalAlpha : alpha_; }
  const TBitmap& Alpha() const { return ExternalAlpha != nullptr ? *ExternalAlpha : alpha_; }

  TBitmap* ExternalImage = nullptr;
  TBitmap* ExternalAlpha = nullptr;
  bool HasAlpha = false;
  int32_t IDATSize = 32768;       // compressed bytes per IDAT chunk when writing, 256 to 100000
  int32_t CompressionLevel = -1;  // deflate level when writing, -1 for zlib's default
  // Row filters when writing: 0 to 4 that filter on every row, anything else the best of the
  // five per row. Pictures of palette indices or under 8 bits per sample always use none.
  uint8_t FilterChoice = 1;
  uint8_t Interlace = 0;  // 0 none, 1 Adam7: from the last load, used when writing
  std::string Comment;    // the tEXt chunks with keyword "Comment"
  TColor BackgroundColor = kNoColor;
  TColor TransparentColor = kNoColor;
  double Gamma = 0.45455;
  bool GammaChunk = false;          // Gamma came from a gAMA chunk
  bool SrgbChunk = false;           // an sRGB chunk says the picture is in sRGB
  std::vector<uint8_t> IccProfile;  // the iCCP chunk's profile, inflated
  TPngPhysicalSize PhysicalSize;
  std::array<uint8_t, 4> SignificantBits{};  // red, green, blue, alpha
  std::array<uint32_t, 8> Chromaticities{};  // white x, y, red x, y, green x, y, blue x, y
  TPngTime ModificationTime;                 // UTC; the time of creation until a tIME is read
  std::array<uint8_t, 4> GifExtension{};
  // A true-colour picture whose sBIT says 5-5-5 or 5-6-5 loads as a 16-bit 5-6-5 bitmap.
  bool Output16Bit = false;
  // The most bytes a load may take for each bitmap and for its row buffers.
  uint64_t MaxPixelBytes = kMaxPixelBytes;

 private:
  void ResetChunkFields();

  TBitmap image_;
  TBitmap alpha_;
};
