// Rectangle primitives: raw fills (gclear) and alpha-blended fills (gfill).
// Lines are in primitives_line.cpp, polygons in primitives_polygon.cpp.
#include "gfx/raster/primitives.h"

#include <algorithm>
#include <cstring>

#include "gfx/raster/parallel_rows.h"
#include "gfx/raster/primitives_pixels.h"

namespace zelt::gfx {
namespace {

using primitive::Colour;

// (left, top, right, bottom), taken in 64 bits so that x + width cannot
// overflow, intersected with the clip rectangle and the plane. May be empty.
Rect clipped_area(const Plane& plane, int64_t left, int64_t top, int64_t right, int64_t bottom) {
  const Rect& c = plane.clip;
  left = std::max<int64_t>({left, c.left, 0});
  top = std::max<int64_t>({top, c.top, 0});
  right = std::min<int64_t>({right, c.right, plane.width});
  bottom = std::min<int64_t>({bottom, c.bottom, plane.height});
  if (right <= left || bottom <= top) return {};
  return {static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right),
          static_cast<int32_t>(bottom)};
}

template <int Bits>
void fill_run(uint8_t* first, int32_t count, uint32_t value) {
  if constexpr (Bits == 8) {
    std::memset(first, static_cast<uint8_t>(value), static_cast<size_t>(count));
  } else {
    uint8_t bytes[4];
    if constexpr (Bits == 16) {
      const uint32_t r = (value >> 16) & 255, g = (value >> 8) & 255, b = value & 255;
      const uint32_t v = (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
      bytes[0] = static_cast<uint8_t>(v);
      bytes[1] = static_cast<uint8_t>(v >> 8);
    } else {
      for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    }
    constexpr size_t size = Bits / 8;
    for (int32_t i = 0; i < count; ++i) std::memcpy(first + static_cast<size_t>(i) * size, bytes, size);
  }
}

void fill_area(Plane& plane, int64_t left, int64_t top, int64_t right, int64_t bottom, uint32_t value) {
  if (!primitive::drawable_bits(plane.bit_count)) return;
  const Rect area = clipped_area(plane, left, top, right, bottom);
  const std::span<uint8_t> pixels = plane_pixels(plane);
  if (area.empty() || !pixels.data()) return;
  const size_t offset = static_cast<size_t>(area.left) * static_cast<size_t>(plane.bit_count / 8);
  const int32_t count = area.right - area.left;
  primitive::by_bits(plane.bit_count, [&]<int Bits>() {
    for_rows(area.bottom - area.top, count, [&](int32_t row) {
      fill_run<Bits>(primitive::pixel_row(plane, pixels, area.top + row) + offset, count, value);
    });
  });
}

}  // namespace

void raw_fill(Plane* plane, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t value) {
  if (!plane) return;
  fill_area(*plane, x, y, int64_t{x} + width, int64_t{y} + height, value);
}

int32_t gclear(uint32_t handle, const Rect* rect, uint32_t value) {
  Plane* plane = plane_get(handle);
  if (!plane) return 0;
  if (rect)
    fill_area(*plane, rect->left, rect->top, rect->right, rect->bottom, value);
  else
    fill_area(*plane, 0, 0, plane->width, plane->height, value);
  return 1;
}

int32_t gfill(uint32_t handle, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour) {
  const Plane* plane = plane_get(handle);
  if (!plane || !primitive::drawable_bits(plane->bit_count)) return 0;
  const Rect area = clipped_area(*plane, x, y, int64_t{x} + width, int64_t{y} + height);
  const std::span<uint8_t> pixels = plane_pixels(*plane);
  if (area.empty() || !pixels.data()) return 0;
  const Colour c(colour);
  if (c.alpha == 0) return 1;
  const int32_t count = area.right - area.left;
  for_rows(area.bottom - area.top, count, [&](int32_t row) {
    primitive::blend_row(*plane, pixels, area.left, area.top + row, count, c, c.alpha);
  });
  return 1;
}

}  // namespace zelt::gfx
