// gcopy's unscaled fast path: the routine for each fast-path class and
// format pair of the availability table, with the constant-alpha blend's
// own rounding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "gfx/raster/blit_engine.h"

namespace zelt::gfx {

// Unscaled rows: source and destination (and mask) advance together.
struct CopySpan {
  uint8_t* dst;
  ptrdiff_t dst_row_step;
  const uint8_t* src;
  ptrdiff_t src_row_step;
  const uint8_t* mask;
  ptrdiff_t mask_row_step;
  int32_t width, height;
};

using FastRoutine = void (*)(const CopySpan&, const BlendContext&);

// The fast routine of a checked mode for a format pair (column 0..15), or
// null when the availability table has none.
FastRoutine fast_routine(int mode, int column, bool masked);

// The fast path of gcopy for a checked mode: draws (x, y) ← source_rect
// (normalised) and returns the result, or nothing when the general path
// must run instead.
std::optional<int32_t> fast_copy(Plane* destination, int32_t x, int32_t y, Plane* source,
                                 const Box& source_rect, Plane* mask, const CheckedMode& mode);

}  // namespace zelt::gfx
