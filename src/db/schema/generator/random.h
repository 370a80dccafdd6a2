#pragma once
// Deterministic random numbers for the generator: the same seed gives the same
// database on every platform, so the distributions are our own (those of
// <random> are not specified bit for bit).
#include <cstdint>
#include <random>
#include <span>
#include <vector>

namespace tabulor::schema {

// Mixes two values into a new seed (SplitMix64 finaliser).
uint64_t MixSeed(uint64_t a, uint64_t b);

class Rng {
 public:
  explicit Rng(uint64_t seed);

  uint32_t Next() { return static_cast<uint32_t>(engine_()); }
  // Uniform in [lo, hi], both included.
  int Between(int lo, int hi);
  double Uniform();  // [0, 1)
  double Uniform(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
  bool Chance(double probability) { return Uniform() < probability; }
  // Roughly normal (sum of four uniforms), mean 0, standard deviation 1.
  double Gaussian();

  template <class T>
  const T& Pick(std::span<const T> items) {
    return items[static_cast<size_t>(Between(0, static_cast<int>(items.size()) - 1))];
  }
  template <class T>
  const T& Pick(const std::vector<T>& items) {
    return Pick(std::span<const T>(items));
  }
  // An index drawn with the given weights.
  int Weighted(std::span<const double> weights);

  // An independent stream for one purpose (one patient, one blob ...).
  Rng Fork(uint64_t stream) const { return Rng(MixSeed(seed_, stream)); }

 private:
  uint64_t seed_;
  std::mt19937 engine_;
};

}  // namespace tabulor::schema
