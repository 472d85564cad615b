// The Susie plug-in interface as this program and its own plug-ins use it: the packed
// picture-information record and the result codes. The entry points themselves are declared
// on the Windows side (they use the stdcall convention).
#pragma once

#include <cstdint>

#pragma pack(push, 1)
struct TSusiePictureInfo {
  int32_t left;
  int32_t top;
  int32_t width;
  int32_t height;
  uint16_t xDensity;
  uint16_t yDensity;
  int16_t colorDepth;
  uint32_t hInfo;  // a local-memory handle with text information, or 0
};
#pragma pack(pop)
static_assert(sizeof(TSusiePictureInfo) == 26, "the record is packed to 26 bytes");

namespace SusieResult {
constexpr int kSuccess = 0;
constexpr int kNotImplemented = -1;
constexpr int kAborted = 1;
constexpr int kUnknownFormat = 2;
constexpr int kBrokenData = 3;
constexpr int kNoMemory = 4;
constexpr int kMemoryError = 5;
constexpr int kFileReadError = 6;
constexpr int kInternalError = 8;
}  // namespace SusieResult

// The header block handed to IsSupported: 2 KB of the data plus room for a MacBinary header.
constexpr int kSusieHeaderBlock = 2048 + 128;
constexpr int kMacBinaryHeader = 128;
