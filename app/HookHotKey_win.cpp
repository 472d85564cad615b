#include "app/HookHotKey_win.h"

#include "base/Window_win.h"

// The component's own window: only WM_HOTKEY matters; an error in the handler goes to the
// application's error box (the window base catches it) and the next key works as before.
class THookHotKey::TWindow final : public TWindowBase {
 public:
  explicit TWindow(THookHotKey& owner) : owner_(owner) {
    CreateHandle(L"THookHotKeyWindow", L"", 0, 0, 0, 0, 0, 0, HWND_MESSAGE);
  }
  ~TWindow() override { DestroyHandle(); }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_HOTKEY) {
      owner_.DoHotKey(static_cast<int>(wParam));
      return 0;
    }
    return DefaultHandler(message, wParam, lParam);
  }

 private:
  THookHotKey& owner_;
};

THookHotKey::THookHotKey(HWND owner) : owner_(owner), window_(std::make_unique<TWindow>(*this)) {}

// Destroying the window releases its keys.
THookHotKey::~THookHotKey() = default;

HWND THookHotKey::Handle() const {
  return window_->Handle();
}

void THookHotKey::SplitShortCut(uint16_t shortCut, UINT& modifiers, UINT& key) {
  key = shortCut & 0xFF;
  modifiers = 0;
  if (shortCut & 0x8000) modifiers |= MOD_ALT;
  if (shortCut & 0x4000) modifiers |= MOD_CONTROL;
  if (shortCut & 0x2000) modifiers |= MOD_SHIFT;
}

bool THookHotKey::RegisterKey(int id, uint16_t shortCut) {
  UINT modifiers = 0;
  UINT key = 0;
  SplitShortCut(shortCut, modifiers, key);
  if (key == 0) return false;  // an empty shortcut is no key at all
  return RegisterHotKey(Handle(), id, modifiers, key) != FALSE;
}

bool THookHotKey::UnregisterKey(int id) {
  return UnregisterHotKey(Handle(), id) != FALSE;
}

bool THookHotKey::ReRegisterKey(int id, uint16_t shortCut) {
  const bool unregistered = UnregisterKey(id);
  const bool registered = RegisterKey(id, shortCut);
  return unregistered && registered;
}

void THookHotKey::DoHotKey(int id) {
  if (!OnHotKey) return;
  if (Activate && owner_ != nullptr) SetForegroundWindow(owner_);
  OnHotKey(*this, id);
}
