// In-memory stand-ins for the seams of the portable core: a file system, scripted dialogs, a
// fixed random sequence, a clock and a busy display that records what it was told.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Dialogs.h"
#include "base/Exception.h"
#include "base/Random.h"
#include "base/TextCase.h"
#include "engine/BusyDisplay.h"
#include "engine/FileSystem.h"
#include "engine/FolderIdentity.h"

// A tree of folders and files. Folder entries are listed in the order they were added.
class TFakeFileSystem final : public IFileSystem {
 public:
  struct Entry {
    std::string name;
    uint32_t attributes;
  };

  void AddFolder(const std::string& path) {
    folders_[Key(path)];
    const std::string parent = Parent(path);
    if (!parent.empty() && folders_.count(Key(parent))) {
      folders_[Key(parent)].push_back({Name(path), FileAttr::Directory});
    }
  }
  void AddFile(const std::string& path, uint32_t attributes = FileAttr::Archive,
               std::vector<std::string> lines = {}) {
    files_[Key(path)] = std::move(lines);
    folders_[Key(Parent(path))].push_back({Name(path), attributes});
  }

  // A link (a junction or symbolic link) at `path` to the folder `target`.
  void AddLink(const std::string& path, const std::string& target) {
    links_[Key(path)] = Key(target);
    folders_[Key(Parent(path))].push_back({Name(path), FileAttr::Directory | 0x400});
  }

  // Files that exist but another program holds: reading and writing them fail.
  std::set<std::string> locked;
  void Lock(const std::string& path) { locked.insert(Key(path)); }

  bool DirectoryExists(const std::string& path) override {
    return !path.empty() && folders_.count(Resolve(path)) != 0;
  }
  bool FileExists(const std::string& path) override { return files_.count(Resolve(path)) != 0; }
  void EnumerateFolder(const std::string& folder, const Visitor& visit) override {
    ++enumerations;
    const auto it = folders_.find(Resolve(folder));
    if (it == folders_.end()) return;
    visit(".", FileAttr::Directory);
    visit("..", FileAttr::Directory);
    for (const Entry& entry : it->second) visit(entry.name, entry.attributes);
  }
  std::vector<std::string> ReadListFile(const std::string& path) override {
    const auto it = files_.find(Key(path));
    if (it == files_.end() || locked.count(Key(path)) != 0) {
      throw EFOpenError("Cannot open file \"" + path + "\"");
    }
    return it->second;
  }
  void WriteListFile(const std::string& path, const std::vector<std::string>& lines) override {
    if (locked.count(Key(path)) != 0) throw EFCreateError("Cannot create file \"" + path + "\"");
    if (!files_.count(Key(path)))
      folders_[Key(Parent(path))].push_back({Name(path), FileAttr::Archive});
    files_[Key(path)] = lines;
  }
  // Relative paths are taken against C:\cwd.
  std::string FullPath(const std::string& path) override {
    if (path.empty() || (path.size() >= 2 && path[1] == ':') || path[0] == '\\') return path;
    return "C:\\cwd\\" + path;
  }
  // As the system tells a folder; a volume may answer index 0 for every folder, or repeat one,
  // or repeat one and the creation time with it (every folder made by one copy).
  enum class TIndexes { Unique, Zero, Repeated, RepeatedWithTime };
  std::string FolderIdentity(const std::string& folder) override {
    const std::string resolved = Resolve(folder);
    if (folders_.count(resolved) == 0) return {};
    TFolderFacts facts;
    facts.VolumeSerial = 7;
    facts.FinalPath = resolved;
    facts.CreationTime =
        indexes == TIndexes::RepeatedWithTime ? 1000 : std::hash<std::string>()(resolved);
    facts.FileIndex = indexes == TIndexes::Zero     ? 0
                      : indexes != TIndexes::Unique ? 42
                                                    : facts.CreationTime | 1;
    return FolderIdentityText(facts);
  }
  TIndexes indexes = TIndexes::Unique;

  int enumerations = 0;

 private:
  static std::string Key(std::string path) {
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    return UpperCase(path);
  }
  // The folder a path reaches once every link on its way is followed.
  std::string Resolve(const std::string& path) {
    std::string key = Key(FullPath(path));
    for (int hops = 0; hops < 64; ++hops) {
      bool followed = false;
      for (const auto& [link, target] : links_) {
        if (key.rfind(link, 0) == 0 && (key.size() == link.size() || key[link.size()] == '\\')) {
          key = target + key.substr(link.size());
          followed = true;
          break;
        }
      }
      if (!followed) break;
    }
    return key;
  }
  static std::string Parent(const std::string& path) {
    std::string p = path;
    while (!p.empty() && p.back() == '\\') p.pop_back();
    const size_t slash = p.rfind('\\');
    return slash == std::string::npos ? std::string() : p.substr(0, slash);
  }
  static std::string Name(const std::string& path) {
    std::string p = path;
    while (!p.empty() && p.back() == '\\') p.pop_back();
    return p.substr(p.rfind('\\') + 1);
  }

  std::map<std::string, std::vector<Entry>> folders_;
  std::map<std::string, std::string> links_;
  std::map<std::string, std::vector<std::string>> files_;
};

// Answers dialogs from queues and records every text shown.
class TScriptedDialogs final : public IDialogs {
 public:
  void Beep(unsigned soundType) override { beeps.push_back(soundType); }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowError(const std::exception& error) override { errors.emplace_back(error.what()); }
  bool OpenFile(const TFileDialogOptions& options, std::string& path) override {
    return Answer(options, path);
  }
  bool SaveFile(const TFileDialogOptions& options, std::string& path) override {
    return Answer(options, path);
  }
  bool InputQuery(const std::string& caption, const std::string& prompt,
                  std::string& value) override {
    queries.push_back(caption + "|" + prompt + "|" + value);
    if (answers.empty()) throw std::logic_error("unexpected input query");
    value = answers.front();
    answers.pop_front();
    return !value.empty();
  }
  std::string BrowseForFolder(const TBrowseOptions& options) override {
    folderTitles.push_back(options.Title);
    folderInitials.push_back(options.InitialFolder);
    folderDialogs.push_back(options);
    Open();
    if (answers.empty()) throw std::logic_error("unexpected folder dialog");
    std::string answer = answers.front();
    answers.pop_front();
    return answer;
  }

  bool PickColor(TColor& color) override {
    colorPresets.push_back(color);
    if (colors.empty()) return false;
    color = colors.front();
    colors.pop_front();
    return true;
  }
  bool PickFont(TMessFont& font) override {
    fontDialogs += 1;
    if (!fontAnswer) return false;
    fontAnswer(font);
    return true;
  }
  void ShellOpen(const std::string& path) override { opened.push_back(path); }
  int Confirm(const std::string& text, int buttons) override {
    confirmations.push_back(text);
    confirmButtons.push_back(buttons);
    Open();
    if (confirmAnswers.empty()) throw std::logic_error("unexpected confirmation");
    const int answer = confirmAnswers.front();
    confirmAnswers.pop_front();
    return answer;
  }
  std::vector<std::string> confirmations;
  std::vector<int> confirmButtons;
  std::deque<int> confirmAnswers;

  // Runs while a folder dialog or a confirmation is open, as its modal loop would (a test
  // pumps messages here); `depth` counts the ones open at once.
  std::function<void()> whileOpen;
  int depth = 0;
  int deepest = 0;

  std::deque<std::string> answers;  // "" cancels
  std::deque<TColor> colors;        // empty: the colour dialog is cancelled
  std::vector<TColor> colorPresets;
  std::function<void(TMessFont&)> fontAnswer;  // unset: the font dialog is cancelled
  int fontDialogs = 0;
  std::vector<std::string> opened;
  std::vector<TFileDialogOptions> fileDialogs;
  std::vector<std::string> folderTitles;
  std::vector<std::string> queries;
  std::vector<std::string> folderInitials;
  std::vector<TBrowseOptions> folderDialogs;
  std::vector<unsigned> beeps;
  std::vector<std::string> messages;
  std::vector<std::string> errors;

 private:
  void Open() {
    if (!whileOpen) return;
    deepest = std::max(deepest, ++depth);
    whileOpen();
    --depth;
  }
  bool Answer(const TFileDialogOptions& options, std::string& path) {
    fileDialogs.push_back(options);
    if (answers.empty()) throw std::logic_error("unexpected file dialog");
    path = answers.front();
    answers.pop_front();
    return !path.empty();
  }
};

// Replays a fixed sequence (modulo the range), then a counter.
class TFixedRandom final : public IRandom {
 public:
  explicit TFixedRandom(std::vector<uint32_t> values = {}) : values_(std::move(values)) {}
  uint32_t Next(uint32_t range) override {
    if (range == 0) return 0;
    const uint32_t v = pos_ < values_.size() ? values_[pos_] : static_cast<uint32_t>(pos_ * 7919u);
    ++pos_;
    return v % range;
  }

 private:
  std::vector<uint32_t> values_;
  size_t pos_ = 0;
};

class TFakeClock final : public IClock {
 public:
  uint32_t TickCount() override { return ticks += 10; }
  uint32_t ticks = 1000;
};

class TRecordingBusy final : public IBusyDisplay {
 public:
  uint32_t PanelColor() override { return color; }
  void SetPanelColor(uint32_t c) override {
    color = c;
    colors.push_back(c);
  }
  void SetAppTitle(const std::string& t) override {
    title = t;
    titles.push_back(t);
  }
  std::string Caption() override { return "Vesko 2"; }

  uint32_t color = 0xD2E4F4;
  std::string title = "Vesko 2";
  std::vector<uint32_t> colors;
  std::vector<std::string> titles;
};
