// Arbitrary effect records and masks, as scripts may hand them over: every
// chain built from them turns loud noise, silence and full-scale steps into
// finite samples that stay within reach of the input (the feedback paths
// are bounded by their clamped ranges), at any rate the device may choose.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "audio/effects/effect.h"

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant failed: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zelt::audio;
  if (size < 2) return 0;
  static constexpr uint32_t kRates[] = {8000, 22050, 44100, 48000, 96000, 192000};
  const uint32_t mask = data[0];
  const uint32_t rate = kRates[data[1] % 6];
  std::array<EffectRecord, kEffectKinds> records{};
  const size_t bytes = std::min(size - 2, sizeof(records));
  std::memcpy(records.data(), data + 2, bytes);
  auto chain = make_effect_chain(mask, records, rate);
  if (!chain) return 0;
  // A tenth of a second: noise, then silence, then a full-scale square wave.
  std::vector<float> block(2 * 256);
  uint32_t seed = 1;
  for (uint32_t b = 0; b < rate / 10 / 256; ++b) {
    for (uint32_t i = 0; i < 256; ++i) {
      float v;
      if (b % 3 == 0) v = static_cast<float>(static_cast<int32_t>(seed = seed * 1664525 + 1013904223)) / 2147483648.0f;
      else if (b % 3 == 1) v = 0.0f;
      else v = (i / 32) % 2 ? 1.0f : -1.0f;
      block[2 * i] = block[2 * i + 1] = v;
    }
    chain->process(block.data(), 256);
    for (float v : block) check(std::isfinite(v) && std::fabs(v) < 1e9f, "an effect's output is finite and bounded");
  }
  return 0;
}
