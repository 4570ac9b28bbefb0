// Shared by the fuzz targets that draw into planes: the invariant check,
// the reader of operation bytes and the clip-rectangle check.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "gfx/planes/plane.h"

namespace zelt::fuzz {

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t{byte()} << (8 * i);
    return v;
  }
  // Near the plane, anywhere in 32 bits, or at the edges of the range.
  int32_t coordinate() {
    static constexpr int32_t kExtremes[] = {INT_MIN, INT_MIN + 1, INT_MAX, INT_MAX - 1, -32768, 32767,
                                            -65536,  65536,       -1,      0};
    const uint8_t tag = byte();
    switch (tag & 3) {
      case 0: return static_cast<int8_t>(byte());
      case 1: return static_cast<int32_t>(u32());
      case 2: return kExtremes[(tag >> 2) % (sizeof kExtremes / sizeof kExtremes[0])];
      default: return (tag >> 2) % 20 - 2;
    }
  }
  gfx::Rect rect() { return {coordinate(), coordinate(), coordinate(), coordinate()}; }

 private:
  const uint8_t* data_;
  size_t size_, at_ = 0;
};

// Every pixel of a plane of 8 bits or more outside its clip rectangle as it was.
inline bool outside_clip_unchanged(const gfx::Plane& plane, const std::vector<uint8_t>& before) {
  const std::span<uint8_t> pixels = gfx::plane_pixels(plane);
  const size_t bytes = static_cast<size_t>(plane.bit_count / 8);
  const gfx::Rect& c = plane.clip;
  for (int32_t y = 0; y < plane.height; ++y)
    for (int32_t x = 0; x < plane.width; ++x) {
      if (x >= c.left && x < c.right && y >= c.top && y < c.bottom) continue;
      const size_t at = static_cast<size_t>(gfx::plane_pixel_address(&plane, x, y) - pixels.data());
      if (std::memcmp(pixels.data() + at, before.data() + at, bytes) != 0) return false;
    }
  return true;
}

}  // namespace zelt::fuzz
