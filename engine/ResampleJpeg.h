// The quality shrink of a JPEG straight from its decoder: rows go into the resampler as they
// are decoded, so the full-size picture is never held. With two threads the decoder and the
// resampler run side by side; the bytes are those of ResampleBitmap on the decoded picture. A
// picture with an Exif orientation is shrunk as stored and the small result turned upright: the
// bytes may then differ from those of shrinking the upright picture by 1 (rounding).
#pragma once

#include <memory>

#include "decode/JPEGImage.h"

// `jpeg` must be able to deliver rows (TJPEGImage::CanDecodeRows); the new size and the result
// are upright. With `box` (upright coordinates, inside the picture) only that part of the
// picture is scaled. EJPEG when decoding fails, EAssertionFailed for a new size below 1 or a box
// outside the picture.
std::unique_ptr<TBitmap> ResampleJpeg(const TJPEGImage& jpeg, int newWidth, int newHeight,
                                      int threads = 1, const TRect* box = nullptr);
