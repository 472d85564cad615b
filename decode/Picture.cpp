#include "decode/Picture.h"

#include "decode/JPEGImage.h"

void TPicture::Realize() {
  if (!graphic_ || Bitmap() != nullptr) return;
  if (auto* jpeg = dynamic_cast<TJPEGImage*>(graphic_.get())) {
    graphic_ = jpeg->TakeBitmap();
    return;
  }
  Assign(graphic_.get());
}
