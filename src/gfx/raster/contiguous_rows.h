// Row routines for the cells where a whole destination row reads one run
// of source pixels (1:1 columns, no mirroring): unscaled copies and the
// busiest blends, written for whole rows so that they vectorise. Each gives
// exactly what the cell's per-pixel operation gives.
//
// ContiguousRow<operation, pair, masked>::run(d, s, mask, count, context)
// does count pixels from s (and the mask bytes from mask) onto d.
#pragma once

#include <cstring>
#include <type_traits>

#include "gfx/raster/pixel_formats.h"

namespace zelt::gfx {

template <int Mode>
struct BlendOp;

template <class Op, class P, bool Masked>
struct ContiguousRow {
  static constexpr bool available = false;
  static void run(uint8_t*, const uint8_t*, const uint8_t*, int32_t, const BlendContext&) {}
};

// Mode 0 within one format copies the pixels as they are (source and
// destination may be the same plane, hence memmove).
template <class F>
  requires(!std::is_same_v<F, Pal8>)
struct ContiguousRow<BlendOp<0>, FormatPair<F, F>, false> {
  static constexpr bool available = true;
  static void run(uint8_t* d, const uint8_t* s, const uint8_t*, int32_t count, const BlendContext&) {
    std::memmove(d, s, static_cast<size_t>(count) * F::bytes);
  }
};

}  // namespace zelt::gfx
