// The constructors of the eight effect kinds, from a record's clamped values
// (effect_values) in the order of its fields.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "audio/effects/effect.h"

namespace zelt::audio::fx {

using Values = std::array<float, kMaxEffectWords>;

std::unique_ptr<Effect> make_chorus(const Values& v, uint32_t rate);
std::unique_ptr<Effect> make_flanger(const Values& v, uint32_t rate);
std::unique_ptr<Effect> make_compressor(const Values& v, uint32_t rate);
std::unique_ptr<Effect> make_distortion(const Values& v, uint32_t rate);
std::unique_ptr<Effect> make_echo(const Values& v, uint32_t rate);
std::unique_ptr<Effect> make_gargle(const Values& v, uint32_t rate);
std::unique_ptr<Effect> make_param_eq(const Values& v, uint32_t rate);
std::unique_ptr<Effect> make_reverb(const Values& v, uint32_t rate);

}  // namespace zelt::audio::fx
