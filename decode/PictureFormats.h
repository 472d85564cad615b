// The process-wide list of picture formats: extension, description and the class that reads
// it, in registration order. File dialogs take their filters from it; pictures load by their
// extension through it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TGraphic;

struct TPictureFormat {
  std::string Extension;  // without the dot
  std::string Description;
  std::function<std::unique_ptr<TGraphic>()> Create;
};

class TPictureFormatRegistry {
 public:
  static TPictureFormatRegistry& Instance();

  // A later registration of the same extension (ignoring case) replaces the earlier one.
  void Register(const std::string& extension, const std::string& description,
                std::function<std::unique_ptr<TGraphic>()> create);
  void Unregister(const std::string& extension);
  const std::vector<TPictureFormat>& Formats() const { return formats_; }
  // The format of a file name's extension, or null.
  const TPictureFormat* Find(const std::string& fileName) const;
  // "All (*.a;*.b)|*.a;*.b|Description (*.a)|*.a|...".
  std::string Filter() const;

 private:
  std::vector<TPictureFormat> formats_;
};

// Registers the built-in classes that are always present.
void RegisterBuiltInFormats();
