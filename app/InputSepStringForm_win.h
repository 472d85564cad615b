// The message separator dialog: the separator text, random choice, and the line count.
#pragma once

#include <memory>
#include <string>

#include "app/ModalForm_win.h"

class TInputSepStringForm final : public TModalForm {
 public:
  static constexpr const wchar_t* kClassName = L"TInputSepStringForm";
  static constexpr int kOk = 1;
  static constexpr int kCancel = 2;

  explicit TInputSepStringForm(HWND owner);
  ~TInputSepStringForm() override;

  void SetValues(int sepLines, const std::string& sepString, bool sepRandom);
  // The line count is read as the up-down control holds it: a signed 16-bit number.
  void GetValues(int& sepLines, std::string& sepString, bool& sepRandom) const;

  HWND SepEdit() const { return sepEdit_; }
  HWND SepRandomCheckBox() const { return sepRandom_; }
  HWND SepLinesEdit() const { return sepLinesEdit_; }
  TColorPanel& OkPanel() const { return *ok_; }
  TColorPanel& CancelPanel() const { return *cancel_; }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  HWND sepEdit_;
  HWND sepRandom_;
  HWND sepLinesEdit_;
  HWND sepLinesUpDown_;
  std::unique_ptr<TColorPanel> ok_;
  std::unique_ptr<TColorPanel> cancel_;
};
