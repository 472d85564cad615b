// A picture class of nobody's: 1 x 1, reads and writes nothing, takes no other class. Tests
// hand it to Assign to see foreign classes refused.
#pragma once

#include "decode/Graphic.h"

struct TOther final : TGraphic {
  const char* ClassName() const override { return "TOther"; }
  int Width() const override { return 1; }
  int Height() const override { return 1; }
  bool Empty() const override { return false; }
  void LoadFromStream(TStream&) override {}
  void SaveToStream(TStream&) const override {}
};
