#include "engine/ExcludedPictures.h"

#include "base/TextCase.h"

void TExcludedPictures::Assign(const std::vector<std::string>& paths) {
  Clear();
  for (const std::string& path : paths) Add(path);
}

bool TExcludedPictures::Add(const std::string& path) {
  if (path.empty() || !keys_.insert(UpperCase(path)).second) return false;
  paths_.push_back(path);
  return true;
}

bool TExcludedPictures::Contains(const std::string& path) const {
  return !keys_.empty() && keys_.count(UpperCase(path)) != 0;
}

void TExcludedPictures::Clear() {
  paths_.clear();
  keys_.clear();
}
