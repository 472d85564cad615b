// The boxes of a start at sign-in: while the program starts with Windows, it must not greet the
// user with boxes. Messages and errors are held instead, to be told once (in the tray icon's
// balloon, the whole text behind a click); a question gets its cautious answer and a dialog is
// not shown. Once the start is over, everything goes to the real dialogs again.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/Dialogs.h"

class TQuietDialogs final : public IDialogs {
 public:
  explicit TQuietDialogs(IDialogs& inner) : inner_(inner) {}

  // Whether boxes are held now.
  bool Quiet() const { return quiet_; }
  void SetQuiet(bool quiet) { quiet_ = quiet; }
  // The texts held so far, each once, in their order; taken out.
  std::vector<std::string> TakeHeld();

  void Beep(unsigned soundType) override;
  void ShowMessage(const std::string& text) override;
  void ShowError(const std::exception& error) override;
  bool OpenFile(const TFileDialogOptions& options, std::string& path) override;
  bool SaveFile(const TFileDialogOptions& options, std::string& path) override;
  bool InputQuery(const std::string& caption, const std::string& prompt,
                  std::string& value) override;
  std::string BrowseForFolder(const TBrowseOptions& options) override;
  bool PickColor(TColor& color) override;
  bool PickFont(TMessFont& font) override;
  void ShellOpen(const std::string& path) override;
  int Confirm(const std::string& text, int buttons) override;

 private:
  void Hold(const std::string& text);

  IDialogs& inner_;
  bool quiet_ = false;
  std::vector<std::string> held_;
};
