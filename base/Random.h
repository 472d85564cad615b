// The process's pseudo-random generator behind an interface, so that tests can fix it.
#pragma once

#include <cstdint>
#include <random>

class IRandom {
 public:
  virtual ~IRandom() = default;
  // A number drawn uniformly from 0 to range-1 (0 when range is 0).
  virtual uint32_t Next(uint32_t range) = 0;
};

class TRandom final : public IRandom {
 public:
  explicit TRandom(uint64_t seed) : engine_(seed) {}
  uint32_t Next(uint32_t range) override {
    if (range == 0) return 0;
    return std::uniform_int_distribution<uint32_t>(0, range - 1)(engine_);
  }
  void Seed(uint64_t seed) { engine_.seed(seed); }

 private:
  std::mt19937_64 engine_;
};

// Milliseconds since some fixed moment, as GetTickCount gives them.
class IClock {
 public:
  virtual ~IClock() = default;
  virtual uint32_t TickCount() = 0;
};
