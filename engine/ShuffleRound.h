// The random order as a round that survives restarts: the order follows from a seed and the
// entries alone, so a stored seed rebuilds it and the current picture finds its place again.
// Entries added to or removed from the source keep the others in their order. A round is the
// order read once round from its first entry, which need not be the order's first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Positions 0..n-1 of `entries` in the round's order: sorted by a hash of each entry keyed by
// the seed.
std::vector<int> RoundOrder(const std::vector<std::string>& entries, uint32_t seed);

// The key an entry sorts by in the round of `seed`: an entry that is gone still has its place.
uint64_t RoundKey(const std::string& entry, uint32_t seed);

// A seed for a new round from a random draw: never 0 (no round), never above INT32_MAX (the
// settings file holds it as a number).
uint32_t RoundSeed(uint32_t draw);

// Where a new round of `order` begins: just after position `avoid` (the picture that ended the
// last round), which so comes last in the new one; entries passed over forwards on the way (ones
// that do not load) can never lead back to it. At the first entry when `avoid` is not there.
int RoundStart(const std::vector<int>& order, int avoid);
