// Copies and deletes handed to the shell, which shows its own confirmations, progress and
// errors and can use the recycle bin; the caller learns only whether the user aborted.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

enum TFileOpFlag : unsigned {
  fofMultiDestFiles = 1u << 0,
  fofConfirmMouse = 1u << 1,
  fofSilent = 1u << 2,
  fofRenameOnCollision = 1u << 3,
  fofNoConfirmation = 1u << 4,
  fofWantMappingHandle = 1u << 5,
  fofAllowUndo = 1u << 6,
  fofFilesOnly = 1u << 7,
  fofSimpleProgress = 1u << 8,
  fofNoConfirmMkdir = 1u << 9,
  fofNoErrorUI = 1u << 10,
};
using TFileOpFlags = unsigned;

class TFileOperation {
 public:
  // `owner` owns the shell's questions and progress windows.
  explicit TFileOperation(HWND owner) : owner_(owner) {}
  void SetOwner(HWND owner) { owner_ = owner; }
  HWND Owner() const { return owner_; }

  std::vector<std::string> FromFiles;
  std::vector<std::string> ToFiles;
  TFileOpFlags Options = fofAllowUndo | fofFilesOnly;
  std::string Title;  // shown only with fofSimpleProgress

  // Both return whether the user aborted any part of the operation.
  bool Copy();
  bool Delete();

  // The shell's flags for a set of options: each by its own bit, never the mapping handle
  // (nothing here would free it).
  static WORD ShellFlags(TFileOpFlags options);
  // Paths as the shell reads them: each followed by a NUL, one more NUL at the end.
  static std::wstring PathList(const std::vector<std::string>& paths);

 private:
  bool Run(UINT operation, const std::vector<std::string>& to);

  HWND owner_;
};
