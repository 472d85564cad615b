// The program's own dialogs: borderless windows shown modally over their owner. The owner is
// disabled meanwhile; Tab and the controls' accelerators move the focus; a form decides what
// keys and the mouse wheel do before its controls see them. Sizes are given at 96 dots per
// inch and scaled to the screen.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Handles_win.h"
#include "base/Window_win.h"

// A panel that acts as a button: a coloured face with centred text, a click handler, and grey
// text while disabled.
class TColorPanel final : public TWindowBase {
 public:
  TColorPanel(HWND parent, const RECT& bounds, COLORREF face, COLORREF text,
              const std::string& caption, HFONT font);
  ~TColorPanel() override;

  void SetCaption(const std::string& caption);
  void SetFont(HFONT font);
  HFONT Font() const { return font_; }
  void SetEnabled(bool enabled);
  bool Enabled() const { return enabled_; }
  std::function<void()> OnClick;
  // When set, a press of the left button goes here instead of pressing the button (a title
  // bar that drags its window).
  std::function<void()> OnMouseDown;
  // Free data a form keeps with the panel (the shadow colour, the separator index).
  int Tag = 0;
  // The raised edge of a button; plain panels go without.
  bool Bevel = true;
  // "&" underlines the next letter (the panel's accelerator) instead of showing itself.
  bool Prefix = false;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  COLORREF face_;
  COLORREF text_;
  std::wstring caption_;
  HFONT font_;
  bool enabled_ = true;
  bool pressed_ = false;
};

class TModalForm : public TWindowBase {
 public:
  // Shows the form until ModalResult is set (or the program is asked to quit); returns it.
  int ShowModal();
  int ModalResult = 0;
  // Runs when a form has been shown, before it takes input: tests drive the real forms from
  // here (posting keys and clicks, reading controls).
  static std::function<void(TModalForm& form)> OnShown;

 protected:
  // A form of width × height (at 96 dpi) centred on the screen.
  TModalForm(HWND owner, const wchar_t* className, const std::string& caption, int width,
             int height);
  ~TModalForm() override;

  // Sees every message for the form and its controls first; true when it was handled.
  virtual bool PreviewMessage(const MSG& message);

  // A child control at (x, y, w, h) (96 dpi) of `parent`, in the form's font.
  HWND AddControl(HWND parent, const wchar_t* className, const std::string& text, DWORD style,
                  int x, int y, int w, int h, int id = 0, DWORD exStyle = 0);
  // A container for controls (a page): lets Tab and accelerators reach its children and passes
  // their notifications to the form.
  HWND AddContainer(int x, int y, int w, int h);
  std::unique_ptr<TColorPanel> AddPanel(HWND parent, int x, int y, int w, int h, COLORREF face,
                                        COLORREF text, const std::string& caption);
  // The hint shown when the mouse rests over a control.
  void SetHint(HWND control, const std::string& hint);
  std::string Hint(HWND control) const;

  int Scale(int size) const { return MulDiv(size, static_cast<int>(dpi_), 96); }
  HFONT Font() const { return static_cast<HFONT>(font_.get()); }
  HWND Owner() const { return owner_; }

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  HWND owner_;
  UINT dpi_;
  TGdiObject font_;
  HWND hints_ = nullptr;
  std::vector<std::unique_ptr<TWindowBase>> containers_;
};
