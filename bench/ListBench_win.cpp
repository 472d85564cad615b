// Building PictureList from a big folder, against what any program must pay for the same
// folder: a bare FindFirstFile/FindNextFile enumeration. Both run in this process on the same
// folder, alternately, and the report gives medians and their ratio.
//   list_bench [file count] [folder]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "base/Dialogs.h"
#include "base/Random.h"
#include "base/Unicode_win.h"
#include "bench/BenchTiming.h"
#include "engine/BusyDisplay.h"
#include "engine/FileSystem_win.h"
#include "engine/PictureList.h"

namespace {

class TQuietDialogs final : public IDialogs {
 public:
  void Beep(unsigned) override {}
  void ShowMessage(const std::string&) override {}
  void ShowError(const std::exception&) override {}
  bool OpenFile(const TFileDialogOptions&, std::string&) override { return false; }
  bool SaveFile(const TFileDialogOptions&, std::string&) override { return false; }
  bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }
  std::string BrowseForFolder(const TBrowseOptions&) override { return {}; }
  bool PickColor(TColor&) override { return false; }
  bool PickFont(TMessFont&) override { return false; }
  void ShellOpen(const std::string&) override {}
  int Confirm(const std::string&, int) override { return kAnswerCancel; }
};

class TNoBusy final : public IBusyDisplay {
 public:
  uint32_t PanelColor() override { return 0; }
  void SetPanelColor(uint32_t) override {}
  void SetAppTitle(const std::string&) override {}
  std::string Caption() override { return {}; }
};

class TTicks final : public IClock {
 public:
  uint32_t TickCount() override { return GetTickCount(); }
};

// Creates the folder with `count` files unless it already holds them (kept between runs).
void Prepare(const std::wstring& folder, int count) {
  const std::wstring stamp = folder + L"\\.count-" + std::to_wstring(count);
  if (GetFileAttributesW(stamp.c_str()) != INVALID_FILE_ATTRIBUTES) return;
  CreateDirectoryW(folder.c_str(), nullptr);
  const wchar_t* extensions[] = {L".jpg", L".jpg",  L".JPG", L".bmp", L".png",
                                 L".txt", L".jpeg", L".jpg", L".ico", L".lnk"};
  for (int i = 0; i < count; ++i) {
    wchar_t name[64];
    swprintf(name, 64, L"\\img%06d%ls", i, extensions[i % 10]);
    HANDLE file = CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_ARCHIVE, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  CloseHandle(CreateFileW(stamp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
  std::wstring folder;
  if (argc > 2) {
    folder = ToWide(argv[2]);
  } else {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder = std::wstring(temp) + L"vesko2-bench-" + std::to_wstring(count);
  }
  const double prepare = TimeOnce([&] { Prepare(folder, count); });
  std::printf("folder of %d files ready in %.1f s\n", count, prepare);

  TWinFileSystem files;
  TQuietDialogs dialogs;
  TNoBusy busy;
  TRandom random(1);
  TTicks clock;
  TSettings settings;
  settings.PaperFolder = ToUtf8(folder);
  TPictureList list(settings, {files, dialogs, busy, random, clock});

  std::vector<double> bare;
  std::vector<double> ours;
  size_t seen = 0;
  const int rounds = count >= 50000 ? 5 : 9;
  for (int round = 0; round < rounds; ++round) {
    bare.push_back(TimeOnce([&] {
      WIN32_FIND_DATAW data;
      HANDLE find = FindFirstFileW((folder + L"\\*.*").c_str(), &data);
      seen = 0;
      if (find != INVALID_HANDLE_VALUE) {
        do {
          ++seen;
        } while (FindNextFileW(find, &data));
        FindClose(find);
      }
    }));
    ours.push_back(TimeOnce([&] { list.LoadPictureList(); }));
  }
  const double b = Median(bare);
  const double o = Median(ours);
  std::printf("bare FindFirstFile/FindNextFile: %.4f s for %zu entries\n", b, seen);
  std::printf("LoadPictureList (scan, filter, RandomList): %.4f s for %d pictures\n", o,
              list.MainListBox.Count());
  std::printf("ratio=%.2f (target: at most 1.5)\n", o / b);
  return list.MainListBox.Count() > 0 ? 0 : 1;
}
