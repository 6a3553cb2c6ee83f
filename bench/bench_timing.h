#pragma once

// Wall-clock timing shared by the benchmarks that compare whole operations.

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace delvora::bench {

inline double Seconds(const std::function<void()>& action) {
  const auto start = std::chrono::steady_clock::now();
  action();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace delvora::bench
