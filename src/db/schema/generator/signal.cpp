#include "db/schema/generator/signal.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tabulor::schema {
namespace {

void PutSample(uint8_t* out, double value) {
  const double clamped = std::clamp(value, -32768.0, 32767.0);
  const int v = static_cast<int>(clamped + (clamped >= 0 ? 0.5 : -0.5));
  out[0] = static_cast<uint8_t>(v & 0xFF);
  out[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

// Small noise from a few random bits, so that a blob costs little to make.
class Noise {
 public:
  explicit Noise(Rng& rng) : rng_(rng) {}
  // Triangular in [-amplitude, amplitude].
  double Next(int amplitude) {
    if (left_ == 0) {
      bits_ = rng_.Next();
      left_ = 4;
    }
    const int a = static_cast<int>(bits_ & 0xF), b = static_cast<int>((bits_ >> 4) & 0xF);
    bits_ >>= 8;
    --left_;
    return (a - b) * amplitude / 15.0;
  }

 private:
  Rng& rng_;
  uint32_t bits_ = 0;
  int left_ = 0;
};

struct Oscillator {
  double level, amplitude, cos_step, sin_step, c, s;
  void Step() {
    const double nc = c * cos_step - s * sin_step;
    s = c * sin_step + s * cos_step;
    c = nc;
  }
};

Oscillator MakeOscillator(Rng& rng, double level, double amplitude, int min_period, int max_period) {
  const double step = 2 * M_PI / rng.Between(min_period, max_period);
  const double phase = rng.Uniform(0, 2 * M_PI);
  return {level, amplitude, std::cos(step), std::sin(step), std::cos(phase), std::sin(phase)};
}

}  // namespace

db::Blob AcquisitionFrames(int frames, int frame_bytes, Rng& rng) {
  db::Blob out(static_cast<size_t>(std::max(frames, 0)) * static_cast<size_t>(std::max(frame_bytes, 0)), 0);
  if (out.empty()) return out;
  const int sensors = frame_bytes / 2;
  std::vector<Oscillator> loaded;
  std::vector<int> positions;
  for (int i = 0; i < sensors; ++i)
    if (rng.Chance(0.4)) {
      positions.push_back(i);
      loaded.push_back(MakeOscillator(rng, rng.Uniform(60, 900), rng.Uniform(20, 250), 30, 400));
    }
  Noise noise(rng);
  for (int f = 0; f < frames; ++f) {
    uint8_t* frame = out.data() + static_cast<size_t>(f) * frame_bytes;
    for (size_t k = 0; k < loaded.size(); ++k) {
      Oscillator& o = loaded[k];
      PutSample(frame + 2 * positions[k], o.level + o.amplitude * o.s + noise.Next(3));
      o.Step();
    }
  }
  return out;
}

db::Blob CentreOfPressureTrace(int samples, Rng& rng) {
  constexpr int kChannels = 3;  // X, Y, load
  db::Blob out(static_cast<size_t>(std::max(samples, 0)) * kChannels * 2, 0);
  Oscillator sway_x = MakeOscillator(rng, rng.Uniform(-80, 80), rng.Uniform(15, 60), 60, 300);
  Oscillator sway_y = MakeOscillator(rng, rng.Uniform(-150, 50), rng.Uniform(20, 90), 50, 250);
  const double load = rng.Uniform(400, 900);  // tenths of a kilogram
  Noise noise(rng);
  double drift_x = 0, drift_y = 0;
  for (int t = 0; t < samples; ++t) {
    drift_x = 0.97 * drift_x + noise.Next(2);
    drift_y = 0.97 * drift_y + noise.Next(2);
    uint8_t* sample = out.data() + static_cast<size_t>(t) * kChannels * 2;
    PutSample(sample, sway_x.level + sway_x.amplitude * sway_x.s + drift_x);
    PutSample(sample + 2, sway_y.level + sway_y.amplitude * sway_y.s + drift_y);
    PutSample(sample + 4, load + noise.Next(2));
    sway_x.Step();
    sway_y.Step();
  }
  return out;
}

}  // namespace tabulor::schema
