#include "app/AboutTune.h"

#include <string>

namespace {

constexpr int kTicksPerQuarter = 96;

struct TNote {
  int pitch;  // MIDI note number; 0 is a rest
  int eighths;
};

void VariableLength(std::vector<uint8_t>& out, uint32_t value) {
  uint8_t bytes[4];
  int count = 0;
  do {
    bytes[count++] = static_cast<uint8_t>(value & 0x7F);
    value >>= 7;
  } while (value != 0);
  while (count-- > 0) out.push_back(static_cast<uint8_t>(bytes[count] | (count > 0 ? 0x80 : 0)));
}

void Big32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

// One track: its meta events, a program change, then the notes one after another.
std::vector<uint8_t> Track(int channel, int program, int velocity, const std::vector<TNote>& notes,
                           bool tempo) {
  std::vector<uint8_t> events;
  if (tempo) {
    // 132 beats a minute.
    const uint32_t microseconds = 60000000 / 132;
    events.insert(events.end(),
                  {0x00, 0xFF, 0x51, 0x03, static_cast<uint8_t>(microseconds >> 16),
                   static_cast<uint8_t>(microseconds >> 8), static_cast<uint8_t>(microseconds)});
  }
  events.insert(events.end(),
                {0x00, static_cast<uint8_t>(0xC0 | channel), static_cast<uint8_t>(program)});
  uint32_t wait = 0;
  for (const TNote& note : notes) {
    const uint32_t length = static_cast<uint32_t>(note.eighths) * kTicksPerQuarter / 2;
    if (note.pitch == 0) {
      wait += length;
      continue;
    }
    VariableLength(events, wait);
    events.insert(events.end(), {static_cast<uint8_t>(0x90 | channel),
                                 static_cast<uint8_t>(note.pitch), static_cast<uint8_t>(velocity)});
    VariableLength(events, length - 4);  // a little air between the notes
    events.insert(events.end(),
                  {static_cast<uint8_t>(0x80 | channel), static_cast<uint8_t>(note.pitch), 0x40});
    wait = 4;
  }
  VariableLength(events, wait);
  events.insert(events.end(), {0xFF, 0x2F, 0x00});
  std::vector<uint8_t> track{'M', 'T', 'r', 'k'};
  Big32(track, static_cast<uint32_t>(events.size()));
  track.insert(track.end(), events.begin(), events.end());
  return track;
}

}  // namespace

std::vector<uint8_t> AboutTune() {
  // A bright phrase in C major on a music box, answered once and closed on the tonic.
  const std::vector<TNote> melody{{72, 1}, {76, 1}, {79, 1}, {84, 2}, {83, 1}, {79, 1}, {76, 1},  //
                                  {77, 1}, {81, 1}, {84, 1}, {86, 2}, {84, 1}, {81, 1}, {77, 1},  //
                                  {76, 1}, {79, 1}, {84, 1}, {88, 2}, {86, 1}, {83, 1}, {79, 1},  //
                                  {81, 1}, {79, 1}, {77, 1}, {74, 1}, {72, 4}};
  const std::vector<TNote> bass{{48, 4}, {43, 4}, {41, 4}, {43, 4},
                                {48, 4}, {45, 4}, {43, 4}, {48, 4}};
  std::vector<uint8_t> file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0, kTicksPerQuarter};
  const std::vector<uint8_t> first = Track(0, 10, 100, melody, true);  // music box
  const std::vector<uint8_t> second = Track(1, 32, 80, bass, false);   // acoustic bass
  file.insert(file.end(), first.begin(), first.end());
  file.insert(file.end(), second.begin(), second.end());
  return file;
}
