// The decode job behind a plug-in graphic: the candidates for a file or a stream tried in turn
// (at offset 0, then past a MacBinary header), the plug-in's blocks checked and held, and its
// progress passed on.
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

std::string ShortAnsiPath(const std::string& path) {
  bool lossy = false;
  std::string ansi = Utf8ToAnsi(path, &lossy);
  if (!lossy) return ansi;
  const std::wstring wide = ToWide(path);
  wchar_t shortPath[MAX_PATH] = {};
  const DWORD length = GetShortPathNameW(wide.c_str(), shortPath, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return ansi;
  return WideToAnsi(std::wstring(shortPath, length));
}

}  // namespace

// ---- the decode job ----------------------------------------------------------------------

TInSPIAbleData::TInSPIAbleData(TSPIGraphic* owner, std::string name)
    : Name(std::move(name)), owner_(owner) {}

TInSPIAbleData::~TInSPIAbleData() {
  ReleaseData();
}

void TInSPIAbleData::ReleaseData() {
  if (lockedInfo_ != nullptr) LocalUnlock(info_);
  if (lockedPixels_ != nullptr) LocalUnlock(pixels_);
  if (info_ != nullptr) LocalFree(info_);
  if (pixels_ != nullptr && pixels_ != info_) LocalFree(pixels_);  // never the same block twice
  if (InfoValid && PictureInfo.hInfo != 0) {
    LocalFree(reinterpret_cast<HLOCAL>(static_cast<uintptr_t>(PictureInfo.hInfo)));
  }
  info_ = pixels_ = nullptr;
  lockedInfo_ = lockedPixels_ = nullptr;
  dib_ = TPluginDib{};
  PictureInfo = TSusiePictureInfo{};
  InfoValid = false;
}

std::string TInSPIAbleData::AnsiName() const {
  return ShortAnsiPath(Name);
}

HLOCAL TInSPIAbleData::TakePixels() {
  if (pixels_ == info_) return nullptr;  // one block for both: it cannot be handed out alone
  HLOCAL pixels = pixels_;
  pixels_ = nullptr;
  lockedPixels_ = nullptr;
  return pixels;
}

void TInSPIAbleData::Report(TProgressStage stage, uint8_t percent, const std::string& message) {
  if (Progress && owner_ != nullptr) Progress(*owner_, stage, percent, false, TRect{}, message);
}

int WINAPI TInSPIAbleData::ProgressCallback(int done, int total, LONG_PTR user) {
  auto* job = reinterpret_cast<TInSPIAbleData*>(user);
  if (job == nullptr || !job->Progress) return 0;
  // No exception may cross the plug-in's frames: any failure of the handler aborts the plug-in.
  try {
    job->Report(TProgressStage::psRunning, static_cast<uint8_t>(ProgressPercent(done, total)), "");
    return 0;
  } catch (...) {
    return 1;
  }
}

bool TInSPIAbleData::Accept() {
  lockedInfo_ = static_cast<uint8_t*>(LocalLock(info_));
  lockedPixels_ = static_cast<uint8_t*>(LocalLock(pixels_));
  if (lockedInfo_ != nullptr && lockedPixels_ != nullptr) {
    dib_ = CheckPluginDib(lockedInfo_, LocalSize(info_), LocalSize(pixels_));
    if (dib_.Valid) return true;
  }
  ReleaseData();
  return false;
}

bool TInSPIAbleData::Try(TInSPI& spi, int offset, uint8_t* header) {
  // A call that stalled or faulted in the helper ends the plug-in's turn with this picture:
  // one file costs one deadline and one strike, not one for each call and offset.
  const int failures = spi.Failures();
  if (spi.IsSupported(AnsiName(), header + offset) == 0 || spi.Failures() != failures) return false;
  TSusiePictureInfo info{};
  InfoValid = GetInfo(spi, offset, info) == 0;
  if (spi.Failures() != failures) return false;
  PictureInfo = InfoValid ? info : TSusiePictureInfo{};
  HLOCAL pixels = nullptr;
  HLOCAL bitmapInfo = nullptr;
  if (TSPIs* host = TSPIs::Instance(); host != nullptr && host->GraphicPreview) {
    int result = -1;
    try {
      result = GetPreviewData(spi, offset, pixels, bitmapInfo);
    } catch (const ESPIInvalidAPI&) {
      result = -1;
    }
    if (result != 0) pixels = bitmapInfo = nullptr;
    if (spi.Failures() != failures) return false;
  }
  if (pixels == nullptr || bitmapInfo == nullptr) {
    if (GetPictureData(spi, offset, pixels, bitmapInfo) != 0) pixels = bitmapInfo = nullptr;
  }
  info_ = bitmapInfo;
  pixels_ = pixels;
  if (Empty()) {
    // One handle without the other: free what came back.
    if (info_ != nullptr) LocalFree(info_);
    if (pixels_ != nullptr && pixels_ != info_) LocalFree(pixels_);
    info_ = pixels_ = nullptr;
    return false;
  }
  return Accept();
}

void TInSPIAbleData::Run() {
  struct TEnd {
    TInSPIAbleData& job;
    ~TEnd() {
      try {
        job.Report(TProgressStage::psEnding, 100, "Loaded Graphic by Susie Plugin");
      } catch (...) {
      }
    }
  };
  Report(TProgressStage::psStarting, 0, "Loading Graphic by Susie Plugin");
  TEnd end{*this};
  ReleaseData();
  Report(TProgressStage::psRunning, 1, "Seeking enabled Susie Plugins");
  TSPIs* host = TSPIs::Instance();
  if (host == nullptr) return;
  std::vector<TInSPI*> candidates;
  if (host->GraphicForcedLoader != nullptr) {
    candidates.push_back(host->GraphicForcedLoader);
  } else {
    candidates = host->GetInSPIs(Name);
  }
  std::vector<uint8_t> header(kSusieHeaderBlock, 0);
  ReadHeader(header.data(), header.size());
  std::vector<int> offsets{0};
  if (host->MacBinary) offsets.push_back(kMacBinaryHeader);
  for (TInSPI* spi : candidates) {
    const int failures = spi->Failures();
    for (int offset : offsets) {
      Report(TProgressStage::psRunning, 1, "Loading by [" + ExtractFileName(spi->FileName) + "]");
      if (Try(*spi, offset, header.data())) return;
      ReleaseData();
      if (spi->Failures() != failures) break;
    }
  }
}

void TInSPIAbleFromFile::ReadHeader(uint8_t* buffer, size_t size) {
  // A file that cannot be read leaves the block zero; the plug-ins then decide on zeros.
  THandle file(CreateFileW(ToWide(Name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return;
  DWORD read = 0;
  ReadFile(file.get(), buffer, static_cast<DWORD>(size), &read, nullptr);
}

int TInSPIAbleFromFile::GetInfo(TInSPI& spi, int offset, TSusiePictureInfo& info) {
  return spi.GetPictureInfo(AnsiName().c_str(), offset, 0, &info);
}

int TInSPIAbleFromFile::GetPreviewData(TInSPI& spi, int offset, HLOCAL& pixels, HLOCAL& info) {
  return spi.GetPreview(AnsiName().c_str(), offset, 0, &info, &pixels, ProgressCallback,
                        reinterpret_cast<LONG_PTR>(this));
}

int TInSPIAbleFromFile::GetPictureData(TInSPI& spi, int offset, HLOCAL& pixels, HLOCAL& info) {
  return spi.GetPicture(AnsiName().c_str(), offset, 0, &info, &pixels, ProgressCallback,
                        reinterpret_cast<LONG_PTR>(this));
}

TInSPIAbleFromStream::TInSPIAbleFromStream(TSPIGraphic* owner, const std::string& name,
                                           TStream& stream)
    : TInSPIAbleData(owner, name) {
  if (auto* memory = dynamic_cast<TMemoryStream*>(&stream)) {
    data_ = memory->Bytes().data();
    size_ = memory->Bytes().size();
    return;
  }
  const uint64_t position = stream.Position();
  copy_.resize(static_cast<size_t>(stream.Size()));
  stream.Seek(0);
  copy_.resize(stream.Read(copy_.data(), copy_.size()));
  stream.Seek(position);
  data_ = copy_.data();
  size_ = copy_.size();
}

void TInSPIAbleFromStream::ReadHeader(uint8_t* buffer, size_t size) {
  if (size_ != 0) std::memcpy(buffer, data_, std::min(size, size_));
}

int TInSPIAbleFromStream::GetInfo(TInSPI& spi, int offset, TSusiePictureInfo& info) {
  if (static_cast<size_t>(offset) > size_) return SusieResult::kBrokenData;
  return spi.GetPictureInfo(reinterpret_cast<const char*>(data_ + offset),
                            static_cast<LONG>(size_ - static_cast<size_t>(offset)), 1, &info);
}

int TInSPIAbleFromStream::GetPreviewData(TInSPI& spi, int offset, HLOCAL& pixels, HLOCAL& info) {
  if (static_cast<size_t>(offset) > size_) return SusieResult::kBrokenData;
  return spi.GetPreview(reinterpret_cast<const char*>(data_ + offset),
                        static_cast<LONG>(size_ - static_cast<size_t>(offset)), 1, &info, &pixels,
                        ProgressCallback, reinterpret_cast<LONG_PTR>(this));
}

int TInSPIAbleFromStream::GetPictureData(TInSPI& spi, int offset, HLOCAL& pixels, HLOCAL& info) {
  if (static_cast<size_t>(offset) > size_) return SusieResult::kBrokenData;
  return spi.GetPicture(reinterpret_cast<const char*>(data_ + offset),
                        static_cast<LONG>(size_ - static_cast<size_t>(offset)), 1, &info, &pixels,
                        ProgressCallback, reinterpret_cast<LONG_PTR>(this));
}
