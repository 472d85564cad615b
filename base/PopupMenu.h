// A popup menu as the components that show it see it: it pops up at a screen point, and a
// reference to it empties itself when the menu is destroyed.
#pragma once

#include <memory>

#include "base/Component.h"

class TPopupMenu : public TComponent {
 public:
  TPopupMenu() = default;
  explicit TPopupMenu(int tag) : TComponent(tag) {}

  // Shows the menu with its top-left corner at the screen point (x, y) and runs the chosen
  // entry; returns once the menu has closed.
  virtual void Popup(int x, int y) = 0;

 private:
  friend class TPopupMenuRef;
  // Lives exactly as long as the menu: references watch it.
  std::shared_ptr<char> lifetime_ = std::make_shared<char>();
};

// A non-owning reference to a popup menu that reads as empty once the menu is gone.
class TPopupMenuRef {
 public:
  TPopupMenuRef() = default;

  TPopupMenuRef& operator=(TPopupMenu* menu) {
    menu_ = menu;
    lifetime_ = menu != nullptr ? menu->lifetime_ : std::weak_ptr<char>();
    return *this;
  }
  TPopupMenu* get() const { return lifetime_.expired() ? nullptr : menu_; }

 private:
  TPopupMenu* menu_ = nullptr;
  std::weak_ptr<char> lifetime_;
};
