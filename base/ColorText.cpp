#include "base/ColorText.h"

#include <array>
#include <cstdio>

#include "base/IniFile.h"
#include "base/TextCase.h"

namespace {

struct NamedColor {
  uint32_t value;
  const char* name;
};

constexpr uint32_t kSystem = 0xFF000000u;

constexpr std::array<NamedColor, 52> kNamedColors{{
    {0x000000, "clBlack"},
    {0x000080, "clMaroon"},
    {0x008000, "clGreen"},
    {0x008080, "clOlive"},
    {0x800000, "clNavy"},
    {0x800080, "clPurple"},
    {0x808000, "clTeal"},
    {0x808080, "clGray"},
    {0xC0C0C0, "clSilver"},
    {0x0000FF, "clRed"},
    {0x00FF00, "clLime"},
    {0x00FFFF, "clYellow"},
    {0xFF0000, "clBlue"},
    {0xFF00FF, "clFuchsia"},
    {0xFFFF00, "clAqua"},
    {0xFFFFFF, "clWhite"},
    {0xC0DCC0, "clMoneyGreen"},
    {0xF0CAA6, "clSkyBlue"},
    {0xF0FBFF, "clCream"},
    {0xA4A0A0, "clMedGray"},
    {kSystem | 0, "clScrollBar"},
    {kSystem | 1, "clBackground"},
    {kSystem | 2, "clActiveCaption"},
    {kSystem | 3, "clInactiveCaption"},
    {kSystem | 4, "clMenu"},
    {kSystem | 5, "clWindow"},
    {kSystem | 6, "clWindowFrame"},
    {kSystem | 7, "clMenuText"},
    {kSystem | 8, "clWindowText"},
    {kSystem | 9, "clCaptionText"},
    {kSystem | 10, "clActiveBorder"},
    {kSystem | 11, "clInactiveBorder"},
    {kSystem | 12, "clAppWorkSpace"},
    {kSystem | 13, "clHighlight"},
    {kSystem | 14, "clHighlightText"},
    {kSystem | 15, "clBtnFace"},
    {kSystem | 16, "clBtnShadow"},
    {kSystem | 17, "clGrayText"},
    {kSystem | 18, "clBtnText"},
    {kSystem | 19, "clInactiveCaptionText"},
    {kSystem | 20, "clBtnHighlight"},
    {kSystem | 21, "cl3DDkShadow"},
    {kSystem | 22, "cl3DLight"},
    {kSystem | 23, "clInfoText"},
    {kSystem | 24, "clInfoBk"},
    {kSystem | 26, "clHotLight"},
    {kSystem | 27, "clGradientActiveCaption"},
    {kSystem | 28, "clGradientInactiveCaption"},
    {kSystem | 29, "clMenuHighlight"},
    {kSystem | 30, "clMenuBar"},
    {0x1FFFFFFF, "clNone"},
    {0x20000000, "clDefault"},
}};

}  // namespace

std::string ColorToString(TColor color) {
  for (const NamedColor& named : kNamedColors) {
    if (named.value == static_cast<uint32_t>(color)) return named.name;
  }
  char text[16];
  std::snprintf(text, sizeof text, "$%.8X", static_cast<unsigned>(color));
  return text;
}

bool TryStringToColor(std::string_view text, TColor& color) {
  for (const NamedColor& named : kNamedColors) {
    if (SameText(text, named.name)) {
      color = static_cast<TColor>(named.value);
      return true;
    }
  }
  int32_t value = 0;
  if (!TryStrToInt(text, value)) return false;
  color = value;
  return true;
}
