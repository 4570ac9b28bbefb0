// What the filters and effects share with the blit engine: rectangle
// arguments and their clipping, colour keys converted for a plane, and
// views of pixel memory addressed by plane coordinates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "gfx/planes/plane.h"
#include "gfx/raster/blit_engine.h"
#include "gfx/raster/pixel_formats.h"

namespace zelt::gfx {

// A rectangle argument: the rectangle, or the whole plane for null.
inline Box rect_or_plane(const Rect* rect, const Plane& plane) {
  return rect ? box_of(*rect) : bounds_of(plane);
}

// The area a one-plane filter changes: its rectangle inside the plane's clip
// rectangle (empty when nothing is left).
inline Box clipped_area(const Plane& plane, const Rect* rect) {
  return intersect(rect_or_plane(rect, plane), clip_of(plane));
}

// Filters that draw a source rectangle at a point: the destination area (the
// source rectangle's size at (x, y)) inside the destination's clip, the
// matching source area inside the source plane, each cut carried over to the
// other side. Both boxes have the same size; nothing when either is empty.
struct PointArea {
  Box dst, src;
};
std::optional<PointArea> point_area(const Plane& destination, int32_t x, int32_t y, const Plane& source,
                                    const Rect* source_rect);

// A colour-key argument as the source plane's pixels compare with it:
// nothing for a negative key or one whose converted top byte is not 0; an
// index for planes of 8 bits or fewer (nearest current-palette entry for an
// RGB value), X1R5G5B5 for 16-bit planes, 0x00RRGGBB above.
std::optional<uint32_t> filter_key(int32_t key, const Plane& source);

// Whether a source pixel of B bytes equals a key from filter_key: 32-bit
// pixels compare their low 24 bits, 24-bit pixels their three bytes, 16-bit
// pixels the whole word, 8-bit pixels the index.
template <int B>
bool pixel_is_key(const uint8_t* p, uint32_t key) {
  if constexpr (B == 4) return (load32(p) & 0xFFFFFF) == key;
  if constexpr (B == 3) return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) == key;
  if constexpr (B == 2) return load16(p) == key;
  if constexpr (B == 1) return p[0] == (key & 255);
}

// Bytes per pixel of a plane of 8, 16, 24 or 32 bits; 0 for any other.
inline int pixel_bytes(const Plane& plane) { return blit_format(&plane) ? plane.bit_count / 8 : 0; }

// Pixel memory addressed by plane coordinates: (x, y) lies at
// base + (y − y0) × pitch + (x − x0) × bytes. For a plane the pitch is
// negative (rows are stored bottom-up).
struct PixelView {
  uint8_t* base = nullptr;
  ptrdiff_t pitch = 0;
  int bytes = 0;
  int64_t x0 = 0, y0 = 0;
  uint8_t* at(int64_t x, int64_t y) const { return base + (y - y0) * pitch + (x - x0) * bytes; }
  uint8_t* row(int64_t y) const { return base + (y - y0) * pitch - x0 * bytes; }
};

// A view of the whole plane; base is null when its memory is not there.
PixelView plane_view(const Plane& plane);

// The pixels a two-plane filter reads: the source plane itself, or, when the
// destination is the same plane, a copy of the source area taken before the
// filter writes anything, so that every destination pixel comes from the
// picture as it was (and rows written in parallel read nothing another row
// writes).
class SourcePixels {
 public:
  SourcePixels(const Plane& source, const Plane& destination, const Box& area);
  // False when the copy could not be made or the plane's memory is not there.
  bool ok() const { return view_.base != nullptr; }
  const PixelView& view() const { return view_; }

 private:
  std::unique_ptr<uint8_t[]> copy_;
  PixelView view_;
};

// gcopy's opaque mode-0 copy of the source rectangle `from` to (x, y), with
// its clipping and format conversions; the result as gcopy gives it.
int32_t opaque_copy(Plane& destination, int32_t x, int32_t y, Plane& source, const Box& from);

// Copies the area's pixels of any bit count (1 and 4 bits included) from one
// view to another position in a plane's own bit layout: rows of bits bytes.
// Used where a filter moves pixels within one plane.
void copy_row_pixels(uint8_t* dst_row, int64_t dst_x, const uint8_t* src_row, int64_t src_x, int64_t count,
                     int32_t bit_count);
void fill_row_zero(uint8_t* row, int64_t x, int64_t count, int32_t bit_count);

}  // namespace zelt::gfx
