#include "files/ArchiveFile_win.h"

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "base/DllSearch_win.h"
#include "base/FileIO_win.h"
#include "base/TextCase.h"
#include "base/Unicode_win.h"
#include "decode/FaultGuard_win.h"
#include "decode/PluginAnswer.h"
#include "decode/PluginHelper_win.h"
#include "decode/SPI_win.h"

namespace {

using TExtractMem = int(WINAPI*)(HWND, LPCSTR, LPBYTE, DWORD, void*, LPWORD, LPDWORD);
using TCheckArchive = BOOL(WINAPI*)(LPCSTR, int);
using TOpenArchive = void*(WINAPI*)(HWND, LPCSTR, DWORD);
using TCloseArchive = int(WINAPI*)(void*);
using TGetArchiveType = int(WINAPI*)(LPCSTR);
using TSetEnumMembersProc = BOOL(WINAPI*)(void*, DWORD);
using TClearEnumMembersProc = BOOL(WINAPI*)();
using TSetOwnerWindowEx = BOOL(WINAPI*)(HWND, void*);
using TKillOwnerWindowEx = BOOL(WINAPI*)(HWND);

template <typename F>
F As(FARPROC address) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(address));
}

// The component whose extraction the library is enumerating (extraction runs on one thread).
thread_local TArchiveFile* enumerating = nullptr;

constexpr wchar_t kProgressClass[] = L"Vesko2ArchiveProgress";

std::string AnsiPath(const std::string& path) {
  bool lossy = false;
  std::string ansi = Utf8ToAnsi(path, &lossy);
  if (!lossy) return ansi;
  wchar_t shortPath[MAX_PATH] = {};
  const DWORD length = GetShortPathNameW(ToWide(path).c_str(), shortPath, MAX_PATH);
  return length > 0 && length < MAX_PATH ? WideToAnsi(std::wstring(shortPath, length)) : ansi;
}

}  // namespace

namespace {

// An archiver DLL by its full path, found where Windows looked before the program restricted
// the search (PATH too, never the current folder); null when it is nowhere.
HMODULE LoadArchiverDll(const std::string& name) {
  const std::wstring full = FindOnClassicDllPath(ToWide(name));
  return full.empty() ? nullptr : LoadLibraryExW(full.c_str(), nullptr, BesideDllFlags());
}

}  // namespace

// One archiver library family: its modules, loaded once, and its functions, resolved once.
class TArchiverLibrary {
 public:
  TArchiverLibrary(std::string description, std::vector<std::string> dlls, std::string prefix,
                   bool zip = false)
      : description_(std::move(description)),
        dlls_(std::move(dlls)),
        prefix_(std::move(prefix)),
        zip_(zip) {}
  TArchiverLibrary(const TArchiverLibrary&) = delete;
  TArchiverLibrary& operator=(const TArchiverLibrary&) = delete;
  ~TArchiverLibrary() { Free(); }

  void Load() {
    if (loaded_) return;
    if (zip_) {
      // UNZIP32.DLL, ZIP32J.DLL and LMZIP32.DLL, as many as there are; nothing said here.
      for (const std::string& dll : dlls_) modules_.push_back(LoadArchiverDll(dll));
      loaded_ = true;
      return;
    }
    for (const std::string& dll : dlls_) {
      if (HMODULE module = LoadArchiverDll(dll)) {
        modules_.push_back(module);
        loaded_ = true;
        return;
      }
    }
    if (dlls_.size() > 1) {
      throw EArchiver("Yz1 形式書庫を扱うには " + dlls_[0] + " か " + dlls_[1] + " が必要です。");
    }
    throw ENoArchiverDLL(description_ + " を扱うには " + dlls_[0] + " が 必要です。");
  }

  void Free() {
    for (HMODULE module : modules_) {
      if (module != nullptr) FreeLibrary(module);
    }
    modules_.clear();
    cache_.clear();
    loaded_ = false;
  }

  // prefix + name; EEntryNotFound when a required function is missing, null for optional ones.
  FARPROC Resolve(const std::string& name, bool required) {
    const auto cached = cache_.find(name);
    if (cached != cache_.end()) return cached->second;
    FARPROC address = zip_ ? ResolveZip(name) : ResolvePlain(name);
    if (address == nullptr && required) {
      if (zip_) throw EEntryNotFound(name + " のエントリが DLL に見つかりませんでした。");
      char path[257] = {};
      GetModuleFileNameA(modules_.empty() ? nullptr : modules_[0], path, 256);
      throw EEntryNotFound(std::string(path) + " に " + prefix_ + name +
                           " のエントリが見つかりません。");
    }
    cache_[name] = address;
    return address;
  }

  const std::string& Prefix() const { return prefix_; }

 private:
  FARPROC ResolvePlain(const std::string& name) {
    return modules_.empty() ? nullptr : GetProcAddress(modules_[0], (prefix_ + name).c_str());
  }
  // The ZIP family: UNZIP32.DLL ("UnZip"), ZIP32J.DLL ("Zip"), LMZIP32.DLL (either, with a
  // lower-case z); memory extraction looks in UNZIP32, LMZIP32, ZIP32J in that order.
  FARPROC ResolveZip(const std::string& name) {
    HMODULE unzip = modules_.size() > 0 ? modules_[0] : nullptr;
    HMODULE zip32j = modules_.size() > 1 ? modules_[1] : nullptr;
    HMODULE lmzip = modules_.size() > 2 ? modules_[2] : nullptr;
    const std::string unzipName = "UnZip" + name;
    std::string lmName = unzipName;
    if (lmName.size() > 2 && lmName[2] == 'Z') lmName[2] = 'z';
    const HMODULE order[] = {unzip, lmzip, zip32j};
    const std::string names[] = {unzipName, lmName, "Zip" + name};
    for (int i = 0; i < 3; ++i) {
      if (order[i] == nullptr) continue;
      if (FARPROC address = GetProcAddress(order[i], names[i].c_str())) return address;
    }
    return nullptr;
  }

  std::string description_;
  std::vector<std::string> dlls_;
  std::string prefix_;
  bool zip_;
  bool loaded_ = false;
  std::vector<HMODULE> modules_;
  std::map<std::string, FARPROC> cache_;
};

namespace {

// The shared library object of each driver family, made on first need.
struct TFamily {
  const char* description;
  std::vector<std::string> dlls;
  const char* prefix;
  bool zip;
  std::unique_ptr<TArchiverLibrary> library;
};

std::vector<TFamily>& Families() {
  static std::vector<TFamily> families = [] {
    std::vector<TFamily> f;
    f.push_back({"LHA 形式書庫", {"UNLHA32.DLL"}, "Unlha", false, nullptr});
    f.push_back(
        {"ZIP 形式書庫", {"UNZIP32.DLL", "ZIP32J.DLL", "LMZIP32.DLL"}, "UnZip", true, nullptr});
    f.push_back({"CAB 形式書庫", {"CAB32.DLL"}, "Cab", false, nullptr});
    f.push_back({"tar/tgz/taz/bz2 形式書庫", {"TAR32.DLL"}, "Tar", false, nullptr});
    f.push_back({"RAR 形式書庫", {"UNRAR32.DLL"}, "Unrar", false, nullptr});
    f.push_back({"BGA 形式書庫", {"BGA32.DLL"}, "Bga", false, nullptr});
    f.push_back({"YZ1 形式書庫", {"YYZ32.DLL", "YZ1.DLL"}, "Yz1", false, nullptr});
    f.push_back({"7z 形式書庫", {"7-zip32.dll"}, "SevenZip", false, nullptr});
    return f;
  }();
  return families;
}

enum FamilyIndex { kLha, kZip, kCab, kTar, kRar, kBga, kYz1, kSevenZip };

TArchiverLibrary& Library(int family) {
  TFamily& f = Families()[static_cast<size_t>(family)];
  if (!f.library)
    f.library = std::make_unique<TArchiverLibrary>(f.description, f.dlls, f.prefix, f.zip);
  f.library->Load();
  return *f.library;
}

bool ProbeOpen(int family, const std::string& path, bool check, int checkMode, bool needExists) {
  try {
    TArchiverLibrary& library = Library(family);
    char full[MAX_PATH] = {};
    GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    if (check && !As<TCheckArchive>(library.Resolve("CheckArchive", true))(full, checkMode))
      return false;
    if (needExists && GetFileAttributesA(full) == INVALID_FILE_ATTRIBUTES) return false;
    void* handle = As<TOpenArchive>(library.Resolve("OpenArchive", true))(nullptr, full, 0x800002);
    if (handle == nullptr) return false;
    As<TCloseArchive>(library.Resolve("CloseArchive", true))(handle);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

TArchiverType ProbeArchiveContent(const std::string& utf8Path) {
  const std::string path = AnsiPath(utf8Path);
  // Every probe runs, in this order, so that every library present gets loaded.
  TArchiverType tar = TArchiverType::atNone;
  try {
    const int kind =
        As<TGetArchiveType>(Library(kTar).Resolve("GetArchiveType", true))(path.c_str());
    if (kind == 1) tar = TArchiverType::atTar;
    if (kind >= 2 && kind <= 5) tar = TArchiverType::atTgz;
    if (kind == 6 || kind == 7) tar = TArchiverType::atBZ2;
  } catch (...) {
  }
  const bool rar = ProbeOpen(kRar, path, false, 0, false);
  const bool zip = ProbeOpen(kZip, path, true, 24, true);
  const bool bga = ProbeOpen(kBga, path, false, 0, true);
  const bool yz1 = ProbeOpen(kYz1, path, false, 0, true);
  const bool cab = ProbeOpen(kCab, path, false, 0, false);
  const bool lha = ProbeOpen(kLha, path, true, 16, false);
  if (lha) return TArchiverType::atLha;
  if (cab) return TArchiverType::atCab;
  if (yz1) return TArchiverType::atYz1;
  if (bga) return TArchiverType::atBga;
  if (zip) return TArchiverType::atZip;
  if (rar) return TArchiverType::atRar;
  return tar;
}

namespace {

// The members each archive type's library stalled, faulted or ended its helper on: three
// different ones, and the type is not asked again until the libraries are released.
std::map<TArchiverType, std::set<std::string>>& Strikes() {
  static std::map<TArchiverType, std::set<std::string>> strikes;
  return strikes;
}
constexpr size_t kStrikes = 3;

}  // namespace

void ReleaseAllArchivers() {
  for (TFamily& family : Families()) {
    if (family.library) family.library->Free();
  }
  Strikes().clear();
}

TArchiveFile::TArchiveFile() = default;

TArchiveFile::~TArchiveFile() {
  if (progressWindow_ != nullptr) DestroyWindow(progressWindow_);
}

LRESULT CALLBACK TArchiveFile::ProgressProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
  static const UINT progressMessage = RegisterWindowMessageA("wm_arcextract");
  auto* self = reinterpret_cast<TArchiveFile*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == progressMessage && self != nullptr && self->OnProgress) {
    bool abort = false;
    try {
      self->OnProgress(*self, static_cast<int>(wParam), reinterpret_cast<const void*>(lParam),
                       abort);
    } catch (...) {
      self->handlerError_ = std::current_exception();
      abort = true;
    }
    return abort ? TRUE : FALSE;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// Lets the member through unless the component's handler asks to stop.
BOOL CALLBACK TArchiveFile::EnumMembersProc(void* memberInfo) {
  TArchiveFile* self = enumerating;
  if (self == nullptr || !self->OnEnumMember) return TRUE;
  bool abort = false;
  try {
    self->OnEnumMember(*self, memberInfo, abort);
  } catch (...) {
    self->handlerError_ = std::current_exception();
    abort = true;
  }
  return abort ? FALSE : TRUE;
}

HWND TArchiveFile::ProgressWindow() {
  if (progressWindow_ != nullptr) return progressWindow_;
  static const bool registered = [] {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &TArchiveFile::ProgressProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kProgressClass;
    return RegisterClassW(&windowClass) != 0;
  }();
  if (!registered) return nullptr;
  progressWindow_ = CreateWindowExW(0, kProgressClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
  if (progressWindow_ != nullptr)
    SetWindowLongPtrW(progressWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  return progressWindow_;
}

void TArchiveFile::SetFileName(const std::string& fileName) {
  TArchiverType type = ArchiverTypeOfName(fileName);
  if (type == TArchiverType::atProbeContent) type = ProbeArchiveContent(fileName);
  SetArchiverType(type);
  fileName_ = fileName;
}

void TArchiveFile::SetArchiverType(TArchiverType type) {
  struct TInstall {
    TArchiverDriver driver;
    int family;
  };
  TInstall install{};
  switch (type) {
    case TArchiverType::atLha:
      install = {TArchiverDriver::Lha, kLha};
      break;
    case TArchiverType::atZip:
      install = {TArchiverDriver::Zip, kZip};
      break;
    case TArchiverType::atCab:
      install = {TArchiverDriver::Cab, kCab};
      break;
    case TArchiverType::atTar:
      install = {TArchiverDriver::Tar, kTar};
      break;
    case TArchiverType::atTgz:
      install = {TArchiverDriver::Tgz, kTar};
      break;
    case TArchiverType::atBZ2:
      install = {TArchiverDriver::BZ2, kTar};
      break;
    case TArchiverType::atRar:
      install = {TArchiverDriver::Rar, kRar};
      break;
    case TArchiverType::atBga:
      install = {TArchiverDriver::Bga, kBga};
      break;
    case TArchiverType::atYz1:
      install = {TArchiverDriver::Yz1, kYz1};
      break;
    case TArchiverType::at7z:
      install = {TArchiverDriver::SevenZip, kSevenZip};
      break;
    case TArchiverType::atNone:
    case TArchiverType::atAutoDetect:
    case TArchiverType::atProbeContent:
      return;
    default:
      throw EArchiver("書庫の形式を特定できませんでした。");
  }
  library_ = &Library(install.family);
  driver_ = install.driver;
  type_ = type;
}

int TArchiveFile::ExtractMem(HWND window, TArchiverOptions* options, const std::string& member,
                             uint8_t* buffer, size_t size, size_t& written) {
  commandLine_.clear();
  written = 0;
  if (library_ == nullptr) throw EArchiver("書庫の形式を判別できません。");
  TArchiverOptions& o = options != nullptr ? *options : Options;

  // Set-up: the enumeration procedure, then the progress window as the library's owner window.
  struct TUndo {
    TArchiverLibrary* library;
    TArchiveFile* previous;
    bool enumerate = false;
    HWND owner = nullptr;
    ~TUndo() {
      try {
        if (enumerate) {
          if (auto clear =
                  As<TClearEnumMembersProc>(library->Resolve("ClearEnumMembersProc64", false)))
            clear();
        }
        if (owner != nullptr) {
          if (auto kill = As<TKillOwnerWindowEx>(library->Resolve("KillOwnerWindowEx", false)))
            kill(owner);
        }
      } catch (...) {
      }
      enumerating = previous;
    }
  } undo{library_, enumerating};
  if (OnEnumMember || o.IncludeExtraStreams) {
    enumerating = this;
    if (auto set = As<TSetEnumMembersProc>(library_->Resolve("SetEnumMembersProc64", false))) {
      set(reinterpret_cast<void*>(&TArchiveFile::EnumMembersProc), 1094);
      undo.enumerate = true;
    }
  }
  if (OnProgress) {
    try {
      HWND progress = ProgressWindow();
      auto set = As<TSetOwnerWindowEx>(library_->Resolve("SetOwnerWindowEx", false));
      if (progress != nullptr && set != nullptr && set(progress, nullptr)) undo.owner = progress;
    } catch (...) {
      // Progress is a courtesy: the extraction goes on without it.
    }
  }

  commandLine_ = ExtractMemCommandLine(driver_, AnsiPath(fileName_), Utf8ToAnsi(member), o,
                                       undo.owner != nullptr);
  auto extract = As<TExtractMem>(library_->Resolve("ExtractMem", true));
  DWORD done = 0;
  handlerError_ = nullptr;
  const int result = extract(window, commandLine_.c_str(), buffer, static_cast<DWORD>(size),
                             nullptr, nullptr, &done);
  written = std::min<size_t>(done, size);
  if (handlerError_) std::rethrow_exception(std::exchange(handlerError_, nullptr));
  return result;
}

TPluginHelper* TArchiveExtractor::Helper = nullptr;

void TArchiveExtractor::ExtractToMemory(const std::string& archive, const std::string& member,
                                        uint8_t* buffer, size_t bufferSize, size_t dataSize) {
  if (Helper != nullptr) {
    plugin_wire::TMessage request;
    request.Kind = plugin_wire::TKind::Extract;
    request.Plugin = archive;
    request.Text = member;
    request.Number = static_cast<int32_t>(std::min<size_t>(dataSize, INT32_MAX));
    request.Total = static_cast<int32_t>(std::min<size_t>(bufferSize, INT32_MAX));
    std::set<std::string>& strikes = Strikes()[ArchiverTypeOfName(archive)];
    if (strikes.size() >= kStrikes) {
      throw EArchiver("この形式の書庫ライブラリは応答しなかったため、今回は使いません。");
    }
    const std::string key = UpperCase(archive) + "|" + UpperCase(member);
    plugin_wire::TMessage result;
    try {
      result = Helper->Call(request, nullptr, TSPI::HelperSilenceMs);
    } catch (const EHelperCancelled&) {
      throw;  // given up by the program, not the library's doing
    } catch (const EHelperUnavailable&) {
      throw;  // no helper to call
    } catch (const EHelperFailed&) {
      strikes.insert(key);
      throw;
    }
    if (result.Total == 1) strikes.insert(key);  // it faulted in the helper
    if (const std::string error = plugin_answer::Extraction(result, bufferSize); !error.empty())
      throw EArchiver(error);
    Helper->PixelsInto(result, buffer);
    return;
  }
  TArchiveFile file;
  file.SetFileName(archive);
  file.Options.Num("jso") = 1;
  file.Options.Num("n") = 1;
  file.OutputSize = bufferSize;
  size_t written = 0;
  file.ExtractMem(owner_, nullptr, member, buffer, std::min(dataSize, bufferSize), written);
}

void ServeArchiveCall(const plugin_wire::TMessage& request, plugin_wire::TMessage& result,
                      const std::function<bool(const void*, size_t)>& publish) {
  const size_t bufferSize = request.Total > 0 ? static_cast<size_t>(request.Total) : 0;
  const size_t dataSize = request.Number > 0 ? static_cast<size_t>(request.Number) : 0;
  std::vector<uint8_t> buffer;
  size_t written = 0;
  std::string error;
  // The library's calls run under the fault guard: one that faults costs this member, and the
  // helper, whose state it may have left broken, ends after the answer.
  auto extract = [&]() -> int {
    try {
      buffer.assign(bufferSize, 0);
      TArchiveFile file;
      file.SetFileName(request.Plugin);
      file.Options.Num("jso") = 1;
      file.Options.Num("n") = 1;
      file.OutputSize = bufferSize;
      file.ExtractMem(nullptr, nullptr, request.Text, buffer.data(), std::min(dataSize, bufferSize),
                      written);
      return 0;
    } catch (const std::exception& e) {
      error = e.what();
      return -1;
    }
  };
  int outcome = -1;
  if (!CallGuarded(extract, outcome)) {
    result.Number = -1;
    result.Text = "書庫ライブラリが異常終了しました。";
    result.Total = 1;
    return;
  }
  result.Number = outcome;
  result.Text = error;
  if (outcome == 0 && written > 0 && !publish(buffer.data(), written)) {
    result.Number = -1;
    result.Text = "メモリが足りません。";
  }
}
