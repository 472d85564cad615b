#include "engine/ExcludedPictures.h"

#include "base/TextCase.h"

void TExcludedPictures::Assign(const std::vector<std::string>& paths) {
  Clear();
  for (const std::string& path : paths) Add(path);
}

bool TExcludedPictures::Add(const std::string& path) {
  return !path.empty() && keys_.insert(UpperCase(path)).second;
}

bool TExcludedPictures::Contains(const std::string& path) const {
  return !keys_.empty() && keys_.count(UpperCase(path)) != 0;
}

void TExcludedPictures::Clear() {
  keys_.clear();
}

void TExcludedPictures::Remove(const std::string& path) {
  keys_.erase(UpperCase(path));
}
