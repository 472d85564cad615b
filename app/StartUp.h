// What a first start does once its settings are read: build the list, step once if so set,
// handle the command line, and set the start picture.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "base/Component.h"

class IFileSystem;
class TPictureList;
struct TSettings;

struct TStartUpHooks {
  // Posts the quit message: the message loop ends once start-up is over.
  std::function<void()> RequestQuit;
  // A "/M" argument named an existing file.
  std::function<void(const std::string&)> SetMessageFile;
  // An error of one step (the saved source gone, a picture that fails): shown, and start-up
  // goes on with the next step. Without it the error leaves the sequence.
  std::function<void(const std::exception&)> ReportError;
};

void RunStartUpSequence(TPictureList& list, const TSettings& settings, IFileSystem& files,
                        const std::vector<std::string>& arguments, const TComponent& openFileAction,
                        const TStartUpHooks& hooks);

// A path handed over by a second start: a folder opens as a source, a file as the picture
// whose folder becomes the source; anything else (switches, the "?@" form) is ignored.
void ReceiveHandOver(TPictureList& list, IFileSystem& files, const std::string& path,
                     const TComponent& openFileAction);
