// Built-in adapters of the dirty-rectangle list, the screen origin and update.
#include "builtins/gfx_args.h"
#include "builtins/handlers.h"
#include "gfx/present/dirty_list.h"
#include "gfx/present/presentation.h"

namespace zelt {

uint32_t bi_drt_init(const BuiltinArgs&) { return int_result(gfx::drt_init()); }

uint32_t bi_drt_set(const BuiltinArgs& a) {
  gfx::Rect storage, *rect;
  if (!rect_arg(a, 0, storage, rect)) return 0;
  return int_result(gfx::drt_set(rect));
}

uint32_t bi_drt_copy(const BuiltinArgs& a) {
  gfx::Rect storage, *rect;
  if (!rect_arg(a, 4, storage, rect)) return 0;
  return int_result(gfx::drt_copy(a.u32(0), a.i32(1), a.i32(2), a.u32(3), rect));
}

uint32_t bi_setorg(const BuiltinArgs& a) { return int_result(gfx::setorg(a.i32(0), a.i32(1))); }

uint32_t bi_update(const BuiltinArgs& a) {
  gfx::Rect storage, *rect;
  if (!rect_arg(a, 0, storage, rect)) return 0;
  return int_result(gfx::screen_refresh(rect));
}

}  // namespace zelt
