// gcopy's fast path: clipping of the unscaled rectangle, the choice of the
// routine, and the hand-off to the blitter object.
#include "gfx/raster/fast_copy.h"

#include "core/config.h"
#include "gfx/raster/blit.h"
#include "gfx/raster/blitter.h"
#include "gfx/raster/fast_blitter.h"

namespace zelt::gfx {
namespace {

FastBlitter g_fast_blitter = blitter_fast_blit;

// The blitter's share of the fast path: the constant-weight blends within
// one 16-, 24- or 32-bit format and mode 7 through an 8-bit mask at alpha
// 255.
std::optional<FastBlit> blitter_call(const CheckedMode& m, const Plane& source, const Plane& destination,
                                     const Plane* mask, bool masked, const BlendContext& c) {
  const int bytes = destination.bit_count / 8;
  if (source.bit_count != destination.bit_count || bytes < 2) return std::nullopt;
  FastBlit call{};
  call.bytes_per_pixel = bytes;
  switch (m.mode) {
    case 3:
      call.op = FastBlit::Op::constant_alpha;
      call.alpha = m.desc.alpha;
      break;
    case 4:
      call.op = FastBlit::Op::alpha_key;
      call.alpha = m.desc.alpha;
      call.key = c.src_key;
      break;
    case 5:
    case 6:
      call.op = m.mode == 5 ? FastBlit::Op::tint : FastBlit::Op::tint_key;
      call.alpha = m.desc.param;
      call.paint = colour_pixel(m.desc.paint, bytes);
      call.key = c.src_key;
      break;
    case 7:
      if (!masked || m.desc.alpha != 255 || mask->bit_count != 8) return std::nullopt;
      call.op = FastBlit::Op::alpha_map;
      break;
    default:
      return std::nullopt;
  }
  return call;
}

}  // namespace

void blitter_fast_blit(const FastBlit& b) {
  const std::optional<BlitterFamily> family = blitter_family(b.bytes_per_pixel * 8);
  if (!family) return;
  const Blitter& object = blitter();
  const PixelRows out{b.out, b.out_step};
  const ConstPixelRows source(b.source, b.source_step);
  switch (b.op) {
    case FastBlit::Op::alpha_key:
      return object.alpha_key(*family, b.width, b.height, b.alpha, out, out, source, b.key);
    case FastBlit::Op::alpha_map:
      return object.alpha_map(*family, b.width, b.height, ConstPixelRows(b.map, b.map_step), out, out, source);
    case FastBlit::Op::constant_alpha:
      return object.alpha(*family, b.width, b.height, b.alpha, out, out, source);
    case FastBlit::Op::tint:
      return object.tint(*family, b.width, b.height, b.alpha, out, source, b.paint, std::nullopt);
    case FastBlit::Op::tint_key:
      return object.tint(*family, b.width, b.height, b.alpha, out, source, b.paint, b.key);
  }
}

void set_fast_blitter(FastBlitter blitter) { g_fast_blitter = blitter ? blitter : blitter_fast_blit; }
FastBlitter fast_blitter() { return g_fast_blitter; }

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

  if (config().MMX != 0) {
    if (std::optional<FastBlit> call = blitter_call(mode, *source, *destination, mask, masked, context)) {
      call->width = span.width;
      call->height = span.height;
      call->out = span.dst;
      call->out_step = span.dst_row_step;
      call->source = span.src;
      call->source_step = span.src_row_step;
      call->map = span.mask;
      call->map_step = span.mask_row_step;
      g_fast_blitter(*call);
      return 1;
    }
  }
  routine(span, context);
  return 1;
}

}  // namespace zelt::gfx
