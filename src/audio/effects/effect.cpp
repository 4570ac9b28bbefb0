#include "audio/effects/effect.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "audio/effects/kinds.h"

namespace zelt::audio {
namespace {

constexpr auto F = EffectField::kFloat;
constexpr auto I = EffectField::kInt;
constexpr auto U = EffectField::kUnsigned;

}  // namespace

// Fields in record order: {type, low, high, default}. Chorus and flanger
// waveforms: 0 triangle, 1 sine; their phase 0..4 steps of 90 degrees from
// -180 (2: in phase). Gargle wave shape: 0 triangle, 1 square.
const EffectKindInfo kEffectKindInfo[kEffectKinds] = {
    {"chorus", 7,
     {{F, 0, 100, 50}, {F, 0, 100, 10}, {F, -99, 99, 25}, {F, 0, 10, 1.1f}, {I, 0, 1, 1}, {F, 0, 20, 16}, {I, 0, 4, 3}}},
    {"compressor", 6,
     {{F, -60, 60, 0}, {F, 0.01f, 500, 10}, {F, 50, 3000, 200}, {F, -60, 0, -20}, {F, 1, 100, 3}, {F, 0, 4, 4}}},
    {"distortion", 5, {{F, -60, 0, -18}, {F, 0, 100, 15}, {F, 100, 8000, 2400}, {F, 100, 8000, 2400}, {F, 100, 8000, 8000}}},
    {"echo", 5, {{F, 0, 100, 50}, {F, 0, 100, 50}, {F, 1, 2000, 500}, {F, 1, 2000, 500}, {I, 0, 1, 0}}},
    {"flanger", 7,
     {{F, 0, 100, 50}, {F, 0, 100, 100}, {F, -99, 99, -50}, {F, 0, 10, 0.25f}, {I, 0, 1, 1}, {F, 0, 4, 2}, {I, 0, 4, 2}}},
    {"gargle", 2, {{U, 1, 1000, 20}, {U, 0, 1, 0}}},
    {"parameq", 3, {{F, 80, 16000, 8000}, {F, 1, 36, 12}, {F, -15, 15, 0}}},
    {"reverb", 4, {{F, -96, 0, 0}, {F, -96, 0, 0}, {F, 0.001f, 3000, 1000}, {F, 0.001f, 0.999f, 0.001f}}},
};

std::array<float, kMaxEffectWords> effect_values(uint32_t kind, const uint32_t* record) {
  std::array<float, kMaxEffectWords> values{};
  const EffectKindInfo& info = kEffectKindInfo[kind];
  for (uint32_t i = 0; i < info.words; ++i) {
    const EffectField& f = info.fields[i];
    switch (f.type) {
      case EffectField::kFloat: {
        const float v = std::bit_cast<float>(record[i]);
        values[i] = std::isnan(v) ? f.fallback : std::clamp(v, f.low, f.high);
        break;
      }
      case EffectField::kInt:
        values[i] = static_cast<float>(
            std::clamp(static_cast<int32_t>(record[i]), static_cast<int32_t>(f.low), static_cast<int32_t>(f.high)));
        break;
      case EffectField::kUnsigned:
        values[i] = static_cast<float>(
            std::clamp(record[i], static_cast<uint32_t>(f.low), static_cast<uint32_t>(f.high)));
        break;
    }
  }
  return values;
}

std::unique_ptr<Effect> make_effect(uint32_t kind, const uint32_t* record, uint32_t rate) {
  using Maker = std::unique_ptr<Effect> (*)(const fx::Values&, uint32_t);
  static constexpr Maker kMakers[kEffectKinds] = {fx::make_chorus, fx::make_compressor, fx::make_distortion,
                                                  fx::make_echo,   fx::make_flanger,    fx::make_gargle,
                                                  fx::make_param_eq, fx::make_reverb};
  if (kind >= kEffectKinds) return nullptr;
  return kMakers[kind](effect_values(kind, record), rate);
}

std::unique_ptr<EffectChain> make_effect_chain(uint32_t mask, const std::array<EffectRecord, kEffectKinds>& records,
                                               uint32_t rate) {
  if ((mask & 0xFF) == 0) return nullptr;
  auto chain = std::make_unique<EffectChain>();
  for (uint32_t kind = 0; kind < kEffectKinds; ++kind)
    if (mask & (1u << kind)) chain->add(make_effect(kind, records[kind].data(), rate));
  return chain;
}

}  // namespace zelt::audio
