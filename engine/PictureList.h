// PictureList and RandomList: built from a folder (optionally with its subfolders) or a list
// file, and every way a user names a new source: drops, the open dialogs, list files, the
// history menu and the command line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/Action.h"
#include "base/ListBox.h"
#include "engine/ExcludedPictures.h"
#include "engine/ExtensionList.h"

class IBusyDisplay;
class IClock;
class IDialogs;
class IFileSystem;
class IRandom;
struct TSettings;

// The paths of a folder's files, depth first when recursing. Without recursion the list is
// emptied first; with it, files are appended. A recursive scan enters every folder once, also
// when links or junctions lead to it again.
void ScanFolder(IFileSystem& files, const std::string& folder, bool recurse,
                std::vector<std::string>& list);

// The next (forward) or previous index with wrap-around.
int StepIndex(int count, int index, bool forward);

constexpr uint32_t kBusyBlue = 0xFF0000;

struct TPictureListEnv {
  IFileSystem& Files;
  IDialogs& Dialogs;
  IBusyDisplay& Busy;
  IRandom& Random;
  IClock& Clock;
};

class TPictureList {
 public:
  TPictureList(TSettings& settings, TPictureListEnv env);

  TListBox MainListBox;
  TListBox RandomListBox;
  TExtensionList ExtensionList = TExtensionList::Build({});
  // Set by a load whose current picture is gone from its random round: the cursor is on the
  // picture before its place, for the next step to show the one after it.
  bool CursorBeforeGone = false;
  uint32_t ListLoadedTick = 0;

  // Sets the picture under the PictureList cursor; true when one was set.
  std::function<bool()> SetCurrentPicture;
  // Records a source in the history menu.
  std::function<void(const std::string&)> AddHistory;
  // The filter of every registered picture format, for the open-picture dialog.
  std::function<std::string()> PictureFilter;
  // The user's pictures folder: where the open-picture dialog starts when no source is set.
  std::function<std::string()> PicturesFolder;
  // The main window's tag: 1 while one of its dialogs is open.
  int* FormTag = nullptr;
  // The list file of the pictures never to be shown again, beside the settings file (lines as
  // in any list file); empty for none. Every load passes over what it names.
  std::string ExcludedFile;
  TExcludedPictures Excluded;

  void LoadPictureList();
  // `sender` is null for start-up, the history menu and the folder dialog.
  void FileDropFileDrop(const TComponent* sender, const std::vector<std::string>& files, int x,
                        int y);
  void OpenPath(const TComponent* sender, const std::string& path);
  // Steps the cursors one entry in the active order (shuffled when RandomLoad is on). Stepping
  // on from the last picture of a random round starts a new round.
  void StepActiveOrder(bool forward);

  // The entry `steps` places after the cursor in the active order (wrapping round), without
  // moving the cursor; empty for an empty list.
  std::string EntryAhead(int steps) const;

  // The current picture begins the random round: random order just switched on shows every
  // other picture before it repeats any.
  void BeginRoundHere();

  // Takes the current picture out of both lists (the program's own Del), keeping the random
  // round: the pictures after it come next, and the round still ends where it began.
  void RemoveCurrent(const std::function<void(bool)>& renumbering = {});

  // Reads the exclusion list again from its file: edits by hand count from the next load. A
  // file that is gone means no exclusions; one that cannot be read keeps the list as it was.
  void ReadExcluded();
  // Puts the current picture on the exclusion list, its file rewritten first (the lines already
  // there stay as written), then takes it out of both lists as RemoveCurrent does. False when
  // there is no current picture; when the file cannot be read or written, the error is raised
  // and nothing changes.
  bool ExcludeCurrent(const std::function<void(bool)>& renumbering = {});
  // Empties the exclusion list and its file; the next load shows every picture again.
  void ClearExcluded();
  // Takes the latest exclusion of this session back (all the file's lines naming the picture
  // go) and answers the picture, or empty when there is none left to take back.
  std::string UndoLastExclusion();
  bool CanUndoExclusion() const { return !excludedNow_.empty(); }

  void OpenFileActionExecute(TComponent& sender);
  // Where the open-picture dialog starts: the source folder, else the current picture's
  // folder (a list file's source), else the user's pictures folder.
  std::string InitialPictureFolder();
  void SaveListActionExecute(TAction& sender);
  void SaveListActionUpdate(TAction& sender);
  void LoadListActionExecute(TAction& sender);
  void ReloadFolderActionExecute(TAction& sender);
  void ReloadFolderActionUpdate(TAction& sender);

 private:
  // RandomList := the positions of PictureList in the order of the settings' round.
  void SetRandomOrder();
  void SetRandomOrder(const std::vector<int>& order);
  // Where in RandomList the round began; when its first picture is no longer listed, where it
  // would stand (the picture that followed it). O(1) while the first picture is found where it
  // was last, O(log n) otherwise.
  int RoundStartIndex();
  // The place in RandomList an entry has, or would have if it were listed: the first entry that
  // does not sort before it.
  int RoundPlace(const std::string& entry) const;
  // The exclusion file's lines, as written, and the full paths they name.
  std::vector<std::string> ReadExcludedLines();
  std::vector<std::string> excludedNow_;  // excluded by this session, the latest last
  std::vector<std::string> ExcludedPaths(const std::vector<std::string>& lines);
  // Brings roundOffset_ in line with a cursor moved by other code.
  void SyncRoundOffset(int start);

  // Steps from the round's first picture to the cursor: negative after stepping back past it,
  // so that stepping forward again does not end the round.
  int roundOffset_ = 0;
  int roundStartCache_ = -1;

  TSettings& settings_;
  TPictureListEnv env_;
};
