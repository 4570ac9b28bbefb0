// Whole rows of the busiest blends, with SSE2 code where the build has it
// (and simd_enabled() allows it) beside plain loops that give exactly the
// same bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx/raster/pixel_formats.h"

namespace zelt::gfx {

// Constant weight over n bytes: d = mix(d, s, w), or with round_each
// floor(d (256 − w) / 256) + floor(s w / 256). w ≤ 256.
void blend_bytes(uint8_t* d, const uint8_t* s, size_t n, int32_t w, bool round_each);

// Mode 7 from 32-bit pixels (alpha in the fourth byte) onto count 32-bit
// or 24-bit pixels.
void source_alpha_row_32(uint8_t* d, const uint8_t* s, int32_t count, const BlendContext& c);
void source_alpha_row_24(uint8_t* d, const uint8_t* s, int32_t count, const BlendContext& c);

}  // namespace zelt::gfx
