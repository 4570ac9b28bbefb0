// tiled: the destination area filled with the source rectangle repeated,
// turned and zoomed about the area's centre.
#include <cstring>

#include "core/sine_table.h"
#include "gfx/effects/filter_area.h"
#include "gfx/effects/filters.h"

namespace zelt::gfx {
namespace {

int64_t floor_mod(int64_t v, int64_t n) {
  const int64_t r = v % n;
  return r < 0 ? r + n : r;
}

// A 16.16 position stepping by a fixed amount, kept as its integer part
// modulo a period and its fraction, exactly as ((p + k step) >> 16) mod n.
struct WrappedPosition {
  int64_t index, fraction, whole_step, fraction_step, period;

  WrappedPosition(int64_t p, int64_t step, int64_t n)
      : index(floor_mod(p >> 16, n)), fraction(p & 0xFFFF), whole_step(floor_mod(step >> 16, n)),
        fraction_step(step & 0xFFFF), period(n) {}

  void advance() {
    fraction += fraction_step;
    index += whole_step + (fraction >> 16);
    fraction &= 0xFFFF;
    if (index >= period) index -= period;
  }
};

template <int B>
void fill_tiles(const PixelView& dst, const Box& d, const PixelView& src, const Box& s, int64_t u, int64_t v) {
  const int64_t hx = d.width() >> 1, hy = d.height() >> 1;
  for (int64_t j = 0; j < d.height(); ++j) {
    // X = v (i − hx) + u (j − hy), Y = −u (i − hx) + v (j − hy), from i = 0.
    WrappedPosition x(-v * hx + u * (j - hy), v, s.width());
    WrappedPosition y(u * hx + v * (j - hy), -u, s.height());
    uint8_t* out = dst.at(d.left, d.top + j);
    for (int64_t i = 0; i < d.width(); ++i, out += B) {
      std::memcpy(out, src.at(s.left + x.index, s.top + y.index), B);
      x.advance();
      y.advance();
    }
  }
}

}  // namespace

int32_t tiled(uint32_t destination, const Rect* destination_rect, uint32_t source, const Rect* source_rect,
              int32_t angle, int32_t zoom) {
  Plane* dst = plane_get(destination);
  Plane* src = plane_get(source);
  if (!dst || !src || !blit_format(dst) || dst->bit_count != src->bit_count) return 0;
  const Box d = clipped_area(*dst, destination_rect);
  const Box s = intersect(rect_or_plane(source_rect, *src), bounds_of(*src));
  if (d.empty() || s.empty()) return 0;
  const int64_t z = zoom == 0 ? 65536 : zoom;
  const int64_t v = (int64_t{table_cos(angle)} << 16) / z, u = (int64_t{table_sin(angle)} << 16) / z;
  const SourcePixels pixels(*src, *dst, s);
  const PixelView dst_view = plane_view(*dst);
  if (!pixels.ok() || !dst_view.base) return 0;
  switch (dst->bit_count) {
    case 8: fill_tiles<1>(dst_view, d, pixels.view(), s, u, v); break;
    case 16: fill_tiles<2>(dst_view, d, pixels.view(), s, u, v); break;
    case 24: fill_tiles<3>(dst_view, d, pixels.view(), s, u, v); break;
    default: fill_tiles<4>(dst_view, d, pixels.view(), s, u, v); break;
  }
  return 1;
}

}  // namespace zelt::gfx
