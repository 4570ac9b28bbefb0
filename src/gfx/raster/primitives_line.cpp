// gline: a segment clipped to the plane (not to its clip rectangle), drawn
// as a blended run when horizontal or vertical and anti-aliased otherwise.
#include <cstdlib>
#include <utility>

#include "gfx/raster/primitives.h"
#include "gfx/raster/primitives_pixels.h"

namespace zelt::gfx {
namespace {

using primitive::Colour;

// Moves the point (a, b) along the segment to (a, b) − (a − limit) on the a
// axis: b += (other_b − b) × (limit − a) / (other_a − a), truncated. The
// caller guarantees other_a ≠ a and limit between a and other_a, so the
// moved point lies between the two ends and stays a 32-bit value; the
// product of two such differences fits in 64 bits.
void move_to(int64_t& a, int64_t& b, int64_t other_a, int64_t other_b, int64_t limit) {
  b += (other_b - b) * (limit - a) / (other_a - a);
  a = limit;
}

// Clips the point (a, b) against 0 .. last on the a axis, moving it toward
// (other_a, other_b). False when both ends lie beyond the same side.
bool clip_axis(int64_t& a, int64_t& b, int64_t other_a, int64_t other_b, int64_t last) {
  if (a < 0) {
    if (other_a < 0) return false;
    move_to(a, b, other_a, other_b, 0);
  } else if (a > last) {
    if (other_a > last) return false;
    move_to(a, b, other_a, other_b, last);
  }
  return true;
}

// Clips one end against x and then y; the end must then lie in the plane.
bool clip_end(int64_t& x, int64_t& y, int64_t other_x, int64_t other_y, int64_t last_x, int64_t last_y) {
  return clip_axis(x, y, other_x, other_y, last_x) && clip_axis(y, x, other_y, other_x, last_y) && x >= 0 &&
         x <= last_x;
}

// The anti-aliased line along its major axis, ends in increasing major
// order. The minor coordinate runs in 16.16 from the start; each step
// blends the two pixels that straddle it, by the fraction's bits 8..15.
// Pixel (major, minor) is written through put(major, minor, weight).
template <typename Put>
void smooth_line(int32_t major0, int32_t minor0, int32_t major1, int32_t minor1, uint32_t t, Put&& put) {
  const int32_t steps = major1 - major0;
  const int32_t minor_diff = minor1 - minor0;
  // The start lies 1/65536 below the start pixel when the line heads toward
  // smaller minor coordinates, so that the start pixel is the second of the
  // pair and gets the whole weight; the step is one unit short so that the
  // line never passes its end pixel.
  int32_t pos = minor0 * 65536 - (minor_diff <= 0 ? 1 : 0);
  int32_t step = static_cast<int32_t>(int64_t{minor_diff} * 65536 / steps);
  step += step > 0 ? -1 : step < 0 ? 1 : 0;
  for (int32_t i = 0; i <= steps; ++i, pos += step) {
    const int32_t minor = pos >> 16;
    const uint32_t f = static_cast<uint32_t>(pos >> 8) & 255;
    put(major0 + i, minor, ((255 - f) * (t + 1)) >> 8);
    put(major0 + i, minor + 1, (f * (t + 1)) >> 8);
  }
}

}  // namespace

int32_t gline(uint32_t handle, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour) {
  const Plane* plane = plane_get(handle);
  if (!plane || !primitive::drawable_bits(plane->bit_count) || plane->width <= 0 || plane->height <= 0) return 0;
  const std::span<uint8_t> pixels = plane_pixels(*plane);
  if (!pixels.data()) return 0;

  const int64_t last_x = plane->width - 1, last_y = plane->height - 1;
  int64_t ax = x0, ay = y0, bx = x1, by = y1;
  if (!clip_end(ax, ay, bx, by, last_x, last_y) || !clip_end(bx, by, ax, ay, last_x, last_y)) return 0;
  // Both ends now lie in the plane.
  x0 = static_cast<int32_t>(ax), y0 = static_cast<int32_t>(ay);
  x1 = static_cast<int32_t>(bx), y1 = static_cast<int32_t>(by);

  const Colour c(colour);
  const uint32_t t = c.alpha;
  if (y0 == y1) {
    if (x1 < x0) std::swap(x0, x1);
    if (t != 0) primitive::blend_row(*plane, pixels, x0, y0, x1 - x0 + 1, c, t);
  } else if (x0 == x1) {
    if (y1 < y0) std::swap(y0, y1);
    for (int32_t y = y0; y <= y1; ++y) primitive::blend_at(*plane, pixels, x0, y, c, t);
  } else if (std::abs(x1 - x0) >= std::abs(y1 - y0)) {
    if (x1 < x0) std::swap(x0, x1), std::swap(y0, y1);
    smooth_line(x0, y0, x1, y1, t,
                [&](int32_t x, int32_t y, uint32_t w) { primitive::blend_at(*plane, pixels, x, y, c, w); });
  } else {
    if (y1 < y0) std::swap(x0, x1), std::swap(y0, y1);
    smooth_line(y0, x0, y1, x1, t,
                [&](int32_t y, int32_t x, uint32_t w) { primitive::blend_at(*plane, pixels, x, y, c, w); });
  }
  return 1;
}

}  // namespace zelt::gfx
