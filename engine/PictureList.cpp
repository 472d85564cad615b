#include "engine/PictureList.h"

#include <algorithm>
#include <set>

#include "app/Settings.h"
#include "base/Dialogs.h"
#include "base/Exception.h"
#include "base/Path.h"
#include "base/Random.h"
#include "base/TextCase.h"
#include "engine/BusyDisplay.h"
#include "engine/FileSystem.h"
#include "engine/ListRemoval.h"
#include "engine/ShuffleRound.h"

namespace {

// Sets the main window's tag for the life of one of its dialogs.
class TDialogGuard {
 public:
  explicit TDialogGuard(int* tag) : tag_(tag) {
    if (tag_ != nullptr) *tag_ = 1;
  }
  TDialogGuard(const TDialogGuard&) = delete;
  TDialogGuard& operator=(const TDialogGuard&) = delete;
  ~TDialogGuard() {
    if (tag_ != nullptr) *tag_ = 0;
  }

 private:
  int* tag_;
};

}  // namespace

namespace {

void ScanTree(IFileSystem& files, const std::string& folder, std::set<std::string>& entered,
              std::vector<std::string>& list) {
  const std::string base = IncludeTrailingPathDelimiter(folder);
  // A link back to a folder on the way would repeat the tree without end.
  const std::string identity = files.FolderIdentity(base);
  if (!identity.empty() && !entered.insert(identity).second) return;
  files.EnumerateFolder(base, [&](std::string_view name, uint32_t attributes) {
    if (name == "." || name == "..") return;
    std::string path = base;
    path += name;
    if ((attributes & FileAttr::Directory) != 0) {
      ScanTree(files, path, entered, list);
    } else {
      list.push_back(std::move(path));
    }
  });
}

}  // namespace

void ScanFolder(IFileSystem& files, const std::string& folder, bool recurse,
                std::vector<std::string>& list) {
  if (recurse) {
    std::set<std::string> entered;
    ScanTree(files, folder, entered, list);
    return;
  }
  const std::string base = IncludeTrailingPathDelimiter(folder);
  list.clear();
  files.EnumerateFolder(base, [&](std::string_view name, uint32_t attributes) {
    // Every file joins, whatever its attributes: one that carries only "normal" too.
    if ((attributes & FileAttr::Directory) == 0) list.push_back(base + std::string(name));
  });
}

bool IsFullPath(const std::string& path) {
  return FullPathRootLength(path) != 0;
}

std::string ResolveAgainst(const std::string& base, const std::string& path) {
  if (IsFullPath(path)) return path;
  return IncludeTrailingPathDelimiter(base) + path;
}

std::string ListEntryPath(IFileSystem& files, const std::string& listFolder,
                          const std::string& line) {
  if (line.empty()) return line;
  if (IsFullPath(line)) return CanonicalPath(line);
  if (line[0] == '\\' || line[0] == '/') {
    // The root keeps its separator: "\\srv\share" alone ends without one.
    const size_t root = FullPathRootLength(listFolder);
    if (root != 0) {
      std::string base = listFolder.substr(0, root);
      if (base.back() != '\\' && base.back() != '/') base += '\\';
      return CanonicalPath(base + line.substr(1));
    }
  }
  // "C:pic.jpg" names a file in that drive's current folder, which only the system knows.
  if (line.size() >= 2 && line[1] == ':') return files.FullPath(line);
  return CanonicalPath(ResolveAgainst(listFolder, line));
}

int StepIndex(int count, int index, bool forward) {
  if (forward) return index + 1 > count - 1 ? 0 : index + 1;
  return index - 1 < 0 ? count - 1 : index - 1;
}

TPictureList::TPictureList(TSettings& settings, TPictureListEnv env)
    : settings_(settings), env_(env) {}

void TPictureList::LoadPictureList() {
  TBusyScope busy(env_.Busy, kBusyBlue, "Load List..");
  CursorBeforeGone = false;
  std::vector<std::string> entries;
  // Entries are full paths, whatever form the source was named in: the shell's operations on
  // them (the recycle bin above all) need full paths, and the current folder may change.
  // "D:\My pics\" and "D:\My pics" are one source: one history entry, one random round.
  if (!settings_.PaperFolder.empty()) {
    settings_.PaperFolder =
        ExcludeTrailingPathDelimiter(env_.Files.FullPath(settings_.PaperFolder));
  }
  if (!settings_.PaperName.empty()) settings_.PaperName = env_.Files.FullPath(settings_.PaperName);
  if (env_.Files.DirectoryExists(settings_.PaperFolder)) {
    ScanFolder(env_.Files, settings_.PaperFolder, settings_.SubDir, entries);
    std::erase_if(entries, [&](const std::string& path) { return !ExtensionList.Accepts(path); });
  } else if (!settings_.PaperFolder.empty()) {
    busy.SetTitle("Load FileList..");
    entries = env_.Files.ReadListFile(settings_.PaperFolder);
    // Every line in the form the system gives a path, so that PaperName (made full the same
    // way) finds its line whatever form a script wrote it in: "C:/pics/a.jpg", ".\a.jpg",
    // "\pics\a.jpg". Full lines take no call into the system: a big list costs nothing more.
    const std::string listFolder = ExtractFileDir(settings_.PaperFolder);
    for (std::string& entry : entries) entry = ListEntryPath(env_.Files, listFolder, entry);
  }
  ReadExcluded();
  if (!Excluded.Empty()) {
    std::erase_if(entries, [&](const std::string& path) { return Excluded.Contains(path); });
  }
  // An empty source (a first start has none) is an empty list, not a file that failed to open.
  MainListBox.Assign(std::move(entries));

  busy.SetTitle("Set RandomList..");
  RandomListBox.Clear();
  if (MainListBox.Empty()) {
    ListLoadedTick = env_.Clock.TickCount();
    return;
  }
  // The round goes on over a reload or a restart; a new source starts a new one.
  const bool newRound =
      settings_.RandomSeed == 0 || !SameText(settings_.RandomSource, settings_.PaperFolder);
  if (newRound) {
    settings_.RandomSeed = static_cast<int32_t>(RoundSeed(env_.Random.Next(UINT32_MAX)));
    settings_.RandomSource = settings_.PaperFolder;
  }
  SetRandomOrder();

  roundStartCache_ = -1;
  int index = MainListBox.IndexOf(settings_.PaperName);
  CursorBeforeGone = index < 0 && settings_.RandomLoad && !newRound && !settings_.PaperName.empty();
  if (CursorBeforeGone) {
    // The current picture is gone (deleted, moved): the round goes on after the place it had,
    // the cursor on the picture before it so that the next step shows the one after it.
    const int n = RandomListBox.Count();
    const int place = RoundPlace(settings_.PaperName);
    RandomListBox.ItemIndex = (place + n - 1) % n;
    MainListBox.ItemIndex = std::stoi(RandomListBox.Current());
    roundOffset_ = (place - RoundStartIndex() + n) % n - 1;
  } else {
    if (index < 0) {
      // A new round starts at its beginning, so that it shows every picture before the next.
      index = settings_.RandomLoad
                  ? std::stoi(RandomListBox.Items.front())
                  : static_cast<int>(env_.Random.Next(static_cast<uint32_t>(MainListBox.Count())));
    }
    if (newRound) {
      // No step of the old source's round counts in the new one.
      settings_.RandomFirst = MainListBox.Items[static_cast<size_t>(index)];
      roundOffset_ = 0;
    }
    MainListBox.ItemIndex = index;
    RandomListBox.ItemIndex = RandomListBox.IndexOf(std::to_string(index));
  }
  ListLoadedTick = env_.Clock.TickCount();
  if (AddHistory) AddHistory(settings_.PaperFolder);
}

void TPictureList::FileDropFileDrop(const TComponent* sender, const std::vector<std::string>& files,
                                    int /*x*/, int /*y*/) {
  if (files.size() != 1) {
    WarnMessage(env_.Dialogs, "ドラッグ＆ドロップは一つだけ");
    return;
  }
  if (env_.Files.FileExists(files[0])) {
    settings_.PaperName = files[0];
    if (sender != nullptr) settings_.PaperFolder = ExtractFileDir(settings_.PaperName);
  } else {
    settings_.PaperFolder = files[0];
    settings_.PaperName.clear();
  }
  LoadPictureList();
  // A picture named on purpose that is on the exclusion list: the user learns why another
  // shows instead.
  const std::string named = settings_.PaperName;
  if (!named.empty() && MainListBox.IndexOf(named) < 0 && Excluded.Contains(named)) {
    WarnMessage(env_.Dialogs, "「この画像を今後表示しない」にした画像です\r" + named +
                                  "\r\r設定の「その他」ページの「除外を解除」で、また表示されます");
  }
  if (MainListBox.Empty()) {
    WarnMessage(env_.Dialogs, "ファイルがありません");
    return;
  }
  if (SetCurrentPicture) SetCurrentPicture();
  if (AddHistory) AddHistory(settings_.PaperFolder);
}

void TPictureList::OpenPath(const TComponent* sender, const std::string& path) {
  if (path.empty()) return;
  if (env_.Files.DirectoryExists(path) || env_.Files.FileExists(path)) {
    FileDropFileDrop(sender, {path}, 0, 0);
  }
}

void TPictureList::SetRandomOrder() {
  SetRandomOrder(RoundOrder(MainListBox.Items, static_cast<uint32_t>(settings_.RandomSeed)));
}

void TPictureList::SetRandomOrder(const std::vector<int>& order) {
  std::vector<std::string> items;
  items.reserve(order.size());
  for (const int position : order) items.push_back(std::to_string(position));
  RandomListBox.Assign(std::move(items));
}

void TPictureList::StepActiveOrder(bool forward) {
  if (MainListBox.Empty()) return;
  if (settings_.RandomLoad && !RandomListBox.Empty()) {
    const int n = RandomListBox.Count();
    SyncRoundOffset(RoundStartIndex());
    if (forward && roundOffset_ + 1 >= n) {
      // The round is over: a new order, which does not begin with the picture that ended it.
      // That is the picture shown, which is not the cursor's when an unreadable entry the
      // change stepped onto ended the round.
      settings_.RandomSeed = static_cast<int32_t>(RoundSeed(env_.Random.Next(UINT32_MAX)));
      settings_.RandomSource = settings_.PaperFolder;
      std::vector<int> order =
          RoundOrder(MainListBox.Items, static_cast<uint32_t>(settings_.RandomSeed));
      const int shown = MainListBox.IndexOf(settings_.PaperName);
      const int start = RoundStart(order, shown >= 0 ? shown : MainListBox.ItemIndex);
      SetRandomOrder(order);
      RandomListBox.ItemIndex = start;
      settings_.RandomFirst =
          MainListBox.Items[static_cast<size_t>(order[static_cast<size_t>(start)])];
      roundStartCache_ = start;
      roundOffset_ = 0;
    } else {
      RandomListBox.ItemIndex = StepIndex(n, RandomListBox.ItemIndex, forward);
      roundOffset_ += forward ? 1 : -1;
      if (roundOffset_ <= -n) roundOffset_ += n;
    }
    const int position = std::stoi(RandomListBox.Current());
    MainListBox.ItemIndex = std::clamp(position, 0, MainListBox.Count() - 1);
  } else {
    MainListBox.ItemIndex = StepIndex(MainListBox.Count(), MainListBox.ItemIndex, forward);
  }
}

void TPictureList::SyncRoundOffset(int start) {
  const int n = RandomListBox.Count();
  if (n == 0) return;
  const int at = RandomListBox.ItemIndex;
  if (((start + roundOffset_) % n + n) % n != at) roundOffset_ = ((at - start) % n + n) % n;
}

void TPictureList::RemoveCurrent(const std::function<void(bool)>& renumbering) {
  const bool round = settings_.RandomLoad && !RandomListBox.Empty();
  if (round) SyncRoundOffset(RoundStartIndex());
  RemoveCurrentPicture(MainListBox, RandomListBox, settings_.RandomLoad, renumbering);
  // The cursor went one back, so that the next step shows the picture that followed.
  if (round) --roundOffset_;
  roundStartCache_ = -1;
}

std::vector<std::string> TPictureList::ReadExcludedLines() {
  if (ExcludedFile.empty() || !env_.Files.FileExists(ExcludedFile)) return {};
  return env_.Files.ReadListFile(ExcludedFile);
}

std::vector<std::string> TPictureList::ExcludedPaths(const std::vector<std::string>& lines) {
  const std::string folder = ExtractFileDir(ExcludedFile);
  std::vector<std::string> paths;
  paths.reserve(lines.size());
  for (const std::string& line : lines) paths.push_back(ListEntryPath(env_.Files, folder, line));
  return paths;
}

void TPictureList::ReadExcluded() {
  if (ExcludedFile.empty()) return;
  try {
    Excluded.Assign(ExcludedPaths(ReadExcludedLines()));
  } catch (const EFOpenError&) {
    // Locked or unreadable for now: the pictures excluded so far stay excluded.
  }
}

bool TPictureList::ExcludeCurrent(const std::function<void(bool)>& renumbering) {
  if (MainListBox.ItemIndex < 0 || MainListBox.Current().empty()) return false;
  const std::string entry = MainListBox.Current();
  if (!ExcludedFile.empty()) {
    // The file as it stands now, so that lines added by hand meanwhile are kept.
    std::vector<std::string> lines = ReadExcludedLines();
    TExcludedPictures excluded;
    excluded.Assign(ExcludedPaths(lines));
    if (excluded.Add(entry)) {
      lines.push_back(entry);
      env_.Files.WriteListFile(ExcludedFile, lines);
    }
    Excluded = std::move(excluded);
  } else {
    Excluded.Add(entry);
  }
  excludedNow_.push_back(entry);
  RemoveCurrent(renumbering);
  // A list file may name the picture again, in another form: every line of it goes.
  for (int i = MainListBox.Count() - 1; i >= 0; --i) {
    if (Excluded.Contains(MainListBox.Items[static_cast<size_t>(i)]))
      RemoveOtherPicture(MainListBox, RandomListBox, i);
  }
  return true;
}

std::string TPictureList::UndoLastExclusion() {
  if (excludedNow_.empty()) return {};
  std::string entry = excludedNow_.back();
  TExcludedPictures taken;
  taken.Add(entry);
  std::vector<std::string> kept;
  if (!ExcludedFile.empty()) {
    const std::vector<std::string> lines = ReadExcludedLines();
    const std::vector<std::string> paths = ExcludedPaths(lines);
    for (size_t i = 0; i < lines.size(); ++i) {
      if (!taken.Contains(paths[i])) kept.push_back(lines[i]);
    }
    env_.Files.WriteListFile(ExcludedFile, kept);
    Excluded.Assign(ExcludedPaths(kept));
  } else {
    Excluded.Remove(entry);
  }
  excludedNow_.pop_back();
  return entry;
}

void TPictureList::ClearExcluded() {
  if (!ExcludedFile.empty() && env_.Files.FileExists(ExcludedFile)) {
    env_.Files.WriteListFile(ExcludedFile, {});
  }
  Excluded.Clear();
  excludedNow_.clear();
}

std::string TPictureList::EntryAhead(int steps) const {
  if (MainListBox.Empty()) return {};
  if (settings_.RandomLoad && !RandomListBox.Empty()) {
    const int count = RandomListBox.Count();
    const int at = ((std::max(RandomListBox.ItemIndex, 0) + steps) % count + count) % count;
    const int position = std::stoi(RandomListBox.Items[static_cast<size_t>(at)]);
    return MainListBox.Items[static_cast<size_t>(std::clamp(position, 0, MainListBox.Count() - 1))];
  }
  const int count = MainListBox.Count();
  const int at = ((std::max(MainListBox.ItemIndex, 0) + steps) % count + count) % count;
  return MainListBox.Items[static_cast<size_t>(at)];
}

void TPictureList::BeginRoundHere() {
  if (MainListBox.ItemIndex < 0) return;
  settings_.RandomFirst = MainListBox.Current();
  RandomListBox.ItemIndex = RandomListBox.IndexOf(std::to_string(MainListBox.ItemIndex));
  roundStartCache_ = RandomListBox.ItemIndex;
  roundOffset_ = 0;
}

int TPictureList::RoundStartIndex() {
  const int n = RandomListBox.Count();
  if (n == 0) return 0;
  const auto entryAt = [&](int r) -> const std::string& {
    const int position = std::stoi(RandomListBox.Items[static_cast<size_t>(r)]);
    return MainListBox.Items[static_cast<size_t>(std::clamp(position, 0, MainListBox.Count() - 1))];
  };
  if (roundStartCache_ >= 0 && roundStartCache_ < n &&
      SameText(entryAt(roundStartCache_), settings_.RandomFirst)) {
    return roundStartCache_;
  }
  const int place = RoundPlace(settings_.RandomFirst);
  // Found where it sorts: the first picture is listed, and it is remembered there.
  if (place < n && SameText(entryAt(place), settings_.RandomFirst)) roundStartCache_ = place;
  return place % n;
}

int TPictureList::RoundPlace(const std::string& entry) const {
  const auto seed = static_cast<uint32_t>(settings_.RandomSeed);
  const uint64_t key = RoundKey(entry, seed);
  int low = 0;
  int high = RandomListBox.Count();
  while (low < high) {
    const int middle = low + (high - low) / 2;
    const int position = std::stoi(RandomListBox.Items[static_cast<size_t>(middle)]);
    const std::string& listed =
        MainListBox.Items[static_cast<size_t>(std::clamp(position, 0, MainListBox.Count() - 1))];
    if (RoundKey(listed, seed) < key) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

void TPictureList::OpenFileActionExecute(TComponent& sender) {
  TDialogGuard guard(FormTag);
  if (sender.Tag != 1) {
    // Before any folder was chosen the dialog opens on the user's Pictures folder, where a
    // newcomer's photos are, rather than at the desktop's root.
    const std::string initial = !settings_.PaperFolder.empty() ? settings_.PaperFolder
                                : PicturesFolder               ? PicturesFolder()
                                                               : std::string();
    const std::string folder =
        env_.Dialogs.BrowseForFolder({.Title = "フォルダを開く", .InitialFolder = initial});
    if (!folder.empty()) OpenPath(nullptr, folder);
    return;
  }
  TFileDialogOptions options;
  options.Title = "画像ファイルを開く";
  options.Filter = PictureFilter ? PictureFilter() : std::string("All|*.*");
  options.InitialDir = InitialPictureFolder();
  options.HideReadOnly = true;
  options.EnableSizing = true;
  options.Preview = true;
  std::string path;
  if (env_.Dialogs.OpenFile(options, path)) OpenPath(&sender, path);
}

std::string TPictureList::InitialPictureFolder() {
  if (env_.Files.DirectoryExists(settings_.PaperFolder)) return settings_.PaperFolder;
  if (!settings_.PaperName.empty()) {
    std::string folder = ExtractFileDir(settings_.PaperName);
    if (env_.Files.DirectoryExists(folder)) return folder;
  }
  return PicturesFolder ? PicturesFolder() : std::string();
}

void TPictureList::SaveListActionExecute(TAction& /*sender*/) {
  TFileDialogOptions options;
  options.Title = "ファイルリストの保存";
  options.FileName = ExtractFileName(settings_.PaperFolder);
  options.Filter = "List Files|*.V2List|All Files|*.*";
  options.DefaultExt = "lst";
  options.OverwritePrompt = true;
  options.PathMustExist = true;
  options.NoReadOnlyReturn = true;
  options.HideReadOnly = true;
  options.EnableSizing = true;
  std::string path;
  if (env_.Dialogs.SaveFile(options, path)) env_.Files.WriteListFile(path, MainListBox.Items);
}

void TPictureList::SaveListActionUpdate(TAction& sender) {
  sender.Enabled = !MainListBox.Empty();
}

void TPictureList::LoadListActionExecute(TAction& /*sender*/) {
  TFileDialogOptions options;
  options.Title = "ファイルリストを開く";
  options.Filter = "リスト ファイル|*.V2List|全てのファイル|*.*";
  options.FileMustExist = true;
  options.HideReadOnly = true;
  options.EnableSizing = true;
  std::string path;
  if (!env_.Dialogs.OpenFile(options, path)) return;
  settings_.PaperFolder = path;
  LoadPictureList();
}

void TPictureList::ReloadFolderActionExecute(TAction& /*sender*/) {
  LoadPictureList();
}

void TPictureList::ReloadFolderActionUpdate(TAction& sender) {
  if (env_.Files.FileExists(settings_.PaperFolder)) {
    sender.Caption = "ファイルリストの再読込";
    sender.Enabled = true;
  } else if (env_.Files.DirectoryExists(settings_.PaperFolder)) {
    sender.Caption = "フォルダの再読込";
    sender.Enabled = true;
  } else {
    sender.Enabled = false;
  }
}
