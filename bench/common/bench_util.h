#pragma once
// Small measuring helpers shared by the benchmarks.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace tabulor::bench {

// Wall-clock seconds that f takes.
template <class F>
double Seconds(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Bytes of every regular file below dir.
inline uint64_t DirectoryBytes(const std::filesystem::path& dir) {
  uint64_t bytes = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
    if (entry.is_regular_file()) bytes += entry.file_size();
  return bytes;
}

// The middle of the values (the upper one of an even count).
inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The values as "1.23 4.56 ...", for printing every round of a measure.
inline std::string Rounds(const std::vector<double>& values) {
  std::string out;
  for (double v : values) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%.2f", out.empty() ? "" : " ", v);
    out += buf;
  }
  return out;
}

}  // namespace tabulor::bench
