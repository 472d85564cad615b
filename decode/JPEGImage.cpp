#include "decode/JPEGImage.h"

#include <chrono>
#include <cstring>
#include <exception>

#include "base/Stream.h"
#include "decode/ExifOrientation.h"
#include "decode/JpegCodec.h"
#include "decode/Orientation.h"

bool TJPEGImage::ScreenHasPalette = false;
int TJPEGImage::ProgressIntervalMs = 500;

namespace {

std::string JpegError(int code) {
  return "JPEG エラー #" + std::to_string(code);
}

// Relays the decoder's progress at most every ProgressIntervalMs. A handler that throws (EAbort
// or anything else) stops the decode quietly: true asks the decoder to stop.
bool ReportProgress(const std::function<void(TProgressStage, uint8_t)>& report,
                    std::chrono::steady_clock::time_point& last, bool& aborted, int percent) {
  const auto now = std::chrono::steady_clock::now();
  if (now - last < std::chrono::milliseconds(TJPEGImage::ProgressIntervalMs)) return false;
  last = now;
  try {
    report(TProgressStage::psRunning, static_cast<uint8_t>(percent));
    return false;
  } catch (...) {
    aborted = true;
    return true;
  }
}

// Receives rows from the decoder into a TBitmap and relays progress, at most every 500 ms.
struct TBitmapSink {
  TBitmap* bitmap;
  TJPEGImage* owner;
  std::function<void(TProgressStage, uint8_t)> report;
  std::chrono::steady_clock::time_point last;
  bool aborted = false;
  bool failed = false;

  static bool Begin(void* context, int width, int height, int components, const uint8_t* map,
                    int colors) {
    auto* sink = static_cast<TBitmapSink*>(context);
    try {
      std::vector<TRGBQuad> palette;
      if (components == 1) {
        for (int i = 0; i < (map != nullptr ? colors : 256); ++i) {
          palette.push_back(map != nullptr
                                ? TRGBQuad{map[i * 3 + 2], map[i * 3 + 1], map[i * 3], 0}
                                : TRGBQuad{static_cast<uint8_t>(i), static_cast<uint8_t>(i),
                                           static_cast<uint8_t>(i), 0});
        }
      }
      sink->bitmap->Assign(nullptr);
      sink->bitmap->SetPixelFormat(components == 1 ? TPixelFormat::pf8bit : TPixelFormat::pf24bit);
      sink->bitmap->SetPalette(palette);
      sink->bitmap->SetSize(width, height);
      return true;
    } catch (...) {
      sink->failed = true;
      return false;
    }
  }
  static uint8_t* Row(void* context, int y) {
    return static_cast<TBitmapSink*>(context)->bitmap->ScanLine(y);
  }
  static bool Progress(void* context, int percent) {
    auto* sink = static_cast<TBitmapSink*>(context);
    return ReportProgress(sink->report, sink->last, sink->aborted, percent);
  }
};

}  // namespace

TJPEGImage::TJPEGImage()
    : PixelFormat(ScreenHasPalette ? TJPEGPixelFormat::jf8Bit : TJPEGPixelFormat::jf24Bit) {}

int TJPEGImage::Width() const {
  if (bitmap_) return bitmap_->Width();
  return OrientationSwapsSides(Orientation()) ? StoredHeight() : StoredWidth();
}

int TJPEGImage::Height() const {
  if (bitmap_) return bitmap_->Height();
  return OrientationSwapsSides(Orientation()) ? StoredWidth() : StoredHeight();
}

int TJPEGImage::StoredWidth() const {
  if (!data_) return 0;
  return (data_->Width + ScaleDenominator() - 1) / ScaleDenominator();
}

int TJPEGImage::StoredHeight() const {
  if (!data_) return 0;
  return (data_->Height + ScaleDenominator() - 1) / ScaleDenominator();
}

void TJPEGImage::SetWidth(int /*width*/) {
  throw EInvalidGraphic("JPEG イメージのサイズは変更できません");
}

void TJPEGImage::SetHeight(int /*height*/) {
  throw EInvalidGraphic("JPEG イメージのサイズは変更できません");
}

void TJPEGImage::LoadFromStream(TStream& stream) {
  auto data = std::make_shared<TJPEGData>();
  data->Bytes.resize(static_cast<size_t>(stream.Remaining()));
  data->Bytes.resize(stream.Read(data->Bytes.data(), data->Bytes.size()));
  if (!data->Bytes.empty()) {
    TJpegHeader header;
    const int code = ReadJpegHeader(data->Bytes.data(), data->Bytes.size(), header);
    if (code != 0) throw EJPEG(JpegError(code));
    data->Width = header.Width;
    data->Height = header.Height;
    data->Grayscale = header.Grey;
    data->Orientation = ReadExifOrientation(data->Bytes.data(), data->Bytes.size());
    ProgressiveEncoding = header.Progressive;
  }
  ColorProfile =
      data->Bytes.empty() ? nullptr : ReadJpegIccProfile(data->Bytes.data(), data->Bytes.size());
  data_ = std::move(data);
  bitmap_.reset();
  Changed();
}

void TJPEGImage::SaveToStream(TStream& stream) const {
  if (data_ && !data_->Bytes.empty()) {
    stream.Write(data_->Bytes.data(), data_->Bytes.size());
    return;
  }
  if (!bitmap_ || bitmap_->Empty()) return;
  // A picture assigned from a bitmap is compressed now.
  TBitmap bgr;
  bgr.Assign(bitmap_.get());
  bgr.SetPixelFormat(TPixelFormat::pf24bit);
  std::vector<uint8_t> bytes;
  const int code = EncodeJpeg(
      bgr.Width(), bgr.Height(), CompressionQuality, Grayscale, ProgressiveEncoding,
      [](void* context, int y) -> const uint8_t* {
        return static_cast<const TBitmap*>(context)->ScanLine(y);
      },
      &bgr, bytes);
  if (code != 0) throw EJPEG(JpegError(code));
  stream.Write(bytes.data(), bytes.size());
}

void TJPEGImage::Assign(const TGraphic* source) {
  if (source == this) return;
  ColorProfile = source != nullptr ? source->ColorProfile : nullptr;
  if (const auto* jpeg = dynamic_cast<const TJPEGImage*>(source)) {
    data_ = jpeg->data_;
    bitmap_.reset();
    CompressionQuality = jpeg->CompressionQuality;
    Grayscale = jpeg->Grayscale;
    Scale = jpeg->Scale;
    Changed();
    return;
  }
  if (const auto* bitmap = dynamic_cast<const TBitmap*>(source)) {
    data_.reset();
    bitmap_ = std::make_unique<TBitmap>();
    bitmap_->Assign(bitmap);
    Changed();
    return;
  }
  TGraphic::Assign(source);
}

bool TJPEGImage::AssignTo(TGraphic& target) const {
  auto* bitmap = dynamic_cast<TBitmap*>(&target);
  if (bitmap == nullptr) return false;
  if (Empty() && !bitmap_) {
    bitmap->Assign(nullptr);
    return true;
  }
  bitmap->Assign(&Bitmap());
  return true;
}

void TJPEGImage::Draw(TCanvasHandle canvas, const TRect& rect) const {
  if (Empty() && !bitmap_) return;
  Bitmap().Draw(canvas, rect);
}

const TBitmap& TJPEGImage::Bitmap() const {
  if (!bitmap_) Decode();
  return *bitmap_;
}

TJpegDecodeOptions TJPEGImage::DecodeOptions() const {
  TJpegDecodeOptions options;
  options.Grayscale = Grayscale;
  // Grey pictures keep all 256 levels with the grey ramp; only colour output is quantised.
  options.Quantize = PixelFormat == TJPEGPixelFormat::jf8Bit;
  options.Smoothing = Smoothing;
  options.FastDct = Performance == TJPEGPerformance::jpBestSpeed;
  options.ScaleDenominator = ScaleDenominator();
  return options;
}

void TJPEGImage::Decode() const {
  auto bitmap = std::make_unique<TBitmap>();
  if (!data_ || data_->Bytes.empty()) {
    bitmap_ = std::move(bitmap);
    return;
  }
  auto* self = const_cast<TJPEGImage*>(this);
  const TRect rect{0, 0, Width(), Height()};
  TBitmapSink sink{bitmap.get(),
                   self,
                   [self, rect](TProgressStage stage, uint8_t percent) {
                     self->Progress(stage, percent, rect, "");
                   },
                   std::chrono::steady_clock::now(),
                   false,
                   false};
  self->Progress(TProgressStage::psStarting, 0, rect, "");
  const TJpegDecodeOptions options = DecodeOptions();
  TJpegSink jpegSink;
  jpegSink.Context = &sink;
  jpegSink.Begin = &TBitmapSink::Begin;
  jpegSink.Row = &TBitmapSink::Row;
  jpegSink.Progress = self->OnProgress ? &TBitmapSink::Progress : nullptr;
  const int code = DecodeJpeg(data_->Bytes.data(), data_->Bytes.size(), options, jpegSink);
  const bool stoppedQuietly = code == kJpegAborted && sink.aborted;
  if (!stoppedQuietly && (code != 0 || sink.failed)) {
    self->Progress(TProgressStage::psEnding, 0, rect, "");
    if (code == kJpegTooLarge) throw EJPEG("JPEG エラー #" + std::to_string(code) + " (too large)");
    throw EJPEG(JpegError(code));
  }
  // A picture stopped quietly keeps what was decoded, turned upright like a whole one. No room
  // for the turned pixels fails as no room for the decoded ones does.
  try {
    OrientBitmap(*bitmap, data_->Orientation);
  } catch (...) {
    self->Progress(TProgressStage::psEnding, 0, rect, "");
    throw EJPEG(JpegError(kJpegAborted));
  }
  bitmap_ = std::move(bitmap);
  self->Progress(TProgressStage::psEnding, stoppedQuietly ? 0 : 100, rect, "");
}

std::unique_ptr<TBitmap> TJPEGImage::TakeBitmap() {
  if (!bitmap_) Decode();
  if (bitmap_) bitmap_->ColorProfile = ColorProfile;
  return std::move(bitmap_);
}

bool TJPEGImage::CanDecodeRows() const {
  return data_ && !data_->Bytes.empty() && PixelFormat == TJPEGPixelFormat::jf24Bit;
}

namespace {

// Hands decoded rows to the caller's memory, widening grey rows to blue-green-red once the
// decoder has finished them.
struct TRowsSink {
  const std::function<uint8_t*(int)>* target = nullptr;
  int width = 0;
  int height = 0;
  std::function<void(TProgressStage, uint8_t)> report;
  std::chrono::steady_clock::time_point last;
  bool grey = false;
  uint8_t* pending = nullptr;  // the last grey row handed out, still to be widened
  // A failing target must not unwind through the decoder: its error is kept, and the remaining
  // rows go to a scratch row until the decoder stops.
  std::exception_ptr error;
  std::vector<uint8_t> scratch;
  bool aborted = false;
  bool failed = false;

  void Widen() {
    if (pending == nullptr) return;
    // From the right end, so every grey byte is read before its place is written over.
    for (int x = width - 1; x >= 0; --x) {
      const uint8_t v = pending[x];
      pending[x * 3] = v;
      pending[x * 3 + 1] = v;
      pending[x * 3 + 2] = v;
    }
    pending = nullptr;
  }
  static bool Begin(void* context, int width, int height, int components, const uint8_t* map,
                    int /*colors*/) {
    auto* sink = static_cast<TRowsSink*>(context);
    if (map != nullptr || width != sink->width || height != sink->height) {
      sink->failed = true;
      return false;
    }
    sink->grey = components == 1;
    return true;
  }
  static uint8_t* Row(void* context, int y) {
    auto* sink = static_cast<TRowsSink*>(context);
    sink->Widen();
    uint8_t* row = nullptr;
    if (!sink->error) {
      try {
        row = (*sink->target)(y);
      } catch (...) {
        sink->error = std::current_exception();
      }
    }
    if (row == nullptr) {
      if (!sink->error) sink->error = std::make_exception_ptr(EJPEG(JpegError(kJpegAborted)));
      sink->scratch.resize(static_cast<size_t>(sink->width) * 3);
      return sink->scratch.data();
    }
    if (sink->grey) sink->pending = row;
    return row;
  }
  static bool Progress(void* context, int percent) {
    auto* sink = static_cast<TRowsSink*>(context);
    return ReportProgress(sink->report, sink->last, sink->aborted, percent);
  }
};

}  // namespace

void TJPEGImage::DecodeRows(const std::function<uint8_t*(int y)>& target) const {
  if (!CanDecodeRows()) throw EJPEG(JpegError(kJpegAborted));
  auto* self = const_cast<TJPEGImage*>(this);
  const TRect rect{0, 0, StoredWidth(), StoredHeight()};
  TRowsSink sink;
  sink.target = &target;
  sink.width = StoredWidth();
  sink.height = StoredHeight();
  sink.report = [self, rect](TProgressStage stage, uint8_t percent) {
    self->Progress(stage, percent, rect, "");
  };
  sink.last = std::chrono::steady_clock::now();
  self->Progress(TProgressStage::psStarting, 0, rect, "");
  TJpegSink jpegSink;
  jpegSink.Context = &sink;
  jpegSink.Begin = &TRowsSink::Begin;
  jpegSink.Row = &TRowsSink::Row;
  jpegSink.Progress = self->OnProgress ? &TRowsSink::Progress : nullptr;
  const int code = DecodeJpeg(data_->Bytes.data(), data_->Bytes.size(), DecodeOptions(), jpegSink);
  sink.Widen();
  self->Progress(TProgressStage::psEnding, code == 0 ? 100 : 0, rect, "");
  if (sink.error) std::rethrow_exception(sink.error);
  if (code == kJpegAborted && sink.aborted) return;
  if (code != 0 || sink.failed) {
    if (code == kJpegTooLarge) throw EJPEG("JPEG エラー #" + std::to_string(code) + " (too large)");
    throw EJPEG(JpegError(code));
  }
}
