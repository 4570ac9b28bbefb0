// The SIMD blitter: slots 0..19 in vector code (SSE2 here, AVX2 in
// blitter_avx2.cpp), the rest in plain code; every blend with the weight
// v + (v >> 7). Without x86 vector instructions the same object runs plain
// code throughout.
#include <cstring>

#include "gfx/raster/blitter_scalar.h"
#include "gfx/raster/blitter_vector.h"

#ifdef ZELT_BLITTER_X86
#include <emmintrin.h>
#endif

namespace zelt::gfx {
namespace blitter_detail {

#ifdef ZELT_BLITTER_X86
namespace {

__m128i load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// mask ? a : b, bit by bit.
__m128i select(__m128i mask, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// Eight 16-bit lanes of channels: (x × (256 − w) + y × w) >> 8. Both products
// and their sum stay below 65536, so 16-bit lanes hold them exactly.
__m128i blend16(__m128i x, __m128i y, __m128i w) {
  const __m128i inverse = _mm_sub_epi16(_mm_set1_epi16(256), w);
  return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(x, inverse), _mm_mullo_epi16(y, w)), 8);
}

// Sixteen 8-bit channels, with the weights of the low eight and the high eight.
__m128i blend8(__m128i x, __m128i y, __m128i w_low, __m128i w_high) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i low = blend16(_mm_unpacklo_epi8(x, zero), _mm_unpacklo_epi8(y, zero), w_low);
  const __m128i high = blend16(_mm_unpackhi_epi8(x, zero), _mm_unpackhi_epi8(y, zero), w_high);
  return _mm_packus_epi16(low, high);
}

// Weights of bytes widened to 16-bit lanes.
__m128i weights16(__m128i v) { return _mm_add_epi16(v, _mm_srli_epi16(v, 7)); }

// The weights of four map bytes, each over the four channels of its pixel:
// pixels 0 and 1 in low, 2 and 3 in high (the halves blend8 unpacks).
void pixel_weights32(const uint8_t* m, __m128i& low, __m128i& high) {
  uint32_t bytes;
  std::memcpy(&bytes, m, 4);
  __m128i v = weights16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(bytes)), _mm_setzero_si128()));
  v = _mm_unpacklo_epi16(v, v);  // w0 w0 w1 w1 w2 w2 w3 w3
  low = _mm_unpacklo_epi32(v, v);
  high = _mm_unpackhi_epi32(v, v);
}

// 24-bit rows go in blocks of 16 pixels: 48 bytes, three vectors.
constexpr int32_t kBlock24 = 16;

// A colour's three bytes repeated over a block.
struct Pattern24 {
  __m128i v[3];
  explicit Pattern24(uint32_t colour) {
    alignas(16) uint8_t bytes[48];
    for (int i = 0; i < 48; ++i) bytes[i] = static_cast<uint8_t>(colour >> (8 * (i % 3)));
    for (int k = 0; k < 3; ++k) v[k] = load(bytes + 16 * k);
  }
};

// Sixteen mask bits to sixteen bytes (0xFF where the bit is set).
__m128i byte_mask(uint32_t bits) {
  const __m128i each = _mm_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 1, 2, 4, 8, 16, 32, 64, -128);
  const __m128i v = _mm_unpacklo_epi64(_mm_set1_epi8(static_cast<char>(bits)),
                                       _mm_set1_epi8(static_cast<char>(bits >> 8)));
  return _mm_cmpeq_epi8(_mm_and_si128(v, each), each);
}

// The block's pixels whose three bytes equal the key's: false when there are
// none, else true with masks[k] 0xFF over every byte of the matching pixels.
bool key_masks24(const uint8_t* s, const Pattern24& key, __m128i masks[3]) {
  uint64_t equal = 0;
  for (int k = 0; k < 3; ++k)
    equal |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(load(s + 16 * k), key.v[k])))) << (16 * k);
  const uint64_t first = equal & (equal >> 1) & (equal >> 2) & 0x249249249249u;  // bit 3i: pixel i
  if (first == 0) return false;
  const uint64_t all = first | first << 1 | first << 2;
  for (int k = 0; k < 3; ++k) masks[k] = byte_mask(static_cast<uint32_t>(all >> (16 * k)));
  return true;
}

// Eight pixel weights (16-bit lanes) spread over their 24 channels: lanes
// 0 0 0 1 1 1 2 2 | 2 3 3 3 4 4 4 5 | 5 5 6 6 6 7 7 7, with word shuffles only.
void spread3(__m128i w, __m128i* out) {
  __m128i t = _mm_shuffle_epi32(w, _MM_SHUFFLE(1, 0, 0, 0));
  out[0] = _mm_shufflehi_epi16(_mm_shufflelo_epi16(t, _MM_SHUFFLE(1, 0, 0, 0)), _MM_SHUFFLE(2, 2, 1, 1));
  t = _mm_shuffle_epi32(w, _MM_SHUFFLE(2, 2, 1, 1));
  out[1] = _mm_shufflehi_epi16(_mm_shufflelo_epi16(t, _MM_SHUFFLE(1, 1, 1, 0)), _MM_SHUFFLE(1, 0, 0, 0));
  t = _mm_shuffle_epi32(w, _MM_SHUFFLE(3, 3, 3, 2));
  out[2] = _mm_shufflehi_epi16(_mm_shufflelo_epi16(t, _MM_SHUFFLE(2, 2, 1, 1)), _MM_SHUFFLE(1, 1, 1, 0));
}

// The 16-bit weights of a block's 48 channels from its 16 map bytes.
void channel_weights24(const uint8_t* m, __m128i w[6]) {
  const __m128i bytes = load(m), zero = _mm_setzero_si128();
  spread3(weights16(_mm_unpacklo_epi8(bytes, zero)), w);
  spread3(weights16(_mm_unpackhi_epi8(bytes, zero)), w + 3);
}

// 16-bit pixels: the fields of each lane blended apart.
template <class F>
__m128i blend_pixels16(__m128i x, __m128i y, __m128i w) {
  const __m128i five = _mm_set1_epi16(31);
  const __m128i blue = blend16(_mm_and_si128(x, five), _mm_and_si128(y, five), w);
  if constexpr (F::kColourBits == 0xFFFF) {
    const __m128i six = _mm_set1_epi16(63);
    const __m128i red = blend16(_mm_srli_epi16(x, 11), _mm_srli_epi16(y, 11), w);
    const __m128i green =
        blend16(_mm_and_si128(_mm_srli_epi16(x, 5), six), _mm_and_si128(_mm_srli_epi16(y, 5), six), w);
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(red, 11), _mm_slli_epi16(green, 5)), blue);
  } else {
    const __m128i red =
        blend16(_mm_and_si128(_mm_srli_epi16(x, 10), five), _mm_and_si128(_mm_srli_epi16(y, 10), five), w);
    const __m128i green =
        blend16(_mm_and_si128(_mm_srli_epi16(x, 5), five), _mm_and_si128(_mm_srli_epi16(y, 5), five), w);
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(red, 10), _mm_slli_epi16(green, 5)), blue);
  }
}

__m128i map_weights16(const uint8_t* m) {
  return weights16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(m)), _mm_setzero_si128()));
}

template <class F>
int32_t alpha_key16(int32_t n, uint32_t w, uint8_t* o, const uint8_t* b, const uint8_t* s, uint32_t key) {
  const __m128i wv = _mm_set1_epi16(static_cast<int16_t>(w));
  const __m128i bits = _mm_set1_epi16(static_cast<int16_t>(F::kColourBits));
  const __m128i k = _mm_set1_epi16(static_cast<int16_t>(key & F::kColourBits));
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i x = load(b + 2 * i), y = load(s + 2 * i);
    const __m128i match = _mm_cmpeq_epi16(_mm_and_si128(y, bits), k);
    store(o + 2 * i, select(match, x, blend_pixels16<F>(x, y, wv)));
  }
  return i;
}

template <class F>
int32_t alpha_map16(int32_t n, const uint8_t* m, uint8_t* o, const uint8_t* b, const uint8_t* s) {
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) store(o + 2 * i, blend_pixels16<F>(load(b + 2 * i), load(s + 2 * i), map_weights16(m + i)));
  return i;
}

template <class F>
int32_t paint_map16(int32_t n, const uint8_t* m, uint8_t* o, const uint8_t* b, uint32_t paint) {
  const __m128i p = _mm_set1_epi16(static_cast<int16_t>(paint));
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) store(o + 2 * i, blend_pixels16<F>(load(b + 2 * i), p, map_weights16(m + i)));
  return i;
}

template <class F>
int32_t alpha16(int32_t n, uint32_t w, uint8_t* o, const uint8_t* b, const uint8_t* s) {
  const __m128i wv = _mm_set1_epi16(static_cast<int16_t>(w));
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) store(o + 2 * i, blend_pixels16<F>(load(b + 2 * i), load(s + 2 * i), wv));
  return i;
}

template <class F>
int32_t tint16(int32_t n, uint32_t w, uint8_t* o, const uint8_t* s, uint32_t paint, const uint32_t* key) {
  const __m128i wv = _mm_set1_epi16(static_cast<int16_t>(w));
  const __m128i p = _mm_set1_epi16(static_cast<int16_t>(paint));
  const __m128i bits = _mm_set1_epi16(static_cast<int16_t>(F::kColourBits));
  const __m128i k = _mm_set1_epi16(static_cast<int16_t>(key ? *key & F::kColourBits : 0));
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i x = load(s + 2 * i);
    __m128i r = blend_pixels16<F>(x, p, wv);
    if (key) r = select(_mm_cmpeq_epi16(_mm_and_si128(x, bits), k), load(o + 2 * i), r);
    store(o + 2 * i, r);
  }
  return i;
}

}  // namespace

// 32-bit pixels, four per vector ---------------------------------------------

int32_t Sse2Rows::alpha_key(Bgra32, int32_t n, uint32_t w, uint8_t* o, const uint8_t* b, const uint8_t* s,
                            uint32_t key) {
  const __m128i wv = _mm_set1_epi16(static_cast<int16_t>(w));
  const __m128i colour = _mm_set1_epi32(0xFFFFFF);
  const __m128i k = _mm_set1_epi32(static_cast<int>(key & 0xFFFFFF));
  int32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i x = load(b + 4 * i), y = load(s + 4 * i);
    const __m128i match = _mm_cmpeq_epi32(_mm_and_si128(y, colour), k);
    store(o + 4 * i, select(match, x, blend8(x, y, wv, wv)));
  }
  return i;
}

int32_t Sse2Rows::alpha_map(Bgra32, int32_t n, const uint8_t* m, uint8_t* o, const uint8_t* b,
                            const uint8_t* s) {
  int32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    __m128i low, high;
    pixel_weights32(m + i, low, high);
    store(o + 4 * i, blend8(load(b + 4 * i), load(s + 4 * i), low, high));
  }
  return i;
}

int32_t Sse2Rows::paint_map(Bgra32, int32_t n, const uint8_t* m, uint8_t* o, const uint8_t* b,
                            uint32_t paint) {
  const __m128i p = _mm_set1_epi32(static_cast<int>(paint));
  const __m128i fourth = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  int32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    __m128i low, high;
    pixel_weights32(m + i, low, high);
    const __m128i x = load(b + 4 * i);
    store(o + 4 * i, select(fourth, x, blend8(x, p, low, high)));
  }
  return i;
}

int32_t Sse2Rows::alpha(Bgra32, int32_t n, uint32_t w, uint8_t* o, const uint8_t* b, const uint8_t* s) {
  const __m128i wv = _mm_set1_epi16(static_cast<int16_t>(w));
  int32_t i = 0;
  for (; i + 4 <= n; i += 4) store(o + 4 * i, blend8(load(b + 4 * i), load(s + 4 * i), wv, wv));
  return i;
}

int32_t Sse2Rows::tint(Bgra32, int32_t n, uint32_t w, uint8_t* o, const uint8_t* s, uint32_t paint,
                       const uint32_t* key) {
  const __m128i wv = _mm_set1_epi16(static_cast<int16_t>(w));
  const __m128i p = _mm_set1_epi32(static_cast<int>(paint));
  const __m128i fourth = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  const __m128i colour = _mm_set1_epi32(0xFFFFFF);
  const __m128i k = _mm_set1_epi32(static_cast<int>(key ? *key & 0xFFFFFF : 0));
  int32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i x = load(s + 4 * i), old = load(o + 4 * i);
    __m128i r = select(fourth, old, blend8(x, p, wv, wv));
    if (key) r = select(_mm_cmpeq_epi32(_mm_and_si128(x, colour), k), old, r);
    store(o + 4 * i, r);
  }
  return i;
}

// 24-bit pixels, sixteen per block ---------------------------------------------

int32_t Sse2Rows::alpha_key(Bgr24, int32_t n, uint32_t w, uint8_t* o, const uint8_t* b, const uint8_t* s,
                            uint32_t key) {
  const __m128i wv = _mm_set1_epi16(static_cast<int16_t>(w));
  const Pattern24 k(key);
  int32_t i = 0;
  for (; i + kBlock24 <= n; i += kBlock24) {
    const int32_t at = 3 * i;
    __m128i x[3], r[3], masks[3];
    for (int j = 0; j < 3; ++j) {
      x[j] = load(b + at + 16 * j);
      r[j] = blend8(x[j], load(s + at + 16 * j), wv, wv);
    }
    if (key_masks24(s + at, k, masks))
      for (int j = 0; j < 3; ++j) r[j] = select(masks[j], x[j], r[j]);
    for (int j = 0; j < 3; ++j) store(o + at + 16 * j, r[j]);
  }
  return i;
}

int32_t Sse2Rows::alpha_map(Bgr24, int32_t n, const uint8_t* m, uint8_t* o, const uint8_t* b,
                            const uint8_t* s) {
  int32_t i = 0;
  for (; i + kBlock24 <= n; i += kBlock24) {
    const int32_t at = 3 * i;
    __m128i w[6];
    channel_weights24(m + i, w);
    for (int j = 0; j < 3; ++j)
      store(o + at + 16 * j, blend8(load(b + at + 16 * j), load(s + at + 16 * j), w[2 * j], w[2 * j + 1]));
  }
  return i;
}

int32_t Sse2Rows::paint_map(Bgr24, int32_t n, const uint8_t* m, uint8_t* o, const uint8_t* b,
                            uint32_t paint) {
  const Pattern24 p(paint);
  int32_t i = 0;
  for (; i + kBlock24 <= n; i += kBlock24) {
    const int32_t at = 3 * i;
    __m128i w[6];
    channel_weights24(m + i, w);
    for (int j = 0; j < 3; ++j)
      store(o + at + 16 * j, blend8(load(b + at + 16 * j), p.v[j], w[2 * j], w[2 * j + 1]));
  }
  return i;
}

int32_t Sse2Rows::alpha(Bgr24, int32_t n, uint32_t w, uint8_t* o, const uint8_t* b, const uint8_t* s) {
  const __m128i wv = _mm_set1_epi16(static_cast<int16_t>(w));
  int32_t i = 0;
  for (; i + kBlock24 <= n; i += kBlock24)
    for (int j = 0; j < 3; ++j) {
      const int32_t at = 3 * i + 16 * j;
      store(o + at, blend8(load(b + at), load(s + at), wv, wv));
    }
  return i;
}

int32_t Sse2Rows::tint(Bgr24, int32_t n, uint32_t w, uint8_t* o, const uint8_t* s, uint32_t paint,
                       const uint32_t* key) {
  const __m128i wv = _mm_set1_epi16(static_cast<int16_t>(w));
  const Pattern24 p(paint), k(key ? *key : 0);
  int32_t i = 0;
  for (; i + kBlock24 <= n; i += kBlock24) {
    const int32_t at = 3 * i;
    __m128i r[3], masks[3];
    for (int j = 0; j < 3; ++j) r[j] = blend8(load(s + at + 16 * j), p.v[j], wv, wv);
    if (key && key_masks24(s + at, k, masks))
      for (int j = 0; j < 3; ++j) r[j] = select(masks[j], load(o + at + 16 * j), r[j]);
    for (int j = 0; j < 3; ++j) store(o + at + 16 * j, r[j]);
  }
  return i;
}

// 16-bit pixels, eight per vector ----------------------------------------------

#define ZELT_SSE2_ROWS16(F)                                                                                 \
  int32_t Sse2Rows::alpha_key(F, int32_t n, uint32_t w, uint8_t* o, const uint8_t* b, const uint8_t* s,   \
                              uint32_t key) {                                                              \
    return alpha_key16<F>(n, w, o, b, s, key);                                                             \
  }                                                                                                        \
  int32_t Sse2Rows::alpha_map(F, int32_t n, const uint8_t* m, uint8_t* o, const uint8_t* b,               \
                              const uint8_t* s) {                                                          \
    return alpha_map16<F>(n, m, o, b, s);                                                                  \
  }                                                                                                        \
  int32_t Sse2Rows::paint_map(F, int32_t n, const uint8_t* m, uint8_t* o, const uint8_t* b, uint32_t paint) { \
    return paint_map16<F>(n, m, o, b, paint);                                                              \
  }                                                                                                        \
  int32_t Sse2Rows::alpha(F, int32_t n, uint32_t w, uint8_t* o, const uint8_t* b, const uint8_t* s) {     \
    return alpha16<F>(n, w, o, b, s);                                                                      \
  }                                                                                                        \
  int32_t Sse2Rows::tint(F, int32_t n, uint32_t w, uint8_t* o, const uint8_t* s, uint32_t paint,          \
                         const uint32_t* key) {                                                            \
    return tint16<F>(n, w, o, s, paint, key);                                                              \
  }
ZELT_SSE2_ROWS16(Rgb565)
ZELT_SSE2_ROWS16(Rgb555)
#undef ZELT_SSE2_ROWS16

// The object ---------------------------------------------------------------

namespace {

// Each row: the vector loop V, then the plain code for the pixels it left.
template <class V, class F>
void vector_alpha_key(int32_t width, int32_t height, ZELT_BLITTER_PARAMS_alpha_key) {
  const uint32_t w = SimdWeight::of(alpha);
  each_row(width, height, [&](int32_t y) {
    uint8_t* o = out.row(y);
    const uint8_t *b = base.row(y), *s = source.row(y);
    const int32_t done = V::alpha_key(F{}, width, w, o, b, s, key);
    const ptrdiff_t at = ptrdiff_t{done} * F::kBytes;
    alpha_key_row<F>(width - done, w, o + at, b + at, s + at, key);
  });
}

template <class V, class F>
void vector_alpha_map(int32_t width, int32_t height, ZELT_BLITTER_PARAMS_alpha_map) {
  each_row(width, height, [&](int32_t y) {
    const uint8_t* m = map.row(y);
    uint8_t* o = out.row(y);
    const uint8_t *b = base.row(y), *s = source.row(y);
    const int32_t done = V::alpha_map(F{}, width, m, o, b, s);
    const ptrdiff_t at = ptrdiff_t{done} * F::kBytes;
    alpha_map_row<F, SimdWeight>(width - done, m + done, o + at, b + at, s + at);
  });
}

template <class V, class F>
void vector_paint_map(int32_t width, int32_t height, ZELT_BLITTER_PARAMS_paint_map) {
  each_row(width, height, [&](int32_t y) {
    const uint8_t* m = map.row(y);
    uint8_t* o = out.row(y);
    const uint8_t* b = base.row(y);
    const int32_t done = V::paint_map(F{}, width, m, o, b, paint);
    const ptrdiff_t at = ptrdiff_t{done} * F::kBytes;
    paint_map_row<F, SimdWeight>(width - done, m + done, o + at, b + at, paint);
  });
}

template <class V, class F>
void vector_alpha(int32_t width, int32_t height, ZELT_BLITTER_PARAMS_alpha) {
  const uint32_t w = SimdWeight::of(alpha);
  each_row(width, height, [&](int32_t y) {
    uint8_t* o = out.row(y);
    const uint8_t *b = base.row(y), *s = source.row(y);
    const int32_t done = V::alpha(F{}, width, w, o, b, s);
    const ptrdiff_t at = ptrdiff_t{done} * F::kBytes;
    alpha_row<F>(width - done, w, o + at, b + at, s + at);
  });
}

template <class V, class F>
void vector_tint(int32_t width, int32_t height, ZELT_BLITTER_PARAMS_tint) {
  const uint32_t w = SimdWeight::of(alpha);
  const uint32_t* key_pointer = key ? &*key : nullptr;
  each_row(width, height, [&](int32_t y) {
    uint8_t* o = out.row(y);
    const uint8_t* s = source.row(y);
    const int32_t done = V::tint(F{}, width, w, o, s, paint, key_pointer);
    const ptrdiff_t at = ptrdiff_t{done} * F::kBytes;
    tint_row<F>(width - done, w, o + at, s + at, paint, key);
  });
}

template <class V>
class SimdBlitter final : public ScalarBlitter<SimdWeight> {
 public:
#define ZELT_SLOT(number, name, kind, Out, In)                                      \
  void name(int32_t width, int32_t height, ZELT_BLITTER_PARAMS_##kind) const override { \
    vector_##kind<V, Out>(width, height, ZELT_BLITTER_ARGS_##kind);                 \
  }
  ZELT_BLITTER_BLEND_SLOTS(ZELT_SLOT)
#undef ZELT_SLOT
};

}  // namespace
#endif  // ZELT_BLITTER_X86

}  // namespace blitter_detail

const Blitter& simd_blitter(SimdLevel level) {
  using namespace blitter_detail;
  static const ScalarBlitter<SimdWeight> plain_code;
#ifdef ZELT_BLITTER_X86
  static const SimdBlitter<Sse2Rows> sse2;
  static const SimdBlitter<Avx2Rows> avx2;
  if (level > simd_level()) level = simd_level();
  if (level == SimdLevel::avx2) return avx2;
  if (level == SimdLevel::sse2) return sse2;
#else
  (void)level;
#endif
  return plain_code;
}

}  // namespace zelt::gfx
