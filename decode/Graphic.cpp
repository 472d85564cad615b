#include "decode/Graphic.h"

#include "base/Stream.h"

void TGraphic::LoadFromFile(const std::string& path) {
  std::unique_ptr<TStream> stream = OpenFileStream(path);
  LoadFromStream(*stream);
}

void TGraphic::SaveToFile(const std::string& path) const {
  std::unique_ptr<TStream> stream = CreateFileStream(path);
  SaveToStream(*stream);
}

void TGraphic::Assign(const TGraphic* source) {
  if (source != nullptr && source->AssignTo(*this)) return;
  throw EConvertError(std::string("Cannot assign a ") +
                      (source != nullptr ? source->ClassName() : "nil") + " to a " + ClassName());
}

bool TGraphic::AssignTo(TGraphic& /*target*/) const {
  return false;
}

void TGraphic::Draw(TCanvasHandle /*canvas*/, const TRect& /*rect*/) const {}

void TGraphic::Changed() {
  Modified = true;
  if (OnChange) OnChange(*this);
}

void TGraphic::Progress(TProgressStage stage, uint8_t percent, const TRect& rect,
                        const std::string& message) {
  if (OnProgress) OnProgress(*this, stage, percent, false, rect, message);
}
