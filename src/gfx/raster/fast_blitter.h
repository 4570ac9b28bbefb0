// The one point where gcopy's fast path hands a rectangle to the blitter
// object: with [System] MMX set, the constant-weight blends (modes 3 to 6
// within one 16-, 24- or 32-bit format) and mode 7 with an 8-bit mask at
// alpha 255 are drawn by blitter(), on the calling thread, with its own
// rounding. Tests may put a recorder in its place.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zelt::gfx {

struct FastBlit {
  enum class Op : uint8_t {
    alpha_key,       // out = base where source = key (colour bits), else blend(base, source, alpha)
    alpha_map,       // out = blend(base, source, map value)
    constant_alpha,  // out = blend(base, source, alpha)
    tint,            // out = blend(source, paint, alpha)
    tint_key,        // tint where source ≠ key (colour bits), out left elsewhere
  };
  Op op;
  int32_t bytes_per_pixel;  // 2 (X1R5G5B5), 3 or 4
  int32_t width, height;
  uint8_t alpha;       // a; the tint's parameter b
  uint32_t key;        // the key colour as a pixel of the format
  uint32_t paint;      // the tint colour as a pixel of the format
  uint8_t* out;        // first pixel of the top row; also the base of the blends
  ptrdiff_t out_step;  // bytes from one row to the next (negative: rows are bottom-up)
  const uint8_t* source;
  ptrdiff_t source_step;
  const uint8_t* map;  // alpha_map: one byte per pixel
  ptrdiff_t map_step;
};

using FastBlitter = void (*)(const FastBlit&);

// Draws the rectangle with blitter().
void blitter_fast_blit(const FastBlit& blit);

// Replaces the hand-off (null: blitter_fast_blit again).
void set_fast_blitter(FastBlitter blitter);
FastBlitter fast_blitter();

}  // namespace zelt::gfx
