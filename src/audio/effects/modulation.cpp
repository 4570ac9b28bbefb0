// Chorus and flanger: the same modulated delay line. A low-frequency
// oscillator (triangle or sine) swings each channel's delay around its
// centre D by ±D × depth; the delayed signal is fed back into the line
// (feedback, negative inverts it) and mixed with the dry signal by the
// wet/dry percentage. The right channel's oscillator runs ahead of the
// left one by the phase setting (-180, -90, 0, 90 or 180 degrees).
#include <cmath>
#include <numbers>

#include "audio/effects/dsp.h"
#include "audio/effects/kinds.h"

namespace zelt::audio::fx {
namespace {

class ModulatedDelay final : public Effect {
 public:
  // v: wet/dry %, depth %, feedback %, frequency Hz, waveform, delay ms, phase.
  ModulatedDelay(const Values& v, uint32_t rate)
      : mix_(v[0] / 100.0f),
        depth_(v[1] / 100.0f),
        feedback_(v[2] / 100.0f),
        step_(v[3] / static_cast<float>(rate)),
        sine_(v[4] != 0),
        offset_((v[6] - 2.0f) * 0.25f),
        centre_(v[5] * static_cast<float>(rate) / 1000.0f),
        lines_{dsp::DelayLine(static_cast<uint32_t>(2 * centre_) + 2), dsp::DelayLine(static_cast<uint32_t>(2 * centre_) + 2)} {}

  void process(float* stereo, uint32_t frames) override {
    for (uint32_t i = 0; i < frames; ++i) {
      for (uint32_t c = 0; c < 2; ++c) {
        float& x = stereo[2 * i + c];
        // At least one sample behind: the line is read before it is written.
        const float delay = std::max(1.0f, centre_ * (1.0f + depth_ * wave(phase_ + (c ? offset_ : 0.0f))));
        const float wet = lines_[c].read(delay - 1.0f);
        lines_[c].write(dsp::flush(x + feedback_ * wet));
        x = x * (1.0f - mix_) + wet * mix_;
      }
      phase_ += step_;
      if (phase_ >= 1.0f) phase_ -= 1.0f;
    }
  }

 private:
  // The oscillator at a phase in cycles, -1..1.
  float wave(float p) const {
    p -= std::floor(p);
    if (sine_) return std::sin(2.0f * std::numbers::pi_v<float> * p);
    return p < 0.25f ? 4.0f * p : p < 0.75f ? 2.0f - 4.0f * p : 4.0f * p - 4.0f;
  }

  float mix_, depth_, feedback_, step_;
  bool sine_;
  float offset_, centre_;
  float phase_ = 0;
  dsp::DelayLine lines_[2];
};

}  // namespace

std::unique_ptr<Effect> make_chorus(const Values& v, uint32_t rate) { return std::make_unique<ModulatedDelay>(v, rate); }
std::unique_ptr<Effect> make_flanger(const Values& v, uint32_t rate) { return std::make_unique<ModulatedDelay>(v, rate); }

}  // namespace zelt::audio::fx
