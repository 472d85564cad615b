// A command: caption, shortcut, enabled state and the handlers that run it and keep it current.
// Handlers receive the action as their sender and read its tag.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/Component.h"

class TAction : public TComponent {
 public:
  TAction(int tag, std::string caption) : TComponent(tag), Caption(std::move(caption)) {}

  std::string Caption;
  std::string Category;
  std::string Hint;
  uint16_t ShortCut = 0;
  bool Enabled = true;
  bool Checked = false;
  std::function<void(TAction&)> OnExecute;
  std::function<void(TAction&)> OnUpdate;
  // Runs after every command that ran, once the outermost one has ended (the settings it may
  // have changed are written then).
  static inline std::function<void()> AfterCommand;

  // Brings Enabled, Caption and Checked up to date, then runs the command when enabled.
  bool Execute() {
    Update();
    if (!Enabled || !OnExecute) return false;
    struct TDepth {
      TDepth() { ++running_; }
      ~TDepth() { --running_; }
    };
    {
      const TDepth depth;
      OnExecute(*this);
    }
    if (running_ == 0 && AfterCommand) AfterCommand();
    return true;
  }
  void Update() {
    if (OnUpdate) OnUpdate(*this);
  }

 private:
  static inline int running_ = 0;  // commands running, one inside another
};
