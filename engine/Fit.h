// Fitting a picture into a rectangle: the centring offsets and the shrunken size (never larger),
// the fast nearest-pixel stretch and the holder-level step that picks the fast or the quality
// path.
#pragma once

#include <functional>
#include <memory>

#include "decode/Bitmap.h"
#include "decode/Picture.h"

class IBusyDisplay;
class TDIBStore;

struct TFitPlan {
  int Left = 0;  // centring offsets, from the size before shrinking
  int Top = 0;
  bool Shrink = false;
  int Width = 0;  // the new size when shrinking
  int Height = 0;
};

// The plan for a w × h picture in a rectangle of rw × rh. The new size is computed in extended
// precision and truncated; a size below 1 becomes 1; a picture whose size does not change is
// left alone.
TFitPlan PlanFit(int w, int h, int rw, int rh);

// A nearest-pixel stretch: whole rows and columns are dropped or repeated, nothing averaged.
std::unique_ptr<TBitmap> StretchNearest(const TBitmap& source, int width, int height);
// The same over a source whose 24-bit rows (top row 0) `rowAt` gives.
std::unique_ptr<TBitmap> StretchNearestRows(int sourceWidth, int sourceHeight,
                                            const std::function<const uint8_t*(int y)>& rowAt,
                                            int width, int height);

// Whether a DIB's pixels are 24-bit uncompressed rows, complete: the shrink can read them as
// they lie.
bool IsPlainTrueColor(const TDIBStore& store);

// The top-down rows of a picture held as its plug-in decoded it (24 bits, uncompressed), read
// where they lie: no second full-size copy. An empty function for any other picture.
std::function<const uint8_t*(int y)> DibRows(const TPicture& holder);

// Shrinks the holder's picture to fit the rectangle (fast stretch or the quality resampler) and
// replaces the rectangle's left and top by the centring offsets. The busy display shows red and
// "ReSize.." meanwhile.
void FitToRect(TPicture& holder, TRect& rect, bool speedPriority, IBusyDisplay& busy,
               int threads = 1);
