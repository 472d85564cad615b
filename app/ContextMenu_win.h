// The context menu as a real popup menu: built afresh from the command table each time it
// opens, after every action's update handler has run (enabling, checking and renaming entries),
// shown at a screen point; the chosen entry runs once the menu has closed.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/Commands.h"
#include "base/PopupMenu.h"
#include "engine/MenuCreator.h"

class TContextMenu final : public TPopupMenu {
 public:
  // `owner` receives the menu's messages; `entries` gives the tree each time the menu opens.
  TContextMenu(HWND owner, std::function<std::vector<TMenuEntry>()> entries);

  void Popup(int x, int y) override;

  // The items of the history submenu, as the history component keeps them.
  TMenuItem* History = nullptr;
  // Shows the built menu and returns the chosen command identifier, 0 for none. The real
  // TrackPopupMenu unless a test puts its own in place.
  std::function<UINT(HMENU menu, int x, int y)> Track;
  // Runs the chosen entry, given its action (null for a plain item) and a key that tells
  // commands apart; the program hands it to its input gate. Run at once without it.
  std::function<void(TAction* action, const void* key, std::function<void()> run)> RunChoice;
  // How many of our menus are open now.
  static int OpenMenus() { return open_; }

  // The text of an entry as the menu shows it: the caption, then a tab and the shortcut.
  static std::string EntryText(const TMenuEntry& entry);

 private:
  HWND owner_;
  static inline int open_ = 0;
  std::function<std::vector<TMenuEntry>()> entries_;
};
