#include "app/StartUp.h"

#include "app/HandOver.h"
#include "app/Settings.h"
#include "engine/FileSystem.h"
#include "engine/PictureList.h"

namespace {

// Runs one step; its error is reported and the sequence goes on.
template <typename Step>
void Guarded(const TStartUpHooks& hooks, Step step) {
  try {
    step();
  } catch (const std::exception& error) {
    if (!hooks.ReportError) throw;
    hooks.ReportError(error);
  }
}

}  // namespace

void RunStartUpSequence(TPictureList& list, const TSettings& settings, IFileSystem& files,
                        const std::vector<std::string>& arguments, const TComponent& openFileAction,
                        const TStartUpHooks& hooks) {
  // A saved source that is gone is reported; a source on the command line still opens.
  Guarded(hooks, [&] { list.LoadPictureList(); });
  // A round whose picture is gone leaves its cursor on the picture before that one's place, so
  // that the next step shows the one after it: a start steps then, also without NextLoad, lest
  // it show the picture before again.
  if (settings.NextLoad || list.CursorBeforeGone) list.StepActiveOrder(true);

  for (const std::string& argument : arguments) {
    if (IsQuitSwitch(argument)) {
      if (hooks.RequestQuit) hooks.RequestQuit();
    }
    if (IsMessageFileSwitch(argument)) {
      const std::string file = MessageFileOfSwitch(argument);
      if (!file.empty() && files.FileExists(file) && hooks.SetMessageFile) {
        hooks.SetMessageFile(file);
      }
      continue;
    }
    if (files.DirectoryExists(argument)) {
      Guarded(hooks, [&] { list.OpenPath(nullptr, files.FullPath(argument)); });
      return;
    }
    if (files.FileExists(argument)) {
      Guarded(hooks, [&] { list.OpenPath(&openFileAction, files.FullPath(argument)); });
      return;
    }
  }
  Guarded(hooks, [&] { list.OpenPath(nullptr, list.MainListBox.Current()); });
}

void ReceiveHandOver(TPictureList& list, IFileSystem& files, const std::string& path,
                     const TComponent& openFileAction) {
  if (path.empty()) return;
  if (files.DirectoryExists(path)) {
    list.OpenPath(nullptr, files.FullPath(path));
  } else if (files.FileExists(path)) {
    list.OpenPath(&openFileAction, files.FullPath(path));
  }
}
