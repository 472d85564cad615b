#include "decode/SPIGraphic_win.h"

#include <cstring>
#include <type_traits>

#include "base/Handles_win.h"
#include "base/Path.h"
#include "base/Stream.h"
#include "base/TextCase.h"
#include "base/Unicode_win.h"
#include "decode/DIBErrors.h"
#include "decode/DIBImage_win.h"
#include "decode/SPIs_win.h"

namespace {

constexpr const char* kCouldNotDecode = "Susie Plugins could not decode";

}  // namespace

// ---- the graphic over one job --------------------------------------------------------------

TSPIGraphic::~TSPIGraphic() = default;

void TSPIGraphic::Release() {
  job_.reset();
}

void TSPIGraphic::Load(std::unique_ptr<TInSPIAbleData> job) {
  Release();
  job->Progress = OnProgress;
  job->Run();
  if (job->Empty()) throw EInvalidGraphic(kCouldNotDecode);
  ColorProfile = BitmapHeaderProfile(job->InfoBlock(), job->InfoSize());
  job_ = std::move(job);
  Changed();
}

void TSPIGraphic::LoadFromFile(const std::string& path) {
  Load(std::make_unique<TInSPIAbleFromFile>(this, path));
}

void TSPIGraphic::LoadFromStreamWithName(TStream& stream, const std::string& name) {
  Load(std::make_unique<TInSPIAbleFromStream>(this, name, stream));
}

int TSPIGraphic::Width() const {
  return Empty() ? 0 : job_->Dib().Width;
}

int TSPIGraphic::Height() const {
  return Empty() ? 0 : job_->Dib().Height;
}

int TSPIGraphic::BitCount() const {
  return Empty() ? 0 : job_->Dib().BitCount;
}

std::vector<TRGBQuad> TSPIGraphic::Palette() const {
  if (Empty()) return {};
  const TPluginDib& dib = job_->Dib();
  const auto* colors = reinterpret_cast<const TRGBQuad*>(job_->InfoBlock() + dib.TableOffset);
  return {colors, colors + dib.ColorCount};
}

void TSPIGraphic::SaveToStream(TStream& stream) const {
  if (Empty()) return;
  const std::vector<uint8_t> head = PluginBmpHead(job_->InfoBlock(), job_->Dib());
  stream.Write(head.data(), head.size());
  stream.Write(job_->PixelBlock(), job_->Dib().ImageSize);
}

void TSPIGraphic::Draw(TCanvasHandle canvas, const TRect& rect) const {
  if (Empty()) return;
  HDC dc = static_cast<HDC>(canvas);
  TGdiObject palette = CreateLogicalPalette(Palette());
  HPALETTE oldPalette = nullptr;
  if (palette) {
    oldPalette = SelectPalette(dc, static_cast<HPALETTE>(palette.get()), TRUE);
    RealizePalette(dc);
  }
  const int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
  const int height = Height() < 0 ? -Height() : Height();
  StretchDIBits(dc, rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top, 0, 0,
                Width(), height, job_->PixelBlock(),
                reinterpret_cast<const BITMAPINFO*>(job_->InfoBlock()), DIB_RGB_COLORS, SRCCOPY);
  SetStretchBltMode(dc, oldMode);
  if (palette) SelectPalette(dc, oldPalette, TRUE);
}

namespace {

// The BMP image of a decoded picture without copying its pixels: a small head (file header,
// information header, colour table or masks) followed by the plug-in's own pixel block.
class TTwoPartStream final : public TStream {
 public:
  TTwoPartStream(std::vector<uint8_t> head, const uint8_t* tail, size_t tailSize)
      : head_(std::move(head)), tail_(tail), tailSize_(tailSize) {}

  size_t Read(void* buffer, size_t count) override {
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count && position_ < Size()) {
      const bool inHead = position_ < head_.size();
      const uint8_t* from = inHead ? head_.data() + position_ : tail_ + (position_ - head_.size());
      const size_t left = inHead ? head_.size() - static_cast<size_t>(position_)
                                 : static_cast<size_t>(Size() - position_);
      const size_t n = std::min(left, count - done);
      std::memcpy(out + done, from, n);
      done += n;
      position_ += n;
    }
    return done;
  }
  void Write(const void*, size_t) override { throw Exception("Stream write error"); }
  uint64_t Position() const override { return position_; }
  void Seek(uint64_t position) override { position_ = position; }
  uint64_t Size() const override { return head_.size() + tailSize_; }

 private:
  std::vector<uint8_t> head_;
  const uint8_t* tail_;
  size_t tailSize_;
  uint64_t position_ = 0;
};

}  // namespace

namespace {

// A plug-in's pixel block taken over by a DIB store: stays locked, freed with the store.
class TLocalBlock final : public TBlockMemory {
 public:
  explicit TLocalBlock(HLOCAL handle)
      : handle_(handle), data_(static_cast<uint8_t*>(LocalLock(handle))) {}
  TLocalBlock(const TLocalBlock&) = delete;
  TLocalBlock& operator=(const TLocalBlock&) = delete;
  ~TLocalBlock() override {
    // The job had it locked once, and so did we.
    LocalUnlock(handle_);
    LocalUnlock(handle_);
    LocalFree(handle_);
  }
  uint8_t* Data() override { return data_; }
  void* Mapping() const override { return nullptr; }

 private:
  HLOCAL handle_;
  uint8_t* data_;
};

}  // namespace

template <typename T>
std::unique_ptr<T> TSPIGraphic::ConvertTo(bool release) {
  auto graphic = std::make_unique<T>();
  if (Empty()) return graphic;
  const TPluginDib& dib = job_->Dib();
  if constexpr (std::is_same_v<T, TDIBImage>) {
    // Uncompressed 1, 4, 8 and 24 bits are already laid out as the store keeps them: when this
    // graphic goes away anyway, the store takes the plug-in's pixel block over without a copy.
    const bool plain = dib.Compression == BI_RGB_ && (dib.BitCount == 1 || dib.BitCount == 4 ||
                                                      dib.BitCount == 8 || dib.BitCount == 24);
    if (release && plain) {
      auto store = std::make_shared<TDIBStore>(graphic->UseFMO);
      std::memcpy(&store->Header, job_->InfoBlock(), 40);
      store->Header.biSize = 40;
      store->Header.biPlanes = 1;
      store->Header.biClrUsed = static_cast<uint32_t>(dib.ColorCount);
      if (store->Header.biXPelsPerMeter == 0) store->Header.biXPelsPerMeter = 3780;
      if (store->Header.biYPelsPerMeter == 0) store->Header.biYPelsPerMeter = 3780;
      if (dib.ColorCount > 0) {
        std::memcpy(store->ColorTable.data(), job_->InfoBlock() + dib.TableOffset,
                    4 * static_cast<size_t>(dib.ColorCount));
      }
      if (HLOCAL pixels = job_->TakePixels(); pixels != nullptr) {
        store->Pixels.Adopt(std::make_unique<TLocalBlock>(pixels), dib.ImageSize);
        store->PaletteModified = true;
        Release();
        graphic->LoadFromStore(std::move(store));
        graphic->ColorProfile = ColorProfile;
        return graphic;
      }
    }
  }
  // Everything else goes through a BMP image: its head, then the plug-in's pixels read
  // straight from its block.
  TTwoPartStream bmp(PluginBmpHead(job_->InfoBlock(), dib), job_->PixelBlock(), dib.ImageSize);
  graphic->LoadFromStream(bmp);
  graphic->ColorProfile = ColorProfile;
  if (release) Release();
  return graphic;
}

template std::unique_ptr<TDIBImage> TSPIGraphic::ConvertTo<TDIBImage>(bool);
template std::unique_ptr<TBitmap> TSPIGraphic::ConvertTo<TBitmap>(bool);

// ---- the wrappers --------------------------------------------------------------------------

namespace {

// Tries the loaders in their order and gives the first picture to `take`. `Base` is the
// wrapper's own class, `stream` null for a file.
template <typename Base, typename Wrapper, typename Take>
void WrapperLoad(Wrapper& self, const std::string& name, TStream* stream, Take take) {
  struct TEnd {
    Wrapper& self;
    ~TEnd() {
      if (!self.OnProgress) return;
      try {
        self.OnProgress(self, TProgressStage::psEnding, 100, true,
                        TRect{0, 0, self.Width(), self.Height()}, "Loaded Graphic");
      } catch (...) {
      }
    }
  } end{self};

  const bool bmpFirst = SameText(ExtractFileExt(name), ".BMP");
  const uint64_t start = stream != nullptr ? stream->Position() : 0;
  auto relay = [&self](TGraphic&, TProgressStage stage, uint8_t percent, bool redraw,
                       const TRect& rect, const std::string& message) {
    if (stage != TProgressStage::psEnding && self.OnProgress) {
      self.OnProgress(self, stage, percent, redraw, rect, message);
    }
  };
  for (int pass = 0; pass < 2; ++pass) {
    const bool plugins = (pass == 0) != bmpFirst;
    try {
      if (plugins) {
        TSPIGraphic graphic;
        graphic.OnProgress = relay;
        if (stream != nullptr) {
          graphic.LoadFromStreamWithName(*stream, name);
        } else {
          graphic.LoadFromFile(name);
        }
        take(&graphic, static_cast<Base*>(nullptr));
      } else {
        Base base;
        base.OnProgress = relay;
        if (stream != nullptr) {
          base.LoadFromStream(*stream);
        } else {
          base.Base::LoadFromFile(name);
        }
        take(static_cast<TSPIGraphic*>(nullptr), &base);
      }
      return;
    } catch (const std::exception&) {
      if (stream != nullptr) stream->Seek(start);
    }
  }
  throw EInvalidGraphic(kCouldNotDecode);
}

}  // namespace

TSPIDIBImage::TSPIDIBImage()
    : OnLoadFromStreamWithName([this](TStream& stream, const std::string& name) {
        LoadFromStreamWithName(stream, name);
      }) {}

bool TSPIDIBImage::ScreenIsPaletteDevice() {
  static const bool palette = [] {
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) return false;
    const int bits = GetDeviceCaps(screen, PLANES) * GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    return bits <= 8;
  }();
  return palette;
}

void TSPIDIBImage::Changed() {
  const int bits = BitCount();
  if ((bits == 16 || bits == 24 || bits == 32) && Store().ColorsUsed() == 0 &&
      (PaletteMode == 2 || (PaletteMode == 1 && ScreenIsPaletteDevice()))) {
    CreateTrueColorPalette();  // changes the picture once more, now with a palette
    return;
  }
  TDIBImage::Changed();
}

namespace {

template <typename Wrapper, typename Base>
auto Taker(Wrapper& self) {
  return [&self](TSPIGraphic* graphic, Base* base) {
    if (graphic != nullptr) {
      std::unique_ptr<Base> converted = graphic->ConvertTo<Base>(true);
      self.Base::Assign(converted.get());
    } else {
      self.Base::Assign(base);
    }
  };
}

}  // namespace

void TSPIDIBImage::LoadFromFile(const std::string& path) {
  WrapperLoad<TDIBImage>(*this, path, nullptr, Taker<TSPIDIBImage, TDIBImage>(*this));
}

void TSPIDIBImage::LoadFromStreamWithName(TStream& stream, const std::string& name) {
  WrapperLoad<TDIBImage>(*this, name, &stream, Taker<TSPIDIBImage, TDIBImage>(*this));
}

void TSPIDIBImage::Assign(const TGraphic* source) {
  if (auto* graphic = dynamic_cast<const TSPIGraphic*>(source)) {
    std::unique_ptr<TDIBImage> converted =
        const_cast<TSPIGraphic*>(graphic)->ConvertTo<TDIBImage>(false);
    TDIBImage::Assign(converted.get());
    return;
  }
  if (auto* other = dynamic_cast<const TSPIDIBImage*>(source)) PaletteMode = other->PaletteMode;
  TDIBImage::Assign(source);
}

TSPIBitmap::TSPIBitmap()
    : OnLoadFromStreamWithName([this](TStream& stream, const std::string& name) {
        LoadFromStreamWithName(stream, name);
      }) {}

namespace {

auto BitmapTaker(TSPIBitmap& self) {
  return [&self](TSPIGraphic* graphic, TBitmap* base) {
    if (graphic != nullptr) {
      const bool fourBits = graphic->BitCount() == 4;
      const std::vector<TRGBQuad> palette = graphic->Palette();
      std::unique_ptr<TBitmap> converted = graphic->ConvertTo<TBitmap>(true);
      self.TBitmap::Assign(converted.get());
      if (fourBits) self.SetPalette(palette);
    } else {
      self.TBitmap::Assign(base);
    }
  };
}

}  // namespace

void TSPIBitmap::LoadFromFile(const std::string& path) {
  WrapperLoad<TBitmap>(*this, path, nullptr, BitmapTaker(*this));
}

void TSPIBitmap::LoadFromStreamWithName(TStream& stream, const std::string& name) {
  WrapperLoad<TBitmap>(*this, name, &stream, BitmapTaker(*this));
}

void TSPIBitmap::Assign(const TGraphic* source) {
  if (auto* graphic = dynamic_cast<const TSPIGraphic*>(source)) {
    auto* editable = const_cast<TSPIGraphic*>(graphic);
    std::unique_ptr<TBitmap> converted = editable->ConvertTo<TBitmap>(false);
    TBitmap::Assign(converted.get());
    if (graphic->BitCount() == 4) SetPalette(graphic->Palette());
    return;
  }
  TBitmap::Assign(source);
}
