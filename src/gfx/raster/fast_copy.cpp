// gcopy's fast path: clipping of the unscaled rectangle, the choice of the
// routine, and the hand-off to the blitter object.
#include "gfx/raster/fast_copy.h"

#include "core/config.h"
#include "gfx/raster/blit.h"
#include "gfx/raster/blitter.h"

namespace zelt::gfx {
namespace {

// The blitter object's share of the fast path, with [System] MMX set: the
// constant-weight blends within one 16-, 24- or 32-bit format (mode 3 →
// alpha, 4 → alpha with source key, 5 → tint, 6 → tint with source key) and
// mode 7 through an 8-bit mask at alpha 255 (alpha map), each drawn by one
// call with the object's own weights and rounding, on the calling thread.
// False when the blit is not one of these.
bool blitter_draws(const CheckedMode& m, const Plane& source, const Plane& destination, const Plane* mask,
                   const CopySpan& sp, const BlendContext& c) {
  if (source.bit_count != destination.bit_count) return false;
  const std::optional<BlitterFamily> family = blitter_family(destination.bit_count);
  if (!family) return false;
  const Blitter& object = blitter();
  const PixelRows out{sp.dst, sp.dst_row_step};
  const ConstPixelRows from{sp.src, sp.src_row_step};
  switch (m.mode) {
    case 3:
      object.alpha(*family, sp.width, sp.height, m.desc.alpha, out, out, from);
      return true;
    case 4:
      object.alpha_key(*family, sp.width, sp.height, m.desc.alpha, out, out, from, c.src_key);
      return true;
    case 5:
    case 6: {
      const uint32_t paint = colour_pixel(m.desc.paint, destination.bit_count / 8);
      const std::optional<uint32_t> key = m.mode == 6 ? std::optional<uint32_t>(c.src_key) : std::nullopt;
      object.tint(*family, sp.width, sp.height, m.desc.param, out, from, paint, key);
      return true;
    }
    case 7:
      if (!sp.mask || m.desc.alpha != 255 || mask->bit_count != 8) return false;
      object.alpha_map(*family, sp.width, sp.height, ConstPixelRows{sp.mask, sp.mask_row_step}, out, out,
                       from);
      return true;
    default:
      return false;
  }
}

}  // namespace

std::optional<int32_t> fast_copy(Plane* destination, int32_t x, int32_t y, Plane* source, const Box& s,
                                 Plane* mask_plane, const CheckedMode& mode) {
  const int src_bytes = source->bit_count / 8, dst_bytes = destination->bit_count / 8;
  if (dst_bytes == 1 && color_mapping() != 0) return std::nullopt;
  const Plane* mask = usable_mask(mask_plane);
  const bool masked = mask && masked_mode(mode.mode);
  const int column = (src_bytes - 1) * 4 + dst_bytes - 1;
  const FastRoutine routine = fast_routine(mode.mode, column, masked);
  if (!routine) return std::nullopt;

  // The destination area inside the clip, then its source inside the
  // source limits, then the destination area again.
  const Box area = intersect(Box{x, y, x + s.width(), y + s.height()}, clip_of(*destination));
  if (area.empty()) return 0;
  Box limits = bounds_of(*source);
  if (mask) limits = intersect(limits, bounds_of(*mask));
  const Box from = intersect(
      Box{s.left + area.left - x, s.top + area.top - y, s.left + area.right - x, s.top + area.bottom - y},
      limits);
  if (from.empty()) return 0;
  const int64_t left = x + from.left - s.left, top = y + from.top - s.top;

  uint8_t* dst_origin = pixel_origin(*destination);
  const uint8_t* src_origin = pixel_origin(*source);
  const uint8_t* mask_origin = masked ? pixel_origin(*mask) : nullptr;
  if (!dst_origin || !src_origin || (masked && !mask_origin)) return 0;

  BlendContext context;
  prepare_context(context, mode, *source, *destination, raw_indices(mode.mode, column));
  const CopySpan span{
      .dst = dst_origin - top * destination->pitch + left * dst_bytes,
      .dst_row_step = -static_cast<ptrdiff_t>(destination->pitch),
      .src = src_origin - from.top * source->pitch + from.left * src_bytes,
      .src_row_step = -static_cast<ptrdiff_t>(source->pitch),
      .mask = masked ? mask_origin - from.top * mask->pitch + from.left : nullptr,
      .mask_row_step = masked ? -static_cast<ptrdiff_t>(mask->pitch) : 0,
      .width = static_cast<int32_t>(from.width()),
      .height = static_cast<int32_t>(from.height()),
  };

  if (config().MMX != 0 && blitter_draws(mode, *source, *destination, mask, span, context)) return 1;
  routine(span, context);
  return 1;
}

}  // namespace zelt::gfx
