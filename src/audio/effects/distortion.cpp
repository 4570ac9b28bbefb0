// Distortion: a low-pass before the waveshaper (pre-low-pass cutoff), a soft
// clipper driven harder as the edge rises (edge 0: drive 1, edge 100: drive
// 50), a band-pass after it (post-EQ centre and bandwidth in Hz) and the
// output gain. The clipper is a rational fit of tanh, exact in its limits
// (±1 from ±3 on).
#include <algorithm>

#include "audio/effects/dsp.h"
#include "audio/effects/kinds.h"

namespace zelt::audio::fx {
namespace {

class Distortion final : public Effect {
 public:
  // v: gain dB, edge %, post-EQ centre Hz, post-EQ bandwidth Hz, pre-low-pass cutoff Hz.
  Distortion(const Values& v, uint32_t rate)
      : gain_(dsp::db_to_gain(v[0])), drive_(1.0f + 49.0f * v[1] / 100.0f) {
    // Filters stay below the Nyquist frequency whatever the rate.
    const double top = 0.45 * rate;
    for (uint32_t c = 0; c < 2; ++c) {
      pre_[c] = dsp::Biquad::low_pass(std::min<double>(v[4], top), rate);
      post_[c] = dsp::Biquad::band_pass(std::min<double>(v[2], top), v[3], rate);
    }
  }

  void process(float* stereo, uint32_t frames) override {
    for (uint32_t i = 0; i < 2 * frames; ++i) {
      const uint32_t c = i & 1;
      const float u = std::clamp(drive_ * pre_[c].run(stereo[i]), -3.0f, 3.0f);
      const float shaped = u * (27.0f + u * u) / (27.0f + 9.0f * u * u);
      stereo[i] = post_[c].run(shaped) * gain_;
    }
  }

 private:
  float gain_, drive_;
  dsp::Biquad pre_[2], post_[2];
};

}  // namespace

std::unique_ptr<Effect> make_distortion(const Values& v, uint32_t rate) {
  return std::make_unique<Distortion>(v, rate);
}

}  // namespace zelt::audio::fx
