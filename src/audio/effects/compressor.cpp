// Compressor, feed-forward: an envelope follows the louder channel's peak
// (attack and release as one-pole time constants in ms); above the threshold
// the level is cut so that each dB over it comes out as 1/ratio dB, and the
// output gain is added. The signal itself passes through a pre-delay, so the
// gain can fall before a transient arrives. The gain is computed every
// kGainStep frames and interpolated between: the logarithms per sample
// would cost more than all the rest.
#include <algorithm>
#include <cmath>

#include "audio/effects/dsp.h"
#include "audio/effects/kinds.h"

namespace zelt::audio::fx {
namespace {

constexpr uint32_t kGainStep = 16;

class Compressor final : public Effect {
 public:
  // v: gain dB, attack ms, release ms, threshold dB, ratio, pre-delay ms.
  Compressor(const Values& v, uint32_t rate)
      : makeup_db_(v[0]),
        attack_(coefficient(v[1], rate)),
        release_(coefficient(v[2], rate)),
        threshold_db_(v[3]),
        slope_(1.0f - 1.0f / v[4]),
        predelay_(static_cast<uint32_t>(v[5] * static_cast<float>(rate) / 1000.0f + 0.5f)),
        lines_{dsp::DelayLine(predelay_), dsp::DelayLine(predelay_)},
        gain_(dsp::db_to_gain(makeup_db_)) {}

  void process(float* stereo, uint32_t frames) override {
    uint32_t i = 0;
    while (i < frames) {
      const uint32_t n = std::min(kGainStep, frames - i);
      // The envelope over the step, from the undelayed signal.
      for (uint32_t k = i; k < i + n; ++k) {
        const float level = std::max(std::fabs(stereo[2 * k]), std::fabs(stereo[2 * k + 1]));
        const float a = level > envelope_ ? attack_ : release_;
        envelope_ = dsp::flush(a * envelope_ + (1.0f - a) * level);
      }
      const float over = 20.0f * std::log10(std::max(envelope_, 1e-6f)) - threshold_db_;
      const float target = dsp::db_to_gain(makeup_db_ - (over > 0 ? over * slope_ : 0.0f));
      const float step = (target - gain_) / static_cast<float>(n);
      for (uint32_t k = i; k < i + n; ++k) {
        gain_ += step;
        for (uint32_t c = 0; c < 2; ++c) {
          float& x = stereo[2 * k + c];
          lines_[c].write(x);
          x = lines_[c].read(predelay_) * gain_;
        }
      }
      gain_ = target;
      i += n;
    }
  }

 private:
  static float coefficient(float ms, uint32_t rate) {
    return std::exp(-1.0f / (ms * static_cast<float>(rate) / 1000.0f));
  }

  float makeup_db_, attack_, release_, threshold_db_, slope_;
  uint32_t predelay_;
  dsp::DelayLine lines_[2];
  float envelope_ = 0;
  float gain_;
};

}  // namespace

std::unique_ptr<Effect> make_compressor(const Values& v, uint32_t rate) {
  return std::make_unique<Compressor>(v, rate);
}

}  // namespace zelt::audio::fx
