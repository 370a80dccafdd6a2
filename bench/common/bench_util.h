#pragma once
// Small measuring helpers shared by the benchmarks.
#include <chrono>
#include <cstdint>
#include <filesystem>

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

}  // namespace tabulor::bench
