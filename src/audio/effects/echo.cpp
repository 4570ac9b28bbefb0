// Echo: a feedback delay per channel (left and right delays in ms). The
// delayed signal is fed back into its line by the feedback percentage and
// mixed with the dry signal by the wet/dry percentage. With pan delay set
// the feedback crosses over, so successive echoes alternate between the
// sides.
#include "audio/effects/dsp.h"
#include "audio/effects/kinds.h"

namespace zelt::audio::fx {
namespace {

class Echo final : public Effect {
 public:
  // v: wet/dry %, feedback %, left delay ms, right delay ms, pan delay.
  Echo(const Values& v, uint32_t rate)
      : mix_(v[0] / 100.0f),
        feedback_(v[1] / 100.0f),
        delays_{samples(v[2], rate), samples(v[3], rate)},
        cross_(v[4] != 0),
        lines_{dsp::DelayLine(delays_[0]), dsp::DelayLine(delays_[1])} {}

  void process(float* stereo, uint32_t frames) override {
    for (uint32_t i = 0; i < frames; ++i) {
      float* x = stereo + 2 * i;
      // Read delay - 1 back before writing: the sample written now comes out
      // exactly delay samples later.
      const float wet[2] = {lines_[0].read(delays_[0] - 1), lines_[1].read(delays_[1] - 1)};
      for (uint32_t c = 0; c < 2; ++c) {
        lines_[c].write(dsp::flush(x[c] + feedback_ * wet[cross_ ? 1 - c : c]));
        x[c] = x[c] * (1.0f - mix_) + wet[c] * mix_;
      }
    }
  }

 private:
  static uint32_t samples(float ms, uint32_t rate) {
    return std::max<uint32_t>(1, static_cast<uint32_t>(ms * static_cast<float>(rate) / 1000.0f + 0.5f));
  }

  float mix_, feedback_;
  uint32_t delays_[2];
  bool cross_;
  dsp::DelayLine lines_[2];
};

}  // namespace

std::unique_ptr<Effect> make_echo(const Values& v, uint32_t rate) { return std::make_unique<Echo>(v, rate); }

}  // namespace zelt::audio::fx
