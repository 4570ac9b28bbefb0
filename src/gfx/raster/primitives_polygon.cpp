// gpoly: a polygon clipped to the rows of the clip rectangle and filled by
// scanlines with the even-odd rule, spans limited to the clip columns.
#include <algorithm>
#include <vector>

#include "gfx/raster/primitives.h"
#include "gfx/raster/primitives_pixels.h"

namespace zelt::gfx {
namespace {

using primitive::Colour;

__extension__ typedef __int128 Int128;

struct Point {
  int32_t x, y;
};

// The x where the segment a–b meets the row line y, which lies between
// a.y and b.y (a.y ≠ b.y). Measured from the upper end so that an edge gives
// the same point whichever way it is walked. The product of two 32-bit
// differences needs more than 64 bits.
int32_t crossing_x(Point a, Point b, int32_t y) {
  if (b.y < a.y) std::swap(a, b);
  const Int128 dx = int64_t{b.x} - a.x;
  return static_cast<int32_t>(a.x + dx * (int64_t{y} - a.y) / (int64_t{b.y} - a.y));
}

// Keeps the part of the polygon on one side of the row line y (below it
// when keep_below, else above it), the line included; every edge that
// crosses the line gets its crossing point.
std::vector<Point> clip_rows(const std::vector<Point>& in, int32_t y, bool keep_below) {
  std::vector<Point> out;
  if (in.empty()) return out;
  out.reserve(in.size() + in.size() / 2 + 2);
  auto inside = [&](Point p) { return keep_below ? p.y >= y : p.y <= y; };
  Point previous = in.back();
  for (const Point p : in) {
    if (inside(p) != inside(previous)) out.push_back({crossing_x(previous, p, y), y});
    if (inside(p)) out.push_back(p);
    previous = p;
  }
  return out;
}

struct Edge {
  int32_t upper, lower;  // rows upper .. lower − 1
  int64_t x;             // 16.16 at the current row
  int64_t slope;         // 16.16 per row
};

}  // namespace

int32_t gpoly(uint32_t handle, std::span<const int32_t> points, uint32_t colour) {
  const Plane* plane = plane_get(handle);
  const size_t count = points.size() / 2;
  if (!plane || count < 3 || !primitive::drawable_bits(plane->bit_count)) return 0;
  const std::span<uint8_t> pixels = plane_pixels(*plane);
  if (!pixels.data()) return 0;
  const Colour c(colour);
  const int32_t left = std::max(plane->clip.left, 0), right = std::min(plane->clip.right, plane->width);
  const int32_t top = std::max(plane->clip.top, 0), bottom = std::min(plane->clip.bottom, plane->height);
  if (c.alpha == 0 || left >= right || top >= bottom) return 1;

  // Clipped to the lines top and bottom, so that an edge crossing the clip's
  // bottom stays active through its last row bottom − 1.
  std::vector<Point> polygon(count);
  for (size_t i = 0; i < count; ++i) polygon[i] = {points[2 * i], points[2 * i + 1]};
  polygon = clip_rows(clip_rows(polygon, top, true), bottom, false);

  std::vector<Edge> edges;
  for (size_t i = 0; i < polygon.size(); ++i) {
    Point a = polygon[i], b = polygon[(i + 1) % polygon.size()];
    if (a.y == b.y) continue;
    if (b.y < a.y) std::swap(a, b);
    const int64_t x = int64_t{a.x} * 65536;
    edges.push_back({a.y, b.y, x, (int64_t{b.x} * 65536 - x) / (b.y - a.y)});
  }
  if (edges.empty()) return 1;
  std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.upper < b.upper; });

  // Rows top .. bottom − 1; an edge is active from its upper row up to, not
  // including, its lower row. Rows with no edge left are skipped.
  std::vector<Edge> active;
  std::vector<int64_t> xs;
  size_t next = 0;
  for (int32_t y = std::max(top, edges.front().upper); y < bottom; ++y) {
    while (next < edges.size() && edges[next].upper <= y) active.push_back(edges[next++]);
    active.erase(std::remove_if(active.begin(), active.end(), [&](const Edge& e) { return e.lower <= y; }),
                 active.end());
    if (active.empty()) {
      if (next == edges.size()) break;
      y = edges[next].upper - 1;
      continue;
    }
    xs.clear();
    for (const Edge& e : active) xs.push_back(e.x >> 16);
    std::sort(xs.begin(), xs.end());
    for (size_t i = 0; i + 1 < xs.size(); i += 2) {
      const int64_t from = std::max<int64_t>(xs[i], left), to = std::min<int64_t>(xs[i + 1], right - 1);
      if (from <= to)
        primitive::blend_row(*plane, pixels, static_cast<int32_t>(from), y, static_cast<int32_t>(to - from + 1), c,
                             c.alpha);
    }
    for (Edge& e : active) e.x += e.slope;
  }
  return 1;
}

}  // namespace zelt::gfx
