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
    if (source == nullptr) {
      graphic_.reset();
      return;
    }
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->Assign(source);
    graphic_ = std::move(bitmap);
  }
  // Takes a bitmap over without copying it.
  void Take(std::unique_ptr<TBitmap> bitmap) { graphic_ = std::move(bitmap); }
  // Hands the held picture over, leaving the holder empty.
  std::unique_ptr<TGraphic> ReleaseGraphic() { return std::move(graphic_); }
  // Holds a picture in its own form (a compressed JPEG) until Realize.
  void TakeGraphic(std::unique_ptr<TGraphic> graphic) { graphic_ = std::move(graphic); }
  // Makes the held picture a device bitmap (decoding a compressed one); the pixels are moved,
  // not copied, where the picture allows it.
  void Realize();
  void Clear() { graphic_.reset(); }

 private:
  std::unique_ptr<TGraphic> graphic_;
};
