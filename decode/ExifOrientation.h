// The orientation a camera or phone records in a JPEG's Exif data: which way the stored picture
// must be turned or mirrored to stand upright.
#pragma once

#include <cstddef>
#include <cstdint>

// The Orientation tag (1 to 8) of the first Exif APP1 segment of the JPEG file in `data`, read
// from IFD0 only. 1 (as stored) when there is no Exif before the scan, or when what there is
// does not hold together: nothing outside `data` or the segment is ever read.
int ReadExifOrientation(const uint8_t* data, size_t size);
