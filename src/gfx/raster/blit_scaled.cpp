// The scaled family's geometry: normalising and mirroring, clipping each
// axis against the destination clip and the source limits in 32.32 fixed
// point, and the per-call tables of source offsets.
#include <utility>

#include "gfx/raster/blit.h"
#include "gfx/raster/blit_engine.h"

namespace zelt::gfx {

// Works in source order: pixel k of the destination is d0 + k, or
// d1 − 1 − k when mirrored, so the source's cuts fall on the destination's
// far side when mirrored. The four cuts: a source start before the limit
// advances the destination by floor(cut × Ds / Ss); a destination start
// before the clip advances the source by cut × step; a source end past the
// limit shrinks the destination by floor(cut × Ds / Ss); a destination end
// past the clip shrinks it to the clip. A last sample past the source limit
// (the first cut restarts the source at the limit, up to a step ahead of
// where the scale puts it) is cut too, so no sample leaves the source.
bool clip_scaled_axis(int64_t d0, int64_t d1, int64_t s0, int64_t s1, int64_t dmin, int64_t dmax,
                      int64_t smin, int64_t smax, bool mirrored, ScaledAxis& out) {
  const int64_t ds = d1 - d0, ss = s1 - s0;  // 1 .. 2^32 − 1
  const uint64_t step = (static_cast<uint64_t>(ss) << 32) / static_cast<uint64_t>(ds);
  int64_t k0 = 0, k1 = ds;
  Int128 pos = static_cast<Int128>(s0) << 32;
  if (s0 < smin) {
    k0 += static_cast<int64_t>(static_cast<Int128>(smin - s0) * ds / ss);
    pos = static_cast<Int128>(smin) << 32;
  }
  const int64_t kmin = mirrored ? d1 - dmax : dmin - d0;
  if (k0 < kmin) {
    pos += static_cast<Int128>(kmin - k0) * step;
    k0 = kmin;
  }
  if (s1 > smax) k1 -= static_cast<int64_t>(static_cast<Int128>(s1 - smax) * ds / ss);
  k1 = std::min(k1, mirrored ? d1 - dmin : dmax - d0);
  if (k0 >= k1) return false;
  const Int128 limit = static_cast<Int128>(smax) << 32;
  if (pos >= limit) return false;
  const Int128 fit = (limit - 1 - pos) / step + 1;
  if (fit < k1 - k0) k1 = k0 + static_cast<int64_t>(fit);
  out = {mirrored ? d1 - 1 - k0 : d0 + k0, static_cast<int32_t>(k1 - k0), static_cast<uint64_t>(pos), step};
  return true;
}

int32_t scaled_blit(Plane* destination, const Box& destination_rect, Plane* source, const Box& source_rect,
                    Plane* mask_plane, const BlitMode& mode) {
  const std::optional<CheckedMode> checked = check_entry(destination, source, mode);
  if (!checked) return 0;
  const Plane* mask = usable_mask(mask_plane);
  Box d = destination_rect, s = source_rect;
  bool mirror_x = false, mirror_y = false;
  if (d.right < d.left) std::swap(d.left, d.right), mirror_x = !mirror_x;
  if (d.bottom < d.top) std::swap(d.top, d.bottom), mirror_y = !mirror_y;
  if (s.right < s.left) std::swap(s.left, s.right), mirror_x = !mirror_x;
  if (s.bottom < s.top) std::swap(s.top, s.bottom), mirror_y = !mirror_y;

  const int src_bytes = source->bit_count / 8, dst_bytes = destination->bit_count / 8;
  const int column = kernel_column(src_bytes, dst_bytes, color_mapping() != 0);
  const bool masked = mask && masked_mode(checked->mode) && has_pixel(*mask, s.left, s.top);
  const ScaledKernel kernel = scaled_kernel(checked->mode, column, masked);
  if (!kernel) return 1;
  if (d.empty() || s.empty()) return 0;

  Box limits = bounds_of(*source);
  if (mask) limits = intersect(limits, bounds_of(*mask));
  const Box clip = clip_of(*destination);
  ScaledAxis x, y;
  if (!clip_scaled_axis(d.left, d.right, s.left, s.right, clip.left, clip.right, limits.left, limits.right,
                        mirror_x, x) ||
      !clip_scaled_axis(d.top, d.bottom, s.top, s.bottom, clip.top, clip.bottom, limits.top, limits.bottom,
                        mirror_y, y))
    return 0;
  uint8_t* dst_origin = pixel_origin(*destination);
  const uint8_t* src_origin = pixel_origin(*source);
  const uint8_t* mask_origin = masked ? pixel_origin(*mask) : nullptr;
  if (!dst_origin || !src_origin || (masked && !mask_origin)) return 0;

  ScratchTable<int32_t> columns(static_cast<size_t>(x.count)), rows(static_cast<size_t>(y.count));
  ScratchTable<int32_t> mask_columns(masked ? static_cast<size_t>(x.count) : 0);
  ScratchTable<int32_t> mask_rows(masked ? static_cast<size_t>(y.count) : 0);
  uint64_t pos = x.pos;
  for (int32_t i = 0; i < x.count; ++i, pos += x.step) {
    const int32_t sx = static_cast<int32_t>(pos >> 32);
    columns[i] = sx * src_bytes;
    if (masked) mask_columns[i] = sx;
  }
  pos = y.pos;
  for (int32_t i = 0; i < y.count; ++i, pos += y.step) {
    const int32_t sy = static_cast<int32_t>(pos >> 32);
    rows[i] = -sy * source->pitch;
    if (masked) mask_rows[i] = -sy * mask->pitch;
  }

  BlendContext context;
  prepare_context(context, *checked, *source, *destination, raw_indices(checked->mode, column));
  const ptrdiff_t pitch = destination->pitch;
  const ScaledSpan span{
      .dst = dst_origin - y.first * pitch + x.first * dst_bytes,
      .dst_step = mirror_x ? -dst_bytes : dst_bytes,
      .dst_row_step = mirror_y ? pitch : -pitch,
      .src = src_origin,
      .columns = columns.data(),
      .rows = rows.data(),
      .width = x.count,
      .height = y.count,
      .mask = mask_origin,
      .mask_columns = mask_columns.data(),
      .mask_rows = mask_rows.data(),
      .contiguous = x.step == uint64_t{1} << 32 && !mirror_x,
  };
  kernel(span, context);
  return 1;
}

int32_t blit_scaled(Plane* destination, const Rect& destination_rect, Plane* source, const Rect& source_rect,
                    Plane* mask, const BlitMode& mode) {
  return scaled_blit(destination, box_of(destination_rect), source, box_of(source_rect), mask, mode);
}

}  // namespace zelt::gfx
