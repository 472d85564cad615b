#include "decode/PngGraphic.h"

#include <chrono>

namespace {

TPngTime UtcNow() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const auto days = floor<std::chrono::days>(now);
  const year_month_day date{days};
  const hh_mm_ss time{floor<seconds>(now - days)};
  TPngTime t;
  t.Year = static_cast<uint16_t>(static_cast<int>(date.year()));
  t.Month = static_cast<uint8_t>(static_cast<unsigned>(date.month()));
  t.Day = static_cast<uint8_t>(static_cast<unsigned>(date.day()));
  t.Hour = static_cast<uint8_t>(time.hours().count());
  t.Minute = static_cast<uint8_t>(time.minutes().count());
  t.Second = static_cast<uint8_t>(time.seconds().count());
  return t;
}

}  // namespace

TPngGraphic::TPngGraphic() : ModificationTime(UtcNow()) {}

void TPngGraphic::ResetChunkFields() {
  HasAlpha = false;
  Interlace = 0;
  Comment.clear();
  BackgroundColor = kNoColor;
  TransparentColor = kNoColor;
  Gamma = 0.45455;
  GammaChunk = false;
  SrgbChunk = false;
  IccProfile.clear();
  ColorProfile.reset();
  PhysicalSize = {};
  SignificantBits = {};
  Chromaticities = {};
  GifExtension = {};
}

void TPngGraphic::SetWidth(int width) {
  if (!Image().Empty()) Image().SetWidth(width);
  if (!Alpha().Empty()) Alpha().SetWidth(width);
  Changed();
}

void TPngGraphic::SetHeight(int height) {
  if (!Image().Empty()) Image().SetHeight(height);
  if (!Alpha().Empty()) Alpha().SetHeight(height);
  Changed();
}

void TPngGraphic::SetPalette(std::vector<TRGBQuad> colors) {
  Image().SetPalette(std::move(colors));
  Changed();
}

void TPngGraphic::SetTransparent(bool transparent) {
  Transparent = transparent;
  Image().Transparent = transparent;
  Changed();
}

void TPngGraphic::Assign(const TGraphic* source) {
  if (source == this) return;
  if (const auto* png = dynamic_cast<const TPngGraphic*>(source)) {
    Image().Assign(&png->Image());
    Alpha().Assign(&png->Alpha());
    Transparent = png->Transparent;
    HasAlpha = png->HasAlpha;
    IDATSize = png->IDATSize;
    CompressionLevel = png->CompressionLevel;
    FilterChoice = png->FilterChoice;
    Interlace = png->Interlace;
    Comment = png->Comment;
    BackgroundColor = png->BackgroundColor;
    TransparentColor = png->TransparentColor;
    Gamma = png->Gamma;
    PhysicalSize = png->PhysicalSize;
    SignificantBits = png->SignificantBits;
    Chromaticities = png->Chromaticities;
    ModificationTime = png->ModificationTime;
    GifExtension = png->GifExtension;
    Output16Bit = png->Output16Bit;
    Changed();
    return;
  }
  if (source != nullptr) {
    Image().Assign(source);
    Transparent = Image().Transparent;
    Changed();
    return;
  }
  TGraphic::Assign(source);
}

bool TPngGraphic::AssignTo(TGraphic& target) const {
  // A target that takes no bitmap takes no PNG either: the caller then names both classes.
  try {
    target.Assign(&Image());
  } catch (const EConvertError&) {
    return false;
  }
  return true;
}

void TPngGraphic::Draw(TCanvasHandle canvas, const TRect& rect) const {
  Image().Draw(canvas, rect);
}
