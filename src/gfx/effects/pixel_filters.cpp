// The one-plane filters: scroll, noise, slice, monotone and fire. Each
// changes the plane's rectangle inside its clip rectangle; rows run top to
// bottom, so the filter generator's values fall on the same rows whatever
// the plane's size.
#include <algorithm>
#include <cstring>
#include <new>

#include "gfx/effects/filter_area.h"
#include "gfx/effects/filter_random.h"
#include "gfx/effects/filters.h"
#include "gfx/planes/palette.h"
#include "gfx/raster/parallel_rows.h"

namespace zelt::gfx {
namespace {

int64_t floor_mod(int64_t v, int64_t n) {
  const int64_t r = v % n;
  return r < 0 ? r + n : r;
}

uint8_t add_saturated(uint8_t v, int32_t t) { return static_cast<uint8_t>(std::min(255, v + t)); }

// The 5-bit channels of an X1R5G5B5 pixel changed by f; bit 15 kept.
template <class F>
uint32_t map_channels15(uint32_t w, F&& f) {
  return (w & 0x8000) | static_cast<uint32_t>(f(w >> 10 & 31)) << 10 | static_cast<uint32_t>(f(w >> 5 & 31)) << 5 |
         static_cast<uint32_t>(f(w & 31));
}

}  // namespace

int32_t scroll(uint32_t handle, const Rect* rect, int32_t dx, int32_t dy) {
  Plane* plane = plane_get(handle);
  if (!plane) return 0;
  const Box a = clipped_area(*plane, rect);
  if (a.empty()) return 0;
  const int64_t w = a.width(), h = a.height();
  const int64_t sx = floor_mod(dx, w), sy = floor_mod(dy, h);
  if (sx == 0 && sy == 0) return 1;
  const PixelView view = plane_view(*plane);
  if (!view.base) return 0;
  // The rectangle's rows in a temporary copy, each starting at its first
  // pixel, then copied back moved and wrapped around. The copies are exact
  // (a palette plane keeps its indices).
  const int32_t bits = plane->bit_count;
  const size_t row_bytes = static_cast<size_t>((w * bits + 7) / 8);
  std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[row_bytes * static_cast<size_t>(h)]);
  if (!copy) return 0;
  for (int64_t y = 0; y < h; ++y)
    copy_row_pixels(copy.get() + static_cast<size_t>(y) * row_bytes, 0, view.row(a.top + y), a.left, w, bits);
  for (int64_t y = 0; y < h; ++y) {
    const uint8_t* from = copy.get() + static_cast<size_t>((y + sy) % h) * row_bytes;
    uint8_t* to = view.row(a.top + y);
    copy_row_pixels(to, a.left, from, sx, w - sx, bits);
    copy_row_pixels(to, a.left + w - sx, from, 0, sx, bits);
  }
  return 1;
}

int32_t noise(uint32_t handle, const Rect* rect, int32_t amount) {
  Plane* plane = plane_get(handle);
  if (!plane) return 0;
  if (amount <= 0) return 1;
  const Box a = clipped_area(*plane, rect);
  if (a.empty()) return 0;
  const int32_t bits = plane->bit_count;
  if (bits != 16 && bits != 24 && bits != 32) return 1;  // palette planes are left as they are
  const PixelView view = plane_view(*plane);
  if (!view.base) return 0;
  const int32_t e = amount < 256 ? 255 - amount : 0;
  for (int64_t y = a.top; y < a.bottom; ++y) {
    const uint32_t h = filter_random(), l = filter_random();
    uint8_t* p = view.at(a.left, y);
    if (bits == 16) {
      const int32_t e5 = e / 8;
      uint32_t m = h % 32;
      for (int64_t x = a.left; x < a.right; ++x, p += 2) {
        if (static_cast<int32_t>(m) > e5) {
          const int32_t t = static_cast<int32_t>(m) - e5;
          store16(p, map_channels15(load16(p), [t](uint32_t c) { return std::min<int32_t>(31, static_cast<int32_t>(c) + t); }));
        }
        m = (m + l) % 32;
      }
    } else {
      uint32_t m = h % 256;
      for (int64_t x = a.left; x < a.right; ++x, p += view.bytes) {
        if (static_cast<int32_t>(m) > e) {
          const int32_t t = static_cast<int32_t>(m) - e;
          p[0] = add_saturated(p[0], t);
          p[1] = add_saturated(p[1], t);
          p[2] = add_saturated(p[2], t);
        }
        m = (m + l) % 256;
      }
    }
  }
  return 1;
}

int32_t slice(uint32_t handle, const Rect* rect, int32_t amount) {
  Plane* plane = plane_get(handle);
  if (!plane) return 0;
  if (amount <= 0) return 1;
  const Box a = clipped_area(*plane, rect);
  if (a.empty()) return 0;
  const PixelView view = plane_view(*plane);
  if (!view.base) return 0;
  const int64_t w = a.width();
  const int64_t r = (w * std::min(amount, 256)) >> 8;
  if (r == 0) return 1;
  const int32_t bits = plane->bit_count;
  for (int64_t y = a.top; y < a.bottom; ++y) {
    const int64_t k = static_cast<int64_t>(filter_random() % static_cast<uint64_t>(2 * r)) - r;
    uint8_t* row = view.row(y);
    if (k > 0) {
      copy_row_pixels(row, a.left + k, row, a.left, w - k, bits);
      fill_row_zero(row, a.left, k, bits);
    } else if (k < 0) {
      copy_row_pixels(row, a.left, row, a.left - k, w + k, bits);
      fill_row_zero(row, a.right + k, -k, bits);
    }
  }
  return 1;
}

int32_t monotone(uint32_t handle, const Rect* rect, uint32_t c0, uint32_t c1) {
  Plane* plane = plane_get(handle);
  if (!plane) return 0;
  const int32_t bits = plane->bit_count;
  if (bits != 16 && bits != 24 && bits != 32) return 0;
  const Box a = clipped_area(*plane, rect);
  if (a.empty()) return 0;
  const PixelView view = plane_view(*plane);
  if (!view.base) return 0;
  // ramp[channel][i] = C0 + i (C1 − C0) / 255 for blue, green, red.
  const uint32_t rgb0 = colour_value_rgb(c0), rgb1 = colour_value_rgb(c1);
  uint8_t ramp[3][256];
  for (int ch = 0; ch < 3; ++ch) {
    const int32_t from = static_cast<int32_t>(rgb0 >> (8 * ch) & 255), to = static_cast<int32_t>(rgb1 >> (8 * ch) & 255);
    for (int32_t i = 0; i < 256; ++i) ramp[ch][i] = static_cast<uint8_t>(from + i * (to - from) / 255);
  }
  for_rows(static_cast<int32_t>(a.height()), a.width(), [&](int32_t j) {
    uint8_t* p = view.at(a.left, a.top + j);
    if (bits == 16) {
      for (int64_t x = a.left; x < a.right; ++x, p += 2) {
        const uint32_t w = load16(p);
        const uint32_t y = (316446 * (w >> 5 & 31) + 61455 * (w & 31) + 161184 * (w >> 10 & 31)) >> 16;
        store16(p, (w & 0x8000) | static_cast<uint32_t>(ramp[2][y] >> 3) << 10 |
                       static_cast<uint32_t>(ramp[1][y] >> 3) << 5 | static_cast<uint32_t>(ramp[0][y] >> 3));
      }
    } else {
      for (int64_t x = a.left; x < a.right; ++x, p += view.bytes) {
        const uint32_t y = (38470u * p[1] + 7471u * p[0] + 19595u * p[2]) >> 16;
        p[0] = ramp[0][y];
        p[1] = ramp[1][y];
        p[2] = ramp[2][y];
      }
    }
  });
  return 1;
}

int32_t fire(uint32_t handle, const Rect* rect) {
  Plane* plane = plane_get(handle);
  if (!plane || !blit_format(plane)) return 0;
  const Box a = clipped_area(*plane, rect);
  if (a.empty() || a.height() < 2) return 0;
  const PixelView view = plane_view(*plane);
  if (!view.base) return 0;
  const int bytes = view.bytes;
  for (int64_t y = a.top + 1; y < a.bottom; ++y) {
    const uint8_t* from = view.at(a.left, y);
    uint8_t* up = view.at(a.left, y - 1);
    for (int64_t i = 0; i < a.width(); ++i, from += bytes) {
      int64_t d = static_cast<int64_t>(filter_random() % 3) - 1;
      if (i + d < 0 || i + d >= a.width()) d = 0;
      uint8_t* to = up + (i + d) * bytes;
      switch (bytes) {
        case 1: to[0] = static_cast<uint8_t>(std::max(0, from[0] - 2)); break;
        case 2:
          store16(to, map_channels15(load16(from), [](uint32_t c) { return c > 0 ? c - 1 : 0; }));
          break;
        default:
          for (int b = 0; b < bytes; ++b) to[b] = static_cast<uint8_t>(std::max(0, from[b] - 1));
          break;
      }
    }
  }
  return 1;
}

}  // namespace zelt::gfx
