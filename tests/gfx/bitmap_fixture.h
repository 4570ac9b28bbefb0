// Test bitmaps written field by field from the file format, independently
// of the code under test, and planes filled pixel by pixel.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gfx/planes/plane.h"

namespace zelt::test {

inline void put_le(std::string& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(v >> (8 * i));
}

inline uint32_t stride_of(uint32_t width, uint32_t bits) { return (width * bits + 31) / 32 * 4; }

struct BitmapSpec {
  uint32_t header_size = 40;  // 12, 40 or a longer header (zeros after the first 40 bytes)
  bool file_header = true;    // false: the info header starts the data
  int32_t width = 0, height = 0;
  uint16_t bits = 24;
  uint16_t planes = 1;
  uint32_t compression = 0;
  std::optional<uint32_t> image_size;  // stored value; default the computed size
  uint32_t colours_used = 0;
  std::vector<uint32_t> table;  // 0x00RRGGBB, 3 bytes each after a 12-byte header
  std::string junk;             // between the table and the pixels
  bool zero_offset = false;     // pixel offset 0: the pixels follow the table
  std::string pixels;           // the rows as the file stores them
};

inline std::string bitmap_file(const BitmapSpec& s) {
  std::string info;
  put_le(info, s.header_size, 4);
  if (s.header_size == 12) {
    put_le(info, static_cast<uint32_t>(s.width), 2);
    put_le(info, static_cast<uint32_t>(s.height), 2);
    put_le(info, s.planes, 2);
    put_le(info, s.bits, 2);
  } else {
    put_le(info, static_cast<uint32_t>(s.width), 4);
    put_le(info, static_cast<uint32_t>(s.height), 4);
    put_le(info, s.planes, 2);
    put_le(info, s.bits, 2);
    put_le(info, s.compression, 4);
    put_le(info,
           s.image_size.value_or(stride_of(static_cast<uint32_t>(s.width), s.bits) *
                                 static_cast<uint32_t>(s.height)),
           4);
    put_le(info, 0, 4);
    put_le(info, 0, 4);
    put_le(info, s.colours_used, 4);
    put_le(info, s.colours_used, 4);
    info.resize(s.header_size, '\0');
  }
  for (uint32_t c : s.table) put_le(info, c, s.header_size == 12 ? 3 : 4);
  info += s.junk;
  if (!s.file_header) return info + s.pixels;
  const uint32_t offset = s.zero_offset ? 0 : static_cast<uint32_t>(14 + info.size());
  std::string out = "BM";
  put_le(out, static_cast<uint32_t>(14 + info.size() + s.pixels.size()), 4);
  put_le(out, 0, 4);
  put_le(out, offset, 4);
  return out + info + s.pixels;
}

// The value of pixel (x, y) in test images of a bit count.
inline uint32_t pixel_value(int32_t x, int32_t y, int32_t bits) {
  const uint32_t v = static_cast<uint32_t>(x * 37 + y * 101 + 13) * 2654435761u;
  return bits == 32 ? v : v >> (32 - bits);
}

// Rows in file layout (bottom row first, padded with zeros) of the pixels
// value(x, y) for x in [left, right), y in [top, bottom).
inline std::string pack_rows(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t bits,
                             const std::function<uint32_t(int32_t, int32_t)>& value) {
  const uint32_t stride = stride_of(static_cast<uint32_t>(right - left), static_cast<uint32_t>(bits));
  std::string out;
  for (int32_t y = bottom - 1; y >= top; --y) {
    std::string row(stride, '\0');
    for (int32_t x = left; x < right; ++x) {
      const uint32_t v = value(x, y);
      const uint32_t i = static_cast<uint32_t>(x - left);
      if (bits < 8) {
        const uint32_t bit = i * static_cast<uint32_t>(bits);
        row[bit / 8] = static_cast<char>(row[bit / 8] | v << (8 - bits - bit % 8));
      } else {
        for (int b = 0; b < bits / 8; ++b)
          row[i * static_cast<uint32_t>(bits) / 8 + b] = static_cast<char>(v >> (8 * b));
      }
    }
    out += row;
  }
  return out;
}

// Pixel (x, y) of a plane, read or written by its bit count.
inline uint32_t get_pixel(const gfx::Plane& p, int32_t x, int32_t y) {
  const uint8_t* a = gfx::plane_pixel_address(&p, x, y);
  if (p.bit_count < 8) {
    const int shift = 8 - p.bit_count - (x * p.bit_count) % 8;
    return (*a >> shift) & ((1u << p.bit_count) - 1);
  }
  uint32_t v = 0;
  for (int b = 0; b < p.bit_count / 8; ++b) v |= uint32_t{a[b]} << (8 * b);
  return v;
}

inline void set_pixel(const gfx::Plane& p, int32_t x, int32_t y, uint32_t v) {
  uint8_t* a = gfx::plane_pixel_address(&p, x, y);
  if (p.bit_count < 8) {
    const int shift = 8 - p.bit_count - (x * p.bit_count) % 8;
    const uint32_t mask = ((1u << p.bit_count) - 1) << shift;
    *a = static_cast<uint8_t>((*a & ~mask) | (v << shift & mask));
    return;
  }
  for (int b = 0; b < p.bit_count / 8; ++b) a[b] = static_cast<uint8_t>(v >> (8 * b));
}

// Fills every pixel with pixel_value and the row padding with 0xA5, so a
// writer that copies padding or neighbouring bits shows it.
inline void fill_plane(const gfx::Plane& p) {
  for (uint8_t& b : gfx::plane_pixels(p)) b = 0xA5;
  for (int32_t y = 0; y < p.height; ++y)
    for (int32_t x = 0; x < p.width; ++x) set_pixel(p, x, y, pixel_value(x, y, p.bit_count));
}

struct PlaneDeleter {
  void operator()(gfx::Plane* p) const { gfx::plane_destroy(p); }
};
using PlanePtr = std::unique_ptr<gfx::Plane, PlaneDeleter>;

}  // namespace zelt::test
