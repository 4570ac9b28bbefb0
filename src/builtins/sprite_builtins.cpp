// Built-in adapters of the sprite compositor.
#include "builtins/gfx_args.h"
#include "builtins/handlers.h"
#include "gfx/sprites/sprites.h"

namespace zelt {

uint32_t bi_sp_flag(const BuiltinArgs& a) { return int_result(gfx::sp_flag(a.i32(0))); }
uint32_t bi_sp_init(const BuiltinArgs& a) { return int_result(gfx::sp_init(a.u32(0))); }
uint32_t bi_sp_setbg(const BuiltinArgs& a) { return gfx::sp_setbg(a.u32(0)); }
uint32_t bi_sp_getbg(const BuiltinArgs&) { return gfx::sp_getbg(); }
uint32_t bi_sp_redraw(const BuiltinArgs& a) { return int_result(gfx::sp_redraw(a.u32(0))); }

// A source rectangle or descriptor address that cannot be read fails like
// any other refused request: the spare record.
uint32_t bi_sp_set(const BuiltinArgs& a) {
  gfx::Rect rect_storage, *rect;
  gfx::BlitMode mode_storage, *mode;
  if (!rect_arg(a, 5, rect_storage, rect) || !mode_arg(a, 6, mode_storage, mode)) return gfx::sprite_spare();
  return gfx::sp_set(a.u32(0), a.i32(1), a.i32(2), a.i32(3), a.u32(4), rect, mode);
}

uint32_t bi_sp_reset(const BuiltinArgs& a) { return int_result(gfx::sp_reset(a.addr(0))); }
uint32_t bi_sp_link(const BuiltinArgs& a) { return int_result(gfx::sp_link(a.addr(0), a.addr(1))); }
uint32_t bi_sp_unlink(const BuiltinArgs& a) { return int_result(gfx::sp_unlink(a.addr(0))); }

// The changed area goes to the given address when it can be written.
uint32_t bi_sp_draw(const BuiltinArgs& a) {
  gfx::Rect changed;
  const int32_t result = gfx::sp_draw(a.u32(0), &changed);
  if (result && a.addr(1)) {
    const std::span<uint8_t> out = a.span(1, sizeof changed);
    if (out.data()) std::memcpy(out.data(), &changed, sizeof changed);
  }
  return int_result(result);
}

uint32_t bi_sp_bgorg(const BuiltinArgs& a) { return int_result(gfx::sp_bgorg(a.i32(0), a.i32(1))); }
uint32_t bi_sp_org(const BuiltinArgs& a) { return int_result(gfx::sp_org(a.u32(0), a.i32(1), a.i32(2))); }
uint32_t bi_sp_sort(const BuiltinArgs& a) { return int_result(gfx::sp_sort(a.u32(0), a.u32(1))); }

uint32_t bi_sp_rect(const BuiltinArgs& a) {
  const std::span<uint8_t> out = a.span(1, sizeof(gfx::Rect));
  gfx::Rect placed;
  if (!out.data() || !gfx::sp_rect(a.addr(0), &placed)) return 0;
  std::memcpy(out.data(), &placed, sizeof placed);
  return 1;
}

}  // namespace zelt
