// Gargle: amplitude modulation of both channels at a rate in Hz by a
// triangle (0 → 1 → 0) or a square (on for the first half of each period).
#include "audio/effects/kinds.h"

namespace zelt::audio::fx {
namespace {

class Gargle final : public Effect {
 public:
  // v: rate Hz, wave shape.
  Gargle(const Values& v, uint32_t rate) : step_(static_cast<double>(v[0]) / rate), square_(v[1] != 0) {}

  void process(float* stereo, uint32_t frames) override {
    for (uint32_t i = 0; i < frames; ++i) {
      const float p = static_cast<float>(phase_);
      const float m = square_ ? (p < 0.5f ? 1.0f : 0.0f) : (p < 0.5f ? 2.0f * p : 2.0f - 2.0f * p);
      stereo[2 * i] *= m;
      stereo[2 * i + 1] *= m;
      phase_ += step_;
      if (phase_ >= 1.0) phase_ -= 1.0;
    }
  }

 private:
  double step_;
  bool square_;
  double phase_ = 0;
};

}  // namespace

std::unique_ptr<Effect> make_gargle(const Values& v, uint32_t rate) { return std::make_unique<Gargle>(v, rate); }

}  // namespace zelt::audio::fx
