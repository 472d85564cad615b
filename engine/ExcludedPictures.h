// The pictures the user never wants to see again: full paths, kept in a list file beside the
// settings file. Names compare regardless of case, as Windows compares file names.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

class TExcludedPictures {
 public:
  // Replaces the list with the given full paths; empty lines and repeats are dropped.
  void Assign(const std::vector<std::string>& paths);
  // False when the path is already on the list.
  bool Add(const std::string& path);
  bool Contains(const std::string& path) const;
  void Remove(const std::string& path);
  void Clear();

  size_t Count() const { return keys_.size(); }
  bool Empty() const { return keys_.empty(); }

 private:
  std::unordered_set<std::string> keys_;  // the paths upper-cased
};
