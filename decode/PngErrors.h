// The error of the PNG picture class and its fixed messages.
#pragma once

#include "decode/DIBErrors.h"

class EPngGraphic : public EInvalidGraphic {
 public:
  using EInvalidGraphic::EInvalidGraphic;
};

namespace PngMessage {
inline constexpr char kNotPng[] = "PNG LoadStream: Not PNG Format";
inline constexpr char kZlib[] = "PNG LoadStream: Error ZLIB";
inline constexpr char kReadError[] = "Read Image (PNG): Read Error";
inline constexpr char kTwoHeaders[] = "Read Header(PNG): appear two IHDR";
inline constexpr char kColorType[] = "Read Header(PNG): Error ColorType";
inline constexpr char kCompression[] = "Read Header(PNG): not support Compression";
inline constexpr char kFilter[] = "Read Header(PNG): not supprt Filter";
inline constexpr char kInterlace[] = "Read Header(PNG): not interlace type";
inline constexpr char kGreyAlphaDepth[] = "Read Header(PNG): not Use AlphaChannel";
inline constexpr char kGreyDepth[] = "Read Header(PNG): Error Bitdepth";
inline constexpr char kDepth[] = "Read Header(PNG): Error BitDepth";
inline constexpr char kIdatSize[] = "Write PNG Param: Err IDAT Size(min:256  max:100000)";
inline constexpr char kWriteError[] = "Write Image (PNG): Write Error";
}  // namespace PngMessage
