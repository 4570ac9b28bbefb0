// AVX2 row loops of the SIMD blitter: eight 32-bit or sixteen 16-bit pixels
// per vector. Only these functions carry the AVX2 target, so the rest of the
// program runs on any x86-64; they are called only when avx2_usable().
#include <cstring>

#include "gfx/raster/blitter_vector.h"

#ifdef ZELT_BLITTER_X86
#include <immintrin.h>

#define ZELT_AVX2 __attribute__((target("avx2")))

namespace zelt::gfx::blitter_detail {
namespace {

ZELT_AVX2 __m256i load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
ZELT_AVX2 void store(uint8_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

ZELT_AVX2 __m256i select(__m256i mask, __m256i a, __m256i b) { return _mm256_blendv_epi8(b, a, mask); }

// (x × (256 − w) + y × w) >> 8 in 16-bit lanes, as in the SSE2 loops.
ZELT_AVX2 __m256i blend16(__m256i x, __m256i y, __m256i w) {
  const __m256i inverse = _mm256_sub_epi16(_mm256_set1_epi16(256), w);
  return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(x, inverse), _mm256_mullo_epi16(y, w)), 8);
}

// Thirty-two 8-bit channels. Unpacking and packing work within each 128-bit
// half, so w_low covers bytes 0..7 of each half and w_high bytes 8..15.
ZELT_AVX2 __m256i blend8(__m256i x, __m256i y, __m256i w_low, __m256i w_high) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i low = blend16(_mm256_unpacklo_epi8(x, zero), _mm256_unpacklo_epi8(y, zero), w_low);
  const __m256i high = blend16(_mm256_unpackhi_epi8(x, zero), _mm256_unpackhi_epi8(y, zero), w_high);
  return _mm256_packus_epi16(low, high);
}

// The weights of eight map bytes over the channels of their pixels: pixels
// 0, 1 | 4, 5 in low and 2, 3 | 6, 7 in high, matching blend8's halves.
ZELT_AVX2 void pixel_weights32(const uint8_t* m, __m256i& low, __m256i& high) {
  __m256i v = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(m)));
  v = _mm256_add_epi32(v, _mm256_srli_epi32(v, 7));
  v = _mm256_or_si256(v, _mm256_slli_epi32(v, 16));  // each weight in both 16-bit lanes of its dword
  low = _mm256_unpacklo_epi32(v, v);
  high = _mm256_unpackhi_epi32(v, v);
}

template <class F>
ZELT_AVX2 __m256i blend_pixels16(__m256i x, __m256i y, __m256i w) {
  const __m256i five = _mm256_set1_epi16(31);
  const __m256i blue = blend16(_mm256_and_si256(x, five), _mm256_and_si256(y, five), w);
  if constexpr (F::kColourBits == 0xFFFF) {
    const __m256i six = _mm256_set1_epi16(63);
    const __m256i red = blend16(_mm256_srli_epi16(x, 11), _mm256_srli_epi16(y, 11), w);
    const __m256i green = blend16(_mm256_and_si256(_mm256_srli_epi16(x, 5), six),
                                  _mm256_and_si256(_mm256_srli_epi16(y, 5), six), w);
    return _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(red, 11), _mm256_slli_epi16(green, 5)), blue);
  } else {
    const __m256i red = blend16(_mm256_and_si256(_mm256_srli_epi16(x, 10), five),
                                _mm256_and_si256(_mm256_srli_epi16(y, 10), five), w);
    const __m256i green = blend16(_mm256_and_si256(_mm256_srli_epi16(x, 5), five),
                                  _mm256_and_si256(_mm256_srli_epi16(y, 5), five), w);
    return _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(red, 10), _mm256_slli_epi16(green, 5)), blue);
  }
}

ZELT_AVX2 __m256i map_weights16(const uint8_t* m) {
  const __m256i v = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m)));
  return _mm256_add_epi16(v, _mm256_srli_epi16(v, 7));
}

template <class F>
ZELT_AVX2 int32_t alpha_key16(int32_t n, uint32_t w, uint8_t* o, const uint8_t* b, const uint8_t* s,
                              uint32_t key) {
  const __m256i wv = _mm256_set1_epi16(static_cast<int16_t>(w));
  const __m256i bits = _mm256_set1_epi16(static_cast<int16_t>(F::kColourBits));
  const __m256i k = _mm256_set1_epi16(static_cast<int16_t>(key & F::kColourBits));
  int32_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m256i x = load(b + 2 * i), y = load(s + 2 * i);
    const __m256i match = _mm256_cmpeq_epi16(_mm256_and_si256(y, bits), k);
    store(o + 2 * i, select(match, x, blend_pixels16<F>(x, y, wv)));
  }
  return i;
}

template <class F>
ZELT_AVX2 int32_t alpha_map16(int32_t n, const uint8_t* m, uint8_t* o, const uint8_t* b, const uint8_t* s) {
  int32_t i = 0;
  for (; i + 16 <= n; i += 16)
    store(o + 2 * i, blend_pixels16<F>(load(b + 2 * i), load(s + 2 * i), map_weights16(m + i)));
  return i;
}

template <class F>
ZELT_AVX2 int32_t paint_map16(int32_t n, const uint8_t* m, uint8_t* o, const uint8_t* b, uint32_t paint) {
  const __m256i p = _mm256_set1_epi16(static_cast<int16_t>(paint));
  int32_t i = 0;
  for (; i + 16 <= n; i += 16) store(o + 2 * i, blend_pixels16<F>(load(b + 2 * i), p, map_weights16(m + i)));
  return i;
}

template <class F>
ZELT_AVX2 int32_t alpha16(int32_t n, uint32_t w, uint8_t* o, const uint8_t* b, const uint8_t* s) {
  const __m256i wv = _mm256_set1_epi16(static_cast<int16_t>(w));
  int32_t i = 0;
  for (; i + 16 <= n; i += 16) store(o + 2 * i, blend_pixels16<F>(load(b + 2 * i), load(s + 2 * i), wv));
  return i;
}

template <class F>
ZELT_AVX2 int32_t tint16(int32_t n, uint32_t w, uint8_t* o, const uint8_t* s, uint32_t paint,
                         const uint32_t* key) {
  const __m256i wv = _mm256_set1_epi16(static_cast<int16_t>(w));
  const __m256i p = _mm256_set1_epi16(static_cast<int16_t>(paint));
  const __m256i bits = _mm256_set1_epi16(static_cast<int16_t>(F::kColourBits));
  const __m256i k = _mm256_set1_epi16(static_cast<int16_t>(key ? *key & F::kColourBits : 0));
  int32_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m256i x = load(s + 2 * i);
    __m256i r = blend_pixels16<F>(x, p, wv);
    if (key) r = select(_mm256_cmpeq_epi16(_mm256_and_si256(x, bits), k), load(o + 2 * i), r);
    store(o + 2 * i, r);
  }
  return i;
}

}  // namespace

// 32-bit pixels, eight per vector ---------------------------------------------

ZELT_AVX2 int32_t Avx2Rows::alpha_key(Bgra32, int32_t n, uint32_t w, uint8_t* o, const uint8_t* b,
                                      const uint8_t* s, uint32_t key) {
  const __m256i wv = _mm256_set1_epi16(static_cast<int16_t>(w));
  const __m256i colour = _mm256_set1_epi32(0xFFFFFF);
  const __m256i k = _mm256_set1_epi32(static_cast<int>(key & 0xFFFFFF));
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i x = load(b + 4 * i), y = load(s + 4 * i);
    const __m256i match = _mm256_cmpeq_epi32(_mm256_and_si256(y, colour), k);
    store(o + 4 * i, select(match, x, blend8(x, y, wv, wv)));
  }
  return i;
}

ZELT_AVX2 int32_t Avx2Rows::alpha_map(Bgra32, int32_t n, const uint8_t* m, uint8_t* o, const uint8_t* b,
                                      const uint8_t* s) {
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    __m256i low, high;
    pixel_weights32(m + i, low, high);
    store(o + 4 * i, blend8(load(b + 4 * i), load(s + 4 * i), low, high));
  }
  return i;
}

ZELT_AVX2 int32_t Avx2Rows::paint_map(Bgra32, int32_t n, const uint8_t* m, uint8_t* o, const uint8_t* b,
                                      uint32_t paint) {
  const __m256i p = _mm256_set1_epi32(static_cast<int>(paint));
  const __m256i fourth = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    __m256i low, high;
    pixel_weights32(m + i, low, high);
    const __m256i x = load(b + 4 * i);
    store(o + 4 * i, select(fourth, x, blend8(x, p, low, high)));
  }
  return i;
}

ZELT_AVX2 int32_t Avx2Rows::alpha(Bgra32, int32_t n, uint32_t w, uint8_t* o, const uint8_t* b,
                                  const uint8_t* s) {
  const __m256i wv = _mm256_set1_epi16(static_cast<int16_t>(w));
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) store(o + 4 * i, blend8(load(b + 4 * i), load(s + 4 * i), wv, wv));
  return i;
}

ZELT_AVX2 int32_t Avx2Rows::tint(Bgra32, int32_t n, uint32_t w, uint8_t* o, const uint8_t* s, uint32_t paint,
                                 const uint32_t* key) {
  const __m256i wv = _mm256_set1_epi16(static_cast<int16_t>(w));
  const __m256i p = _mm256_set1_epi32(static_cast<int>(paint));
  const __m256i fourth = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  const __m256i colour = _mm256_set1_epi32(0xFFFFFF);
  const __m256i k = _mm256_set1_epi32(static_cast<int>(key ? *key & 0xFFFFFF : 0));
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i x = load(s + 4 * i), old = load(o + 4 * i);
    __m256i r = select(fourth, old, blend8(x, p, wv, wv));
    if (key) r = select(_mm256_cmpeq_epi32(_mm256_and_si256(x, colour), k), old, r);
    store(o + 4 * i, r);
  }
  return i;
}

// 24-bit constant blend: 32 pixels (three vectors) per step.
ZELT_AVX2 int32_t Avx2Rows::alpha(Bgr24, int32_t n, uint32_t w, uint8_t* o, const uint8_t* b,
                                  const uint8_t* s) {
  const __m256i wv = _mm256_set1_epi16(static_cast<int16_t>(w));
  int32_t i = 0;
  for (; i + 32 <= n; i += 32)
    for (int j = 0; j < 3; ++j) {
      const int32_t at = 3 * i + 32 * j;
      store(o + at, blend8(load(b + at), load(s + at), wv, wv));
    }
  return i;
}

// 16-bit pixels, sixteen per vector --------------------------------------------

#define ZELT_AVX2_ROWS16(F)                                                                                  \
  ZELT_AVX2 int32_t Avx2Rows::alpha_key(F, int32_t n, uint32_t w, uint8_t* o, const uint8_t* b,            \
                                        const uint8_t* s, uint32_t key) {                                   \
    return alpha_key16<F>(n, w, o, b, s, key);                                                              \
  }                                                                                                         \
  ZELT_AVX2 int32_t Avx2Rows::alpha_map(F, int32_t n, const uint8_t* m, uint8_t* o, const uint8_t* b,      \
                                        const uint8_t* s) {                                                 \
    return alpha_map16<F>(n, m, o, b, s);                                                                   \
  }                                                                                                         \
  ZELT_AVX2 int32_t Avx2Rows::paint_map(F, int32_t n, const uint8_t* m, uint8_t* o, const uint8_t* b,      \
                                        uint32_t paint) {                                                   \
    return paint_map16<F>(n, m, o, b, paint);                                                               \
  }                                                                                                         \
  ZELT_AVX2 int32_t Avx2Rows::alpha(F, int32_t n, uint32_t w, uint8_t* o, const uint8_t* b, const uint8_t* s) { \
    return alpha16<F>(n, w, o, b, s);                                                                       \
  }                                                                                                         \
  ZELT_AVX2 int32_t Avx2Rows::tint(F, int32_t n, uint32_t w, uint8_t* o, const uint8_t* s, uint32_t paint, \
                                   const uint32_t* key) {                                                   \
    return tint16<F>(n, w, o, s, paint, key);                                                               \
  }
ZELT_AVX2_ROWS16(Rgb565)
ZELT_AVX2_ROWS16(Rgb555)
#undef ZELT_AVX2_ROWS16

bool avx2_usable() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

}  // namespace zelt::gfx::blitter_detail
#endif  // ZELT_BLITTER_X86
