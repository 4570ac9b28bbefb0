// Parametric equaliser: one peaking biquad per channel, the gain in dB at the
// centre frequency over a bandwidth in semitones. The centre stays below a
// third of the rate, where the design still holds its shape.
#include <algorithm>

#include "audio/effects/dsp.h"
#include "audio/effects/kinds.h"

namespace zelt::audio::fx {
namespace {

class ParamEq final : public Effect {
 public:
  // v: centre Hz, bandwidth semitones, gain dB.
  ParamEq(const Values& v, uint32_t rate) {
    const double centre = std::min<double>(v[0], rate / 3.0);
    filters_[0] = filters_[1] = dsp::Biquad::peaking(centre, v[1] / 12.0, v[2], rate);
  }

  void process(float* stereo, uint32_t frames) override {
    for (uint32_t i = 0; i < frames; ++i) {
      stereo[2 * i] = filters_[0].run(stereo[2 * i]);
      stereo[2 * i + 1] = filters_[1].run(stereo[2 * i + 1]);
    }
  }

 private:
  dsp::Biquad filters_[2];
};

}  // namespace

std::unique_ptr<Effect> make_param_eq(const Values& v, uint32_t rate) { return std::make_unique<ParamEq>(v, rate); }

}  // namespace zelt::audio::fx
