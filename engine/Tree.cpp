#include "engine/Tree.h"

#include <algorithm>
#include <functional>

TNode* TTree::Add(TNode* parent, const std::string& text, int data) {
  TNode* owner = parent != nullptr ? parent : &root_;
  owner->children_.push_back(std::make_unique<TNode>(text, data));
  owner->children_.back()->parent_ = owner;
  stale_ = true;
  return owner->children_.back().get();
}

TNode* TTree::Insert(TNode* parent, const std::string& text, int data) {
  TNode* owner = parent != nullptr ? parent : &root_;
  owner->children_.insert(owner->children_.begin(), std::make_unique<TNode>(text, data));
  owner->children_.front()->parent_ = owner;
  stale_ = true;
  return owner->children_.front().get();
}

void TTree::Clear() {
  root_.children_.clear();
  stale_ = true;
}

void TTree::Delete(TNode* node) {
  if (node == nullptr || node->parent_ == nullptr) return;
  auto& siblings = node->parent_->children_;
  siblings.erase(std::find_if(siblings.begin(), siblings.end(),
                              [node](const std::unique_ptr<TNode>& n) { return n.get() == node; }));
  stale_ = true;
}

const std::vector<TNode*>& TTree::Flat() const {
  if (!stale_) return flat_;
  flat_.clear();
  std::function<void(const TNode&)> walk = [&](const TNode& node) {
    for (const auto& child : node.children_) {
      flat_.push_back(child.get());
      walk(*child);
    }
  };
  walk(root_);
  stale_ = false;
  return flat_;
}

int TTree::Count() const {
  return static_cast<int>(Flat().size());
}

TNode* TTree::Item(int index) const {
  const auto& flat = Flat();
  return index >= 0 && index < static_cast<int>(flat.size()) ? flat[static_cast<size_t>(index)]
                                                             : nullptr;
}

int TTree::IndexOf(const std::string& text) const {
  const auto& flat = Flat();
  for (size_t i = 0; i < flat.size(); ++i) {
    if (flat[i]->Text == text) return static_cast<int>(i);
  }
  return -1;
}

void TTree::Exchange(int first, int second) {
  TNode* a = Item(first);
  TNode* b = Item(second);
  if (a == nullptr || b == nullptr || a == b || a->parent_ != b->parent_) return;
  auto& siblings = a->parent_->children_;
  auto find = [&](TNode* node) {
    return std::find_if(siblings.begin(), siblings.end(),
                        [node](const std::unique_ptr<TNode>& n) { return n.get() == node; });
  };
  std::iter_swap(find(a), find(b));
  stale_ = true;
}

int TTree::Depth(const TNode* node) const {
  int depth = 0;
  for (const TNode* n = node; n != nullptr && n->parent_ != nullptr && n->parent_ != &root_;
       n = n->parent_) {
    ++depth;
  }
  return depth;
}
