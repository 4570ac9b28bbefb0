// The span kernels of the blit engine and their tables. A kernel is one
// blend mode for one pair of pixel formats in one sampling family; it is
// handed a rectangle of destination pixels, fully clipped, and writes it row
// by row (rows spread over threads by for_rows).
//
// Tables: per family a plain table (modes 0..27) and a masked table (modes
// 7, 10, 11, 12, alpha from the mask plane), each with kKernelColumns
// columns: the 16 format pairs (source bytes − 1) × 4 + (destination
// bytes − 1), then the four pairs with an 8-bit source again as they run
// with colour mapping on (8 to 8 on palette colours; the smooth family
// interpolates palette colours). An empty cell (null) is a pair the mode
// has no routine for.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx/planes/plane.h"
#include "gfx/raster/blit_mode.h"
#include "gfx/raster/pixel_formats.h"

namespace zelt::gfx {

enum class Sampling : uint8_t { scaled, rotated, smooth };

inline constexpr int kKernelColumns = 20;
inline constexpr int kMaskedModes[] = {7, 10, 11, 12};

// The column of a blit: colour mapping matters only for 8-bit sources.
constexpr int kernel_column(int src_bytes, int dst_bytes, bool colour_mapping) {
  return (src_bytes - 1) * 4 + (dst_bytes - 1) + (src_bytes == 1 && colour_mapping ? 16 : 0);
}

// Whether a column blends raw index bytes: 8 to 8 without colour mapping,
// except mode 22, which always combines palette colours.
constexpr bool raw_indices(int mode, int column) { return column == 0 && mode != 22; }

// Scaled family: rows and columns of the source come from per-call tables
// of byte offsets (columns: x × bytes per pixel; rows: −y × pitch, both
// relative to the source's pixel (0, 0)). The mask, when there is one, has
// tables of its own (one byte per pixel).
struct ScaledSpan {
  uint8_t* dst;            // first destination pixel
  ptrdiff_t dst_step;      // bytes per destination pixel, negative when mirrored
  ptrdiff_t dst_row_step;  // −pitch, or +pitch when mirrored vertically
  const uint8_t* src;      // the source's pixel (0, 0)
  const int32_t* columns;
  const int32_t* rows;
  int32_t width, height;
  const uint8_t* mask;  // masked kernels: the mask's pixel (0, 0)
  const int32_t* mask_columns;
  const int32_t* mask_rows;
  // columns[i + 1] − columns[i] is the source's bytes per pixel and dst_step
  // is positive: a row is one run of the source (rows of 1:1 blits).
  bool contiguous;
};

// Rotated families: destination row r, column x samples the source at
// (u, v) = (u_start + r du_dy + x du_dx, v_start + r dv_dy + x dv_dx) in
// 16.16; pixels whose (u >> 16, v >> 16) fall outside `inside` are left.
struct RotatedSpan {
  uint8_t* dst;            // the clipped box's top-left pixel
  ptrdiff_t dst_row_step;  // −pitch
  int32_t width, height;
  const uint8_t* src;   // the source's pixel (0, 0)
  const int32_t* rows;  // byte offset of source row inside.top + i, i < inside height
  Rect inside;          // the clipped source rectangle S′
  int64_t u_start, v_start;
  int32_t du_dx, dv_dx, du_dy, dv_dy;
  const uint8_t* mask;  // masked kernels: the mask's pixel (0, 0) and its row offsets
  const int32_t* mask_rows;
};

using ScaledKernel = void (*)(const ScaledSpan&, const BlendContext&);
using RotatedKernel = void (*)(const RotatedSpan&, const BlendContext&);

// The table cells; null for an empty cell. mode 0..27 (28..35 run as 26 and
// 27); masked only for modes 7, 10, 11, 12. The smooth family's masked
// kernels are the rotated family's: masked rotated blits sample the nearest
// pixel.
ScaledKernel scaled_kernel(int mode, int column, bool masked);
RotatedKernel rotated_kernel(int mode, int column, bool masked);
RotatedKernel smooth_kernel(int mode, int column, bool masked);

// Whether the plain tables cover the column for the mode (blend_modes.def).
constexpr bool mode_covers(int mode, int column) {
  const int pair = column % 16;
  const bool src8 = column >= 16 || pair < 4, dst8 = pair % 4 == 0;
  const auto allows = [](Formats f, bool is8) { return f == Formats::any || (f == Formats::no8) != is8; };
  return allows(kBlendModeInfo[mode].sources, src8) && allows(kBlendModeInfo[mode].destinations, dst8);
}

}  // namespace zelt::gfx
