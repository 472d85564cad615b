// Turning a decoded picture upright as its Exif orientation says (see ExifOrientation.h).
// 1: as stored. 2: mirrored left to right. 3: turned half round. 4: mirrored top to bottom.
// 5: mirrored along the top-left to bottom-right diagonal. 6: turned a quarter clockwise.
// 7: mirrored along the top-right to bottom-left diagonal. 8: turned a quarter counter-clockwise.
#pragma once

#include "decode/Bitmap.h"

// Whether width and height change places on the way upright (5 to 8).
bool OrientationSwapsSides(int orientation);

// The upright size of a picture stored as width x height.
void OrientedSize(int orientation, int width, int height, int& uprightWidth, int& uprightHeight);

// The box of a stored width x height picture that becomes `upright` (a box of the upright
// picture) once turned.
TRect StoredBox(int orientation, const TRect& upright, int width, int height);

// Turns the pixels of `bitmap` upright, keeping its pixel format and palette. 2 to 4 work in
// place; 5 to 8 fill a new block of pixels that replaces the old one. Other values leave the
// bitmap as it is.
void OrientBitmap(TBitmap& bitmap, int orientation);
