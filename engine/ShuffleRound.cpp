#include "engine/ShuffleRound.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "base/TextCase.h"

namespace {

uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Upper-cased first: Windows names are case-blind, so "c:\pics" and "C:\Pics" are one round.
uint64_t EntryHash(const std::string& entry, uint32_t seed) {
  uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a over the bytes, then mixed with the seed
  for (const char c : UpperCase(entry)) {
    h ^= static_cast<uint8_t>(c);
    h *= 0x100000001B3ull;
  }
  return Mix(h ^ Mix(seed));
}

}  // namespace

std::vector<int> RoundOrder(const std::vector<std::string>& entries, uint32_t seed) {
  std::vector<std::pair<uint64_t, int>> keyed;
  keyed.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i)
    keyed.emplace_back(EntryHash(entries[i], seed), static_cast<int>(i));
  std::sort(keyed.begin(), keyed.end());
  std::vector<int> order;
  order.reserve(keyed.size());
  for (const auto& [hash, position] : keyed) order.push_back(position);
  return order;
}

uint64_t RoundKey(const std::string& entry, uint32_t seed) {
  return EntryHash(entry, seed);
}

uint32_t RoundSeed(uint32_t draw) {
  return static_cast<uint32_t>(Mix(draw) % 0x7FFFFFFFu) + 1;
}

int RoundStart(const std::vector<int>& order, int avoid) {
  const auto at = std::find(order.begin(), order.end(), avoid);
  if (at == order.end()) return 0;
  return static_cast<int>((at - order.begin() + 1) % static_cast<std::ptrdiff_t>(order.size()));
}
