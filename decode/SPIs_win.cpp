#include "decode/SPIs_win.h"

#include <windows.h>

#include "base/Handles_win.h"
#include "base/Path.h"
#include "base/TextCase.h"
#include "base/Unicode_win.h"
#include "decode/SPIRules.h"

TSPIs* TSPIs::instance_ = nullptr;
TGraphicClass TSPIs::DefaultGraphicClass;

TSPIs::TSPIs() {
  if (instance_ != nullptr) throw ESPIDupCreateSPIs("TSPIs は複数生成できません");
  instance_ = this;
}

TSPIs::~TSPIs() {
  if (instance_ == this) instance_ = nullptr;
  Clear();
}

void TSPIs::Loaded() {
  if (AutoSearch) Search("*.spi");
}

int TSPIs::IndexOf(const std::string& fileName) const {
  for (size_t i = 0; i < list_.size(); ++i) {
    if (SameText(list_[i]->FileName, fileName)) return static_cast<int>(i);
  }
  return -1;
}

void TSPIs::Insert(int index, std::unique_ptr<TSPI> spi) {
  TSPI& plugin = *spi;
  list_.insert(list_.begin() + index, std::move(spi));
  if (dynamic_cast<TInSPI*>(&plugin) == nullptr) return;
  TPictureFormatRegistry& registry = TPictureFormatRegistry::Instance();
  for (size_t i = 0; i < plugin.FilterList.size(); ++i) {
    TGraphicClass graphicClass = DefaultGraphicClass;
    for (const std::string& extension : FilterExtensions(plugin.FilterList[i])) {
      if (OnPictureRegister) {
        OnPictureRegister(*this, plugin, extension, plugin.DescriptionList[i], graphicClass);
      }
      if (!graphicClass.Empty()) {
        registry.Register(extension, plugin.DescriptionList[i], graphicClass.Create);
      }
    }
  }
}

void TSPIs::Delete(int index) {
  list_.erase(list_.begin() + index);
}

void TSPIs::Clear() {
  while (!list_.empty()) Delete(0);
}

std::vector<TInSPI*> TSPIs::GetInSPIs(const std::string& fileName) const {
  std::vector<TInSPI*> candidates;
  std::vector<bool> prefers;
  for (const auto& spi : list_) {
    if (auto* in = dynamic_cast<TInSPI*>(spi.get())) {
      if (in->Faulted()) continue;  // it faulted once: not called again this session
      candidates.push_back(in);
      prefers.push_back(PrefersExtension(in->FilterList, fileName));
    }
  }
  std::vector<TInSPI*> ordered;
  for (size_t i : PreferenceOrder(prefers)) ordered.push_back(candidates[i]);
  return ordered;
}

std::vector<std::string> TSPIs::SearchFolders() const {
  std::vector<std::string> folders;
  auto add = [&](const std::wstring& folder) {
    if (!folder.empty()) folders.push_back(IncludeTrailingPathDelimiter(ToUtf8(folder)));
  };
  if (SearchOptions & spsSusieDir) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Marovane\\Susie\\Plug-in", 0, KEY_READ,
                      &key) == ERROR_SUCCESS) {
      wchar_t value[MAX_PATH] = {};
      DWORD size = sizeof value - sizeof(wchar_t);
      DWORD type = 0;
      if (RegQueryValueExW(key, L"Path", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
              ERROR_SUCCESS &&
          (type == REG_SZ || type == REG_EXPAND_SZ)) {
        add(value);
      }
      RegCloseKey(key);
    }
  }
  if (SearchOptions & spsAppDir) {
    if (!AppFolder.empty()) {
      add(ToWide(AppFolder));
    } else {
      wchar_t path[MAX_PATH] = {};
      const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
      add(ToWide(ExtractFilePath(ToUtf8(std::wstring(path, length)))));
    }
  }
  if (SearchOptions & spsCurrentDir) {
    wchar_t path[MAX_PATH] = {};
    if (GetCurrentDirectoryW(MAX_PATH, path) != 0) add(path);
  }
  if (SearchOptions & spsSystemDir) {
    wchar_t path[MAX_PATH] = {};
    if (GetSystemDirectoryW(path, MAX_PATH - 1) != 0) add(path);
  }
  if (SearchOptions & spsWindowsDir) {
    wchar_t path[MAX_PATH] = {};
    if (GetWindowsDirectoryW(path, MAX_PATH - 1) != 0) add(path);
  }
  return folders;
}

void TSPIs::Search(const std::string& mask) {
  const std::string folder = ExtractFilePath(mask);
  if (!folder.empty()) {
    SearchFolder(IncludeTrailingPathDelimiter(folder), ExtractFileName(mask));
    return;
  }
  for (const std::string& each : SearchFolders()) SearchFolder(each, mask);
}

void TSPIs::SearchFolder(const std::string& folder, const std::string& pattern) {
  std::vector<std::string> candidates;
  WIN32_FIND_DATAW data;
  TFindHandle find(FindFirstFileW(ToWide(folder + pattern).c_str(), &data));
  if (find) {
    do {
      if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN)) continue;
      const std::string path = folder + ToUtf8(data.cFileName);
      if (IndexOf(path) == -1) candidates.push_back(path);
    } while (FindNextFileW(find.get(), &data));
  }
  for (const std::string& path : candidates) {
    bool accept = true;
    if (OnSearching) OnSearching(*this, path, accept);
    if (!accept) continue;
    // A file that loads but is no usable plug-in is named and skipped; the search goes on, so
    // that the plug-ins after it still load.
    std::unique_ptr<TSPI> spi;
    try {
      spi = CreateSPIByKind(path);
    } catch (const std::exception& error) {
      SkippedFiles.push_back(path + "\r" + error.what());
      continue;
    }
    if (!spi) continue;
    accept = true;
    try {
      if (OnSearch) OnSearch(*this, *spi, accept);
    } catch (...) {
      continue;  // the plug-in is destroyed with its pointer
    }
    if (!accept) continue;
    // A failure while the plug-in is registered: it is already listed, so it stays (it is not
    // destroyed while listed) and the search goes on with the next file.
    try {
      Add(std::move(spi));
    } catch (...) {
    }
  }
}
