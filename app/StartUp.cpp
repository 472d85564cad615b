#include "app/StartUp.h"

#include "app/HandOver.h"
#include "app/Settings.h"
#include "engine/FileSystem.h"
#include "engine/PictureList.h"

void RunStartUpSequence(TPictureList& list, const TSettings& settings, IFileSystem& files,
                        const std::vector<std::string>& arguments, const TComponent& openFileAction,
                        const TStartUpHooks& hooks) {
  list.LoadPictureList();
  if (settings.NextLoad) list.StepActiveOrder(true);

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
      list.OpenPath(nullptr, argument);
      return;
    }
    if (files.FileExists(argument)) {
      list.OpenPath(&openFileAction, argument);
      return;
    }
  }
  list.OpenPath(nullptr, list.MainListBox.Current());
}

void ReceiveHandOver(TPictureList& list, IFileSystem& files, const std::string& path,
                     const TComponent& openFileAction) {
  if (path.empty()) return;
  if (files.DirectoryExists(path)) {
    list.OpenPath(nullptr, path);
  } else if (files.FileExists(path)) {
    list.OpenPath(&openFileAction, path);
  }
}
