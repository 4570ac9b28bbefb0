// Bilinear interpolation of 2 × 2 pixels with 8-bit fractions, shared by
// the rotated-smooth blits and the smooth filter: with fx, fy the fractions
// kept shifted by 8 and fxy = (fx fy) >> 16, each channel is
// p00 + ((p10 − p00) fx + (p01 − p00) fy + (p11 − p10 − p01 + p00) fxy) >> 16.
#pragma once

#include <algorithm>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "gfx/raster/pixel_formats.h"

namespace zelt::gfx {

// Bilinear weights of one sample: fx, fy the fractions to 8 bits (kept
// shifted by 8) and fxy = (fx fy) >> 16.
struct Weights {
  int32_t fx, fy, fxy;
};

inline int32_t interpolate(int32_t p00, int32_t p10, int32_t p01, int32_t p11, const Weights& w) {
  const int32_t v = p00 + (((p10 - p00) * w.fx + (p01 - p00) * w.fy + (p11 - p10 - p01 + p00) * w.fxy) >> 16);
  return std::clamp(v, 0, 255);
}

template <int N>
Px interpolate(const Px& p00, const Px& p10, const Px& p01, const Px& p11, const Weights& w) {
  Px r{};
  for (int i = 0; i < N; ++i) r.c[i] = interpolate(p00.c[i], p10.c[i], p01.c[i], p11.c[i], w);
  return r;
}

#if defined(__SSE2__)
// The four bytes of p00..p11 interpolated at once, exactly as interpolate():
// with fx = fx8 << 8, fy = fy8 << 8 and fxy = fx8 fy8 = 256 h + l the sum
// is 256 (a fx8 + b fy8 + c h) + c l, every product in 16-bit lanes.
inline uint32_t interpolate32_sse2(uint32_t p00, uint32_t p10, uint32_t p01, uint32_t p11, int32_t fx8,
                                   int32_t fy8) {
  const __m128i zero = _mm_setzero_si128();
  const auto widen = [&zero](uint32_t p) {
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(p)), zero);
  };
  const __m128i q00 = widen(p00), q10 = widen(p10), q01 = widen(p01), q11 = widen(p11);
  const __m128i a = _mm_sub_epi16(q10, q00), b = _mm_sub_epi16(q01, q00);
  const __m128i cc = _mm_add_epi16(_mm_sub_epi16(_mm_sub_epi16(q11, q10), q01), q00);
  const int32_t fxy = fx8 * fy8;
  const __m128i ab = _mm_madd_epi16(_mm_unpacklo_epi16(a, b), _mm_set1_epi32(fy8 << 16 | fx8));
  const __m128i c0 = _mm_unpacklo_epi16(cc, zero);
  const __m128i ch = _mm_madd_epi16(c0, _mm_set1_epi32(fxy >> 8));
  const __m128i cl = _mm_madd_epi16(c0, _mm_set1_epi32(fxy & 255));
  const __m128i sum = _mm_add_epi32(_mm_slli_epi32(_mm_add_epi32(ab, ch), 8), cl);
  const __m128i v = _mm_add_epi32(_mm_unpacklo_epi16(q00, zero), _mm_srai_epi32(sum, 16));
  const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(v, v), zero);
  return static_cast<uint32_t>(_mm_cvtsi128_si32(bytes));
}
#endif

}  // namespace zelt::gfx
