// Drawing without a source plane: raw fills, alpha-blended fills, lines
// (anti-aliased unless horizontal or vertical) and polygons. Colours are
// 0xAARRGGBB: a direct colour and an alpha in the top byte (gclear stores
// the top byte in 32-bit pixels); on 8-bit planes the low byte is the index.
#pragma once

#include <cstdint>
#include <span>

#include "gfx/planes/plane.h"

namespace zelt::gfx {

// Sets the rectangle (x, y, width, height) ∩ the clip rectangle to value in
// the plane's format; other bit counts are left alone.
void raw_fill(Plane* plane, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t value);

// Built-in operations. rect null: the whole plane. points: x, y pairs.
int32_t gclear(uint32_t handle, const Rect* rect, uint32_t value);
int32_t gfill(uint32_t handle, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour);
int32_t gline(uint32_t handle, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour);
int32_t gpoly(uint32_t handle, std::span<const int32_t> points, uint32_t colour);

}  // namespace zelt::gfx
