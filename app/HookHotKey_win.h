// System-wide hotkeys: keys registered with the system that work while any program has the
// focus, turned into an event on the main thread through a message-only window of their own.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "base/Component.h"

class THookHotKey : public TComponent {
 public:
  // `owner` is brought to the foreground before the event runs (when Activate is on).
  explicit THookHotKey(HWND owner);
  ~THookHotKey() override;

  bool Activate = true;
  std::function<void(THookHotKey& sender, int index)> OnHotKey;

  // Registers a shortcut (key | 0x2000 Shift | 0x4000 Ctrl | 0x8000 Alt) under `id`; false when
  // the system refuses it (taken by another program) or the shortcut has no key.
  bool RegisterKey(int id, uint16_t shortCut);
  bool UnregisterKey(int id);
  // Unregisters, then registers the new shortcut: true only when both succeed.
  bool ReRegisterKey(int id, uint16_t shortCut);
  // A registered key was pressed.
  virtual void DoHotKey(int id);

  // The window the hotkeys are registered to.
  HWND Handle() const;
  // The system's modifiers (MOD_ALT 1, MOD_CONTROL 2, MOD_SHIFT 4) and key of a shortcut.
  static void SplitShortCut(uint16_t shortCut, UINT& modifiers, UINT& key);

 private:
  class TWindow;
  HWND owner_;
  std::unique_ptr<TWindow> window_;
};
