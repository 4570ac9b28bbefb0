// Whole rows of the busiest blends, with SSE2 code (and AVX2 code where the
// processor has it) beside plain loops that give exactly the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx/raster/pixel_formats.h"

namespace zelt::gfx {

// The instruction sets the rows use: plain when ZELT_NO_SIMD is set, else
// the best the processor has.
enum class RowSimd : uint8_t { plain, sse2, avx2 };
RowSimd row_simd_level();
// Tests pick a level (capped at what the processor has), or -1 to go back
// to the environment and the processor.
void force_simd_for_testing(int level);
int max_simd_level();

// Constant weight over n bytes: d = mix(d, s, w), or with round_each
// floor(d (256 − w) / 256) + floor(s w / 256). w ≤ 256.
void blend_bytes(uint8_t* d, const uint8_t* s, size_t n, int32_t w, bool round_each);

// Mode 7 from 32-bit pixels (alpha in the fourth byte) onto count 32-bit
// or 24-bit pixels.
void source_alpha_row_32(uint8_t* d, const uint8_t* s, int32_t count, const BlendContext& c);
void source_alpha_row_24(uint8_t* d, const uint8_t* s, int32_t count, const BlendContext& c);

}  // namespace zelt::gfx
