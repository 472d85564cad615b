#include "decode/SPI_win.h"

#include <algorithm>
#include <cstring>

#include "base/DllSearch_win.h"
#include "base/Unicode_win.h"
#include "decode/DIBStore.h"
#include "decode/FaultGuard_win.h"
#include "decode/PluginAnswer.h"
#include "decode/PluginHelper_win.h"
#include "decode/SPIRules.h"

namespace {

// Entry points come back untyped; `void (*)()` converts to any function type without warning.
template <typename F>
F EntryAs(FARPROC address) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(address));
}

const char* const kEntryNames[] = {"GetPluginInfo", "IsSupported", "GetPictureInfo",
                                   "GetPicture",    "GetPreview",  "GetArchiveInfo",
                                   "GetFileInfo",   "GetFile",     "ConfigurationDlg"};

// One info text: the bytes the plug-in wrote into the 256-byte buffer (255 offered), or none.
bool InfoText(const TSPI& spi, int number, std::string& text) {
  char buffer[256] = {};
  const int written = spi.GetPluginInfo(number, buffer, 255);
  if (written <= 0) return false;
  buffer[255] = '\0';
  text = AnsiToUtf8(std::string(buffer, strnlen(buffer, std::min(written, 255))));
  return true;
}

}  // namespace

TPluginHelper* TSPI::Helper = nullptr;
unsigned TSPI::HelperSilenceMs = 10000;
bool (*TSPI::RunsApart)(const std::string& fileName) = nullptr;

TSPI::~TSPI() {
  if (module_ != nullptr) FreeLibrary(module_);
}

unsigned TSPI::EntryMask() const {
  unsigned mask = 0;
  for (int i = 0; i < static_cast<int>(Entry::Count); ++i)
    if (Has(static_cast<Entry>(i))) mask |= 1u << i;
  return mask;
}

bool TSPI::CallRemote(plugin_wire::TMessage& request, plugin_wire::TMessage& result,
                      TSusieProgress progress, LONG_PTR user) const {
  if (faulted_ || Helper == nullptr) return false;
  request.Plugin = FileName;
  try {
    result = Helper->Call(
        request,
        [progress, user](int done, int total) {
          return progress == nullptr || progress(done, total, user) == 0;
        },
        HelperSilenceMs);
    if (result.Total == 1) CountFailure(request);  // it faulted in the helper
    return true;
  } catch (const EHelperCancelled&) {
    return false;  // given up by the program, not the plug-in's doing
  } catch (const EHelperUnavailable&) {
    return false;  // no helper to call: not the plug-in's doing either
  } catch (const EHelperFailed&) {
    CountFailure(request);
    return false;
  } catch (const plugin_wire::EWireError&) {
    return false;  // a request too large to send (an archive member past the frame's limit)
  }
}

void TSPI::CountFailure(const plugin_wire::TMessage& request) const {
  ++failures_;
  const plugin_wire::TSource& source = request.Source;
  std::string key;
  if (source.InMemory) {
    // Bytes in memory: their length and a hash stand for them.
    uint32_t hash = 2166136261u;
    for (const uint8_t byte : source.Bytes) hash = (hash ^ byte) * 16777619u;
    key = "memory:" + std::to_string(source.Bytes.size()) + ":" + std::to_string(hash);
  } else if (!source.FileName.empty()) {
    key = "file:" + source.FileName;  // wherever in it the picture was looked for
  } else if (request.Kind == plugin_wire::TKind::IsSupported) {
    key = "file:" + request.Text;
  } else {
    key = "call:" + std::to_string(failures_);  // a call about no file counts each time
  }
  failedSources_.insert(key);
  if (failedSources_.size() >= 3) faulted_ = true;
}

void TSPI::Load(const std::string& fileName) {
  if (Helper != nullptr && (RunsApart == nullptr || RunsApart(fileName))) {
    LoadInHelper(fileName);
  } else {
    LoadHere(fileName);
  }
  CheckAPI();
  InfoText(*this, 0, APIVersion);
  InfoText(*this, 1, PluginName);
  for (auto& [filter, description] :
       ReadFilterPairs([this](int n, std::string&text) { return InfoText(*this, n, text); })) {
    FilterList.push_back(std::move(filter));
    DescriptionList.push_back(std::move(description));
  }
  IsLoader = IsLoaderKind();
}

void TSPI::LoadInHelper(const std::string& fileName) {
  // Loaded by the helper, never here: the full path names it there.
  const std::wstring wide = ToWide(fileName);
  wchar_t full[MAX_PATH] = {};
  const DWORD length = GetFullPathNameW(wide.c_str(), MAX_PATH, full, nullptr);
  FileName = length > 0 && length < MAX_PATH ? ToUtf8(full) : fileName;
  plugin_wire::TMessage load;
  load.Kind = plugin_wire::TKind::Load;
  plugin_wire::TMessage answer;
  const int32_t entries = CallRemote(load, answer, nullptr, 0)
                              ? plugin_answer::LoadedEntries(answer, static_cast<int>(Entry::Count))
                              : -1;
  if (entries < 0) {
    throw ESPIFOpenErrorSPI(answer.Text.empty() ? fileName + ":Susie Pluginがロードできませんでした"
                                                : answer.Text);
  }
  remote_ = true;
  remoteEntries_ = static_cast<unsigned>(entries);
}

void TSPI::LoadHere(const std::string& fileName) {
  // A plug-in's own DLLs are found beside it first.
  const bool full = fileName.find('\\') != std::string::npos;
  module_ = LoadLibraryExW(ToWide(fileName).c_str(), nullptr, full ? BesideDllFlags() : 0);
  if (module_ == nullptr) {
    const DWORD error = GetLastError();
    std::string why = ":Susie Pluginがロードできませんでした";
    // A 64-bit plug-in, a broken download or a file that is no DLL at all.
    if (error == ERROR_BAD_EXE_FORMAT) why += "（32 ビットの DLL ではありません）";
    throw ESPIFOpenErrorSPI(fileName + why);
  }
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(module_, path, MAX_PATH - 1);
  FileName = length != 0 ? ToUtf8(std::wstring(path, length)) : fileName;
  for (int i = 0; i < static_cast<int>(Entry::Count); ++i) {
    entries_[i] = GetProcAddress(module_, kEntryNames[i]);
  }
  pictureInto_ = GetProcAddress(module_, kGetPictureIntoName);
}

void TSPI::Require(Entry entry) const {
  if (!Has(entry)) ThrowUnusable(entry);
}

void TSPI::ThrowUnusable(Entry entry) const {
  throw ESPIInvalidAPI(std::string(kEntryNames[static_cast<int>(entry)]) + "は[" + FileName +
                       "]では使えないSusie Plugin APIです");
}

FARPROC TSPI::Address(Entry entry) const {
  Require(entry);
  // A plug-in in the helper has no address here: a call the helper does not carry yet fails.
  if (remote_) ThrowUnusable(entry);
  return entries_[static_cast<int>(entry)];
}

void TSPI::CheckAPI() const {
  Require(Entry::GetPluginInfo);
}

void TLoaderSPI::CheckAPI() const {
  TSPI::CheckAPI();
  Require(Entry::IsSupported);
}

void TInSPI::CheckAPI() const {
  TLoaderSPI::CheckAPI();
  Require(Entry::GetPictureInfo);
  Require(Entry::GetPicture);
}

void TAmSPI::CheckAPI() const {
  TLoaderSPI::CheckAPI();
  Require(Entry::GetArchiveInfo);
  Require(Entry::GetFileInfo);
  Require(Entry::GetFile);
}

template <typename F>
int TSPI::Guarded(F call, int failed) const {
  if (faulted_) return failed;
  int result = 0;
  if (CallGuarded(call, result)) return result;
  faulted_ = true;
  return failed;
}

int TSPI::GetPluginInfo(int infoNumber, char* buffer, int length) const {
  if (remote_) {
    Require(Entry::GetPluginInfo);
    plugin_wire::TMessage request;
    request.Kind = plugin_wire::TKind::PluginInfo;
    request.Number = infoNumber;
    plugin_wire::TMessage result;
    if (!CallRemote(request, result, nullptr, 0) || result.Total == 1)
      throw ESPIFault("[" + FileName + "]は GetPluginInfo の中で異常終了しました");
    return plugin_answer::PluginInfo(result, buffer, length);
  }
  const auto entry = EntryAs<TGetPluginInfo>(Address(Entry::GetPluginInfo));
  const int written = Guarded([&] { return entry(infoNumber, buffer, length); }, -1);
  if (faulted_) throw ESPIFault("[" + FileName + "]は GetPluginInfo の中で異常終了しました");
  return written;
}

int TSPI::IsSupported(const std::string& ansiName, void* header) const {
  if (remote_) {
    Require(Entry::IsSupported);
    plugin_wire::TMessage request;
    request.Kind = plugin_wire::TKind::IsSupported;
    request.Text = ansiName;
    if (header != nullptr) {
      const auto* bytes = static_cast<const uint8_t*>(header);
      request.Data.assign(bytes, bytes + kSusieHeaderBlock - kMacBinaryHeader);
    }
    plugin_wire::TMessage result;
    return CallRemote(request, result, nullptr, 0) ? result.Number : 0;
  }
  const auto entry = EntryAs<TIsSupported>(Address(Entry::IsSupported));
  const char* name = ansiName.c_str();
  return Guarded([&] { return entry(name, header); }, 0);
}

namespace {

// A call's source as the helper gets it: a file name and offset, or the bytes themselves.
plugin_wire::TSource RemoteSource(const char* source, LONG length, UINT flag) {
  plugin_wire::TSource s;
  s.Flag = flag & ~7u;
  s.InMemory = (flag & 7) == 1;
  if (s.InMemory) {
    if (source != nullptr && length > 0) s.Bytes.assign(source, source + length);
  } else {
    s.FileName = source != nullptr ? source : "";
    s.Offset = length;
  }
  return s;
}

HLOCAL LocalCopy(const uint8_t* data, size_t size) {
  HLOCAL block = LocalAlloc(LMEM_MOVEABLE, size);
  if (block == nullptr) return nullptr;
  void* p = LocalLock(block);
  if (p != nullptr) std::memcpy(p, data, size);
  LocalUnlock(block);
  return block;
}

}  // namespace

int TSPI::RemotePicture(plugin_wire::TKind kind, const char* source, LONG length, UINT flag,
                        HLOCAL* info, HLOCAL* pixels, TSusieProgress progress,
                        LONG_PTR user) const {
  plugin_wire::TMessage request;
  request.Kind = kind;
  request.Source = RemoteSource(source, length, flag);
  plugin_wire::TMessage result;
  if (!CallRemote(request, result, progress, user)) return SusieResult::kInternalError;
  if (info == nullptr || pixels == nullptr) return SusieResult::kInternalError;
  const int checked = plugin_answer::Picture(result, kMaxPixelBytes);
  if (checked != SusieResult::kSuccess) return checked;
  // The pixels go straight from the helper's section into the block the pipeline takes over.
  HLOCAL infoBlock = LocalCopy(result.Data.data(), result.Data.size());
  HLOCAL pixelBlock = LocalAlloc(LMEM_MOVEABLE, result.SectionSize);
  int outcome = infoBlock != nullptr && pixelBlock != nullptr ? SusieResult::kSuccess
                                                              : SusieResult::kNoMemory;
  if (outcome == SusieResult::kSuccess) {
    void* into = LocalLock(pixelBlock);
    try {
      Helper->PixelsInto(result, into);
    } catch (const EHelperFailed&) {
      outcome = SusieResult::kInternalError;
    }
    LocalUnlock(pixelBlock);
  }
  if (outcome != SusieResult::kSuccess) {
    if (infoBlock != nullptr) LocalFree(infoBlock);
    if (pixelBlock != nullptr) LocalFree(pixelBlock);
    return outcome;
  }
  *info = infoBlock;
  *pixels = pixelBlock;
  return SusieResult::kSuccess;
}

int TSPI::GetPictureInfo(const char* source, LONG length, UINT flag,
                         TSusiePictureInfo* info) const {
  if (remote_) {
    Require(Entry::GetPictureInfo);
    plugin_wire::TMessage request;
    request.Kind = plugin_wire::TKind::PictureInfo;
    request.Source = RemoteSource(source, length, flag);
    plugin_wire::TMessage result;
    if (!CallRemote(request, result, nullptr, 0)) return SusieResult::kInternalError;
    TSusiePictureInfo got{};
    const int outcome = plugin_answer::PictureInfo(result, got);
    if (info != nullptr && outcome == SusieResult::kSuccess) *info = got;
    return outcome;
  }
  const auto entry = EntryAs<TGetPictureInfo>(Address(Entry::GetPictureInfo));
  return Guarded([&] { return entry(source, length, flag, info); }, SusieResult::kInternalError);
}

int TSPI::GetPicture(const char* source, LONG length, UINT flag, HLOCAL* info, HLOCAL* pixels,
                     TSusieProgress progress, LONG_PTR user) const {
  if (remote_) {
    Require(Entry::GetPicture);
    return RemotePicture(plugin_wire::TKind::Picture, source, length, flag, info, pixels, progress,
                         user);
  }
  const auto entry = EntryAs<TGetPicture>(Address(Entry::GetPicture));
  return Guarded([&] { return entry(source, length, flag, info, pixels, progress, user); },
                 SusieResult::kInternalError);
}

int TSPI::GetPictureInto(const char* source, LONG length, UINT flag, HLOCAL* info,
                         TSusieAllocate allocate, LONG_PTR allocateUser, TSusieProgress progress,
                         LONG_PTR user) const {
  if (pictureInto_ == nullptr) ThrowUnusable(Entry::GetPicture);
  const auto entry = EntryAs<TGetPictureInto>(pictureInto_);
  return Guarded(
      [&] { return entry(source, length, flag, info, allocate, allocateUser, progress, user); },
      SusieResult::kInternalError);
}

int TSPI::GetPreview(const char* source, LONG length, UINT flag, HLOCAL* info, HLOCAL* pixels,
                     TSusieProgress progress, LONG_PTR user) const {
  if (remote_) {
    Require(Entry::GetPreview);
    return RemotePicture(plugin_wire::TKind::Preview, source, length, flag, info, pixels, progress,
                         user);
  }
  const auto entry = EntryAs<TGetPicture>(Address(Entry::GetPreview));
  return Guarded([&] { return entry(source, length, flag, info, pixels, progress, user); },
                 SusieResult::kInternalError);
}

namespace {

template <typename T>
std::unique_ptr<TSPI> Make(const std::string& fileName) {
  auto spi = std::make_unique<T>();
  spi->Load(fileName);
  return spi;
}

}  // namespace

std::unique_ptr<TSPI> CreateSPIByKind(const std::string& fileName) {
  try {
    std::string version;
    {
      const std::unique_ptr<TSPI> generic = Make<TSPI>(fileName);
      version = generic->APIVersion;
    }
    if (version == "00IN") return Make<TInSPI>(fileName);
    if (version == "00AM") return Make<TAmSPI>(fileName);
    if (version == "00XN") return Make<TXnSPI>(fileName);
    return Make<TSPI>(fileName);
  } catch (const ESPIInvalidSPI&) {
    return nullptr;
  }
}
