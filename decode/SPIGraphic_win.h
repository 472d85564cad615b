// Pictures decoded by the import plug-ins: the decode job that runs the plug-in calls and owns
// what they return, the graphic class over one job, and the two wrappers the program uses,
// which try their own reader and the plug-ins in a fixed order and keep the result in their
// own format.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "decode/Bitmap.h"
#include "decode/DIBImage.h"
#include "decode/SPIRules.h"
#include "decode/SusieApi.h"

class TInSPI;
class TSPIGraphic;

class TInSPIAbleData {
 public:
  TInSPIAbleData(TSPIGraphic* owner, std::string name);
  TInSPIAbleData(const TInSPIAbleData&) = delete;
  TInSPIAbleData& operator=(const TInSPIAbleData&) = delete;
  virtual ~TInSPIAbleData();

  // Runs the candidates over the data until one decodes it.
  void Run();
  bool Empty() const { return info_ == nullptr || pixels_ == nullptr; }
  void ReleaseData();

  // Hands the (locked) pixel block to the caller, who frees it; the job keeps the rest.
  HLOCAL TakePixels();

  const uint8_t* InfoBlock() const { return lockedInfo_; }
  size_t InfoSize() const { return info_ != nullptr ? LocalSize(info_) : 0; }
  const uint8_t* PixelBlock() const { return lockedPixels_; }
  const TPluginDib& Dib() const { return dib_; }

  std::string Name;  // the file path, or the name given with a stream
  TSusiePictureInfo PictureInfo{};
  bool InfoValid = false;
  TProgressEvent Progress;

 protected:
  virtual void ReadHeader(uint8_t* buffer, size_t size) = 0;
  virtual int GetInfo(TInSPI& spi, int offset, TSusiePictureInfo& info) = 0;
  virtual int GetPreviewData(TInSPI& spi, int offset, HLOCAL& pixels, HLOCAL& info) = 0;
  virtual int GetPictureData(TInSPI& spi, int offset, HLOCAL& pixels, HLOCAL& info) = 0;
  // The ANSI name plug-ins see: a path the code page cannot hold goes by its short form.
  std::string AnsiName() const;

  static int WINAPI ProgressCallback(int done, int total, LONG_PTR user);

 private:
  bool Try(TInSPI& spi, int offset, uint8_t* header);
  // Locks and checks what a plug-in returned; false (and released) when it is unusable.
  bool Accept();
  void Report(TProgressStage stage, uint8_t percent, const std::string& message);

  TSPIGraphic* owner_;
  HLOCAL info_ = nullptr;
  HLOCAL pixels_ = nullptr;
  uint8_t* lockedInfo_ = nullptr;
  uint8_t* lockedPixels_ = nullptr;
  TPluginDib dib_;
};

class TInSPIAbleFromFile final : public TInSPIAbleData {
 public:
  TInSPIAbleFromFile(TSPIGraphic* owner, const std::string& path) : TInSPIAbleData(owner, path) {}

 protected:
  void ReadHeader(uint8_t* buffer, size_t size) override;
  int GetInfo(TInSPI& spi, int offset, TSusiePictureInfo& info) override;
  int GetPreviewData(TInSPI& spi, int offset, HLOCAL& pixels, HLOCAL& info) override;
  int GetPictureData(TInSPI& spi, int offset, HLOCAL& pixels, HLOCAL& info) override;
};

class TInSPIAbleFromStream final : public TInSPIAbleData {
 public:
  // The whole stream from its first byte; a memory stream's bytes are used without a copy and
  // must stay unchanged while the graphic exists.
  TInSPIAbleFromStream(TSPIGraphic* owner, const std::string& name, TStream& stream);

 protected:
  void ReadHeader(uint8_t* buffer, size_t size) override;
  int GetInfo(TInSPI& spi, int offset, TSusiePictureInfo& info) override;
  int GetPreviewData(TInSPI& spi, int offset, HLOCAL& pixels, HLOCAL& info) override;
  int GetPictureData(TInSPI& spi, int offset, HLOCAL& pixels, HLOCAL& info) override;

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  std::vector<uint8_t> copy_;
};

class TSPIGraphic : public TGraphic {
 public:
  TSPIGraphic() = default;
  ~TSPIGraphic() override;

  const char* ClassName() const override { return "TSPIGraphic"; }
  int Width() const override;
  int Height() const override;  // as stored: negative for top-down rows
  bool Empty() const override { return !job_ || job_->Empty(); }
  std::vector<TRGBQuad> Palette() const;
  int BitCount() const;

  void LoadFromFile(const std::string& path) override;
  void LoadFromStream(TStream& stream) override { LoadFromStreamWithName(stream, ""); }
  void LoadFromStreamWithName(TStream& stream, const std::string& name);
  void SaveToStream(TStream& stream) const override;
  void Draw(TCanvasHandle canvas, const TRect& rect) const override;

  // Writes this picture as a BMP into a new instance of the class. With `release` the plug-in
  // memory is freed right after it was written out.
  template <typename T>
  std::unique_ptr<T> ConvertTo(bool release);

  void Release();

 private:
  void Load(std::unique_ptr<TInSPIAbleData> job);

  std::unique_ptr<TInSPIAbleData> job_;
};

class TSPIDIBImage : public TDIBImage {
 public:
  TSPIDIBImage();

  const char* ClassName() const override { return "TSPIDIBImage"; }
  void LoadFromFile(const std::string& path) override;
  void LoadFromStream(TStream& stream) override { LoadFromStreamWithName(stream, ""); }
  void LoadFromStreamWithName(TStream& stream, const std::string& name);
  void Assign(const TGraphic* source) override;

  // 1 automatic, 2 always, anything else never: whether a picture of 16, 24 or 32 bits without
  // palette gets a true-colour palette when it changes.
  uint8_t PaletteMode = 1;
  // Loads a stream together with a name; read-only, bound to this object.
  const std::function<void(TStream&, const std::string&)> OnLoadFromStreamWithName;

  static bool ScreenIsPaletteDevice();

 protected:
  void Changed() override;
};

class TSPIBitmap : public TBitmap {
 public:
  TSPIBitmap();

  const char* ClassName() const override { return "TSPIBitmap"; }
  void LoadFromFile(const std::string& path) override;
  void LoadFromStream(TStream& stream) override { LoadFromStreamWithName(stream, ""); }
  void LoadFromStreamWithName(TStream& stream, const std::string& name);
  void Assign(const TGraphic* source) override;

  const std::function<void(TStream&, const std::string&)> OnLoadFromStreamWithName;
};
