// The built-in JPEG picture class: keeps the compressed bytes (shared between copies), reads the
// header on load and decodes into a device bitmap on first need.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "decode/Bitmap.h"
#include "decode/DIBErrors.h"
#include "decode/Graphic.h"

struct TJpegDecodeOptions;

// A libjpeg failure: "JPEG エラー #" and the library's message code.
class EJPEG : public EInvalidGraphic {
 public:
  using EInvalidGraphic::EInvalidGraphic;
};

// The compressed bytes and what their header says, shared between copies.
struct TJPEGData {
  std::vector<uint8_t> Bytes;
  int Width = 0;
  int Height = 0;
  bool Grayscale = false;
  // How the stored picture turns upright (1 to 8, see Orientation.h), from its Exif data.
  int Orientation = 1;
};

enum class TJPEGPerformance { jpBestQuality, jpBestSpeed };
enum class TJPEGPixelFormat { jf24Bit, jf8Bit };
enum class TJPEGScale { jsFullSize, jsHalf, jsQuarter, jsEighth };

// Everything that asks for the picture (its size, Bitmap, Draw, AssignTo) sees it upright, as its
// Exif orientation says; only DecodeRows delivers the rows as they are stored.
class TJPEGImage : public TGraphic {
 public:
  TJPEGImage();

  const char* ClassName() const override { return "TJPEGImage"; }
  // The upright size at Scale.
  int Width() const override;
  int Height() const override;
  // The size at Scale as the picture is stored, before it is turned upright.
  int StoredWidth() const;
  int StoredHeight() const;
  // How the stored picture turns upright (1 to 8); 1 without Exif, or with Exif that lies.
  int Orientation() const { return data_ ? data_->Orientation : 1; }
  bool Empty() const override { return !data_ || data_->Bytes.empty(); }
  // Always refused: "JPEG イメージのサイズは変更できません".
  void SetWidth(int width);
  void SetHeight(int height);

  // Takes the bytes from the stream's position to its end and reads their header.
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;
  void Assign(const TGraphic* source) override;
  bool AssignTo(TGraphic& target) const override;
  void Draw(TCanvasHandle canvas, const TRect& rect) const override;

  // The decoded picture (decoding now if needed); EJPEG on corrupt data.
  const TBitmap& Bitmap() const;
  bool SharesDataWith(const TJPEGImage& other) const { return data_ && data_ == other.data_; }
  // Whether the decoded picture is held already.
  bool Decoded() const { return bitmap_ != nullptr; }
  // Hands the decoded picture over (decoding now if needed); the image decodes again on next need.
  std::unique_ptr<TBitmap> TakeBitmap();
  // Whether DecodeRows can deliver this picture: compressed bytes held and 24-bit output.
  bool CanDecodeRows() const;
  // Decodes without keeping the picture: row y (StoredWidth() blue-green-red pixels, top first,
  // grey pictures too) is written to `target(y)`, memory of the caller's that must hold
  // 3 * StoredWidth() bytes. The rows are those of the stored picture, not yet turned upright
  // (StoredHeight() of them; see Orientation()). Row y is complete when `target(y + 1)` is asked
  // for or the call returns. EJPEG on corrupt data; progress is reported as for a decode.
  void DecodeRows(const std::function<uint8_t*(int y)>& target) const;

  int CompressionQuality = 90;
  bool Grayscale = false;
  TJPEGPerformance Performance = TJPEGPerformance::jpBestQuality;
  TJPEGPixelFormat PixelFormat;  // 8 bits only on screens of 8 bits or fewer
  bool ProgressiveDisplay = false;
  bool ProgressiveEncoding = false;
  TJPEGScale Scale = TJPEGScale::jsFullSize;
  bool Smoothing = true;

  // Set once at start-up by the platform: whether the screen has 8 or fewer bits per pixel.
  static bool ScreenHasPalette;
  // The least time between two progress reports while decoding.
  static int ProgressIntervalMs;

 private:
  void Decode() const;
  TJpegDecodeOptions DecodeOptions() const;
  int ScaleDenominator() const { return 1 << static_cast<int>(Scale); }

  std::shared_ptr<TJPEGData> data_;
  mutable std::unique_ptr<TBitmap> bitmap_;
};
