// The about box's tune, composed here: a short melody with a bass line written out as a
// Standard MIDI File (format 1, two tracks).
#pragma once

#include <cstdint>
#include <vector>

std::vector<uint8_t> AboutTune();
