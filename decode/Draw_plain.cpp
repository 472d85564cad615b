// The portable build has no device to draw on.
#include "decode/Bitmap.h"
#include "decode/DIBImage.h"

void TDIBImage::Draw(TCanvasHandle /*canvas*/, const TRect& /*rect*/) const {}

void TBitmap::Draw(TCanvasHandle /*canvas*/, const TRect& /*rect*/) const {}
