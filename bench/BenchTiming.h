// Timing for the benchmarks: one run of a step, and the median of several.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

template <typename F>
double TimeOnce(F f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}
