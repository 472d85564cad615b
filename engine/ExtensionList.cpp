#include "engine/ExtensionList.h"

#include <algorithm>

#include "base/Path.h"

TExtensionList TExtensionList::Build(const std::vector<std::string>& pluginFilters) {
  TExtensionList list;
  list.AddCommaText(kBuiltIn);
  for (const std::string& filter : pluginFilters) {
    std::string masks = UpperCase(filter);
    std::replace(masks.begin(), masks.end(), ';', ',');
    list.AddCommaText(masks);
  }
  list.Remove("*.*");
  list.Remove("*.SUE");
  return list;
}

void TExtensionList::AddCommaText(std::string_view text) {
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t comma = text.find(',', pos);
    if (comma == std::string_view::npos) comma = text.size();
    std::string_view mask = text.substr(pos, comma - pos);
    while (!mask.empty() && mask.front() == ' ') mask.remove_prefix(1);
    while (!mask.empty() && mask.back() == ' ') mask.remove_suffix(1);
    if (!mask.empty()) masks_.emplace(mask);
    pos = comma + 1;
  }
}

bool TExtensionList::Accepts(std::string_view path) const {
  // The set compares without regard to case, so the extension needs no upper-casing here.
  std::string mask = "*";
  mask += ExtractFileExt(path);
  return Contains(mask);
}
