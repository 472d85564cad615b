// The real message boxes and common dialogs behind the dialog seam.
#pragma once

#include <windows.h>

#include <functional>

#include "base/Dialogs.h"

class TWinDialogs final : public IDialogs {
 public:
  // `owner` gives the window the dialogs belong to, `title` the application title.
  TWinDialogs(std::function<HWND()> owner, std::function<std::string()> title)
      : owner_(std::move(owner)), title_(std::move(title)) {}

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
  bool RunFileDialog(const TFileDialogOptions& options, std::string& path, bool save);

  std::function<HWND()> owner_;
  std::function<std::string()> title_;
};
