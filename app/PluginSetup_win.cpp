#include "app/PluginSetup_win.h"

#include <windows.h>
// after windows.h
#include <bcrypt.h>

#include <memory>

#include "base/Handles_win.h"

#include "base/Path.h"
#include "base/TextCase.h"
#include "base/Unicode_win.h"
#include "decode/SPIGraphic_win.h"
#include "decode/SPIs_win.h"

void ConfigureMainWindowSPIs(TSPIs& spis) {
  TSPIs::DefaultGraphicClass = {"TSPIBitmap", [] { return std::make_unique<TSPIBitmap>(); }};
  // Never the current folder: a program started from a download folder would run whatever
  // plug-in lies there.
  spis.SearchOptions = spsSusieDir | spsAppDir | spsSystemDir | spsWindowsDir;
  spis.GraphicPreview = false;
  spis.MacBinary = true;
  spis.AutoSearch = true;
  spis.GraphicForcedLoader = nullptr;
  // SPIsSearching: these plug-ins are never loaded.
  spis.OnSearching = [](TSPIs&, const std::string& fileName, bool& accept) {
    const std::string name = ExtractFileName(fileName);
    if (SameText(name, "IFHG.SPI") || SameText(name, "IFBMP.SPI") || SameText(name, "IFMM.SPI")) {
      accept = false;
    }
  };
  // SPIsSearch: only import filters stay.
  spis.OnSearch = [](TSPIs&, TSPI& spi, bool& accept) {
    accept = dynamic_cast<TInSPI*>(&spi) != nullptr;
  };
  // SPIsPictureRegister: plug-in formats load as TSPIDIBImage; the built-in ones keep theirs.
  // Icons have no class of their own here: they come from the plug-in, and so join the open
  // dialog's filter.
  spis.OnPictureRegister = [](TSPIs&, TSPI&, const std::string& extension, const std::string&,
                              TGraphicClass& graphicClass) {
    graphicClass = {"TSPIDIBImage", [] { return std::make_unique<TSPIDIBImage>(); }};
    const std::string upper = UpperCase(extension);
    if (upper == "JPG" || upper == "BMP" || upper == "JPEG") graphicClass = {};
  };
}

bool IsOwnPlugin(const std::string& fileName, const std::vector<TOwnPlugin>& ours) {
  wchar_t program[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  const std::string folder = ExtractFilePath(ToUtf8(std::wstring(program, length)));
  if (!SameText(ExtractFilePath(fileName), folder)) return false;
  const std::string name = ExtractFileName(fileName);
  for (const TOwnPlugin& own : ours) {
    if (SameText(name, own.Name)) return FileSha256(fileName) == own.Sha256;
  }
  return false;
}

std::string FileSha256(const std::string& fileName) {
  THandle file(CreateFileW(ToWide(fileName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return {};
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
    return {};
  std::unique_ptr<void, void (*)(void*)> closeAlgorithm(
      algorithm, [](void* a) { BCryptCloseAlgorithmProvider(a, 0); });
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) return {};
  std::unique_ptr<void, void (*)(void*)> closeHash(hash, [](void* h) { BCryptDestroyHash(h); });
  std::vector<UCHAR> buffer(1 << 16);
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
      return {};
    if (read == 0) break;
    if (!BCRYPT_SUCCESS(BCryptHashData(hash, buffer.data(), read, 0))) return {};
  }
  UCHAR digest[32] = {};
  if (!BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, sizeof digest, 0))) return {};
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (const UCHAR byte : digest) {
    text += kHex[byte >> 4];
    text += kHex[byte & 15];
  }
  return text;
}

std::vector<std::string> PluginFirstFilters(const TSPIs& spis) {
  std::vector<std::string> filters;
  for (int i = 0; i < spis.Count(); ++i) {
    const TSPI& spi = spis.Item(i);
    if (spi.FilterList.empty()) continue;
    if (spi.PluginName.rfind("Vesko 2 ", 0) == 0) {
      filters.insert(filters.end(), spi.FilterList.begin(), spi.FilterList.end());
    } else {
      filters.push_back(spi.FilterList.front());
    }
  }
  return filters;
}
