// The background of a picture fitted to a screen it does not fill: the same picture scaled to
// cover the screen, strongly blurred and a little darkened, instead of flat desktop colour.
#pragma once

#include <cstdint>
#include <memory>

#include "decode/Bitmap.h"
#include "decode/Graphic.h"

// The blur is computed on a copy 1/kBlurReduction of the screen's size, then enlarged smoothly.
constexpr int kBlurReduction = 16;
// Three box passes each way approximate a Gaussian; their radius in pixels of the reduced copy.
int BlurRadius(int reducedWidth, int reducedHeight);
// How much light the background keeps.
constexpr float kBlurBrightness = 0.8F;

// A 24-bit bitmap of screenWidth × screenHeight: `picture` (24 bits) scaled to cover it (its
// overflow cropped evenly, as fill does), reduced, blurred by three box passes each way (edges
// extended), darkened and enlarged bilinearly, all in floating point and rounded once. `threads`
// share the enlargement's rows. Pixels inside `covered` (where the caller puts the picture
// itself) are left black, not computed.
std::unique_ptr<TBitmap> BlurredBackground(const TBitmap& picture, int screenWidth,
                                           int screenHeight, int threads = 1,
                                           const TRect& covered = TRect{});
