// Built-in adapters of the hit regions.
#include "builtins/gfx_args.h"
#include "builtins/handlers.h"
#include "gfx/sprites/hit_regions.h"

namespace zelt {

uint32_t bi_hit_init(const BuiltinArgs& a) { return int_result(gfx::hit_init(a.u32(0))); }

uint32_t bi_hit_set(const BuiltinArgs& a) {
  gfx::Rect storage, *rect;
  if (!rect_arg(a, 3, storage, rect)) return 0;
  return gfx::hit_set(a.u32(0), a.u32(1), a.addr(2), rect, a.u32(4));
}

uint32_t bi_hit_reset(const BuiltinArgs& a) { return int_result(gfx::hit_reset(a.addr(0))); }

uint32_t bi_hit_check(const BuiltinArgs& a) { return gfx::hit_check(a.addr(0)); }

uint32_t bi_hit_rect(const BuiltinArgs& a) {
  gfx::Rect storage, *rect;
  if (!rect_arg(a, 0, storage, rect)) return 0;
  return gfx::hit_rect(rect, a.u32(1));
}

uint32_t bi_hit_point(const BuiltinArgs& a) { return gfx::hit_point(a.i32(0), a.i32(1), a.u32(2)); }

}  // namespace zelt
