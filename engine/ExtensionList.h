// The file masks a folder scan accepts: sorted, without duplicates, compared without regard to
// case. Built once from the built-in masks and the first filter entry of every decoder plug-in.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/TextCase.h"

class TExtensionList {
 public:
  static constexpr const char* kBuiltIn = "*.BMP,*.ICO,*.JPG,*.JPEG,*.ArcLink,*.lnk";

  // `pluginFilters` holds, in plug-in load order, each plug-in's first filter entry such as
  // "*.pic;*.pict".
  static TExtensionList Build(const std::vector<std::string>& pluginFilters);

  void AddCommaText(std::string_view text);
  void Remove(std::string_view mask) { masks_.erase(std::string(mask)); }
  bool Contains(std::string_view mask) const { return masks_.find(mask) != masks_.end(); }
  // Whether a path's extension is accepted: "*" + its upper-cased extension is a listed mask.
  bool Accepts(std::string_view path) const;
  std::vector<std::string> Masks() const { return {masks_.begin(), masks_.end()}; }

 private:
  std::set<std::string, TextLess> masks_;
};
