// Small building blocks of the effects: delay lines, biquad filters and the
// guard that keeps feedback loops out of the denormal range.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace zelt::audio::dsp {

// Values that a decaying feedback loop leaves far below hearing become 0
// instead of denormals (which cost a hundred times more to compute).
inline float flush(float v) {
  v += 1e-18f;
  return v - 1e-18f;
}

inline float db_to_gain(float db) { return std::pow(10.0f, db / 20.0f); }

// A delay line of one channel, read at a fractional distance behind the
// last sample written (linear interpolation).
class DelayLine {
 public:
  // Holds at least max_delay samples behind the newest.
  explicit DelayLine(uint32_t max_delay = 1) {
    uint32_t size = 2;
    while (size < max_delay + 2) size *= 2;
    buffer_.assign(size, 0.0f);
    mask_ = size - 1;
  }
  void write(float v) {
    at_ = (at_ + 1) & mask_;
    buffer_[at_] = v;
  }
  // The sample written delay samples ago (0: the newest).
  float read(uint32_t delay) const { return buffer_[(at_ - delay) & mask_]; }
  float read(float delay) const {
    const auto whole = static_cast<uint32_t>(delay);
    const float frac = delay - static_cast<float>(whole);
    const float a = read(whole), b = read(whole + 1);
    return a + (b - a) * frac;
  }

 private:
  std::vector<float> buffer_;
  uint32_t mask_ = 1;
  uint32_t at_ = 0;
};

// A second-order section (transposed direct form II, double state), with the
// usual audio-equaliser designs.
class Biquad {
 public:
  Biquad() = default;  // passes the signal unchanged
  float run(float x) {
    const double y = b0_ * x + z1_;
    z1_ = b1_ * x - a1_ * y + z2_;
    z2_ = b2_ * x - a2_ * y;
    return static_cast<float>(y);
  }

  // Low-pass at f Hz, Butterworth Q.
  static Biquad low_pass(double f, double rate) {
    const double w = 2 * std::numbers::pi * f / rate, alpha = std::sin(w) / std::numbers::sqrt2;  // Q = 1/√2
    const double c = std::cos(w);
    return Biquad((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha);
  }
  // Band-pass at centre f with a bandwidth in Hz, 0 dB at the centre.
  static Biquad band_pass(double f, double bandwidth_hz, double rate) {
    const double w = 2 * std::numbers::pi * f / rate, q = f / bandwidth_hz;
    const double alpha = std::sin(w) / (2 * q);
    return Biquad(alpha, 0, -alpha, 1 + alpha, -2 * std::cos(w), 1 - alpha);
  }
  // Peaking equaliser: gain_db at centre f over a bandwidth in octaves.
  static Biquad peaking(double f, double octaves, double gain_db, double rate) {
    const double a = std::pow(10.0, gain_db / 40.0);
    const double w = 2 * std::numbers::pi * f / rate, s = std::sin(w);
    const double alpha = s * std::sinh(std::numbers::ln2 / 2 * octaves * w / s);
    const double c = std::cos(w);
    return Biquad(1 + alpha * a, -2 * c, 1 - alpha * a, 1 + alpha / a, -2 * c, 1 - alpha / a);
  }

 private:
  Biquad(double b0, double b1, double b2, double a0, double a1, double a2)
      : b0_(b0 / a0), b1_(b1 / a0), b2_(b2 / a0), a1_(a1 / a0), a2_(a2 / a0) {}

  double b0_ = 1, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
  double z1_ = 0, z2_ = 0;
};

}  // namespace zelt::audio::dsp
