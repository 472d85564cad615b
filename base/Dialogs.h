// Every modal interaction of the program goes through this interface: production code shows the
// real boxes and dialogs, tests script the answers and check the texts.
#pragma once

#include <exception>
#include <string>

#include "base/ColorText.h"

struct TMessFont;

// Marks one of the program's boxes or dialogs as open for its lifetime. While any is open the
// change timer rests: ticks delivered by the box's own message loop must not act under it.
class TModalScope {
 public:
  TModalScope() { ++open_; }
  ~TModalScope() { --open_; }
  TModalScope(const TModalScope&) = delete;
  TModalScope& operator=(const TModalScope&) = delete;
  static int Open() { return open_; }

 private:
  static inline int open_ = 0;  // the window's thread alone shows them
};

struct TBrowseOptions {
  std::string Title;
  std::string InitialFolder;  // selected when the dialog opens; empty for none
  // The window the dialog belongs to (a window handle); null for the program's main window.
  void* Owner = nullptr;
  bool NewStyle = false;    // the resizable dialog with an edit box
  bool AllowFiles = false;  // files can be chosen as well as folders

  bool operator==(const TBrowseOptions&) const = default;
};

struct TFileDialogOptions {
  std::string Title;
  std::string Filter;  // "description|masks|description|masks"
  std::string FileName;
  std::string InitialDir;
  std::string DefaultExt;  // without the dot
  bool HideReadOnly = false;
  bool EnableSizing = false;
  bool OverwritePrompt = false;
  bool PathMustExist = false;
  bool FileMustExist = false;
  bool NoReadOnlyReturn = false;
  // A pane beside the file list shows the selected picture (open dialogs only).
  bool Preview = false;

  bool operator==(const TFileDialogOptions&) const = default;
};

class IDialogs {
 public:
  virtual ~IDialogs() = default;
  // MessageBeep with a MB_ICON* sound type.
  virtual void Beep(unsigned soundType) = 0;
  // A plain message box with an OK button, titled with the application title.
  virtual void ShowMessage(const std::string& text) = 0;
  // The application's error box for an error nobody caught.
  virtual void ShowError(const std::exception& error) = 0;
  // Open and save dialogs: true and the chosen path on OK.
  virtual bool OpenFile(const TFileDialogOptions& options, std::string& path) = 0;
  virtual bool SaveFile(const TFileDialogOptions& options, std::string& path) = 0;
  // A one-line text query: true and the text on OK.
  virtual bool InputQuery(const std::string& caption, const std::string& prompt,
                          std::string& value) = 0;
  // The shell's folder selection; the chosen folder or an empty text.
  virtual std::string BrowseForFolder(const TBrowseOptions& options) = 0;
  // The colour dialog preset to `color`: true and the chosen colour on OK.
  virtual bool PickColor(TColor& color) = 0;
  // The font dialog preset to `font`: true and the chosen font on OK.
  virtual bool PickFont(TMessFont& font) = 0;
  // Opens a document with the program the shell associates with it.
  virtual void ShellOpen(const std::string& path) = 0;
  // A confirmation box captioned "確認" with a question icon and the given buttons; the answer
  // as one of kAnswer*.
  virtual int Confirm(const std::string& text, int buttons) = 0;
};

constexpr unsigned kBeepWarning = 0x30;  // MB_ICONEXCLAMATION

// The buttons and answers of a confirmation (the values of MB_* and ID*).
constexpr int kButtonsOkCancel = 1;
constexpr int kButtonsYesNoCancel = 3;
constexpr int kAnswerOk = 1;
constexpr int kAnswerCancel = 2;
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;

// A warning beep followed by a plain message box.
inline void WarnMessage(IDialogs& dialogs, const std::string& text) {
  dialogs.Beep(kBeepWarning);
  dialogs.ShowMessage(text);
}
