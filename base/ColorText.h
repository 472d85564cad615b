// Colours as the settings file writes them: a known identifier ("clWindowText", "clRed", ...)
// when the value has one, otherwise "$" and eight hexadecimal digits. System colours are the
// value 0xFF000000 plus the system colour index.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

using TColor = int32_t;

constexpr TColor clWindowText = static_cast<TColor>(0xFF000008);
constexpr TColor clBlack = 0x000000;

std::string ColorToString(TColor color);
// Accepts an identifier (any letter case) or a number; false when it is neither.
bool TryStringToColor(std::string_view text, TColor& color);
