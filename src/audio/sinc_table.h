// The low-pass kernel of band-limited resampling: a sinc windowed by a
// Kaiser window (β = 8, side lobes about 80 dB down), tabulated on one side
// from 0 to kSincZeros zero crossings with kSincPhases entries per crossing
// and read between entries linearly. Built once before main; read-only.
#pragma once

#include <cstdint>

namespace zelt::audio {

inline constexpr uint32_t kSincZeros = 16;
inline constexpr uint32_t kSincPhases = 256;
// The cutoff as a share of the output's Nyquist frequency: the transition
// band ends at it, so tones above it fold back at most above 20 kHz.
inline constexpr float kSincCutoff = 0.88f;

extern const float* const kSincTable;  // kSincZeros × kSincPhases + 2 entries

// The kernel at t ≥ 0 zero crossings (0 from kSincZeros on).
inline float sinc_at(float t) {
  const float x = t * static_cast<float>(kSincPhases);
  const auto i = static_cast<uint32_t>(x);
  if (i >= kSincZeros * kSincPhases) return 0.0f;
  const float a = kSincTable[i];
  return a + (kSincTable[i + 1] - a) * (x - static_cast<float>(i));
}

}  // namespace zelt::audio
