// An image holder: empty, or one picture. Loaders put a device bitmap copy into it; a JPEG may
// be held still compressed, so that shrinking it can take its rows straight from the decoder.
#pragma once

#include <memory>

#include "decode/Bitmap.h"

class TPicture {
 public:
  bool Empty() const { return !graphic_; }
  const TGraphic* Graphic() const { return graphic_.get(); }
  // The held picture when it is a device bitmap, else null.
  const TBitmap* Bitmap() const { return dynamic_cast<const TBitmap*>(graphic_.get()); }
  int Width() const { return graphic_ ? graphic_->Width() : 0; }
  int Height() const { return graphic_ ? graphic_->Height() : 0; }

  // Holds a copy of the picture as a device bitmap (null empties the holder).
  void Assign(const TGraphic* source) {
    profile_ = source != nullptr ? source->ColorProfile : nullptr;
    if (source == nullptr) {
      graphic_.reset();
      return;
    }
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->Assign(source);
    graphic_ = std::move(bitmap);
  }
  // Takes over, without copying it, a bitmap made from the held picture (scaled, cropped,
  // converted): the picture's colour profile stays.
  void Take(std::unique_ptr<TBitmap> bitmap) { graphic_ = std::move(bitmap); }
  // Hands the held picture over, leaving the holder empty.
  std::unique_ptr<TGraphic> ReleaseGraphic() {
    profile_.reset();
    return std::move(graphic_);
  }
  // Holds a picture in its own form (a compressed JPEG) until Realize.
  void TakeGraphic(std::unique_ptr<TGraphic> graphic) {
    profile_ = graphic ? graphic->ColorProfile : nullptr;
    graphic_ = std::move(graphic);
  }
  // The colours the held picture's pixels are in (null: sRGB); kept until they are converted.
  const TColorProfilePtr& Profile() const { return profile_; }
  void SetProfile(TColorProfilePtr profile) { profile_ = std::move(profile); }
  // Makes the held picture a device bitmap (decoding a compressed one); the pixels are moved,
  // not copied, where the picture allows it.
  void Realize();
  void Clear() {
    graphic_.reset();
    profile_.reset();
  }

 private:
  std::unique_ptr<TGraphic> graphic_;
  TColorProfilePtr profile_;
};
