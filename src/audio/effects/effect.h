// Insert effects of a sound slot: eight kinds, each set by a parameter record
// of 32-bit words in the layout of the standard DirectSound effect structures
// (floats, with a few integer fields). A slot's effects run as one chain in
// bit order on the voice's float stereo, after resampling and before its
// volume and pan, at the mixer's rate.
//
// Effects are built on the main thread (their delay lines allocated there)
// and then only process on the device thread: process never allocates,
// locks or blocks.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace zelt::audio {

// Effect bits in chain order; index = bit number.
enum EffectBit : uint32_t {
  kChorus = 0x01, kCompressor = 0x02, kDistortion = 0x04, kEcho = 0x08,
  kFlanger = 0x10, kGargle = 0x20, kParamEq = 0x40, kReverb = 0x80,
};
inline constexpr uint32_t kEffectKinds = 8;
inline constexpr uint32_t kMaxEffectWords = 7;
using EffectRecord = std::array<uint32_t, kMaxEffectWords>;

// One parameter of a record: its type in the record, its documented range
// and the value a NaN stands for (the structure's default).
struct EffectField {
  enum Type : uint8_t { kFloat, kInt, kUnsigned } type;
  float low, high, fallback;
};

struct EffectKindInfo {
  const char* name;
  uint32_t words;
  EffectField fields[kMaxEffectWords];
};

// The eight kinds by bit number, with their records' layouts.
extern const EffectKindInfo kEffectKindInfo[kEffectKinds];

// The record's values as floats, each clamped to its range; a NaN becomes
// the default, an infinity the nearer end of the range.
std::array<float, kMaxEffectWords> effect_values(uint32_t kind, const uint32_t* record);

class Effect {
 public:
  virtual ~Effect() = default;
  // Processes frames of interleaved stereo in place.
  virtual void process(float* stereo, uint32_t frames) = 0;
};

// A new effect of a kind (bit number) with a record's words, at rate.
std::unique_ptr<Effect> make_effect(uint32_t kind, const uint32_t* record, uint32_t rate);

// The effects of a slot, run in the order they were added.
class EffectChain {
 public:
  void add(std::unique_ptr<Effect> effect) { effects_.push_back(std::move(effect)); }
  bool empty() const { return effects_.empty(); }
  void process(float* stereo, uint32_t frames) {
    for (const auto& e : effects_) e->process(stereo, frames);
  }

 private:
  std::vector<std::unique_ptr<Effect>> effects_;
};

// The chain of the bits set in mask, in bit order, with records by bit
// number; null when mask is 0.
std::unique_ptr<EffectChain> make_effect_chain(uint32_t mask, const std::array<EffectRecord, kEffectKinds>& records,
                                               uint32_t rate);

}  // namespace zelt::audio
