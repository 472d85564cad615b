#include "app/PluginSetup_win.h"

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

bool IsOwnPlugin(const std::string& fileName) {
  wchar_t program[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  const std::string folder = ExtractFilePath(ToUtf8(std::wstring(program, length)));
  if (!SameText(ExtractFilePath(fileName), folder)) return false;
  const std::string name = ExtractFileName(fileName);
  return SameText(name, "ifpng.spi") || SameText(name, "ifwebp.spi") || SameText(name, "ifwic.spi");
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
