// Built-in adapters of the image filters and distortion effects: decode the
// argument cells, check every script address, call the effects layer.
#include <array>

#include "builtins/gfx_args.h"
#include "builtins/handlers.h"
#include "gfx/effects/effects.h"
#include "gfx/effects/filters.h"

namespace zelt {
namespace {

using Quad = std::array<int32_t, 8>;

// Filters of the form (destination, destination rectangle, source, source
// rectangle, ...).
template <class F>
uint32_t two_rects(const BuiltinArgs& a, F&& call) {
  gfx::Rect destination_storage, *destination_rect, source_storage, *source_rect;
  if (!rect_arg(a, 1, destination_storage, destination_rect) || !rect_arg(a, 3, source_storage, source_rect))
    return 0;
  return int_result(call(destination_rect, source_rect));
}

// Filters of the form (plane, rectangle, ...) and (destination, x, y,
// source, source rectangle, ...).
template <class F>
uint32_t rect_at(const BuiltinArgs& a, uint32_t cell, F&& call) {
  gfx::Rect storage, *rect;
  if (!rect_arg(a, cell, storage, rect)) return 0;
  return int_result(call(rect));
}

}  // namespace

uint32_t bi_freemap(const BuiltinArgs& a) {
  Quad quad_storage, *quad;
  gfx::Rect rect_storage, *rect;
  if (!record_arg(a, 1, quad_storage, quad) || !rect_arg(a, 3, rect_storage, rect)) return 0;
  return int_result(gfx::freemap(a.u32(0), quad ? quad->data() : nullptr, a.u32(2), rect, a.i32(4)));
}

uint32_t bi_smooth(const BuiltinArgs& a) {
  return two_rects(a, [&](const gfx::Rect* d, const gfx::Rect* s) { return gfx::smooth(a.u32(0), d, a.u32(2), s, a.i32(4)); });
}

uint32_t bi_rotate(const BuiltinArgs& a) {
  return two_rects(a, [&](const gfx::Rect* d, const gfx::Rect* s) {
    return gfx::rotate(a.u32(0), d, a.u32(2), s, a.i32(4), a.i32(5));
  });
}

uint32_t bi_tiled(const BuiltinArgs& a) {
  return two_rects(a, [&](const gfx::Rect* d, const gfx::Rect* s) {
    return gfx::tiled(a.u32(0), d, a.u32(2), s, a.i32(4), a.i32(5));
  });
}

uint32_t bi_scroll(const BuiltinArgs& a) {
  return rect_at(a, 1, [&](const gfx::Rect* r) { return gfx::scroll(a.u32(0), r, a.i32(2), a.i32(3)); });
}

uint32_t bi_noise(const BuiltinArgs& a) {
  return rect_at(a, 1, [&](const gfx::Rect* r) { return gfx::noise(a.u32(0), r, a.i32(2)); });
}

uint32_t bi_slice(const BuiltinArgs& a) {
  return rect_at(a, 1, [&](const gfx::Rect* r) { return gfx::slice(a.u32(0), r, a.i32(2)); });
}

uint32_t bi_gradation(const BuiltinArgs& a) {
  return rect_at(a, 4, [&](const gfx::Rect* r) { return gfx::gradation(a.u32(0), a.i32(1), a.i32(2), a.u32(3), r); });
}

uint32_t bi_mosaic(const BuiltinArgs& a) {
  return rect_at(a, 4, [&](const gfx::Rect* r) {
    return gfx::mosaic(a.u32(0), a.i32(1), a.i32(2), a.u32(3), r, a.i32(5), a.i32(6));
  });
}

uint32_t bi_monotone(const BuiltinArgs& a) {
  return rect_at(a, 1, [&](const gfx::Rect* r) { return gfx::monotone(a.u32(0), r, a.u32(2), a.u32(3)); });
}

uint32_t bi_blur(const BuiltinArgs& a) {
  return rect_at(a, 4, [&](const gfx::Rect* r) {
    return gfx::blur(a.u32(0), a.i32(1), a.i32(2), a.u32(3), r, a.i32(5));
  });
}

uint32_t bi_fire(const BuiltinArgs& a) {
  return rect_at(a, 1, [&](const gfx::Rect* r) { return gfx::fire(a.u32(0), r); });
}

uint32_t bi_ef_init(const BuiltinArgs& a) {
  gfx::Rect destination_storage, *destination_rect, source_storage, *source_rect;
  if (!rect_arg(a, 2, destination_storage, destination_rect) || !rect_arg(a, 4, source_storage, source_rect)) {
    gfx::ef_free(a.u32(0));  // the slot's old mesh goes even when the new one cannot be made
    return 0;
  }
  return int_result(gfx::ef_init(a.u32(0), a.u32(1), destination_rect, a.u32(3), source_rect));
}

uint32_t bi_ef_free(const BuiltinArgs& a) { return int_result(gfx::ef_free(a.u32(0))); }
uint32_t bi_ef_copy(const BuiltinArgs& a) { return int_result(gfx::ef_copy(a.u32(0))); }

uint32_t bi_ef_info(const BuiltinArgs& a) {
  int32_t info[3];
  if (a.addr(1) == 0 || !gfx::ef_info(a.u32(0), info)) return 0;
  const std::span<uint8_t> out = a.span(1, sizeof info);
  if (!out.data()) return 0;
  std::memcpy(out.data(), info, sizeof info);
  return 1;
}

uint32_t bi_ef_rotate(const BuiltinArgs& a) {
  return int_result(gfx::ef_rotate(a.u32(0), a.i32(1), a.i32(2), a.i32(3), a.i32(4)));
}
uint32_t bi_ef_land(const BuiltinArgs& a) { return int_result(gfx::ef_land(a.u32(0), a.i32(1), a.i32(2), a.i32(3))); }
uint32_t bi_ef_ball(const BuiltinArgs& a) { return int_result(gfx::ef_ball(a.u32(0), a.i32(1), a.i32(2), a.i32(3))); }
uint32_t bi_ef_whirl(const BuiltinArgs& a) { return int_result(gfx::ef_whirl(a.u32(0), a.i32(1))); }
uint32_t bi_ef_raster(const BuiltinArgs& a) {
  return int_result(gfx::ef_raster(a.u32(0), a.i32(1), a.i32(2), a.i32(3)));
}
uint32_t bi_ef_blob(const BuiltinArgs& a) {
  return int_result(gfx::ef_blob(a.u32(0), a.i32(1), a.i32(2), a.i32(3), a.i32(4)));
}
uint32_t bi_ef_water(const BuiltinArgs& a) { return int_result(gfx::ef_water(a.u32(0))); }

}  // namespace zelt
