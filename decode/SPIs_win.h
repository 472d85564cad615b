// The plug-in host: finds Susie plug-ins in its search folders, loads and checks them, keeps
// the accepted ones in load order and registers their extensions as picture formats. One per
// process; the plug-in graphic classes find it through Instance().
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "decode/PictureFormats.h"
#include "decode/SPI_win.h"

// A picture class to register an extension with; empty suppresses the registration.
struct TGraphicClass {
  std::string Name;
  std::function<std::unique_ptr<TGraphic>()> Create;
  bool Empty() const { return !Create; }
};

enum TSPISearchOption {
  spsSusieDir = 1,
  spsAppDir = 2,
  spsCurrentDir = 4,
  spsSystemDir = 8,
  spsWindowsDir = 16,
};

class TInSPI;

class TSPIs {
 public:
  // ESPIDupCreateSPIs when another host exists.
  TSPIs();
  TSPIs(const TSPIs&) = delete;
  TSPIs& operator=(const TSPIs&) = delete;
  ~TSPIs();

  static TSPIs* Instance() { return instance_; }
  // The class offered for each plug-in extension before OnPictureRegister runs.
  static TGraphicClass DefaultGraphicClass;

  unsigned SearchOptions = spsSusieDir | spsAppDir;
  // The program's folder for spsAppDir; the running module's folder when empty.
  std::string AppFolder;
  // Files a search skipped because they are no usable plug-in (entry points missing, a 64-bit
  // or foreign DLL): each as its path, a line break and the reason.
  std::vector<std::string> SkippedFiles;
  bool AutoSearch = true;
  bool MacBinary = true;
  bool GraphicPreview = false;
  TInSPI* GraphicForcedLoader = nullptr;

  std::function<void(TSPIs& sender, const std::string& fileName, bool& accept)> OnSearching;
  std::function<void(TSPIs& sender, TSPI& spi, bool& accept)> OnSearch;
  std::function<void(TSPIs& sender, TSPI& spi, const std::string& extension,
                     const std::string& description, TGraphicClass& graphicClass)>
      OnPictureRegister;

  // Runs the automatic search ("*.spi") when AutoSearch is on; call once the options are set.
  void Loaded();
  // A mask with a folder searches only that folder; otherwise the option folders in order.
  void Search(const std::string& mask);

  int Count() const { return static_cast<int>(list_.size()); }
  TSPI& Item(int index) const { return *list_[static_cast<size_t>(index)]; }
  int IndexOf(const std::string& fileName) const;
  void Add(std::unique_ptr<TSPI> spi) { Insert(Count(), std::move(spi)); }
  void Insert(int index, std::unique_ptr<TSPI> spi);
  void Delete(int index);
  void Clear();

  // The import plug-ins for a file, preferring ones first (in reverse load order), then the
  // others in load order.
  std::vector<TInSPI*> GetInSPIs(const std::string& fileName) const;
  // The folders a search without a folder walks, in order, each ending in "\".
  std::vector<std::string> SearchFolders() const;

 private:
  void SearchFolder(const std::string& folder, const std::string& pattern);

  static TSPIs* instance_;
  std::vector<std::unique_ptr<TSPI>> list_;
};
