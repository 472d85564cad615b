// A colour channel of a partly transparent pixel laid over a background, as a picture viewer
// shows it: colour × alpha + background × (255 − alpha), over 255, rounded.
#pragma once

#include <cstdint>

inline uint8_t BlendOver(uint8_t colour, uint8_t alpha, uint8_t background) {
  const unsigned mixed = unsigned{colour} * alpha + unsigned{background} * (255u - alpha);
  return static_cast<uint8_t>((mixed + 127u) / 255u);
}
