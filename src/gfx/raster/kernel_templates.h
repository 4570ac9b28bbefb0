// The three span-kernel templates (scaled, rotated, rotated-smooth) and the
// table rows built from them. Included only by the files that instantiate
// table rows (kernels_*.cpp); everything else sees kernels.h.
//
// A kernel is the template of its family instantiated for one blend mode
// and one column: the mode's per-pixel operation (blend_ops.h), the
// formats' readers and writers (pixel_formats.h) and the family's sampling
// are all fixed at compile time, so the pixel loop has no branch on mode or
// format.
#pragma once

#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>
#include <utility>

#include "gfx/raster/bilinear.h"
#include "gfx/raster/blend_ops.h"
#include "gfx/raster/blit.h"
#include "gfx/raster/contiguous_rows.h"
#include "gfx/raster/kernel_rows.h"
#include "gfx/raster/parallel_rows.h"

namespace zelt::gfx {

template <int Bytes>
using DirectFormat = std::conditional_t<Bytes == 2, Rgb16, std::conditional_t<Bytes == 3, Rgb24, Rgb32>>;

// The formats of a column. 8-bit to 8-bit blits work on raw indices unless
// colour mapping is on; mode 22 always combines palette colours.
template <int Mode, int Column>
struct ColumnFormats {
  static constexpr int pair = Column % 16;
  static constexpr int src_bytes = pair / 4 + 1, dst_bytes = pair % 4 + 1;
  static constexpr bool raw = raw_indices(Mode, Column);
  using Src =
      std::conditional_t<src_bytes == 1, std::conditional_t<raw, Raw8, Pal8>, DirectFormat<src_bytes>>;
  using Dst =
      std::conditional_t<dst_bytes == 1, std::conditional_t<raw, Raw8, Pal8>, DirectFormat<dst_bytes>>;
  using Pair = FormatPair<Src, Dst>;
};

// Source pixels a row collects at a time for a gathering row routine.
inline constexpr int32_t kGatherRun = 64;

template <int Mode, int Column, bool Masked>
void scaled_span(const ScaledSpan& sp, const BlendContext& c) {
  using P = typename ColumnFormats<Mode, Column>::Pair;
  using S = typename P::Src;
  using Row = ContiguousRow<BlendOp<Mode>, P, Masked>;
  for_rows(sp.height, sp.width, [&](int32_t r) {
    uint8_t* d = sp.dst + r * sp.dst_row_step;
    const uint8_t* row = sp.src + sp.rows[r];
    if constexpr (Masked) {
      const uint8_t* mask_row = sp.mask + sp.mask_rows[r];
      if constexpr (Row::available) {
        if (sp.contiguous)
          return Row::run(d, row + sp.columns[0], mask_row + sp.mask_columns[0], sp.width, c);
      }
      for (int32_t i = 0; i < sp.width; ++i, d += sp.dst_step)
        BlendOp<Mode>::template apply<P>(MaskedSample<S>{row + sp.columns[i], mask_row[sp.mask_columns[i]]},
                                         d, c);
    } else {
      if constexpr (Row::available) {
        if (sp.contiguous) return Row::run(d, row + sp.columns[0], nullptr, sp.width, c);
      }
      if constexpr (Row::gather) {
        if (sp.dst_step > 0) {
          alignas(16) uint8_t run[kGatherRun * S::bytes];
          for (int32_t i = 0; i < sp.width; i += kGatherRun) {
            const int32_t n = std::min(kGatherRun, sp.width - i);
            for (int32_t j = 0; j < n; ++j)
              std::memcpy(run + j * S::bytes, row + sp.columns[i + j], S::bytes);
            Row::run(d + i * sp.dst_step, run, nullptr, n, c);
          }
          return;
        }
      }
      for (int32_t i = 0; i < sp.width; ++i, d += sp.dst_step)
        BlendOp<Mode>::template apply<P>(PixelSample<S>{row + sp.columns[i]}, d, c);
    }
  });
}

// Narrows [lo, hi) to the x for which (p + x step) >> 16 lies in
// [low, high): the columns of a rotated row whose sample is inside S′. Exact
// in integers, so the pixel loop needs no bounds test.
inline void clip_to_inside(int64_t p, int32_t step, int32_t low, int32_t high, int32_t& lo, int32_t& hi) {
  const int64_t a = int64_t{low} << 16, b = int64_t{high} << 16;  // a ≤ p + x step < b
  const auto floor_div = [](int64_t n, int64_t d) { return n / d - ((n % d != 0) && (n < 0)); };
  int64_t first, end;
  if (step == 0) {
    if (p >= a && p < b) return;
    hi = lo;
    return;
  }
  if (step > 0) {
    first = -floor_div(p - a, step);  // ceil((a − p) / step)
    end = -floor_div(p - b, step);    // ceil((b − p) / step)
  } else {
    const int64_t s = -int64_t{step};
    first = floor_div(p - b, s) + 1;
    end = floor_div(p - a, s) + 1;
  }
  lo = static_cast<int32_t>(std::clamp<int64_t>(first, lo, hi));
  hi = static_cast<int32_t>(std::clamp<int64_t>(end, lo, hi));
}

// The interpolated sample at (u, v), taken at pixel centres: the four
// pixels around (u − ½, v − ½), each coordinate clamped to S′.
template <class S, unsigned Reads>
InterpolatedSample<S> interpolated_sample(const RotatedSpan& sp, int64_t u, int64_t v,
                                          const BlendContext& c) {
  const int64_t uc = u - 32768, vc = v - 32768;
  const int32_t x = static_cast<int32_t>(uc >> 16), y = static_cast<int32_t>(vc >> 16);
  const int32_t fx = static_cast<int32_t>(uc & 0xFF00), fy = static_cast<int32_t>(vc & 0xFF00);
  const Weights w{fx, fy, (fx >> 8) * (fy >> 8)};  // (fx fy) >> 16: both are multiples of 256
  const Rect& in = sp.inside;
  const int32_t x0 = std::max(x, in.left), x1 = std::min(x + 1, in.right - 1);
  const int32_t y0 = std::max(y, in.top), y1 = std::min(y + 1, in.bottom - 1);
  const uint8_t* row0 = sp.src + sp.rows[y0 - in.top];
  const uint8_t* row1 = sp.src + sp.rows[y1 - in.top];
  const uint8_t* p00 = row0 + x0 * S::bytes;
  const uint8_t* p10 = row0 + x1 * S::bytes;
  const uint8_t* p01 = row1 + x0 * S::bytes;
  const uint8_t* p11 = row1 + x1 * S::bytes;
  InterpolatedSample<S> s;
  if constexpr ((Reads & kReadColour) != 0) {
    const uint32_t* pal = c.src_palette;
    s.colour_ = interpolate < S::bytes == 4 ? 4
                                            : 3 > (S::colour(p00, pal, c), S::colour(p10, pal, c),
                                                   S::colour(p01, pal, c), S::colour(p11, pal, c), w);
  }
  if constexpr ((Reads & kReadAlphaColour) != 0) {
    const uint32_t* pal = c.src_palette;
    s.alpha_colour_ = interpolate<3>(S::alpha_colour(p00, pal, c), S::alpha_colour(p10, pal, c),
                                     S::alpha_colour(p01, pal, c), S::alpha_colour(p11, pal, c), w);
  }
  if constexpr ((Reads & kReadAlpha) != 0)
    s.alpha_ = interpolate(S::alpha(p00), S::alpha(p10), S::alpha(p01), S::alpha(p11), w);
  return s;
}

// The 32-bit pixel at (u, v) interpolated: each of the four bytes as the
// interpolated sample has it.
inline uint32_t interpolated_pixel32(const RotatedSpan& sp, int64_t u, int64_t v, const BlendContext& c,
                                     bool simd) {
#if defined(__SSE2__)
  if (simd) {
    const int64_t uc = u - 32768, vc = v - 32768;
    const int32_t x = static_cast<int32_t>(uc >> 16), y = static_cast<int32_t>(vc >> 16);
    const Rect& in = sp.inside;
    const int32_t x0 = std::max(x, in.left), x1 = std::min(x + 1, in.right - 1);
    const int32_t y0 = std::max(y, in.top), y1 = std::min(y + 1, in.bottom - 1);
    const uint8_t* row0 = sp.src + sp.rows[y0 - in.top];
    const uint8_t* row1 = sp.src + sp.rows[y1 - in.top];
    return interpolate32_sse2(load32(row0 + 4 * x0), load32(row0 + 4 * x1), load32(row1 + 4 * x0),
                              load32(row1 + 4 * x1), static_cast<int32_t>(uc >> 8 & 255),
                              static_cast<int32_t>(vc >> 8 & 255));
  }
#endif
  const Px p = interpolated_sample<Rgb32, kReadColour>(sp, u, v, c).colour(c);
  return static_cast<uint32_t>(p.c[0] | p.c[1] << 8 | p.c[2] << 16) | static_cast<uint32_t>(p.c[3]) << 24;
}

template <int Mode, int Column, bool Masked, bool Smooth>
void rotated_span(const RotatedSpan& sp, const BlendContext& c) {
  using P = typename ColumnFormats<Mode, Column>::Pair;
  using S = typename P::Src;
  using Row = ContiguousRow<BlendOp<Mode>, P, false>;
  constexpr int kDstBytes = P::Dst::bytes;
  // The source pixel a position samples.
  const auto pixel_at = [&sp](int64_t u, int64_t v) {
    return sp.src + sp.rows[static_cast<int32_t>(v >> 16) - sp.inside.top] +
           static_cast<int32_t>(u >> 16) * S::bytes;
  };
  for_rows(sp.height, sp.width, [&](int32_t r) {
    int64_t u = sp.u_start + int64_t{r} * sp.du_dy, v = sp.v_start + int64_t{r} * sp.dv_dy;
    int32_t lo = 0, hi = sp.width;
    clip_to_inside(u, sp.du_dx, sp.inside.left, sp.inside.right, lo, hi);
    clip_to_inside(v, sp.dv_dx, sp.inside.top, sp.inside.bottom, lo, hi);
    if (lo >= hi) return;
    u += int64_t{lo} * sp.du_dx;
    v += int64_t{lo} * sp.dv_dx;
    uint8_t* d = sp.dst + r * sp.dst_row_step + lo * kDstBytes;
    [[maybe_unused]] const bool simd = simd_enabled();
    if constexpr (!Masked && Row::gather && (!Smooth || std::is_same_v<S, Rgb32>)) {
      // Collect runs of source pixels (interpolated ones are 32-bit pixels
      // themselves) and blend each run at once.
      alignas(16) uint8_t run[kGatherRun * S::bytes];
      for (int32_t x = lo; x < hi; x += kGatherRun) {
        const int32_t n = std::min(kGatherRun, hi - x);
        for (int32_t j = 0; j < n; ++j, u += sp.du_dx, v += sp.dv_dx) {
          if constexpr (Smooth)
            store32(run + 4 * j, interpolated_pixel32(sp, u, v, c, simd));
          else
            std::memcpy(run + j * S::bytes, pixel_at(u, v), S::bytes);
        }
        Row::run(d + (x - lo) * kDstBytes, run, nullptr, n, c);
      }
      return;
    }
    for (int32_t x = lo; x < hi; ++x, d += kDstBytes, u += sp.du_dx, v += sp.dv_dx) {
      if constexpr (Smooth && std::is_same_v<S, Rgb32>) {
        // An interpolated 32-bit pixel is all an interpolated sample holds.
        uint8_t pixel[4];
        store32(pixel, interpolated_pixel32(sp, u, v, c, simd));
        BlendOp<Mode>::template apply<P>(PixelSample<S>{pixel}, d, c);
      } else if constexpr (Smooth) {
        BlendOp<Mode>::template apply<P>(interpolated_sample<S, BlendOp<Mode>::reads>(sp, u, v, c), d, c);
      } else if constexpr (Masked) {
        const int32_t row = static_cast<int32_t>(v >> 16) - sp.inside.top;
        BlendOp<Mode>::template apply<P>(
            MaskedSample<S>{pixel_at(u, v), sp.mask[sp.mask_rows[row] + (u >> 16)]}, d, c);
      } else {
        BlendOp<Mode>::template apply<P>(PixelSample<S>{pixel_at(u, v)}, d, c);
      }
    }
  });
}

// One cell of a family's table. Nearest sampling reads an 8-bit source the
// same way with colour mapping on or off, except 8 to 8: those columns
// share the kernels of the plain pairs. The smooth family's 8-bit-source
// columns without colour mapping sample the nearest pixel: they are the
// rotated kernels.
template <Sampling F, bool Masked, int Mode, int Column>
constexpr KernelOf<F> make_cell() {
  constexpr bool smooth = F == Sampling::smooth && !Masked && Column >= 4;
  constexpr int kShared = !smooth && Column > 16 ? Column - 16 : Column;
  if constexpr (!Masked && !mode_covers(Mode, Column)) {
    return nullptr;
  } else if constexpr (F == Sampling::scaled) {
    return &scaled_span<Mode, kShared, Masked>;
  } else {
    return &rotated_span<Mode, kShared, Masked, smooth>;
  }
}

template <Sampling F, bool Masked, int Mode, int... Column>
constexpr KernelRow<F> make_row(std::integer_sequence<int, Column...>) {
  return {make_cell<F, Masked, Mode, Column>()...};
}

template <Sampling F, bool Masked, int Mode>
const KernelRow<F> KernelTableRow<F, Masked, Mode>::cells =
    make_row<F, Masked, Mode>(std::make_integer_sequence<int, kKernelColumns>());

}  // namespace zelt::gfx
