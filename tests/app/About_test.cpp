#include <doctest/doctest.h>

#include "app/AboutTune.h"
#include "app/BinaryKeeper.h"

namespace {

uint32_t Big32(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) |
         b[at + 3];
}

uint32_t VariableLength(const std::vector<uint8_t>& b, size_t& at) {
  uint32_t value = 0;
  for (;;) {
    const uint8_t byte = b.at(at++);
    value = (value << 7) | (byte & 0x7F);
    if ((byte & 0x80) == 0) return value;
  }
}

}  // namespace

TEST_CASE("the kept bytes: a count then the bytes, nothing when empty, short data refused") {
  TBinaryKeeper keeper;
  CHECK(keeper.StoreData().empty());
  keeper.SetBytes({1, 2, 3});
  const std::vector<uint8_t> stored = keeper.StoreData();
  CHECK(stored == std::vector<uint8_t>{3, 0, 0, 0, 1, 2, 3});
  TBinaryKeeper copy;
  copy.LoadData(stored);
  CHECK(copy.Bytes() == keeper.Bytes());
  CHECK(copy.Size() == 3);
  CHECK_THROWS_AS(copy.LoadData({9, 0, 0, 0, 1}), EReadError);
  CHECK_THROWS_AS(copy.LoadData({0xFF, 0xFF, 0xFF, 0xFF}), EReadError);
  copy.LoadData({});
  CHECK(copy.Size() == 0);
}

TEST_CASE("the tune is a well-formed MIDI file: two tracks of four bars, every note ended") {
  const std::vector<uint8_t> tune = AboutTune();
  REQUIRE(tune.size() > 22);
  CHECK(std::string(tune.begin(), tune.begin() + 4) == "MThd");
  CHECK(Big32(tune, 4) == 6);
  CHECK(tune[9] == 1);   // format 1
  CHECK(tune[11] == 2);  // two tracks
  const unsigned division = (unsigned{tune[12]} << 8) | tune[13];
  size_t at = 14;
  for (int track = 0; track < 2; ++track) {
    CAPTURE(track);
    REQUIRE(std::string(tune.begin() + static_cast<long>(at),
                        tune.begin() + static_cast<long>(at) + 4) == "MTrk");
    const size_t end = at + 8 + Big32(tune, at + 4);
    REQUIRE(end <= tune.size());
    at += 8;
    uint32_t time = 0;
    int sounding = 0;
    bool ended = false;
    while (at < end) {
      time += VariableLength(tune, at);
      const uint8_t status = tune.at(at++);
      if (status == 0xFF) {
        const uint8_t type = tune.at(at++);
        const uint32_t length = VariableLength(tune, at);
        at += length;
        ended = type == 0x2F;
      } else if ((status & 0xF0) == 0x90) {
        ++sounding;
        at += 2;
      } else if ((status & 0xF0) == 0x80) {
        --sounding;
        at += 2;
      } else if ((status & 0xF0) == 0xC0) {
        at += 1;
      } else {
        FAIL("unexpected event");
      }
      CHECK(sounding >= 0);
      CHECK(sounding <= 1);
    }
    CHECK(at == end);
    CHECK(ended);
    CHECK(sounding == 0);
    CHECK(time == 16 * division);  // four bars of four beats
  }
  CHECK(at == tune.size());
}
