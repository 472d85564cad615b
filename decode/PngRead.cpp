// Reading a PNG: the signature, the chunk loop with each chunk's placement rules, the image data
// converted row by row into the image bitmap and the alpha bitmap, and the transparency rules
// applied after the last chunk.
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "base/Stream.h"
#include "decode/ColorProfile.h"
#include "decode/PngCodec.h"
#include "decode/PngGraphic.h"
#include "decode/PngRows.h"

namespace {

using namespace PngMessage;

[[noreturn]] void Fail(const char* message) {
  throw EPngGraphic(message);
}

uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint16_t Be16(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

TColor Rgb(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<TColor>(r | (g << 8) | (b << 16));
}

const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
// Deflate turns at most two bits into 258 bytes: more inflated data than this many times the
// compressed bytes cannot come, so a header asking for more is refused before any allocation.
constexpr uint64_t kMaxDeflateRatio = 1032;
constexpr size_t kInputPiece = 64 * 1024;

// Reads chunks: length and type, the data in pieces, then the CRC, which is skipped unchecked.
class TChunkReader {
 public:
  explicit TChunkReader(TStream& stream) : stream_(stream) {}

  void Next() {
    uint8_t head[8];
    if (stream_.Read(head, sizeof head) != sizeof head) Fail(kReadError);
    length_ = Be32(head);
    std::memcpy(type_, head + 4, 4);
    if (length_ > 0x7FFFFFFFu || uint64_t{length_} + 4 > stream_.Remaining()) Fail(kReadError);
    left_ = length_;
  }
  bool Is(const char* type) const { return std::memcmp(type_, type, 4) == 0; }
  uint32_t Length() const { return length_; }
  uint32_t Left() const { return left_; }
  uint64_t StreamLeft() const { return stream_.Remaining(); }

  size_t Read(uint8_t* data, size_t size) {
    const size_t n = std::min<size_t>(size, left_);
    if (stream_.Read(data, n) != n) Fail(kReadError);
    left_ -= static_cast<uint32_t>(n);
    return n;
  }
  std::vector<uint8_t> ReadAll() {
    std::vector<uint8_t> data(left_);
    Read(data.data(), data.size());
    return data;
  }
  // Skips what was not read and the CRC.
  void Finish() {
    const uint64_t skip = uint64_t{left_} + 4;
    if (skip > stream_.Remaining()) Fail(kReadError);
    stream_.Seek(stream_.Position() + skip);
    left_ = 0;
  }

 private:
  TStream& stream_;
  uint32_t length_ = 0;
  uint32_t left_ = 0;
  char type_[4] = {};
};

// Grey palettes of the image bitmap: `count` entries spread evenly over 0 to 255.
std::vector<TRGBQuad> GreyPalette(int count) {
  std::vector<TRGBQuad> palette;
  for (int i = 0; i < count; ++i) {
    const auto v = static_cast<uint8_t>(i * 255 / (count - 1));
    palette.push_back(TRGBQuad{v, v, v, 0});
  }
  return palette;
}

class TPngReader {
 public:
  TPngReader(TPngGraphic& png, TStream& stream) : png_(png), stream_(stream), chunks_(stream) {}

  void Run() {
    uint8_t signature[8];
    if (stream_.Read(signature, 8) != 8 || std::memcmp(signature, kSignature, 8) != 0) {
      Fail(kNotPng);
    }
    // After the image data the next chunk's header has been read already.
    bool pending = false;
    for (;;) {
      if (!pending) chunks_.Next();
      pending = false;
      if (chunks_.Is("IEND")) {
        chunks_.Finish();
        break;
      }
      if (chunks_.Is("IDAT") && !haveData_) {
        ReadImageData();
        pending = true;
        continue;
      }
      Dispatch();
      chunks_.Finish();
    }
    if (!haveData_) Fail(kReadError);
    ApplyTransparency();
    std::array<double, 8> chromaticities{};
    for (size_t i = 0; i < 8; ++i) chromaticities[i] = png_.Chromaticities[i] / 100000.0;
    png_.ColorProfile = PngColorProfile(png_.SrgbChunk, png_.IccProfile,
                                        png_.GammaChunk ? png_.Gamma : 0, chromaticities);
  }

  bool Started() const { return started_; }
  void Report(TProgressStage stage, uint8_t percent) {
    TBitmap& image = png_.Image();
    if (image.OnProgress) image.OnProgress(image, stage, percent, false, TRect{}, "");
  }

 private:
  // Placement: what may come after the header, before the palette, before the image data.
  bool BeforeData() const { return haveHeader_ && !haveData_; }
  bool BeforePalette() const { return BeforeData() && !havePalette_; }

  void Dispatch() {
    const uint32_t length = chunks_.Length();
    if (chunks_.Is("IHDR")) {
      ReadHeader();
    } else if (chunks_.Is("PLTE")) {
      if (BeforeData() && !havePalette_) ReadPalette();
    } else if (chunks_.Is("tRNS")) {
      if (BeforeData()) ReadTransparency();
    } else if (chunks_.Is("bKGD")) {
      if (haveHeader_) ReadBackground();
    } else if (chunks_.Is("gAMA")) {
      if (BeforePalette() && length >= 4) {
        png_.Gamma = Be32(Bytes(4).data()) / 100000.0;
        png_.GammaChunk = true;
      }
    } else if (chunks_.Is("sRGB")) {
      if (BeforePalette()) png_.SrgbChunk = true;
    } else if (chunks_.Is("iCCP")) {
      if (BeforePalette() && png_.IccProfile.empty() && length <= kMaxIccBytes) ReadIccProfile();
    } else if (chunks_.Is("pHYs")) {
      if (BeforeData() && length >= 9) {
        const auto d = Bytes(9);
        png_.PhysicalSize = TPngPhysicalSize{Be32(d.data()), Be32(d.data() + 4), d[8]};
      }
    } else if (chunks_.Is("sBIT")) {
      const uint8_t type = header_.ColorType;
      const size_t n = type == PngColor::kRgba ? 4 : 3;
      const bool colour =
          type == PngColor::kRgb || type == PngColor::kPalette || type == PngColor::kRgba;
      if (BeforePalette() && colour && length >= n) {
        const auto d = Bytes(n);
        png_.SignificantBits = {d[0], d[1], d[2], static_cast<uint8_t>(n == 4 ? d[3] : 0)};
      }
    } else if (chunks_.Is("cHRM")) {
      if (BeforePalette() && length == 32) {
        const auto d = Bytes(32);
        for (size_t i = 0; i < 8; ++i) png_.Chromaticities[i] = Be32(d.data() + i * 4);
      }
    } else if (chunks_.Is("gIFg")) {
      if (BeforePalette() && length == 4) {
        const auto d = Bytes(4);
        std::copy(d.begin(), d.end(), png_.GifExtension.begin());
      }
    } else if (chunks_.Is("tIME")) {
      if (length == 7) {
        const auto d = Bytes(7);
        png_.ModificationTime = TPngTime{Be16(d.data()), d[2], d[3], d[4], d[5], d[6]};
      }
    } else if (chunks_.Is("tEXt")) {
      ReadText();
    }
  }

  // A profile's name (1 to 79 bytes), its end, the compression method 0 and the zlib stream. A
  // profile that does not inflate is passed over: the picture shows as if it had none.
  void ReadIccProfile() {
    const std::vector<uint8_t> d = Bytes(chunks_.Length());
    const auto end = std::find(d.begin(), d.begin() + std::min<size_t>(d.size(), 80), 0);
    if (end == d.begin() || end == d.end() || end + 1 == d.end() || *(end + 1) != 0) return;
    const size_t start = static_cast<size_t>(end - d.begin()) + 2;
    if (!InflateChunk(d.data() + start, d.size() - start, kMaxIccBytes, png_.IccProfile)) {
      png_.IccProfile.clear();
    }
  }

  std::vector<uint8_t> Bytes(size_t n) {
    std::vector<uint8_t> data(n);
    chunks_.Read(data.data(), n);
    return data;
  }

  void ReadHeader() {
    if (haveHeader_) Fail(kTwoHeaders);
    if (chunks_.Length() < 13) Fail(kReadError);
    const auto d = Bytes(13);
    header_.Width = Be32(d.data());
    header_.Height = Be32(d.data() + 4);
    header_.BitDepth = d[8];
    header_.ColorType = d[9];
    header_.Compression = d[10];
    header_.Filter = d[11];
    header_.Interlace = d[12];
    const uint8_t type = header_.ColorType;
    const int depth = header_.BitDepth;
    if (PngChannels(type) == 0) Fail(kColorType);
    // The format defines method 0 alone for compression and filtering.
    if (header_.Compression != 0) Fail(kCompression);
    if (header_.Filter != 0) Fail(kFilter);
    if (header_.Interlace > 1) Fail(kInterlace);
    const bool below8 = depth == 1 || depth == 2 || depth == 4;
    if (type == PngColor::kGreyAlpha && below8) Fail(kGreyAlphaDepth);
    if (type == PngColor::kGrey || type == PngColor::kGreyAlpha) {
      if (!(depth == 8 || depth == 16 || (below8 && type == PngColor::kGrey))) Fail(kGreyDepth);
    } else if (type == PngColor::kPalette) {
      if (!(below8 || depth == 8)) Fail(kDepth);
    } else if (depth != 8 && depth != 16) {
      Fail(kDepth);
    }
    if (header_.Width == 0 || header_.Height == 0 || header_.Width > 0x7FFFFFFFu ||
        header_.Height > 0x7FFFFFFFu) {
      Fail(kReadError);
    }
    haveHeader_ = true;
    png_.Interlace = header_.Interlace;
  }

  void ReadPalette() {
    const uint8_t type = header_.ColorType;
    if (type != PngColor::kPalette && type != PngColor::kRgb && type != PngColor::kRgba) return;
    const uint32_t length = chunks_.Length();
    if (type != PngColor::kPalette && (length == 0 || length % 3 != 0 || length > 256 * 3)) {
      return;  // a suggested palette of a true-colour picture only
    }
    // A palette picture's table is cut to the whole entries the picture can use, as viewers
    // show it: a stray byte or entries past 256 are dropped.
    const uint32_t usable = std::min<uint32_t>(length / 3, 256) * 3;
    if (usable == 0) Fail(kReadError);
    const auto d = Bytes(usable);
    paletteEntries_ = usable / 3;
    size_t keep = paletteEntries_;
    if (type == PngColor::kPalette) keep = std::min<size_t>(keep, size_t{1} << header_.BitDepth);
    palette_.clear();
    for (size_t i = 0; i < keep; ++i) {
      palette_.push_back(TRGBQuad{d[i * 3 + 2], d[i * 3 + 1], d[i * 3], 0});
    }
    havePalette_ = true;
  }

  // A grey sample as a colour: the high byte at depth 16, spread over 0 to 255 below depth 8 as
  // the image's grey palette spreads it, so that it names the colour the pixels have.
  TColor GreyColor(uint16_t sample) const {
    const int depth = header_.BitDepth;
    uint8_t v = 0;
    if (depth == 16) {
      v = static_cast<uint8_t>(sample >> 8);
    } else {
      const unsigned max = (1u << depth) - 1;
      v = static_cast<uint8_t>((sample & max) * 255 / max);
    }
    return Rgb(v, v, v);
  }
  TColor TrueColor(const uint8_t* d) const {
    const size_t at = header_.BitDepth == 16 ? 0 : 1;  // the high or the low byte of each
    return Rgb(d[at], d[2 + at], d[4 + at]);
  }

  void ReadTransparency() {
    const uint32_t length = chunks_.Length();
    switch (header_.ColorType) {
      case PngColor::kGrey:
        if (length >= 2) png_.TransparentColor = GreyColor(Be16(Bytes(2).data()));
        break;
      case PngColor::kRgb:
        if (length >= 6) png_.TransparentColor = TrueColor(Bytes(6).data());
        break;
      case PngColor::kPalette: {
        if (!havePalette_) break;
        // Entries past the palette have no colour to make transparent: they are dropped.
        const auto d = Bytes(std::min<uint32_t>(length, static_cast<uint32_t>(paletteEntries_)));
        paletteAlpha_.assign(256, 255);
        std::copy(d.begin(), d.end(), paletteAlpha_.begin());
        break;
      }
      default:
        break;  // pictures with an alpha channel
    }
  }

  void ReadBackground() {
    const uint32_t length = chunks_.Length();
    switch (header_.ColorType) {
      case PngColor::kGrey:
      case PngColor::kGreyAlpha:
        if (length >= 2) png_.BackgroundColor = GreyColor(Be16(Bytes(2).data()));
        break;
      case PngColor::kRgb:
      case PngColor::kRgba:
        if (length >= 6) png_.BackgroundColor = TrueColor(Bytes(6).data());
        break;
      case PngColor::kPalette:
        if (length >= 1) png_.BackgroundColor = kPaletteReference + Bytes(1)[0];
        break;
      default:
        break;
    }
  }

  void ReadText() {
    const auto d = chunks_.ReadAll();
    const auto zero = std::find(d.begin(), d.end(), uint8_t{0});
    if (zero == d.end() || std::string(d.begin(), zero) != "Comment") return;
    if (!png_.Comment.empty()) png_.Comment += "\r\n";
    png_.Comment.append(zero + 1, d.end());
    png_.Comment += "\r\n";
  }

  // The bitmap the colour type and depth give, with its palette.
  TPixelFormat ImageFormat(std::vector<TRGBQuad>& palette, bool& rgb565) const {
    const int depth = header_.BitDepth;
    rgb565 = false;
    switch (header_.ColorType) {
      case PngColor::kGrey:
        if (depth == 1) palette = GreyPalette(2);
        if (depth == 2) palette = GreyPalette(4);
        if (depth == 4) palette = GreyPalette(16);
        if (depth >= 8) palette = GreyPalette(256);
        break;
      case PngColor::kGreyAlpha:
        palette = GreyPalette(256);
        return TPixelFormat::pf8bit;
      case PngColor::kPalette:
        palette = palette_;
        break;
      default: {
        if (havePalette_) palette = palette_;
        const auto& s = png_.SignificantBits;
        rgb565 = png_.Output16Bit && s[0] == 5 && s[2] == 5 && (s[1] == 5 || s[1] == 6);
        return rgb565 ? TPixelFormat::pf16bit : TPixelFormat::pf24bit;
      }
    }
    if (depth == 1) return TPixelFormat::pf1bit;
    if (depth == 2 || depth == 4) return TPixelFormat::pf4bit;
    return TPixelFormat::pf8bit;
  }

  static void Prepare(TBitmap& bitmap, TPixelFormat format, std::vector<TRGBQuad> palette,
                      const TPngHeader& header) {
    bitmap.Assign(nullptr);
    bitmap.SetPixelFormat(format);
    bitmap.SetPalette(std::move(palette));
    bitmap.SetSize(static_cast<int>(header.Width), static_cast<int>(header.Height));
  }

  void ReadImageData() {
    if (!haveHeader_ || (header_.ColorType == PngColor::kPalette && !havePalette_)) {
      Fail(kReadError);
    }
    haveData_ = true;
    std::vector<TRGBQuad> palette;
    bool rgb565 = false;
    const TPixelFormat format = ImageFormat(palette, rgb565);
    const uint64_t width = header_.Width;
    const uint64_t height = header_.Height;
    const uint64_t limit = png_.MaxPixelBytes;
    const bool alphaChannel =
        header_.ColorType == PngColor::kGreyAlpha || header_.ColorType == PngColor::kRgba;
    const bool alphaPossible = alphaChannel || header_.ColorType == PngColor::kPalette;
    if (RowBytes(width, BitCountOf(format)) * height > limit ||
        (alphaPossible && RowBytes(width, 8) * height > limit) ||
        2 * (PngRowBytes(header_, width) + 1) > limit ||
        PngImageDataSize(header_) / kMaxDeflateRatio > chunks_.StreamLeft()) {
      Fail(kReadError);
    }
    TBitmap& image = png_.Image();
    TBitmap& alpha = png_.Alpha();
    Prepare(image, format, std::move(palette), header_);
    if (alphaChannel) {
      Prepare(alpha, TPixelFormat::pf8bit, GreyPalette(256), header_);
      png_.HasAlpha = true;
    }

    uint64_t rows = 0;
    for (const TPngPass& pass : PngPasses(header_)) rows += pass.Width > 0 ? pass.Height : 0;
    uint64_t done = 0;
    int reported = 0;
    started_ = true;
    Report(TProgressStage::psStarting, 0);
    TPngRowConverter convert(header_, image, alphaChannel ? &alpha : nullptr, rgb565);
    const bool progress = static_cast<bool>(image.OnProgress);
    const TPngRowSink sink = [&](const uint8_t* pixels, const TPngPass& pass, uint32_t row) {
      convert(pixels, pass, row);
      if (!progress) return;
      const int percent = static_cast<int>(std::clamp<uint64_t>(++done * 100 / rows, 1, 99));
      if (percent != reported) {
        reported = percent;
        Report(TProgressStage::psRunning, static_cast<uint8_t>(percent));
      }
    };

    // The run of consecutive IDAT chunks is one zlib stream.
    std::vector<uint8_t> piece(kInputPiece);
    bool ended = false;
    const TPngInput input = [&](const uint8_t*& data) -> size_t {
      while (chunks_.Left() == 0) {
        if (ended) return 0;
        chunks_.Finish();
        chunks_.Next();
        if (!chunks_.Is("IDAT")) {
          ended = true;
          return 0;
        }
      }
      data = piece.data();
      return chunks_.Read(piece.data(), piece.size());
    };
    switch (DecodePngImageData(header_, input, sink)) {
      case TPngDataResult::kOk:
        break;
      case TPngDataResult::kZlibError:
        Fail(kZlib);
      case TPngDataResult::kTooShort:
      case TPngDataResult::kBadFilter:
        Fail(kReadError);
    }
    // Whatever the stream did not need is skipped, up to the chunk after the image data.
    while (!ended) {
      chunks_.Finish();
      chunks_.Next();
      ended = !chunks_.Is("IDAT");
    }
  }

  void ApplyTransparency() {
    TBitmap& image = png_.Image();
    if (header_.ColorType == PngColor::kPalette && !paletteAlpha_.empty()) {
      const auto clear = std::count(paletteAlpha_.begin(), paletteAlpha_.end(), 0);
      const auto opaque = std::count(paletteAlpha_.begin(), paletteAlpha_.end(), 255);
      if (clear == 1 && opaque == 255) {
        const auto index = std::find(paletteAlpha_.begin(), paletteAlpha_.end(), 0);
        png_.TransparentColor =
            kPaletteReference + static_cast<TColor>(index - paletteAlpha_.begin());
      } else {
        BuildPaletteAlpha(image);
      }
    }
    if (!png_.HasAlpha && png_.TransparentColor != kNoColor) {
      image.Transparent = true;
      image.TransparentColor = png_.TransparentColor;
      png_.Transparent = true;
    }
  }

  void BuildPaletteAlpha(const TBitmap& image) {
    TBitmap& alpha = png_.Alpha();
    Prepare(alpha, TPixelFormat::pf8bit, GreyPalette(256), header_);
    const int bits = image.BitCount();
    for (int y = 0; y < image.Height(); ++y) {
      const uint8_t* in = image.ScanLine(y);
      uint8_t* out = alpha.ScanLine(y);
      for (int x = 0; x < image.Width(); ++x) {
        out[x] = static_cast<uint8_t>(
            255 - paletteAlpha_[IndexInRow(in, static_cast<uint32_t>(x), bits)]);
      }
    }
    png_.HasAlpha = true;
  }

  TPngGraphic& png_;
  TStream& stream_;
  TChunkReader chunks_;
  TPngHeader header_;
  bool haveHeader_ = false;
  bool havePalette_ = false;
  bool haveData_ = false;
  bool started_ = false;
  std::vector<TRGBQuad> palette_;
  size_t paletteEntries_ = 0;
  std::vector<uint8_t> paletteAlpha_;  // 256 entries once a tRNS was taken
};

}  // namespace

void TPngGraphic::LoadFromStream(TStream& stream) {
  TBitmap& image = Image();
  // The graphic's progress handler reports through the image bitmap while loading.
  class TAttach {
   public:
    TAttach(TBitmap& bitmap, const TProgressEvent& handler)
        : bitmap_(bitmap), saved_(std::exchange(bitmap.OnProgress, handler)) {}
    TAttach(const TAttach&) = delete;
    TAttach& operator=(const TAttach&) = delete;
    ~TAttach() { bitmap_.OnProgress = std::move(saved_); }

   private:
    TBitmap& bitmap_;
    TProgressEvent saved_;
  } attach(image, OnProgress);

  ResetChunkFields();
  Transparent = false;
  image.Transparent = false;
  image.TransparentColor = TBitmap().TransparentColor;
  Alpha().Assign(nullptr);

  TPngReader reader(*this, stream);
  try {
    reader.Run();
  } catch (...) {
    if (reader.Started()) {
      try {
        reader.Report(TProgressStage::psEnding, 100);
      } catch (...) {  // the first failure is the one to report
      }
    }
    try {
      throw;
    } catch (const std::bad_alloc&) {
      Fail(kReadError);
    } catch (const EReadError&) {
      Fail(kReadError);
    } catch (const EOutOfResources&) {
      Fail(kReadError);
    }
  }
  reader.Report(TProgressStage::psEnding, 100);
  Changed();
}
