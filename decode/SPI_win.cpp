#include "decode/SPI_win.h"

#include "base/DllSearch_win.h"
#include "base/Unicode_win.h"
#include "decode/FaultGuard_win.h"

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

TSPI::~TSPI() {
  if (module_ != nullptr) FreeLibrary(module_);
}

void TSPI::Load(const std::string& fileName) {
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
  CheckAPI();
  InfoText(*this, 0, APIVersion);
  InfoText(*this, 1, PluginName);
  for (int n = 2;; n += 2) {
    std::string filter;
    std::string description;
    if (!InfoText(*this, n, filter) || !InfoText(*this, n + 1, description)) break;
    FilterList.push_back(filter);
    DescriptionList.push_back(description);
  }
  IsLoader = IsLoaderKind();
}

void TSPI::Require(Entry entry) const {
  if (!Has(entry)) {
    throw ESPIInvalidAPI(std::string(kEntryNames[static_cast<int>(entry)]) + "は[" + FileName +
                         "]では使えないSusie Plugin APIです");
  }
}

FARPROC TSPI::Address(Entry entry) const {
  Require(entry);
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
  const auto entry = EntryAs<TGetPluginInfo>(Address(Entry::GetPluginInfo));
  const int written = Guarded([&] { return entry(infoNumber, buffer, length); }, -1);
  if (faulted_) throw ESPIFault("[" + FileName + "]は GetPluginInfo の中で異常終了しました");
  return written;
}

int TSPI::IsSupported(const std::string& ansiName, void* header) const {
  const auto entry = EntryAs<TIsSupported>(Address(Entry::IsSupported));
  const char* name = ansiName.c_str();
  return Guarded([&] { return entry(name, header); }, 0);
}

int TSPI::GetPictureInfo(const char* source, LONG length, UINT flag,
                         TSusiePictureInfo* info) const {
  const auto entry = EntryAs<TGetPictureInfo>(Address(Entry::GetPictureInfo));
  return Guarded([&] { return entry(source, length, flag, info); }, SusieResult::kInternalError);
}

int TSPI::GetPicture(const char* source, LONG length, UINT flag, HLOCAL* info, HLOCAL* pixels,
                     TSusieProgress progress, LONG_PTR user) const {
  const auto entry = EntryAs<TGetPicture>(Address(Entry::GetPicture));
  return Guarded([&] { return entry(source, length, flag, info, pixels, progress, user); },
                 SusieResult::kInternalError);
}

int TSPI::GetPreview(const char* source, LONG length, UINT flag, HLOCAL* info, HLOCAL* pixels,
                     TSusieProgress progress, LONG_PTR user) const {
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
