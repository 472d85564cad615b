// The options dialog: the settings on three pages chosen from a combo box, in a borderless
// window with its own title strip and coloured panels for buttons. Enter confirms and Esc
// cancels from any control, the message memo included; the mouse wheel steps the pages.
#pragma once

#include <memory>
#include <string>

#include "app/ModalForm_win.h"
#include "app/Settings.h"

class IDialogs;

class TOptionsForm final : public TModalForm {
 public:
  static constexpr const wchar_t* kClassName = L"TOptionsForm";
  static constexpr int kOk = 1;
  static constexpr int kCancel = 2;
  // A day: the longest interval of the change timer.
  static constexpr int kMaxTimerMinutes = 1440;

  // FormCreate: builds the pages and binds the panels. `title` is the application title.
  TOptionsForm(HWND owner, IDialogs& dialogs, const std::string& title,
               const std::string& programPath);
  ~TOptionsForm() override;

  // The values the dialog carries besides its controls.
  int SepLines = 0;
  std::string SepString;
  bool SepRandom = false;

  // Fills the controls from the settings in the fixed order; `page` is the page to show.
  void Load(const TSettings& settings, int page, bool messageFileExists);
  // Copies the controls back into the settings in the fixed order (the memo's text too).
  void Store(TSettings& settings) const;
  std::string MemoText() const;
  int Page() const;
  void SetPage(int page);
  // The shell entry exists already: the panel that writes it is disabled.
  // The shell menu panel adds the entry, or removes it when it exists.
  void SetShellMenuEntry(bool exists);

  // At OK: writes or deletes the Run value as 「Windows の起動時に起動する」 says, when that
  // differs from what the registry holds (EStartWithWindows when it refuses).
  void ApplyStartWithWindows() const;

  // How many pictures are on the exclusion list; the dialog offers to clear it.
  void SetExcludedCount(size_t count);
  // The user chose to show the excluded pictures again (it takes effect on OK).
  bool ExcludedCleared() const { return excludedCleared_; }

  // The controls, for the program's tests.
  HWND Control(const char* name) const;
  TColorPanel* Panel(const char* name) const;

 protected:
  bool PreviewMessage(const MSG& message) override;
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  struct TControls;
  void BuildPages();
  void TabsComboBoxChange();
  void NextPage(int step);
  void RefreshSepHint();
  void OpenEditor();
  void ChooseBossPicture();
  void ChooseShadowColor();
  void ChooseMessFont();
  // The chosen message font shown in the memo, at the dialog's size.
  void ShowFontSample();
  // OK: only with minutes in range; otherwise a message, and the dialog stays.
  void Confirm();
  // The minutes typed, or -1 when they are not a number from 0 to kMaxTimerMinutes.
  int TimerMinutes() const;
  // The number in an edit field, or -1 when it is none or past `max`.
  static int NumberIn(HWND edit, int max);
  bool shellMenuEntry_ = false;
  bool excludedCleared_ = false;
  void ShowExcludedCount(size_t count);
  // 背景をぼかした… answers only where 画面に合わせる leaves bands (ページ幅に合わせる).
  void EnableBlur();
  void InputSep();
  void AddMenu();
  void PaintFrame();
  // 「Windows の起動時に起動する」 as the Run value is now, with another copy it starts named.
  void ShowStartWithWindows();

  IDialogs& dialogs_;
  std::string title_;
  std::string programPath_;
  std::unique_ptr<TControls> c_;
};
