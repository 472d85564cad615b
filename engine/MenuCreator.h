// A menu as data, and a component that fills one of its items with items generated from a tree.
// The window's real menu is built from this model each time it opens.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Component.h"
#include "base/Exception.h"
#include "engine/Tree.h"

class TMenuItem : public TComponent {
 public:
  TMenuItem(std::string name = {}, std::string caption = {})
      : Name(std::move(name)), Caption(std::move(caption)) {}

  std::string Name;
  std::string Caption;  // "-" is a separator
  std::string Hint;
  bool Enabled = true;
  std::function<void(TMenuItem& sender)> OnClick;

  TMenuItem* Parent() const { return parent_; }
  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem* Item(int index) const { return items_[static_cast<size_t>(index)].get(); }
  int IndexOf(const TMenuItem* item) const;
  TMenuItem* Add(std::unique_ptr<TMenuItem> item);
  TMenuItem* Insert(int index, std::unique_ptr<TMenuItem> item);
  // Takes the item out (destroying it).
  void Remove(TMenuItem* item);

 private:
  TMenuItem* parent_ = nullptr;
  std::vector<std::unique_ptr<TMenuItem>> items_;
};

class EMenuCreator : public Exception {
 public:
  using Exception::Exception;
};

class TMenuCreator : public TComponent {
 public:
  TMenuCreator() = default;
  ~TMenuCreator() override = default;

  bool Active() const { return active_; }
  // On: the target shows the generated items. Fails with "ターゲットが指定されていません" when
  // no target is set.
  virtual void SetActive(bool active);
  TMenuItem* TargetMenuItem() const { return target_; }
  void SetTargetMenuItem(TMenuItem* target);
  int MaxStrNum() const { return maxStrNum_; }
  void SetMaxStrNum(int value) {
    if (value > 0) maxStrNum_ = value;
  }
  std::string SectionName = "Software";

  // 1: the target is a top-level item of its menu; 2: the target is a separator ("-") inside a
  // submenu, replaced in place; 0: a named submenu item, filled below.
  int PlacementMode() const { return mode_; }

  virtual std::string ShortenCaption(const std::string& text) const;
  virtual const TTree& GetMenuTree() const = 0;
  // Removes the items this component inserted, and only those.
  virtual void ClearMenu();
  virtual void MenuBuilt() {}
  virtual void BuildMenu();
  virtual void ItemClick(TMenuItem& sender) = 0;

 protected:
  // Adds the generated items for `tree` under the insertion rules; captions from `caption`.
  void InsertItems(const TTree& tree, const std::function<std::string(int, const TNode&)>& caption);
  // One disabled item (such as "(なし)") in the target, removed with the next build.
  void InsertPlaceholder(const std::string& caption);
  const std::vector<TMenuItem*>& Created() const { return created_; }

 private:
  bool active_ = false;
  TMenuItem* target_ = nullptr;
  int maxStrNum_ = 40;
  int mode_ = 0;
  std::vector<TMenuItem*> created_;
  int inserted_ = -1;
};
