// freemap and rotate: a source rectangle drawn onto a quad by walking its
// left and right edges and drawing one Bresenham span between them per
// step, the source row chosen per span and the column per span pixel.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/sine_table.h"
#include "gfx/effects/filter_area.h"
#include "gfx/effects/filters.h"

namespace zelt::gfx {
namespace {

int64_t floor_div(int64_t n, int64_t d) { return n / d - ((n % d != 0) && (n < 0)); }  // d > 0
int64_t ceil_div(int64_t n, int64_t d) { return -floor_div(-n, d); }

// Walks from (xa, ya) to (xb, yb) one unit in x or y per step.
struct EdgeWalker {
  int64_t x, y, sx, sy, dx, dy, err, steps, done = 0;

  EdgeWalker(int64_t xa, int64_t ya, int64_t xb, int64_t yb)
      : x(xa), y(ya), sx(xb < xa ? -1 : 1), sy(yb < ya ? -1 : 1), dx(std::abs(xb - xa)), dy(std::abs(yb - ya)),
        err(dx < dy ? -dy : -dx), steps(dx + dy) {}

  void step() {
    if (done == steps) return;
    ++done;
    if (dx < dy) {
      err += 2 * dx;
      if (err < 0) {
        y += sy;
      } else {
        x += sx;
        err -= 2 * (dx + dy);
      }
    } else {
      err += 2 * dy;
      if (err < 0) {
        x += sx;
      } else {
        y += sy;
        err -= 2 * (dx + dy);
      }
    }
  }
};

struct QuadMap {
  PixelView dst;
  int64_t width, height;  // the destination plane's: its clip rectangle plays no part
  PixelView src;
  int64_t src_left, src_columns;
  uint32_t key;
};

// Range of k in [lo, hi] for which a + s k lies in [0, limit).
void clip_linear(int64_t a, int64_t s, int64_t limit, int64_t& lo, int64_t& hi) {
  if (s > 0) {
    lo = std::max(lo, -a);
    hi = std::min(hi, limit - 1 - a);
  } else {
    lo = std::max(lo, a - limit + 1);
    hi = std::min(hi, a);
  }
}

// One span from (x0, y0) to (x1, y1), major + 1 pixels. Pixel k lies k
// along the major axis and m(k) = floor((2k minor + major) / (2 major))
// along the minor one (the Bresenham error starting at −major); its source
// column is c(k) = max(0, ceil((2k (sw − 1) − major) / (2 major))) from the
// rectangle's left (the column counter starting at −major). Only the pixels
// inside the destination plane are visited.
template <int B, bool Key>
void draw_span(const QuadMap& q, int64_t x0, int64_t y0, int64_t x1, int64_t y1, const uint8_t* src_row) {
  const int64_t adx = std::abs(x1 - x0), ady = std::abs(y1 - y0);
  const bool x_major = adx >= ady;
  const int64_t major = x_major ? adx : ady, minor = x_major ? ady : adx;
  const int64_t a0 = x_major ? x0 : y0, b0 = x_major ? y0 : x0;
  const int64_t sa = (x_major ? x1 < x0 : y1 < y0) ? -1 : 1, sb = (x_major ? y1 < y0 : x1 < x0) ? -1 : 1;
  const int64_t a_limit = x_major ? q.width : q.height, b_limit = x_major ? q.height : q.width;

  int64_t lo = 0, hi = major;
  clip_linear(a0, sa, a_limit, lo, hi);
  // The minor coordinate b0 + sb m(k) in [0, b_limit): m(k) in [m_lo, m_hi].
  const int64_t m_lo = sb > 0 ? -b0 : b0 - b_limit + 1, m_hi = sb > 0 ? b_limit - 1 - b0 : b0;
  if (minor == 0) {
    if (m_lo > 0 || m_hi < 0) return;
  } else {
    // m(k) ≥ t ⇔ k ≥ ceil((2 major t − major) / (2 minor)).
    lo = std::max(lo, ceil_div(2 * major * m_lo - major, 2 * minor));
    hi = std::min(hi, ceil_div(2 * major * (m_hi + 1) - major, 2 * minor) - 1);
  }
  if (lo > hi) return;

  const int64_t sw1 = q.src_columns - 1;
  int64_t m = 0, err = -major, c = 0, counter = -major;
  if (major > 0) {
    m = floor_div(2 * lo * minor + major, 2 * major);
    err = -major + 2 * lo * minor - 2 * major * m;
    c = std::max<int64_t>(0, ceil_div(2 * lo * sw1 - major, 2 * major));
    counter = -major + 2 * lo * sw1 - 2 * major * c;
  }
  const uint8_t* src = src_row + q.src_left * B;
  int64_t a = a0 + sa * lo, b = b0 + sb * m;
  if (!Key && minor == 0 && x_major && sa > 0 && sw1 == major) {
    // One row copied at 1:1.
    std::memcpy(q.dst.at(a, b), src + c * B, static_cast<size_t>((hi - lo + 1) * B));
    return;
  }
  for (int64_t k = lo; k <= hi; ++k) {
    const uint8_t* s = src + c * B;
    if (!Key || !pixel_is_key<B>(s, q.key)) std::memcpy(x_major ? q.dst.at(a, b) : q.dst.at(b, a), s, B);
    a += sa;
    err += 2 * minor;
    if (err >= 0) {
      b += sb;
      err -= 2 * major;
    }
    if (major == 0) break;  // a one-pixel span
    counter += 2 * sw1;
    if (counter > 0) {
      const int64_t n = (counter + 2 * major - 1) / (2 * major);
      c += n;
      counter -= 2 * major * n;
    }
  }
}

template <int B, bool Key>
void walk_quad(const QuadMap& q, const int64_t (&p)[8], int64_t src_top, int64_t src_rows) {
  EdgeWalker left(p[0], p[1], p[2], p[3]), right(p[6], p[7], p[4], p[5]);
  const int64_t e_max = std::max(left.steps, right.steps);
  // Counters of the source row and of each walker, all starting at −E.
  int64_t row = src_top, row_counter = -e_max, left_counter = -e_max, right_counter = -e_max;
  for (int64_t e = 0; e <= e_max; ++e) {
    draw_span<B, Key>(q, left.x, left.y, right.x, right.y, q.src.row(row));
    if (e_max == 0) break;
    row_counter += 2 * (src_rows - 1);
    if (row_counter > 0) {
      const int64_t n = (row_counter + 2 * e_max - 1) / (2 * e_max);
      row += n;
      row_counter -= 2 * e_max * n;
    }
    left_counter += 2 * left.steps;
    if (left_counter >= 0) {
      left.step();
      left_counter -= 2 * e_max;
    }
    right_counter += 2 * right.steps;
    if (right_counter >= 0) {
      right.step();
      right_counter -= 2 * e_max;
    }
  }
}

template <int B>
void walk_quad(const QuadMap& q, bool keyed, const int64_t (&p)[8], int64_t src_top, int64_t src_rows) {
  if (keyed)
    walk_quad<B, true>(q, p, src_top, src_rows);
  else
    walk_quad<B, false>(q, p, src_top, src_rows);
}

}  // namespace

int32_t freemap(uint32_t destination, const int32_t* quad, uint32_t source, const Rect* source_rect, int32_t key) {
  Plane* dst = plane_get(destination);
  Plane* src = plane_get(source);
  if (!dst || !src || !blit_format(dst) || dst->bit_count != src->bit_count) return 0;
  int64_t p[8];
  if (quad) {
    for (int i = 0; i < 8; ++i) {
      if (quad[i] > kQuadLimit || quad[i] < -kQuadLimit) return 0;
      p[i] = quad[i];
    }
  } else {
    const int64_t w = dst->width - 1, h = dst->height - 1;
    const int64_t corners[8] = {0, 0, 0, h, w, h, w, 0};
    std::copy(corners, corners + 8, p);
  }
  const Box s = intersect(rect_or_plane(source_rect, *src), bounds_of(*src));
  if (s.empty()) return 0;
  const std::optional<uint32_t> k = filter_key(key, *src);
  const SourcePixels pixels(*src, *dst, s);
  const PixelView dst_view = plane_view(*dst);
  if (!pixels.ok() || !dst_view.base) return 0;
  const QuadMap q{dst_view, dst->width, dst->height, pixels.view(), s.left, s.width(), k.value_or(0)};
  switch (dst->bit_count) {
    case 8: walk_quad<1>(q, k.has_value(), p, s.top, s.height()); break;
    case 16: walk_quad<2>(q, k.has_value(), p, s.top, s.height()); break;
    case 24: walk_quad<3>(q, k.has_value(), p, s.top, s.height()); break;
    default: walk_quad<4>(q, k.has_value(), p, s.top, s.height()); break;
  }
  return 1;
}

int32_t rotate(uint32_t destination, const Rect* destination_rect, uint32_t source, const Rect* source_rect,
               int32_t angle, int32_t key) {
  const Plane* dst = plane_get(destination);
  if (!dst || !plane_get(source)) return 0;
  const Box d = rect_or_plane(destination_rect, *dst);
  // Twice the centre, so that even sizes turn about the exact middle.
  const int64_t cx2 = d.left + d.right - 1, cy2 = d.top + d.bottom - 1;
  const int64_t c = table_cos(angle), s = table_sin(angle);
  const auto turn = [&](int64_t x, int64_t y, int64_t* out) {
    const int64_t hx = 2 * x - cx2, hy = 2 * y - cy2;
    out[0] = (cx2 + ((hx * c - hy * s) >> 16)) >> 1;
    out[1] = (cy2 + ((hx * s + hy * c) >> 16)) >> 1;
  };
  int64_t p[8];
  turn(d.left, d.top, p);
  turn(d.left, d.bottom - 1, p + 2);
  // Corners 2 and 3 mirror corners 0 and 1 through the centre.
  p[4] = cx2 - p[0], p[5] = cy2 - p[1];
  p[6] = cx2 - p[2], p[7] = cy2 - p[3];
  int32_t quad[8];
  for (int i = 0; i < 8; ++i) {
    if (p[i] > kQuadLimit || p[i] < -kQuadLimit) return 0;
    quad[i] = static_cast<int32_t>(p[i]);
  }
  return freemap(destination, quad, source, source_rect, key);
}

}  // namespace zelt::gfx
