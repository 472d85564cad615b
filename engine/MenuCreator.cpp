#include "engine/MenuCreator.h"

#include <algorithm>

#include "base/TextCase.h"

int TMenuItem::IndexOf(const TMenuItem* item) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].get() == item) return static_cast<int>(i);
  }
  return -1;
}

TMenuItem* TMenuItem::Add(std::unique_ptr<TMenuItem> item) {
  return Insert(Count(), std::move(item));
}

TMenuItem* TMenuItem::Insert(int index, std::unique_ptr<TMenuItem> item) {
  item->parent_ = this;
  index = std::clamp(index, 0, Count());
  items_.insert(items_.begin() + index, std::move(item));
  return items_[static_cast<size_t>(index)].get();
}

void TMenuItem::Remove(TMenuItem* item) {
  const int index = IndexOf(item);
  if (index >= 0) items_.erase(items_.begin() + index);
}

void TMenuCreator::SetTargetMenuItem(TMenuItem* target) {
  ClearMenu();
  target_ = target;
  if (target_ == nullptr) return;
  const TMenuItem* parent = target_->Parent();
  if (parent == nullptr || parent->Name.empty()) {
    mode_ = 1;
  } else {
    mode_ = target_->Caption == "-" ? 2 : 0;
  }
}

void TMenuCreator::SetActive(bool active) {
  if (active == active_) return;
  if (active && target_ == nullptr) throw EMenuCreator("ターゲットが指定されていません");
  active_ = active;
  if (active_) {
    BuildMenu();
  } else {
    ClearMenu();
  }
}

std::string TMenuCreator::ShortenCaption(const std::string& text) const {
  // Counted in characters: (length + 3 - limit) of them go from the middle, "..." in their place.
  std::vector<std::string> chars = SplitCharacters(text);
  const auto count = static_cast<int>(chars.size());
  if (count <= maxStrNum_) return text;
  const int from = std::max(count / 2 - 1, 0);
  const int remove = std::min(count + 3 - maxStrNum_, count - from);
  chars.erase(chars.begin() + from, chars.begin() + from + remove);
  chars.insert(chars.begin() + from, "...");
  if (static_cast<int>(chars.size()) + 2 > maxStrNum_) return {};
  std::string out;
  for (const std::string& c : chars) out += c;
  return out;
}

void TMenuCreator::InsertPlaceholder(const std::string& caption) {
  if (target_ == nullptr) return;
  auto item = std::make_unique<TMenuItem>(std::string(), caption);
  item->Enabled = false;
  created_.push_back(target_->Add(std::move(item)));
  inserted_ = 1;
}

void TMenuCreator::ClearMenu() {
  for (TMenuItem* item : created_) {
    if (TMenuItem* parent = item->Parent()) parent->Remove(item);
  }
  created_.clear();
  inserted_ = -1;
}

void TMenuCreator::BuildMenu() {
  ClearMenu();
  if (!active_) return;
  InsertItems(GetMenuTree(), [this](int, const TNode& node) { return ShortenCaption(node.Text); });
  MenuBuilt();
}

void TMenuCreator::InsertItems(const TTree& tree,
                               const std::function<std::string(int, const TNode&)>& caption) {
  if (target_ == nullptr || tree.Count() == 0) return;
  TMenuItem* parent = mode_ == 2 ? target_->Parent() : target_;
  int at = mode_ == 2 ? parent->IndexOf(target_) : target_->Count();
  int inserted = 0;
  // A line parts the generated items from items the target shows already.
  if ((mode_ == 1 && target_->Count() > 0) || mode_ == 2) {
    created_.push_back(parent->Insert(at++, std::make_unique<TMenuItem>(std::string(), "-")));
    ++inserted;
  }
  for (int i = 0; i < tree.Count(); ++i) {
    auto item = std::make_unique<TMenuItem>(std::string(), caption(i, *tree.Item(i)));
    item->Tag = i;
    item->OnClick = [this](TMenuItem& sender) { ItemClick(sender); };
    created_.push_back(parent->Insert(at++, std::move(item)));
    ++inserted;
  }
  inserted_ = inserted;
}
