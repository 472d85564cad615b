#include "decode/PngRows.h"

#include <cstring>

namespace {

unsigned Sample(const uint8_t* in, uint32_t i, int depth) {
  const size_t bit = size_t{i} * depth;
  return (in[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
}

void PutNibble(uint8_t* row, uint32_t x, unsigned v) {
  uint8_t& byte = row[x / 2];
  byte = (x & 1) ? static_cast<uint8_t>((byte & 0xF0) | v)
                 : static_cast<uint8_t>((byte & 0x0F) | (v << 4));
}

void Put(uint8_t* row, uint32_t x, unsigned v, int depth) {
  if (depth == 8) {
    row[x] = static_cast<uint8_t>(v);
  } else if (depth == 4) {
    PutNibble(row, x, v);
  } else {
    const auto bit = static_cast<uint8_t>(0x80 >> (x % 8));
    row[x / 8] =
        v != 0 ? static_cast<uint8_t>(row[x / 8] | bit) : static_cast<uint8_t>(row[x / 8] & ~bit);
  }
}

}  // namespace

void TPngRowConverter::operator()(const uint8_t* in, const TPngPass& pass, uint32_t row) {
  const int y = static_cast<int>(pass.YStart + row * pass.YStep);
  uint8_t* out = image_.ScanLine(y);
  uint8_t* alphaOut = alpha_ != nullptr ? alpha_->ScanLine(y) : nullptr;
  const uint32_t x0 = pass.XStart;
  const uint32_t dx = pass.XStep;
  const uint32_t count = pass.Width;
  const int depth = header_.BitDepth;
  const size_t b = depth == 16 ? 2 : 1;  // bytes per sample; the high byte comes first
  switch (header_.ColorType) {
    case PngColor::kGrey:
    case PngColor::kPalette:
      if (depth == 16) {
        for (uint32_t i = 0; i < count; ++i) out[x0 + i * dx] = in[i * 2];
      } else if (depth == 2) {
        for (uint32_t i = 0; i < count; ++i) PutNibble(out, x0 + i * dx, Sample(in, i, 2));
      } else if (dx == 1) {
        // Indices keep their bit layout: PNG and the bitmap both put the leftmost pixel in
        // the high bits of a byte.
        std::memcpy(out, in, (size_t{count} * depth + 7) / 8);
      } else {
        for (uint32_t i = 0; i < count; ++i) Put(out, x0 + i * dx, Sample(in, i, depth), depth);
      }
      break;
    case PngColor::kGreyAlpha:
      if (alphaOut == nullptr) break;
      for (uint32_t i = 0; i < count; ++i) {
        const uint32_t x = x0 + i * dx;
        out[x] = in[i * 2 * b];
        alphaOut[x] = static_cast<uint8_t>(255 - in[i * 2 * b + b]);
      }
      break;
    case PngColor::kRgb:
    case PngColor::kRgba: {
      const size_t stride = (header_.ColorType == PngColor::kRgba ? 4 : 3) * b;
      if (rgb565_) {
        for (uint32_t i = 0; i < count; ++i) {
          const uint8_t* p = in + i * stride;
          const unsigned v = ((p[0] >> 3) << 11) | ((p[b] >> 2) << 5) | (p[2 * b] >> 3);
          out[(x0 + i * dx) * 2] = static_cast<uint8_t>(v);
          out[(x0 + i * dx) * 2 + 1] = static_cast<uint8_t>(v >> 8);
        }
      } else if (stride == 3 && dx == 1) {
        for (uint32_t i = 0; i < count; ++i) {
          out[i * 3] = in[i * 3 + 2];
          out[i * 3 + 1] = in[i * 3 + 1];
          out[i * 3 + 2] = in[i * 3];
        }
      } else {
        for (uint32_t i = 0; i < count; ++i) {
          const uint8_t* p = in + i * stride;
          uint8_t* q = out + size_t{x0 + i * dx} * 3;
          q[0] = p[2 * b];
          q[1] = p[b];
          q[2] = p[0];
        }
      }
      if (header_.ColorType == PngColor::kRgba && alphaOut != nullptr) {
        for (uint32_t i = 0; i < count; ++i) {
          alphaOut[x0 + i * dx] = static_cast<uint8_t>(255 - in[i * stride + 3 * b]);
        }
      }
      break;
    }
    default:
      break;
  }
}
