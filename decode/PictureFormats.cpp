#include "decode/PictureFormats.h"

#include <algorithm>

#include "base/Path.h"
#include "base/TextCase.h"
#include "decode/Bitmap.h"
#include "decode/DIBImage.h"
#include "decode/JPEGImage.h"
#include "decode/PngGraphic.h"

TPictureFormatRegistry& TPictureFormatRegistry::Instance() {
  static TPictureFormatRegistry registry;
  return registry;
}

void TPictureFormatRegistry::Register(const std::string& extension, const std::string& description,
                                      std::function<std::unique_ptr<TGraphic>()> create) {
  for (TPictureFormat& format : formats_) {
    if (SameText(format.Extension, extension)) {
      format.Description = description;
      format.Create = std::move(create);
      return;
    }
  }
  formats_.push_back(TPictureFormat{extension, description, std::move(create)});
}

void TPictureFormatRegistry::Unregister(const std::string& extension) {
  std::erase_if(formats_,
                [&](const TPictureFormat& f) { return SameText(f.Extension, extension); });
}

const TPictureFormat* TPictureFormatRegistry::Find(const std::string& fileName) const {
  std::string ext = ExtractFileExt(fileName);
  if (!ext.empty()) ext.erase(0, 1);
  for (const TPictureFormat& format : formats_) {
    if (SameText(format.Extension, ext)) return &format;
  }
  return nullptr;
}

std::string TPictureFormatRegistry::Filter() const {
  std::string all;
  std::string each;
  for (const TPictureFormat& format : formats_) {
    const std::string mask = "*." + format.Extension;
    if (!all.empty()) all += ';';
    all += mask;
    each.append("|").append(format.Description).append(" (").append(mask).append(")|").append(mask);
  }
  return "All (" + all + ")|" + all + each;
}

void RegisterBuiltInFormats() {
  TPictureFormatRegistry& registry = TPictureFormatRegistry::Instance();
  registry.Register("bmp", "Bitmaps", [] { return std::make_unique<TBitmap>(); });
  registry.Register("dib", "Device Independent Bitmap",
                    [] { return std::make_unique<TDIBImage>(); });
  registry.Register("jpeg", "JPEG イメージファイル", [] { return std::make_unique<TJPEGImage>(); });
  registry.Register("jpg", "JPEG イメージファイル", [] { return std::make_unique<TJPEGImage>(); });
  registry.Register("PNG", "PNG Format", [] { return std::make_unique<TPngGraphic>(); });
}
