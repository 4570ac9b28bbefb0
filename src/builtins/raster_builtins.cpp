// Built-in adapters of blits and primitives: decode the argument cells,
// check every script address, call the raster layer.
#include <vector>

#include "builtins/gfx_args.h"
#include "builtins/handlers.h"
#include "gfx/raster/blit.h"
#include "gfx/raster/primitives.h"

namespace zelt {

uint32_t bi_gcopy(const BuiltinArgs& a) {
  gfx::Rect rect_storage, *rect;
  gfx::BlitMode mode_storage, *mode;
  if (!rect_arg(a, 4, rect_storage, rect) || !mode_arg(a, 5, mode_storage, mode)) return 0;
  return int_result(gfx::gcopy(a.u32(0), a.i32(1), a.i32(2), a.u32(3), rect, mode));
}

// gblit and gblita: destination, its rectangle, source, its rectangle,
// mode, angle.
template <auto Blit>
uint32_t scaled_blit(const BuiltinArgs& a) {
  gfx::Rect destination_storage, *destination_rect, source_storage, *source_rect;
  gfx::BlitMode mode_storage, *mode;
  if (!rect_arg(a, 1, destination_storage, destination_rect) || !rect_arg(a, 3, source_storage, source_rect) ||
      !mode_arg(a, 4, mode_storage, mode))
    return 0;
  return int_result(Blit(a.u32(0), destination_rect, a.u32(2), source_rect, mode, a.i32(5)));
}

uint32_t bi_gblit(const BuiltinArgs& a) { return scaled_blit<gfx::gblit>(a); }
uint32_t bi_gblita(const BuiltinArgs& a) { return scaled_blit<gfx::gblita>(a); }

uint32_t bi_gclear(const BuiltinArgs& a) {
  gfx::Rect storage, *rect;
  if (!rect_arg(a, 1, storage, rect)) return 0;
  return int_result(gfx::gclear(a.u32(0), rect, a.u32(2)));
}

uint32_t bi_gfill(const BuiltinArgs& a) {
  return int_result(gfx::gfill(a.u32(0), a.i32(1), a.i32(2), a.i32(3), a.i32(4), a.u32(5)));
}

uint32_t bi_gline(const BuiltinArgs& a) {
  return int_result(gfx::gline(a.u32(0), a.i32(1), a.i32(2), a.i32(3), a.i32(4), a.u32(5)));
}

// The points must be usable only when there are enough of them to draw.
uint32_t bi_gpoly(const BuiltinArgs& a) {
  const int32_t count = a.i32(2);
  if (a.addr(1) == 0 || count < 3 || !gfx::plane_get(a.u32(0))) return 0;
  if (static_cast<uint64_t>(count) * 8 > UINT32_MAX) return 0;
  const std::span<uint8_t> bytes = a.span(1, static_cast<uint32_t>(count) * 8);
  if (!bytes.data()) return 0;
  std::vector<int32_t> points(static_cast<size_t>(count) * 2);
  std::memcpy(points.data(), bytes.data(), bytes.size());
  return int_result(gfx::gpoly(a.u32(0), points, a.u32(3)));
}

}  // namespace zelt
