// Vector row loops of the SIMD blitter's blends (slots 0..19), SSE2 and
// AVX2. Each takes the row's n pixels from the given first ones, processes
// as many whole vectors as fit and returns how many pixels it did; the
// caller finishes the row with the plain code of blitter_scalar.h (same
// weight rule, so the results do not depend on where the vectors stop).
// Blend weights are the SIMD object's: w = v + (v >> 7). Internal to the
// blitter files.
#pragma once

#include <cstdint>

#include "gfx/raster/blitter_scalar.h"

#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
#define ZELT_BLITTER_X86 1
#endif

#ifdef ZELT_BLITTER_X86
namespace zelt::gfx::blitter_detail {

// key: null for an untouched tint, else the source key.
#define ZELT_VECTOR_ROWS(F)                                                                                  \
  static int32_t alpha_key(F, int32_t n, uint32_t w, uint8_t* o, const uint8_t* b, const uint8_t* s,       \
                           uint32_t key);                                                                   \
  static int32_t alpha_map(F, int32_t n, const uint8_t* m, uint8_t* o, const uint8_t* b, const uint8_t* s); \
  static int32_t paint_map(F, int32_t n, const uint8_t* m, uint8_t* o, const uint8_t* b, uint32_t paint);   \
  static int32_t alpha(F, int32_t n, uint32_t w, uint8_t* o, const uint8_t* b, const uint8_t* s);           \
  static int32_t tint(F, int32_t n, uint32_t w, uint8_t* o, const uint8_t* s, uint32_t paint,               \
                      const uint32_t* key);

struct Sse2Rows {
  ZELT_VECTOR_ROWS(Bgra32)
  ZELT_VECTOR_ROWS(Bgr24)
  ZELT_VECTOR_ROWS(Rgb565)
  ZELT_VECTOR_ROWS(Rgb555)
};

// 32-bit and 16-bit pixels in 256-bit vectors; 24-bit pixels as SSE2 does,
// except the constant blend, which does not care where pixels start.
struct Avx2Rows : Sse2Rows {
  using Sse2Rows::alpha_key;
  using Sse2Rows::alpha_map;
  using Sse2Rows::paint_map;
  using Sse2Rows::alpha;
  using Sse2Rows::tint;
  ZELT_VECTOR_ROWS(Bgra32)
  ZELT_VECTOR_ROWS(Rgb565)
  ZELT_VECTOR_ROWS(Rgb555)
  static int32_t alpha(Bgr24, int32_t n, uint32_t w, uint8_t* o, const uint8_t* b, const uint8_t* s);
};

#undef ZELT_VECTOR_ROWS

// Whether the processor and the operating system run AVX2 code.
bool avx2_usable();

}  // namespace zelt::gfx::blitter_detail
#endif
