// An ordered tree of text nodes with a flat, pre-order view of all nodes (the root excluded),
// rebuilt only when the tree has changed since it was last asked for.
#pragma once

#include <memory>
#include <string>
#include <vector>

class TNode {
 public:
  explicit TNode(std::string text = {}, int data = 0) : Text(std::move(text)), Data(data) {}
  TNode(const TNode&) = delete;
  TNode& operator=(const TNode&) = delete;

  std::string Text;
  int Data;
  TNode* Parent() const { return parent_; }
  const std::vector<std::unique_ptr<TNode>>& Children() const { return children_; }

 private:
  friend class TTree;
  TNode* parent_ = nullptr;
  std::vector<std::unique_ptr<TNode>> children_;
};

class TTree {
 public:
  TTree() = default;
  TTree(const TTree&) = delete;
  TTree& operator=(const TTree&) = delete;

  // A new last child of `parent` (the root when null).
  TNode* Add(TNode* parent, const std::string& text, int data = 0);
  // A new first child of `parent` (the root when null).
  TNode* Insert(TNode* parent, const std::string& text, int data = 0);
  void Clear();
  // Removes the node with its descendants.
  void Delete(TNode* node);
  int Count() const;
  TNode* Item(int index) const;
  // The flat position of the first node with exactly this text, or -1.
  int IndexOf(const std::string& text) const;
  // Swaps the nodes at two flat positions (within one parent: the history's flat list).
  void Exchange(int first, int second);
  int TopCount() const { return static_cast<int>(root_.children_.size()); }
  int Depth(const TNode* node) const;

 private:
  const std::vector<TNode*>& Flat() const;

  TNode root_;
  mutable std::vector<TNode*> flat_;
  mutable bool stale_ = true;
};
