// The blit engine's entry points: the built-ins gcopy, gblit and gblita and
// blit_copy, on top of the scaled and rotated families and gcopy's fast
// path.
#include "gfx/raster/blit.h"

#include "gfx/raster/blit_engine.h"
#include "gfx/raster/fast_copy.h"
#include "gfx/raster/row_blends.h"

namespace zelt::gfx {
namespace {

int32_t g_color_mapping = 0;

Rect whole(const Plane& p) { return {0, 0, p.width, p.height}; }

}  // namespace

int32_t color_mapping() { return g_color_mapping; }
void set_color_mapping(int32_t value) { g_color_mapping = value; }

bool simd_enabled() { return row_simd_level() != RowSimd::plain; }

int32_t blit_copy(uint32_t destination, int32_t x, int32_t y, uint32_t source, const Rect* source_rect,
                  const BlitMode& mode) {
  Plane* dst = plane_get(destination);
  Plane* src = plane_get(source);
  if (!dst || !src || dst->bit_count < 8 || src->bit_count < 8) return 0;
  // A reversed source rectangle is the same rectangle.
  Box s = source_rect ? box_of(*source_rect) : box_of(whole(*src));
  if (s.right < s.left) std::swap(s.left, s.right);
  if (s.bottom < s.top) std::swap(s.top, s.bottom);
  const std::optional<CheckedMode> checked = check_entry(dst, src, mode);
  if (!checked) return 0;
  Plane* mask = plane_mask(source);
  if (const std::optional<int32_t> result = fast_copy(dst, x, y, src, s, mask, *checked)) return *result;
  return scaled_blit(dst, Box{x, y, x + s.width(), y + s.height()}, src, s, mask, mode);
}

int32_t gcopy(uint32_t destination, int32_t x, int32_t y, uint32_t source, const Rect* source_rect,
              const BlitMode* mode) {
  return blit_copy(destination, x, y, source, source_rect, mode ? *mode : BlitMode{});
}

namespace {

template <auto Blit>
int32_t rotated_builtin(uint32_t destination, const Rect* destination_rect, uint32_t source,
                        const Rect* source_rect, const BlitMode* mode, int32_t angle) {
  Plane* dst = plane_get(destination);
  Plane* src = plane_get(source);
  if (!dst || !src) return 0;
  return Blit(dst, destination_rect ? *destination_rect : whole(*dst), src,
              source_rect ? *source_rect : whole(*src), plane_mask(source), mode ? *mode : BlitMode{}, angle);
}

}  // namespace

int32_t gblit(uint32_t destination, const Rect* destination_rect, uint32_t source, const Rect* source_rect,
              const BlitMode* mode, int32_t angle) {
  return rotated_builtin<blit_rotated>(destination, destination_rect, source, source_rect, mode, angle);
}

int32_t gblita(uint32_t destination, const Rect* destination_rect, uint32_t source, const Rect* source_rect,
               const BlitMode* mode, int32_t angle) {
  return rotated_builtin<blit_rotated_smooth>(destination, destination_rect, source, source_rect, mode,
                                              angle);
}

}  // namespace zelt::gfx
