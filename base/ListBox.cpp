#include "base/ListBox.h"

#include "base/TextCase.h"

int TListBox::IndexOf(std::string_view text) const {
  for (size_t i = 0; i < Items.size(); ++i) {
    if (SameText(Items[i], text)) return static_cast<int>(i);
  }
  return -1;
}

void TListBox::Assign(std::vector<std::string> items) {
  Items = std::move(items);
  ItemIndex = -1;
}

std::string TListBox::Current() const {
  if (ItemIndex < 0 || ItemIndex >= Count()) return {};
  return Items[static_cast<size_t>(ItemIndex)];
}
