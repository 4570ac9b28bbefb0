#include "gfx/raster/row_blends.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "gfx/raster/blend_ops.h"
#include "gfx/raster/blit.h"

namespace zelt::gfx {
namespace {

using Pair32 = FormatPair<Rgb32, Rgb32>;
using Pair24 = FormatPair<Rgb32, Rgb24>;

void blend_bytes_plain(uint8_t* d, const uint8_t* s, size_t n, int32_t w, bool round_each) {
  const int32_t v = 256 - w;
  if (round_each) {
    for (size_t i = 0; i < n; ++i) d[i] = static_cast<uint8_t>(((d[i] * v) >> 8) + ((s[i] * w) >> 8));
  } else {
    for (size_t i = 0; i < n; ++i) d[i] = static_cast<uint8_t>((d[i] * v + s[i] * w) >> 8);
  }
}

#if defined(__SSE2__)

// 16 bytes at a time in 16-bit lanes: every product and the sum stay below
// 65536 (d (256 − w) + s w ≤ 255 × 256).
void blend_bytes_sse2(uint8_t* d, const uint8_t* s, size_t n, int32_t w, bool round_each) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i ws = _mm_set1_epi16(static_cast<int16_t>(w));
  const __m128i wd = _mm_set1_epi16(static_cast<int16_t>(256 - w));
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
    const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    const __m128i d_lo = _mm_mullo_epi16(_mm_unpacklo_epi8(dv, zero), wd);
    const __m128i d_hi = _mm_mullo_epi16(_mm_unpackhi_epi8(dv, zero), wd);
    const __m128i s_lo = _mm_mullo_epi16(_mm_unpacklo_epi8(sv, zero), ws);
    const __m128i s_hi = _mm_mullo_epi16(_mm_unpackhi_epi8(sv, zero), ws);
    __m128i lo, hi;
    if (round_each) {
      lo = _mm_add_epi16(_mm_srli_epi16(d_lo, 8), _mm_srli_epi16(s_lo, 8));
      hi = _mm_add_epi16(_mm_srli_epi16(d_hi, 8), _mm_srli_epi16(s_hi, 8));
    } else {
      lo = _mm_srli_epi16(_mm_add_epi16(d_lo, s_lo), 8);
      hi = _mm_srli_epi16(_mm_add_epi16(d_hi, s_hi), 8);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_packus_epi16(lo, hi));
  }
  blend_bytes_plain(d + i, s + i, n - i, w, round_each);
}

// The per-pixel weights of mode 7 for four source pixels: t = (A w) >> 8.
__m128i source_alpha_weights(__m128i s, __m128i w) {
  return _mm_srli_epi32(_mm_mullo_epi16(_mm_srli_epi32(s, 24), w), 8);
}

// Four 32-bit lanes of 16-bit weights spread to the four channels of each
// pixel: pixels 0, 1 (lo) and 2, 3 (hi).
void spread(__m128i k, __m128i& lo, __m128i& hi) {
  const __m128i pairs = _mm_packs_epi32(k, k);           // k0 k1 k2 k3 k0 k1 k2 k3
  const __m128i doubled = _mm_unpacklo_epi16(pairs, pairs);  // k0 k0 k1 k1 k2 k2 k3 k3
  lo = _mm_unpacklo_epi32(doubled, doubled);
  hi = _mm_unpackhi_epi32(doubled, doubled);
}

// mix(d, s, k) per channel of four pixels, k = t + 1 where t > 0, else 0
// (the pixel stays): (d (256 − k) + s k) >> 8.
__m128i mix_by_alpha(__m128i s, __m128i d, __m128i t) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i k = _mm_sub_epi32(t, _mm_cmpgt_epi32(t, zero));
  __m128i k_lo, k_hi;
  spread(k, k_lo, k_hi);
  const __m128i full = _mm_set1_epi16(256);
  const __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), _mm_sub_epi16(full, k_lo)),
                                   _mm_mullo_epi16(_mm_unpacklo_epi8(s, zero), k_lo));
  const __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), _mm_sub_epi16(full, k_hi)),
                                   _mm_mullo_epi16(_mm_unpackhi_epi8(s, zero), k_hi));
  return _mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8));
}

// Over an opaque destination the 32-bit formula is (t s + (255 − t) d) / 255
// with the fourth byte 255; x / 255 = (x + 1 + (x >> 8)) >> 8 for x ≤ 65025.
__m128i over_opaque(__m128i s, __m128i d, __m128i t) {
  const __m128i zero = _mm_setzero_si128();
  __m128i t_lo, t_hi;
  spread(t, t_lo, t_hi);
  const __m128i max = _mm_set1_epi16(255), one = _mm_set1_epi16(1);
  const auto half = [&](__m128i sc, __m128i dc, __m128i tc) {
    const __m128i x = _mm_add_epi16(_mm_mullo_epi16(sc, tc), _mm_mullo_epi16(dc, _mm_sub_epi16(max, tc)));
    return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(x, one), _mm_srli_epi16(x, 8)), 8);
  };
  const __m128i lo = half(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero), t_lo);
  const __m128i hi = half(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero), t_hi);
  return _mm_or_si128(_mm_packus_epi16(lo, hi), _mm_set1_epi32(static_cast<int32_t>(0xFF000000u)));
}

// Over a destination whose fourth bytes are all 0: the source colour with
// fourth byte t, except where t = 0 (the pixel stays).
__m128i over_clear(__m128i s, __m128i d, __m128i t) {
  const __m128i drawn = _mm_cmpgt_epi32(t, _mm_setzero_si128());
  const __m128i v = _mm_or_si128(_mm_and_si128(s, _mm_set1_epi32(0xFFFFFF)), _mm_slli_epi32(t, 24));
  return _mm_or_si128(_mm_and_si128(drawn, v), _mm_andnot_si128(drawn, d));
}

void source_alpha_row_32_sse2(uint8_t* d, const uint8_t* s, int32_t count, const BlendContext& c) {
  const __m128i w = _mm_set1_epi32(c.w);
  const __m128i alpha = _mm_set1_epi32(static_cast<int32_t>(0xFF000000u));
  int32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * i));
    const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + 4 * i));
    const __m128i da = _mm_and_si128(dv, alpha);
    const __m128i t = source_alpha_weights(sv, w);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(da, alpha)) == 0xFFFF) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * i), over_opaque(sv, dv, t));
    } else if (_mm_movemask_epi8(_mm_cmpeq_epi32(da, _mm_setzero_si128())) == 0xFFFF) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * i), over_clear(sv, dv, t));
    } else {
      for (int32_t j = i; j < i + 4; ++j) BlendOp<7>::apply<Pair32>(PixelSample<Rgb32>{s + 4 * j}, d + 4 * j, c);
    }
  }
  for (; i < count; ++i) BlendOp<7>::apply<Pair32>(PixelSample<Rgb32>{s + 4 * i}, d + 4 * i, c);
}

// 24-bit destinations: four pixels gathered into 32-bit lanes and written
// back three bytes each (each 4-byte store is overwritten in its last byte
// by the next pixel's; the last pixel is stored in 2 + 1 bytes).
void source_alpha_row_24_sse2(uint8_t* d, const uint8_t* s, int32_t count, const BlendContext& c) {
  const __m128i w = _mm_set1_epi32(c.w);
  int32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    uint8_t* p = d + 3 * i;
    const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * i));
    const __m128i dv = _mm_set_epi32(static_cast<int32_t>(load32(p + 8) >> 8), static_cast<int32_t>(load32(p + 6)),
                                     static_cast<int32_t>(load32(p + 3)), static_cast<int32_t>(load32(p)));
    alignas(16) uint32_t out[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(out), mix_by_alpha(sv, dv, source_alpha_weights(sv, w)));
    store32(p, out[0]);
    store32(p + 3, out[1]);
    store32(p + 6, out[2]);
    store16(p + 9, out[3]);
    p[11] = static_cast<uint8_t>(out[3] >> 16);
  }
  for (; i < count; ++i) BlendOp<7>::apply<Pair24>(PixelSample<Rgb32>{s + 4 * i}, d + 3 * i, c);
}

#endif

}  // namespace

void blend_bytes(uint8_t* d, const uint8_t* s, size_t n, int32_t w, bool round_each) {
#if defined(__SSE2__)
  if (simd_enabled()) return blend_bytes_sse2(d, s, n, w, round_each);
#endif
  blend_bytes_plain(d, s, n, w, round_each);
}

void source_alpha_row_32(uint8_t* d, const uint8_t* s, int32_t count, const BlendContext& c) {
#if defined(__SSE2__)
  if (simd_enabled()) return source_alpha_row_32_sse2(d, s, count, c);
#endif
  for (int32_t i = 0; i < count; ++i) BlendOp<7>::apply<Pair32>(PixelSample<Rgb32>{s + 4 * i}, d + 4 * i, c);
}

void source_alpha_row_24(uint8_t* d, const uint8_t* s, int32_t count, const BlendContext& c) {
#if defined(__SSE2__)
  if (simd_enabled()) return source_alpha_row_24_sse2(d, s, count, c);
#endif
  for (int32_t i = 0; i < count; ++i) BlendOp<7>::apply<Pair24>(PixelSample<Rgb32>{s + 4 * i}, d + 3 * i, c);
}

}  // namespace zelt::gfx
