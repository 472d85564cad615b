// Filling and fitting a picture to a screen: the part of the picture that is shown and where it
// lands, and the holder-level step that writes a bitmap of exactly the screen's size.
#pragma once

#include <cstdint>
#include <memory>

#include "decode/Bitmap.h"

#include "decode/Graphic.h"
#include "decode/Picture.h"

class IBusyDisplay;

// How the program itself scales a picture to the screen. `Desktop` leaves it to the desktop's
// own tile, centre or wide mode (with the optional shrink); the others write a screen-sized
// bitmap. The numbers are those of the settings file.
enum class TScreenFit : int32_t { Desktop = 0, Fill = 1, Fit = 2 };

struct TScreenPlan {
  TRect Source;  // the box of the picture that is shown
  TRect Target;  // where it lands in the screen-sized bitmap
};

// A 24-bit bitmap of width × height in `background` (0x00BBGGRR).
std::unique_ptr<TBitmap> BackgroundBitmap(int width, int height, uint32_t background);

// Fill: scaled to cover the whole screen, the overflow cropped evenly on both sides.
TScreenPlan PlanFill(int width, int height, int screenWidth, int screenHeight);
// Fit: scaled to lie inside the screen, centred; the rest is background.
TScreenPlan PlanContain(int width, int height, int screenWidth, int screenHeight);

// Replaces the holder's picture by a 24-bit bitmap of screenWidth × screenHeight: the picture
// filled or fitted into it (exact resampler, or nearest pixels when speed comes first), the
// uncovered parts in `background` (0x00BBGGRR). A picture with a colour profile is turned into
// sRGB on the way (the background is not). Nothing for `Desktop` or an empty holder. The busy
// display shows red and "ReSize.." meanwhile.
// With `blurBackground`, fit's uncovered parts show the picture itself, blurred
// (BlurredBackground), instead of `background`.
void ScaleToScreen(TPicture& holder, TScreenFit mode, int screenWidth, int screenHeight,
                   uint32_t background, bool speedPriority, IBusyDisplay& busy, int threads = 1,
                   bool blurBackground = false);

// The part of a picture larger than the screen that the desktop shows without scaling it: its
// middle when the desktop centres it, else from the top-left (the tile origin, and where Wine
// draws a centred picture larger than the screen). A dimension that fits stays whole.
TRect VisiblePart(int width, int height, int screenWidth, int screenHeight, bool fromTopLeft);

// Crops the holder's picture to `box` (a box inside it). Nothing when the box is the whole
// picture.
void CropPicture(TPicture& holder, const TRect& box);
