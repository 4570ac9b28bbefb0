#include "gfx/raster/row_blends.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "gfx/raster/blend_ops.h"

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

// Mode 7 pixel by pixel: the plain rows, and the pixels SIMD code leaves.
void source_alpha_plain_32(uint8_t* d, const uint8_t* s, ptrdiff_t n, const BlendContext& c) {
  for (; n > 0; --n, d += 4, s += 4) BlendOp<7>::apply<Pair32>(PixelSample<Rgb32>{s}, d, c);
}

void source_alpha_plain_24(uint8_t* d, const uint8_t* s, ptrdiff_t n, const BlendContext& c) {
  for (; n > 0; --n, d += 3, s += 4) BlendOp<7>::apply<Pair24>(PixelSample<Rgb32>{s}, d, c);
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
  const __m128i pairs = _mm_packs_epi32(k, k);               // k0 k1 k2 k3 k0 k1 k2 k3
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
  ptrdiff_t i = 0;
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
      source_alpha_plain_32(d + 4 * i, s + 4 * i, 4, c);
    }
  }
  source_alpha_plain_32(d + 4 * i, s + 4 * i, count - i, c);
}

// 24-bit destinations: four pixels gathered into 32-bit lanes and written
// back three bytes each (each 4-byte store is overwritten in its last byte
// by the next pixel's; the last pixel is stored in 2 + 1 bytes).
void source_alpha_row_24_sse2(uint8_t* d, const uint8_t* s, int32_t count, const BlendContext& c) {
  const __m128i w = _mm_set1_epi32(c.w);
  ptrdiff_t i = 0;
  for (; i + 4 <= count; i += 4) {
    uint8_t* p = d + 3 * i;
    const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * i));
    const __m128i dv =
        _mm_set_epi32(static_cast<int32_t>(load32(p + 8) >> 8), static_cast<int32_t>(load32(p + 6)),
                      static_cast<int32_t>(load32(p + 3)), static_cast<int32_t>(load32(p)));
    alignas(16) uint32_t out[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(out), mix_by_alpha(sv, dv, source_alpha_weights(sv, w)));
    store32(p, out[0]);
    store32(p + 3, out[1]);
    store32(p + 6, out[2]);
    store16(p + 9, out[3]);
    p[11] = static_cast<uint8_t>(out[3] >> 16);
  }
  source_alpha_plain_24(d + 3 * i, s + 4 * i, count - i, c);
}

// The same two rows eight pixels (32 bytes) at a time. Unpacking and packing
// work within each 128-bit half, so the halves stay in order.
#define ZELT_AVX2 __attribute__((target("avx2"))) inline

ZELT_AVX2 void blend_bytes_avx2(uint8_t* d, const uint8_t* s, size_t n, int32_t w, bool round_each) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i ws = _mm256_set1_epi16(static_cast<int16_t>(w));
  const __m256i wd = _mm256_set1_epi16(static_cast<int16_t>(256 - w));
  size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + i));
    const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
    const __m256i d_lo = _mm256_mullo_epi16(_mm256_unpacklo_epi8(dv, zero), wd);
    const __m256i d_hi = _mm256_mullo_epi16(_mm256_unpackhi_epi8(dv, zero), wd);
    const __m256i s_lo = _mm256_mullo_epi16(_mm256_unpacklo_epi8(sv, zero), ws);
    const __m256i s_hi = _mm256_mullo_epi16(_mm256_unpackhi_epi8(sv, zero), ws);
    __m256i lo, hi;
    if (round_each) {
      lo = _mm256_add_epi16(_mm256_srli_epi16(d_lo, 8), _mm256_srli_epi16(s_lo, 8));
      hi = _mm256_add_epi16(_mm256_srli_epi16(d_hi, 8), _mm256_srli_epi16(s_hi, 8));
    } else {
      lo = _mm256_srli_epi16(_mm256_add_epi16(d_lo, s_lo), 8);
      hi = _mm256_srli_epi16(_mm256_add_epi16(d_hi, s_hi), 8);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), _mm256_packus_epi16(lo, hi));
  }
  blend_bytes_sse2(d + i, s + i, n - i, w, round_each);
}

struct OpaqueConstants {
  __m256i high, bias, offset, reciprocal, alpha;
};

// The constants of over_opaque_avx2, made once per row and kept in
// registers (the compiler would otherwise build them again for every eight
// pixels).
ZELT_AVX2 OpaqueConstants opaque_constants_avx2() {
  OpaqueConstants k{.high = _mm256_set1_epi16(static_cast<int16_t>(0xFF00)),
                    .bias = _mm256_set1_epi8(static_cast<char>(0x80)),
                    .offset = _mm256_set1_epi16(32640),
                    .reciprocal = _mm256_set1_epi16(static_cast<int16_t>(0x8081)),
                    .alpha = _mm256_set1_epi32(static_cast<int32_t>(0xFF000000u))};
  asm("" : "+x"(k.high), "+x"(k.bias), "+x"(k.offset), "+x"(k.reciprocal), "+x"(k.alpha));
  return k;
}

// Over an opaque destination, eight pixels: floor((t s + (255 − t) d) / 255)
// per channel, fourth byte 255. t_pairs holds the bytes t, 255 − t in every
// 16-bit lane of a pixel. Each lane pairs one channel's source and
// destination bytes, less 128 so that they are signed bytes; maddubs then
// gives t (s − 128) + (255 − t)(d − 128) = x − 32640 with x the numerator
// (0 ≤ x ≤ 65025), and x / 255 = (x × 0x8081) >> 23 exactly.
ZELT_AVX2 __m256i opaque_quotients_avx2(__m256i t_pairs, __m256i pairs, const OpaqueConstants& k) {
  const __m256i x = _mm256_add_epi16(_mm256_maddubs_epi16(t_pairs, pairs), k.offset);
  return _mm256_srli_epi16(_mm256_mulhi_epu16(x, k.reciprocal), 7);
}

ZELT_AVX2 __m256i over_opaque_avx2(__m256i s, __m256i d, __m256i t_pairs, const OpaqueConstants& k) {
  const __m256i sb = _mm256_xor_si256(s, k.bias), db = _mm256_xor_si256(d, k.bias);
  // Blue and red (even bytes), green and the fourth byte (odd bytes).
  const __m256i even = _mm256_or_si256(_mm256_andnot_si256(k.high, sb), _mm256_slli_epi16(db, 8));
  const __m256i odd = _mm256_or_si256(_mm256_srli_epi16(sb, 8), _mm256_and_si256(k.high, db));
  return _mm256_or_si256(_mm256_or_si256(opaque_quotients_avx2(t_pairs, even, k),
                                         _mm256_slli_epi16(opaque_quotients_avx2(t_pairs, odd, k), 8)),
                         k.alpha);
}

// The general 32-bit formula for eight pixels with whatever fourth bytes u:
// D = (255 − u) t + 255 u, each channel floor((255 t s + (255 − t) u d) / D)
// through a float reciprocal mended to the exact quotient (as the plain
// code does), the fourth byte D / 255; pixels with t = 0 stay.
ZELT_AVX2 __m256i over_any_avx2(__m256i s, __m256i d, __m256i t) {
  const __m256i c255 = _mm256_set1_epi32(255), bytes = _mm256_set1_epi32(255);
  const __m256i u = _mm256_srli_epi32(d, 24);
  const __m256i den = _mm256_max_epi32(
      _mm256_add_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(c255, u), t), _mm256_mullo_epi32(c255, u)),
      _mm256_set1_epi32(1));  // 0 only where t = u = 0, and those pixels stay
  const __m256 inverse = _mm256_div_ps(_mm256_set1_ps(1.0f), _mm256_cvtepi32_ps(den));
  const __m256i ts = _mm256_mullo_epi32(c255, t);
  const __m256i ud = _mm256_mullo_epi32(_mm256_sub_epi32(c255, t), u);
  // den / 255 = (den + 1 + (den >> 8)) >> 8 for den ≤ 65025.
  __m256i out = _mm256_slli_epi32(
      _mm256_srli_epi32(
          _mm256_add_epi32(_mm256_add_epi32(den, _mm256_set1_epi32(1)), _mm256_srli_epi32(den, 8)), 8),
      24);
  for (int shift = 0; shift < 24; shift += 8) {
    const __m256i sc = _mm256_and_si256(_mm256_srli_epi32(s, shift), bytes);
    const __m256i dc = _mm256_and_si256(_mm256_srli_epi32(d, shift), bytes);
    const __m256i n = _mm256_add_epi32(_mm256_mullo_epi32(ts, sc), _mm256_mullo_epi32(ud, dc));
    __m256i q = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(n), inverse));
    q = _mm256_add_epi32(q, _mm256_cmpgt_epi32(_mm256_mullo_epi32(q, den), n));  // q D > n: one less
    const __m256i next = _mm256_add_epi32(_mm256_mullo_epi32(q, den), den);
    q = _mm256_sub_epi32(q, _mm256_andnot_si256(_mm256_cmpgt_epi32(next, n), _mm256_set1_epi32(-1)));
    out = _mm256_or_si256(out, _mm256_slli_epi32(q, shift));
  }
  const __m256i stays = _mm256_cmpeq_epi32(t, _mm256_setzero_si256());
  return _mm256_or_si256(_mm256_and_si256(stays, d), _mm256_andnot_si256(stays, out));
}

// Eight pixels onto a destination whose fourth bytes are not all 255: all
// 0 (the source colour with fourth byte t where t > 0), or the general
// formula. Out of line, to leave the registers of the opaque loop alone.
__attribute__((target("avx2"), noinline)) void over_translucent_avx2(uint8_t* d, __m256i sv, __m256i dv,
                                                                       __m256i t) {
  const __m256i zero = _mm256_setzero_si256();
  __m256i out;
  if (_mm256_testz_si256(dv, _mm256_set1_epi32(static_cast<int32_t>(0xFF000000u)))) {
    const __m256i drawn = _mm256_cmpgt_epi32(t, zero);
    const __m256i v =
        _mm256_or_si256(_mm256_and_si256(sv, _mm256_set1_epi32(0xFFFFFF)), _mm256_slli_epi32(t, 24));
    out = _mm256_or_si256(_mm256_and_si256(drawn, v), _mm256_andnot_si256(drawn, dv));
  } else {
    out = over_any_avx2(sv, dv, t);
  }
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), out);
}

// FullWeight: alpha 255 (w = 256), where t is the source alpha byte itself.
template <bool FullWeight>
ZELT_AVX2 void source_alpha_row_32_avx2(uint8_t* d, const uint8_t* s, int32_t count, const BlendContext& c) {
  const __m256i w = _mm256_set1_epi32(c.w);
  const OpaqueConstants k = opaque_constants_avx2();
  const __m256i alpha = k.alpha;
  // Byte 3 (the source alpha), or byte 0 (t), of each pixel to all four.
  const __m256i spread =
      FullWeight ? _mm256_setr_epi8(3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15,  //
                                    3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15)
                 : _mm256_setr_epi8(0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12,  //
                                    0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12);
  ptrdiff_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 4 * i));
    // Every t = 0: the pixels stay. Every t = 255: d = s, whose fourth byte
    // is already 255.
    if (_mm256_testz_si256(sv, alpha)) continue;
    if (FullWeight && _mm256_testc_si256(sv, alpha)) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 4 * i), sv);
      continue;
    }
    const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + 4 * i));
    const __m256i a = _mm256_srli_epi32(sv, 24);
    const __m256i t = FullWeight ? a : _mm256_srli_epi32(_mm256_mullo_epi16(a, w), 8);
    if (_mm256_testc_si256(dv, alpha)) {
      // t, 255 − t in every 16-bit lane of a pixel.
      const __m256i t_pairs = _mm256_xor_si256(_mm256_shuffle_epi8(FullWeight ? sv : t, spread), k.high);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 4 * i), over_opaque_avx2(sv, dv, t_pairs, k));
    } else {
      over_translucent_avx2(d + 4 * i, sv, dv, t);
    }
  }
  source_alpha_row_32_sse2(d + 4 * i, s + 4 * i, static_cast<int32_t>(count - i), c);
}

#undef ZELT_AVX2
#endif

// -1: the environment and the processor decide.
std::atomic<int> g_forced_level{-1};

}  // namespace

int max_simd_level() {
#if defined(__SSE2__)
  static const int level = __builtin_cpu_supports("avx2") ? 2 : 1;
  return level;
#else
  return 0;
#endif
}

RowSimd row_simd_level() {
  static const int automatic = [] {
    const char* v = std::getenv("ZELT_NO_SIMD");
    return v == nullptr || std::strcmp(v, "0") == 0 ? max_simd_level() : 0;
  }();
  const int forced = g_forced_level.load(std::memory_order_relaxed);
  return static_cast<RowSimd>(forced < 0 ? automatic : std::min(forced, max_simd_level()));
}

void force_simd_for_testing(int level) { g_forced_level.store(level, std::memory_order_relaxed); }

void blend_bytes(uint8_t* d, const uint8_t* s, size_t n, int32_t w, bool round_each) {
#if defined(__SSE2__)
  switch (row_simd_level()) {
    case RowSimd::avx2:
      return blend_bytes_avx2(d, s, n, w, round_each);
    case RowSimd::sse2:
      return blend_bytes_sse2(d, s, n, w, round_each);
    default:
      break;
  }
#endif
  blend_bytes_plain(d, s, n, w, round_each);
}

void source_alpha_row_32(uint8_t* d, const uint8_t* s, int32_t count, const BlendContext& c) {
#if defined(__SSE2__)
  switch (row_simd_level()) {
    case RowSimd::avx2:
      return c.w == 256 ? source_alpha_row_32_avx2<true>(d, s, count, c)
                        : source_alpha_row_32_avx2<false>(d, s, count, c);
    case RowSimd::sse2:
      return source_alpha_row_32_sse2(d, s, count, c);
    default:
      break;
  }
#endif
  source_alpha_plain_32(d, s, count, c);
}

void source_alpha_row_24(uint8_t* d, const uint8_t* s, int32_t count, const BlendContext& c) {
#if defined(__SSE2__)
  if (row_simd_level() != RowSimd::plain) return source_alpha_row_24_sse2(d, s, count, c);
#endif
  source_alpha_plain_24(d, s, count, c);
}

}  // namespace zelt::gfx
