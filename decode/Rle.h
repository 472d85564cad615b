// The RLE8 and RLE4 encodings of Windows BMP files. Decoding writes into zero-filled rows of
// the uncompressed layout (rows in stream order) and never writes outside them; encoding gives
// a stream that decodes to the same rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// EDIBInvalidDIB with "Bad RLE Data 1" to "4" (8 bits) or "5" to "8" (4 bits) for a stream that
// leads outside the picture. A stream that ends without its end-of-bitmap escape stops there.
std::vector<uint8_t> DecodeRle8(const uint8_t* data, size_t size, int width, int height);
std::vector<uint8_t> DecodeRle4(const uint8_t* data, size_t size, int width, int height);

// The same checks without expanding: for refusing bad data when a file is read.
void CheckRle8(const uint8_t* data, size_t size, int width, int height);
void CheckRle4(const uint8_t* data, size_t size, int width, int height);

// `rows` in the uncompressed layout (rows padded to 4 bytes), `height` rows.
std::vector<uint8_t> EncodeRle8(const uint8_t* rows, int width, int height);
std::vector<uint8_t> EncodeRle4(const uint8_t* rows, int width, int height);
