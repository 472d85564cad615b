// A hidden list box: an ordered list of texts with a cursor. It is data, never a window.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class TListBox {
 public:
  std::vector<std::string> Items;
  int ItemIndex = -1;  // the cursor; -1 when nothing is selected

  int Count() const { return static_cast<int>(Items.size()); }
  bool Empty() const { return Items.empty(); }
  // The position of the first item equal to the whole text, ignoring case; -1 when none.
  int IndexOf(std::string_view text) const;
  // Replaces all items; the cursor is cleared as a list box does.
  void Assign(std::vector<std::string> items);
  void Clear() { Assign({}); }
  // The item under the cursor, or an empty text.
  std::string Current() const;
};
