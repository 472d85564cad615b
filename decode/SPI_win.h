// One loaded Susie plug-in library: its kind, texts, filters and the nine entry points, each
// behind a wrapper that fails with ESPIInvalidAPI when the plug-in lacks it.
#pragma once

#include <windows.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "decode/PluginWire.h"
#include "decode/SusieApi.h"

class TPluginHelper;

class ESPIError : public Exception {
 public:
  using Exception::Exception;
};
class ESPIInvalidSPI : public ESPIError {
 public:
  using ESPIError::ESPIError;
};
class ESPIFOpenErrorSPI : public ESPIError {
 public:
  using ESPIError::ESPIError;
};
class ESPIInvalidAPI : public ESPIError {
 public:
  using ESPIError::ESPIError;
};
// A call into the plug-in faulted where the caller has no way to answer "cannot decode".
class ESPIFault : public ESPIError {
 public:
  using ESPIError::ESPIError;
};

class ESPIDupCreateSPIs : public ESPIError {
 public:
  using ESPIError::ESPIError;
};

using TSusieProgress = int(WINAPI*)(int done, int total, LONG_PTR user);
using TGetPluginInfo = int(WINAPI*)(int infoNumber, LPSTR buffer, int bufferLength);
using TIsSupported = int(WINAPI*)(LPCSTR fileName, void* header);
using TGetPictureInfo = int(WINAPI*)(LPCSTR source, LONG length, UINT flag,
                                     TSusiePictureInfo* info);
using TGetPicture = int(WINAPI*)(LPCSTR source, LONG length, UINT flag, HLOCAL* info,
                                 HLOCAL* pixels, TSusieProgress progress, LONG_PTR user);
// Our own plug-ins' entry point "Vesko2GetPictureInto" beside the Susie ones: GetPicture with
// the pixels written into memory the host hands out, `allocate` called once with their size
// (null: none). The helper hands out its section, so that a picture needs no copy there.
using TSusieAllocate = void*(WINAPI*)(size_t size, LONG_PTR user);
using TGetPictureInto = int(WINAPI*)(LPCSTR source, LONG length, UINT flag, HLOCAL* info,
                                     TSusieAllocate allocate, LONG_PTR allocateUser,
                                     TSusieProgress progress, LONG_PTR user);
constexpr const char* kGetPictureIntoName = "Vesko2GetPictureInto";

class TSPI {
 public:
  enum class Entry {
    GetPluginInfo,
    IsSupported,
    GetPictureInfo,
    GetPicture,
    GetPreview,
    GetArchiveInfo,
    GetFileInfo,
    GetFile,
    ConfigurationDlg,
    Count
  };

  TSPI() = default;
  TSPI(const TSPI&) = delete;
  TSPI& operator=(const TSPI&) = delete;
  virtual ~TSPI();

  // Loads the library, resolves the entry points, checks them for this class and reads the
  // plug-in's texts. ESPIFOpenErrorSPI when the library does not load, ESPIInvalidAPI when a
  // required entry point is missing.
  void Load(const std::string& fileName);

  virtual const char* ClassName() const { return "TSPI"; }
  // Raises ESPIInvalidAPI for the first required entry point that is absent.
  virtual void CheckAPI() const;
  virtual bool IsLoaderKind() const { return false; }

  std::string FileName;
  std::string APIVersion;
  std::string PluginName;
  std::vector<std::string> FilterList;
  std::vector<std::string> DescriptionList;
  bool IsLoader = false;

  bool Has(Entry entry) const {
    return remote_ ? (remoteEntries_ >> static_cast<int>(entry) & 1) != 0
                   : entries_[static_cast<int>(entry)] != nullptr;
  }
  // An entry point mask: bit n for Entry n.
  unsigned EntryMask() const;

  // Where plug-ins run: with a helper set, every plug-in loaded from then on is loaded by it and
  // every call goes to it, none into this process. A call that makes the helper fail (silent
  // past `HelperSilenceMs`, ended, faulted) fails like one that cannot decode; a plug-in whose
  // calls made it fail on three different files (or three times outside any file) is not
  // called again; one bad file, met again and again, costs only that file.
  static TPluginHelper* Helper;
  static unsigned HelperSilenceMs;
  // Which plug-ins the helper runs (by full path); unset, all of them.
  static bool (*RunsApart)(const std::string& fileName);
  bool Remote() const { return remote_; }
  // Whether a call into the plug-in faulted (an access violation inside it): such a plug-in is
  // not called again in this session.
  bool Faulted() const { return faulted_; }
  // How many calls failed in the helper (stalled, faulted, or it died): a caller that sees the
  // count move leaves the plug-in alone for the rest of that picture.
  int Failures() const { return failures_; }

  // Calls into the plug-in. A fault inside one counts as "this plug-in cannot decode this
  // file": IsSupported answers 0, the picture calls kInternalError, GetPluginInfo raises
  // ESPIFault.
  int GetPluginInfo(int infoNumber, char* buffer, int length) const;
  int IsSupported(const std::string& ansiName, void* header) const;
  int GetPictureInfo(const char* source, LONG length, UINT flag, TSusiePictureInfo* info) const;
  int GetPicture(const char* source, LONG length, UINT flag, HLOCAL* info, HLOCAL* pixels,
                 TSusieProgress progress, LONG_PTR user) const;
  int GetPreview(const char* source, LONG length, UINT flag, HLOCAL* info, HLOCAL* pixels,
                 TSusieProgress progress, LONG_PTR user) const;
  // GetPictureInto, for a plug-in loaded in this process that has it (HasPictureInto).
  bool HasPictureInto() const { return pictureInto_ != nullptr; }
  int GetPictureInto(const char* source, LONG length, UINT flag, HLOCAL* info,
                     TSusieAllocate allocate, LONG_PTR allocateUser, TSusieProgress progress,
                     LONG_PTR user) const;

 protected:
  void Require(Entry entry) const;

 private:
  // The two ways a plug-in loads: in the helper, or in this process.
  void LoadInHelper(const std::string& fileName);
  void LoadHere(const std::string& fileName);
  [[noreturn]] void ThrowUnusable(Entry entry) const;
  FARPROC Address(Entry entry) const;

  // Runs one call into the plug-in under the fault guard; `failed` when it faulted.
  template <typename F>
  int Guarded(F call, int failed) const;

  // One call through the helper; false (and the failure counted) when the helper failed.
  bool CallRemote(plugin_wire::TMessage& request, plugin_wire::TMessage& result,
                  TSusieProgress progress, LONG_PTR user) const;
  // A call that made the helper fail, counted against its source.
  void CountFailure(const plugin_wire::TMessage& request) const;
  int RemotePicture(plugin_wire::TKind kind, const char* source, LONG length, UINT flag,
                    HLOCAL* info, HLOCAL* pixels, TSusieProgress progress, LONG_PTR user) const;

  HMODULE module_ = nullptr;
  FARPROC entries_[static_cast<int>(Entry::Count)] = {};
  FARPROC pictureInto_ = nullptr;
  mutable bool faulted_ = false;
  bool remote_ = false;
  unsigned remoteEntries_ = 0;
  // The sources (files, or bytes in memory) whose calls made the helper fail.
  mutable std::set<std::string> failedSources_;
  mutable int failures_ = 0;
};

class TLoaderSPI : public TSPI {
 public:
  const char* ClassName() const override { return "TLoaderSPI"; }
  void CheckAPI() const override;
};

class TInSPI : public TLoaderSPI {
 public:
  const char* ClassName() const override { return "TInSPI"; }
  void CheckAPI() const override;
  bool IsLoaderKind() const override { return true; }
};

class TAmSPI : public TLoaderSPI {
 public:
  const char* ClassName() const override { return "TAmSPI"; }
  void CheckAPI() const override;
  bool IsLoaderKind() const override { return true; }
};

class TXnSPI : public TSPI {
 public:
  const char* ClassName() const override { return "TXnSPI"; }
};

// The kind dispatcher: loads the file once to learn its version, then as the class its version
// names. Null when the file is no loadable plug-in; ESPIInvalidAPI passes through.
std::unique_ptr<TSPI> CreateSPIByKind(const std::string& fileName);
