// Row routines for the cells where a whole destination row reads one run
// of source pixels (1:1 columns, no mirroring): unscaled copies and the
// busiest blends, written for whole rows so that they vectorise. Each gives
// exactly what the cell's per-pixel operation gives.
//
// ContiguousRow<operation, pair, masked>::run(d, s, mask, count, context)
// does count pixels from s (and the mask bytes from mask) onto d. Where
// gather is set, the blend costs enough that scaled and rotated rows
// collect their source pixels into a run and blend it with run too.
#pragma once

#include <cstring>
#include <type_traits>

#include "gfx/raster/blend_ops.h"
#include "gfx/raster/row_blends.h"

namespace zelt::gfx {

template <class Op, class P, bool Masked>
struct ContiguousRow {
  static constexpr bool available = false, gather = false;
  static void run(uint8_t*, const uint8_t*, const uint8_t*, int32_t, const BlendContext&) {}
};

// Mode 0 within one format copies the pixels as they are (source and
// destination may be the same plane, hence memmove).
template <class F>
requires(!std::is_same_v<F, Pal8>) struct ContiguousRow<BlendOp<0>, FormatPair<F, F>, false> {
  static constexpr bool available = true, gather = false;
  static void run(uint8_t* d, const uint8_t* s, const uint8_t*, int32_t count, const BlendContext&) {
    std::memmove(d, s, static_cast<size_t>(count) * F::bytes);
  }
};

// Formats whose every byte is a channel of the constant-weight blends:
// raw indices, 24-bit, and 32-bit to 32-bit (the fourth byte included).
template <class F>
concept BytewiseFormat = std::is_same_v<F, Raw8> || std::is_same_v<F, Rgb24> || std::is_same_v<F, Rgb32>;

template <BytewiseFormat F>
struct ContiguousRow<BlendOp<3>, FormatPair<F, F>, false> {
  static constexpr bool available = true, gather = true;
  static void run(uint8_t* d, const uint8_t* s, const uint8_t*, int32_t count, const BlendContext& c) {
    blend_bytes(d, s, static_cast<size_t>(count) * F::bytes, c.w, false);
  }
};

template <BytewiseFormat F>
struct ContiguousRow<ConstantAlphaOp, FormatPair<F, F>, false> {
  static constexpr bool available = true, gather = true;
  static void run(uint8_t* d, const uint8_t* s, const uint8_t*, int32_t count, const BlendContext& c) {
    blend_bytes(d, s, static_cast<size_t>(count) * F::bytes, c.w, true);
  }
};

template <>
struct ContiguousRow<BlendOp<7>, FormatPair<Rgb32, Rgb32>, false> {
  static constexpr bool available = true, gather = true;
  static void run(uint8_t* d, const uint8_t* s, const uint8_t*, int32_t count, const BlendContext& c) {
    source_alpha_row_32(d, s, count, c);
  }
};

template <>
struct ContiguousRow<BlendOp<7>, FormatPair<Rgb32, Rgb24>, false> {
  static constexpr bool available = true, gather = true;
  static void run(uint8_t* d, const uint8_t* s, const uint8_t*, int32_t count, const BlendContext& c) {
    source_alpha_row_24(d, s, count, c);
  }
};

}  // namespace zelt::gfx
