#include "app/QuietDialogs.h"

#include <algorithm>
#include <utility>

std::vector<std::string> TQuietDialogs::TakeHeld() {
  return std::exchange(held_, {});
}

void TQuietDialogs::Hold(const std::string& text) {
  if (std::find(held_.begin(), held_.end(), text) == held_.end()) held_.push_back(text);
}

void TQuietDialogs::Beep(unsigned soundType) {
  if (!quiet_) inner_.Beep(soundType);
}

void TQuietDialogs::ShowMessage(const std::string& text) {
  if (quiet_) {
    Hold(text);
  } else {
    inner_.ShowMessage(text);
  }
}

void TQuietDialogs::ShowError(const std::exception& error) {
  if (quiet_) {
    Hold(error.what());
  } else {
    inner_.ShowError(error);
  }
}

bool TQuietDialogs::OpenFile(const TFileDialogOptions& options, std::string& path) {
  return !quiet_ && inner_.OpenFile(options, path);
}

bool TQuietDialogs::SaveFile(const TFileDialogOptions& options, std::string& path) {
  return !quiet_ && inner_.SaveFile(options, path);
}

bool TQuietDialogs::InputQuery(const std::string& caption, const std::string& prompt,
                               std::string& value) {
  return !quiet_ && inner_.InputQuery(caption, prompt, value);
}

std::string TQuietDialogs::BrowseForFolder(const TBrowseOptions& options) {
  return quiet_ ? std::string() : inner_.BrowseForFolder(options);
}

bool TQuietDialogs::PickColor(TColor& color) {
  return !quiet_ && inner_.PickColor(color);
}

bool TQuietDialogs::PickFont(TMessFont& font) {
  return !quiet_ && inner_.PickFont(font);
}

void TQuietDialogs::ShellOpen(const std::string& path) {
  if (!quiet_) inner_.ShellOpen(path);
}

int TQuietDialogs::Confirm(const std::string& text, int buttons) {
  return quiet_ ? kAnswerCancel : inner_.Confirm(text, buttons);
}
