// Reverb: per channel four parallel feedback combs into two series all-pass
// diffusers (Schroeder's design; the right channel's delays a little longer,
// so the sides decorrelate). Each comb's feedback makes the tail fall by
// 60 dB in the reverb time; a one-pole low-pass in its loop makes the highs
// fall in the reverb time × the high-frequency ratio (the loop's gain at the
// Nyquist frequency; the low-pass never closes below 1 kHz, so a small ratio
// darkens the tail instead of silencing it). The input gain scales
// everything; the reverberation is added to the dry signal at the mix level
// (0 dB: as loud as the input, -96 dB: none).
#include <algorithm>
#include <cmath>
#include <numbers>

#include "audio/effects/dsp.h"
#include "audio/effects/kinds.h"

namespace zelt::audio::fx {
namespace {

constexpr float kCombMs[4] = {29.7f, 37.1f, 41.1f, 43.7f};
constexpr float kAllPassMs[2] = {5.0f, 1.7f};
constexpr float kAllPassGain = 0.7f;
constexpr float kSpreadMs = 0.5f;

struct Comb {
  dsp::DelayLine line;
  uint32_t delay;
  float feedback, damping, low = 0;

  float run(float x) {
    const float out = line.read(delay - 1);
    low = dsp::flush(out + damping * (low - out));
    line.write(x + feedback * low);
    return out;
  }
};

struct AllPass {
  dsp::DelayLine line;
  uint32_t delay;

  float run(float x) {
    const float delayed = line.read(delay - 1);
    const float v = dsp::flush(x + kAllPassGain * delayed);
    line.write(v);
    return delayed - kAllPassGain * v;
  }
};

class Reverb final : public Effect {
 public:
  // v: input gain dB, reverb mix dB, reverb time ms, high-frequency ratio.
  Reverb(const Values& v, uint32_t rate) : in_gain_(dsp::db_to_gain(v[0])), mix_(dsp::db_to_gain(v[1])) {
    const float time = v[2], high_time = v[2] * v[3];
    const float max_damping = std::exp(-2.0f * std::numbers::pi_v<float> * 1000.0f / static_cast<float>(rate));
    for (uint32_t c = 0; c < 2; ++c) {
      const float spread = c ? kSpreadMs : 0.0f;
      for (uint32_t k = 0; k < 4; ++k) {
        const uint32_t d = samples(kCombMs[k] + spread, rate);
        const float ms = static_cast<float>(d) * 1000.0f / static_cast<float>(rate);
        const float g = std::pow(10.0f, -3.0f * ms / time), g_high = std::pow(10.0f, -3.0f * ms / high_time);
        // The loop's low-pass passes DC whole and Nyquist by (1 - a) / (1 + a) = g_high / g.
        const float r = g > 0 ? g_high / g : 1.0f;
        const float damping = std::min((1.0f - r) / (1.0f + r), max_damping);
        combs_[c][k] = Comb{dsp::DelayLine(d), d, g, damping};
      }
      for (uint32_t k = 0; k < 2; ++k) {
        const uint32_t d = samples(kAllPassMs[k] + spread, rate);
        all_passes_[c][k] = AllPass{dsp::DelayLine(d), d};
      }
    }
  }

  void process(float* stereo, uint32_t frames) override {
    for (uint32_t i = 0; i < frames; ++i)
      for (uint32_t c = 0; c < 2; ++c) {
        float& x = stereo[2 * i + c];
        const float in = x * in_gain_;
        float wet = 0;
        for (Comb& comb : combs_[c]) wet += comb.run(in);
        wet *= 0.25f;
        for (AllPass& a : all_passes_[c]) wet = a.run(wet);
        x = in + mix_ * wet;
      }
  }

 private:
  static uint32_t samples(float ms, uint32_t rate) {
    return std::max<uint32_t>(1, static_cast<uint32_t>(ms * static_cast<float>(rate) / 1000.0f + 0.5f));
  }

  float in_gain_, mix_;
  Comb combs_[2][4];
  AllPass all_passes_[2][2];
};

}  // namespace

std::unique_ptr<Effect> make_reverb(const Values& v, uint32_t rate) { return std::make_unique<Reverb>(v, rate); }

}  // namespace zelt::audio::fx
