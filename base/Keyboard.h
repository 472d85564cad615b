// The keyboard state some commands read at the moment they run (Ctrl-click previews), behind an
// interface so that tests can hold the keys.
#pragma once

class IKeyboard {
 public:
  virtual ~IKeyboard() = default;
  virtual bool ShiftDown() const = 0;
  virtual bool CtrlDown() const = 0;
};
