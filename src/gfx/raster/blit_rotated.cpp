// The rotated families' geometry: the turned bounding box, its clipping,
// and the 16.16 start and steps of the source position. The start samples
// destination pixel centres (an even-sized box is offset by half a pixel),
// so that quarter and half turns of any size are exact.
#include <cstdlib>
#include <utility>

#include "core/sine_table.h"
#include "gfx/raster/blit.h"
#include "gfx/raster/blit_engine.h"

namespace zelt::gfx {
namespace {

// Positions further out than this never come back into a plane within one
// blit (rows and columns are below 2^15, steps below 2^31).
constexpr int64_t kPositionLimit = int64_t{1} << 52;

bool fits_step(int64_t v) { return v >= -INT32_MAX && v <= INT32_MAX; }

int32_t rotated_blit(Plane* destination, const Rect& destination_rect, Plane* source, const Rect& source_rect,
                     Plane* mask_plane, const BlitMode& mode, int32_t angle, bool smooth) {
  const std::optional<CheckedMode> checked = check_entry(destination, source, mode);
  if (!checked) return 0;
  const Plane* mask = usable_mask(mask_plane);
  Box d = box_of(destination_rect), s = box_of(source_rect);
  bool mirror_x = false, mirror_y = false;
  if (d.right < d.left) std::swap(d.left, d.right), mirror_x = !mirror_x;
  if (d.bottom < d.top) std::swap(d.top, d.bottom), mirror_y = !mirror_y;
  if (s.right < s.left) std::swap(s.left, s.right), mirror_x = !mirror_x;
  if (s.bottom < s.top) std::swap(s.top, s.bottom), mirror_y = !mirror_y;

  const int src_bytes = source->bit_count / 8, dst_bytes = destination->bit_count / 8;
  const int column = kernel_column(src_bytes, dst_bytes, color_mapping() != 0);
  const bool masked = mask && masked_mode(checked->mode);
  const RotatedKernel kernel =
      smooth ? smooth_kernel(checked->mode, column, masked) : rotated_kernel(checked->mode, column, masked);
  if (!kernel) return 1;
  if (d.empty() || s.empty()) return 0;

  // One mirroring turns the other way.
  const uint32_t theta =
      mirror_x != mirror_y ? 0u - static_cast<uint32_t>(angle) : static_cast<uint32_t>(angle);
  const int64_t c = table_cos(static_cast<int32_t>(theta & 2047)),
                sn = table_sin(static_cast<int32_t>(theta & 2047));
  const int64_t wd = d.width(), hd = d.height(), ws = s.width(), hs = s.height();

  // The turned destination rectangle's bounding box, about the same centre.
  const int64_t bw = (std::llabs(c * wd) + std::llabs(sn * hd) + 32768) >> 16;
  const int64_t bh = (std::llabs(sn * wd) + std::llabs(c * hd) + 32768) >> 16;
  Box box;
  box.left = d.left + wd / 2 - bw / 2;
  box.top = d.top + hd / 2 - bh / 2;
  box.right = box.left + bw;
  box.bottom = box.top + bh;
  const Box area = intersect(box, clip_of(*destination));
  if (area.empty()) return 0;

  Box inside = intersect(s, bounds_of(*source));
  if (mask) inside = intersect(inside, bounds_of(*mask));
  if (inside.empty()) return 0;

  // Offsets of the first pixel (in source order) from the box centre.
  const int64_t ox = bw / 2 - (mirror_x ? box.right - area.right : area.left - box.left);
  const int64_t oy = bh / 2 - (mirror_y ? box.bottom - area.bottom : area.top - box.top);
  const int64_t dx = mirror_x ? area.width() - ox - 1 : -ox;
  const int64_t dy = mirror_y ? area.height() - oy - 1 : -oy;
  // In half pixels, at the pixel's centre when the box has an even size.
  const int64_t hx = 2 * dx + (bw % 2 == 0), hy = 2 * dy + (bh % 2 == 0);
  // The source centre: the middle of the whole source rectangle, so that a
  // rectangle hanging over the plane's edge keeps its place.
  const Int128 u_start = (static_cast<Int128>(hx) * c - static_cast<Int128>(hy) * sn) * ws / (2 * wd) +
                         (static_cast<Int128>(s.left + ws / 2) << 16) + (ws % 2 != 0 ? 32768 : 0);
  const Int128 v_start = (static_cast<Int128>(hy) * c + static_cast<Int128>(hx) * sn) * hs / (2 * hd) +
                         (static_cast<Int128>(s.top + hs / 2) << 16) + (hs % 2 != 0 ? 32768 : 0);
  int64_t du_dx = c * ws / wd, dv_dx = sn * hs / hd, du_dy = -(sn * ws / wd), dv_dy = c * hs / hd;
  if (!fits_step(du_dx) || !fits_step(dv_dx) || !fits_step(du_dy) || !fits_step(dv_dy)) return 0;
  if (u_start > kPositionLimit || u_start < -kPositionLimit || v_start > kPositionLimit ||
      v_start < -kPositionLimit)
    return 0;
  if (mirror_x) du_dx = -du_dx, dv_dx = -dv_dx;
  if (mirror_y) du_dy = -du_dy, dv_dy = -dv_dy;

  uint8_t* dst_origin = pixel_origin(*destination);
  const uint8_t* src_origin = pixel_origin(*source);
  const uint8_t* mask_origin = masked ? pixel_origin(*mask) : nullptr;
  if (!dst_origin || !src_origin || (masked && !mask_origin)) return 0;

  const size_t inside_rows = static_cast<size_t>(inside.height());
  ScratchTable<int32_t> rows(inside_rows), mask_rows(masked ? inside_rows : 0);
  for (size_t i = 0; i < inside_rows; ++i) {
    const int32_t y = static_cast<int32_t>(inside.top + static_cast<int64_t>(i));
    rows[i] = -y * source->pitch;
    if (masked) mask_rows[i] = -y * mask->pitch;
  }

  BlendContext context;
  prepare_context(context, *checked, *source, *destination, raw_indices(checked->mode, column));
  const RotatedSpan span{
      .dst = dst_origin - area.top * destination->pitch + area.left * dst_bytes,
      .dst_row_step = -static_cast<ptrdiff_t>(destination->pitch),
      .width = static_cast<int32_t>(area.width()),
      .height = static_cast<int32_t>(area.height()),
      .src = src_origin,
      .rows = rows.data(),
      .inside = {static_cast<int32_t>(inside.left), static_cast<int32_t>(inside.top),
                 static_cast<int32_t>(inside.right), static_cast<int32_t>(inside.bottom)},
      .u_start = static_cast<int64_t>(u_start),
      .v_start = static_cast<int64_t>(v_start),
      .du_dx = static_cast<int32_t>(du_dx),
      .dv_dx = static_cast<int32_t>(dv_dx),
      .du_dy = static_cast<int32_t>(du_dy),
      .dv_dy = static_cast<int32_t>(dv_dy),
      .mask = mask_origin,
      .mask_rows = mask_rows.data(),
  };
  kernel(span, context);
  return 1;
}

}  // namespace

int32_t blit_rotated(Plane* destination, const Rect& destination_rect, Plane* source, const Rect& source_rect,
                     Plane* mask, const BlitMode& mode, int32_t angle) {
  return rotated_blit(destination, destination_rect, source, source_rect, mask, mode, angle, false);
}

int32_t blit_rotated_smooth(Plane* destination, const Rect& destination_rect, Plane* source,
                            const Rect& source_rect, Plane* mask, const BlitMode& mode, int32_t angle) {
  return rotated_blit(destination, destination_rect, source, source_rect, mask, mode, angle, true);
}

}  // namespace zelt::gfx
