#include "gfx/effects/filter_area.h"

#include <cstring>
#include <new>

#include "gfx/planes/palette.h"
#include "gfx/raster/fast_copy.h"

namespace zelt::gfx {

std::optional<PointArea> point_area(const Plane& destination, int32_t x, int32_t y, const Plane& source,
                                    const Rect* source_rect) {
  const Box s = rect_or_plane(source_rect, source);
  if (s.empty()) return std::nullopt;
  const Box d = intersect(Box{x, y, x + s.width(), y + s.height()}, clip_of(destination));
  if (d.empty()) return std::nullopt;
  const Box from = intersect(
      Box{s.left + d.left - x, s.top + d.top - y, s.left + d.right - x, s.top + d.bottom - y}, bounds_of(source));
  if (from.empty()) return std::nullopt;
  const int64_t left = x + from.left - s.left, top = y + from.top - s.top;
  return PointArea{{left, top, left + from.width(), top + from.height()}, from};
}

std::optional<uint32_t> filter_key(int32_t key, const Plane& source) {
  if (key < 0) return std::nullopt;
  const uint32_t value = static_cast<uint32_t>(key);
  if (source.bit_count <= 8) return colour_value_index(value);
  const uint32_t rgb = (value & 0x01000000u) ? colour_value_rgb(value) : value;
  if (rgb >> 24 != 0) return std::nullopt;
  return source.bit_count == 16 ? colour_pixel(rgb, 2) : rgb;
}

PixelView plane_view(const Plane& plane) {
  return PixelView{pixel_origin(plane), -static_cast<ptrdiff_t>(plane.pitch), plane.bit_count / 8, 0, 0};
}

SourcePixels::SourcePixels(const Plane& source, const Plane& destination, const Box& area)
    : view_(plane_view(source)) {
  if (&source != &destination || !view_.base) return;
  const PixelView plane = view_;
  const size_t row_bytes = static_cast<size_t>(area.width()) * static_cast<size_t>(plane.bytes);
  copy_.reset(new (std::nothrow) uint8_t[row_bytes * static_cast<size_t>(area.height())]);
  if (!copy_) {
    view_ = PixelView{};
    return;
  }
  for (int64_t y = area.top; y < area.bottom; ++y)
    std::memcpy(copy_.get() + static_cast<size_t>(y - area.top) * row_bytes, plane.at(area.left, y), row_bytes);
  view_ = PixelView{copy_.get(), static_cast<ptrdiff_t>(row_bytes), plane.bytes, area.left, area.top};
}

int32_t opaque_copy(Plane& destination, int32_t x, int32_t y, Plane& source, const Box& from) {
  const BlitMode copy{};
  const std::optional<CheckedMode> checked = check_entry(&destination, &source, copy);
  if (!checked) return 0;
  if (const std::optional<int32_t> result = fast_copy(&destination, x, y, &source, from, nullptr, *checked))
    return *result;
  return scaled_blit(&destination, Box{x, y, x + from.width(), y + from.height()}, &source, from, nullptr, copy);
}

namespace {

// Pixel x of a row of 1- or 4-bit pixels (the leftmost in the high bits).
uint32_t sub_byte_get(const uint8_t* row, int64_t x, int32_t bits) {
  const int64_t per_byte = 8 / bits;
  const int shift = static_cast<int>(8 - bits - (x % per_byte) * bits);
  return static_cast<uint32_t>(row[x / per_byte] >> shift) & ((1u << bits) - 1);
}

void sub_byte_set(uint8_t* row, int64_t x, int32_t bits, uint32_t v) {
  const int64_t per_byte = 8 / bits;
  const int shift = static_cast<int>(8 - bits - (x % per_byte) * bits);
  const uint32_t mask = ((1u << bits) - 1) << shift;
  uint8_t& b = row[x / per_byte];
  b = static_cast<uint8_t>((b & ~mask) | ((v << shift) & mask));
}

}  // namespace

void copy_row_pixels(uint8_t* dst_row, int64_t dst_x, const uint8_t* src_row, int64_t src_x, int64_t count,
                     int32_t bit_count) {
  if (count <= 0) return;
  if (bit_count >= 8) {
    const int64_t bytes = bit_count / 8;
    std::memmove(dst_row + dst_x * bytes, src_row + src_x * bytes, static_cast<size_t>(count * bytes));
    return;
  }
  // Within one row a copy to the right runs backwards, like memmove.
  if (dst_row == src_row && dst_x > src_x) {
    for (int64_t i = count - 1; i >= 0; --i)
      sub_byte_set(dst_row, dst_x + i, bit_count, sub_byte_get(src_row, src_x + i, bit_count));
  } else {
    for (int64_t i = 0; i < count; ++i)
      sub_byte_set(dst_row, dst_x + i, bit_count, sub_byte_get(src_row, src_x + i, bit_count));
  }
}

void fill_row_zero(uint8_t* row, int64_t x, int64_t count, int32_t bit_count) {
  if (count <= 0) return;
  if (bit_count >= 8) {
    std::memset(row + x * (bit_count / 8), 0, static_cast<size_t>(count * (bit_count / 8)));
    return;
  }
  for (int64_t i = 0; i < count; ++i) sub_byte_set(row, x + i, bit_count, 0);
}

}  // namespace zelt::gfx
