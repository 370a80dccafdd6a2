#include "db/schema/generator/random.h"

namespace tabulor::schema {

uint64_t MixSeed(uint64_t a, uint64_t b) {
  uint64_t z = a * 0x9E3779B97F4A7C15ull + b + 0x632BE59BD9B4E019ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

Rng::Rng(uint64_t seed) : seed_(seed), engine_(static_cast<uint32_t>(seed ^ (seed >> 32))) {}

int Rng::Between(int lo, int hi) {
  if (hi <= lo) return lo;
  const uint64_t span = static_cast<uint64_t>(hi) - static_cast<uint64_t>(lo) + 1;
  return lo + static_cast<int>((static_cast<uint64_t>(Next()) * span) >> 32);
}

double Rng::Uniform() { return Next() * (1.0 / 4294967296.0); }

double Rng::Gaussian() {
  // The sum of four uniforms has variance 4/12; scale it to 1.
  const double sum = Uniform() + Uniform() + Uniform() + Uniform();
  return (sum - 2.0) * 1.7320508075688772;
}

int Rng::Weighted(std::span<const double> weights) {
  double total = 0;
  for (double w : weights) total += w;
  double x = Uniform() * total;
  for (size_t i = 0; i < weights.size(); ++i) {
    if (x < weights[i]) return static_cast<int>(i);
    x -= weights[i];
  }
  return static_cast<int>(weights.size()) - 1;
}

}  // namespace tabulor::schema
