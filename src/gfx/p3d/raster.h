// Scan conversion of one 3D triangle into a plane with a 32-bit depth buffer.
//
// Corners are ordered by screen y. A triangle of zero height, or whose middle
// corner lies less than one pixel (horizontally) from the edge joining the
// top and bottom corners, is skipped. Rows run from the top corner's y up to
// (not including) the bottom corner's y; each edge starts at its upper
// corner's x in 16.16 fixed point and moves by Δx / Δy per row, and a row's
// span covers the pixels from ⌊left edge⌋ to ⌊right edge⌋ − 1, all cut to the
// plane's clip rectangle. Attributes are linear over the triangle, sampled at
// the integer pixel positions the corners sit on: w (65536 / z), u·w and v·w
// (divided per pixel: perspective-correct texturing) and the Gouraud shades.
// A pixel passes the depth test when the stored value is below trunc(w), which
// is then stored.
#pragma once

#include <cstdint>

#include "gfx/p3d/p3d_math.h"
#include "gfx/planes/plane.h"

namespace zelt::gfx {

// How a triangle's pixels are made. Solid kinds write or add (saturating) a
// colour; textured kinds subtract a shade from the texel (saturating at 0).
enum class RasterKind : uint8_t {
  kFlat,           // one colour
  kGouraud,        // per-corner colours
  kFlatAdd,
  kGouraudAdd,
  kTexturedFlat,   // one shade
  kTexturedGouraud // per-corner shades
};

struct RasterCorner {
  int32_t x = 0, y = 0;  // screen position; |x|, |y| at most kRasterGuard
  float w = 0;           // 65536 / z, in (0, 2^28]
  int32_t u = 0, v = 0;  // texture coordinates, 16.16: the fraction addresses the texture (wrapping)
  int32_t shade[3] = {}; // Gouraud: 8.8 fixed point, the pixel's byte is the high byte
};

struct RasterTriangle {
  RasterKind kind = RasterKind::kFlat;
  RasterCorner corner[3];
  uint8_t flat[3] = {};           // flat kinds: the colour or shade per byte (blue, green, red)
  const Plane* texture = nullptr; // textured kinds: same bit count as the target
};

// Triangles with a corner beyond this distance from the origin are not
// drawn (the scene already counts vertices projected half as far from the
// screen's centre as invalid), so that edge positions and steps stay far
// inside 64 bits and every product of the setup is exact.
inline constexpr int32_t kRasterGuard = 1 << 24;

// Draws into target (8, 16, 24 or 32 bits per pixel; anything else draws
// nothing). depth holds width × height values, row by row from the top.
// 8-bit targets take the byte arithmetic of the first colour byte on palette
// indices; 16-bit targets work on the 5-bit channels expanded to bytes.
void raster_triangle(Plane& target, uint32_t* depth, const RasterTriangle& t);

}  // namespace zelt::gfx
