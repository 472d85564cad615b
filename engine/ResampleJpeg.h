// The quality shrink of a JPEG straight from its decoder: rows go into the resampler as they
// are decoded, so the full-size picture is never held. With two threads the decoder and the
// resampler run side by side; the bytes are those of ResampleBitmap on the decoded picture.
#pragma once

#include <memory>

#include "decode/JPEGImage.h"

// `jpeg` must be able to deliver rows (TJPEGImage::CanDecodeRows). EJPEG when decoding fails,
// EAssertionFailed for a new size below 1.
std::unique_ptr<TBitmap> ResampleJpeg(const TJPEGImage& jpeg, int newWidth, int newHeight,
                                      int threads = 1);
