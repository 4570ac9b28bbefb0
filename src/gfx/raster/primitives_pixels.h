// Pixel access and the alpha blend shared by the primitives: one pixel of an
// 8-, 16-, 24- or 32-bit plane blended with a direct colour at a weight t
// (0..255). A weight of 0 leaves the pixel as it was in every format.
//
//   32-bit, fourth byte u: D = (255 − u)·t + 255·u; each channel
//          (255·t·c + (255 − t)·u·d) / D, the fourth byte D / 255 ("over").
//   24-bit: each channel MUL[t][c] + MUL[255 − t][d].
//   16-bit: the same on the 5-bit fields, c reduced to 5 bits; bit 15 is 0.
//   8-bit:  MUL[t][index] + MUL[255 − t][d] on the index byte itself.
//
// MUL[t][c] + MUL[255 − t][d] never exceeds 255 (nor 31 on 5-bit fields).
#pragma once

#include <cstdint>
#include <span>

#include "gfx/planes/plane.h"
#include "gfx/raster/blend_tables.h"

namespace zelt::gfx::primitive {

// A colour argument 0xAARRGGBB taken apart; index is the low byte, used as
// the pixel value on 8-bit planes.
struct Colour {
  uint8_t red, green, blue, index, alpha;
  explicit Colour(uint32_t value)
      : red(static_cast<uint8_t>(value >> 16)),
        green(static_cast<uint8_t>(value >> 8)),
        blue(static_cast<uint8_t>(value)),
        index(static_cast<uint8_t>(value)),
        alpha(static_cast<uint8_t>(value >> 24)) {}
};

// Primitives draw only into planes of 8, 16, 24 and 32 bits per pixel.
inline bool drawable_bits(int32_t bits) { return bits == 8 || bits == 16 || bits == 24 || bits == 32; }

// Row y of the plane's pixels (bottom-up storage); y in 0 .. height − 1.
inline uint8_t* pixel_row(const Plane& plane, std::span<uint8_t> pixels, int32_t y) {
  return pixels.data() + static_cast<size_t>(plane.height - 1 - y) * static_cast<size_t>(plane.pitch);
}

template <int Bits>
inline void blend_pixel(uint8_t* p, const Colour& c, uint32_t t) {
  if (t == 0) return;
  const BlendLut& mul = blend_tables().mul;
  const uint8_t* in = mul[t];
  const uint8_t* keep = mul[255 - t];
  if constexpr (Bits == 8) {
    p[0] = static_cast<uint8_t>(in[c.index] + keep[p[0]]);
  } else if constexpr (Bits == 16) {
    const uint32_t v = static_cast<uint32_t>(p[0] | p[1] << 8);
    const uint32_t r = in[c.red >> 3] + keep[(v >> 10) & 31];
    const uint32_t g = in[c.green >> 3] + keep[(v >> 5) & 31];
    const uint32_t b = in[c.blue >> 3] + keep[v & 31];
    const uint32_t out = r << 10 | g << 5 | b;
    p[0] = static_cast<uint8_t>(out);
    p[1] = static_cast<uint8_t>(out >> 8);
  } else if constexpr (Bits == 24) {
    p[0] = static_cast<uint8_t>(in[c.blue] + keep[p[0]]);
    p[1] = static_cast<uint8_t>(in[c.green] + keep[p[1]]);
    p[2] = static_cast<uint8_t>(in[c.red] + keep[p[2]]);
  } else {
    static_assert(Bits == 32);
    const uint32_t u = p[3];
    const uint32_t d = (255 - u) * t + 255 * u;  // > 0 since t > 0
    const uint32_t source = 255 * t, kept = (255 - t) * u;
    p[0] = static_cast<uint8_t>((source * c.blue + kept * p[0]) / d);
    p[1] = static_cast<uint8_t>((source * c.green + kept * p[1]) / d);
    p[2] = static_cast<uint8_t>((source * c.red + kept * p[2]) / d);
    p[3] = static_cast<uint8_t>(d / 255);
  }
}

// count pixels from first along a row, all at weight t.
template <int Bits>
inline void blend_run(uint8_t* first, int32_t count, const Colour& c, uint32_t t) {
  for (int32_t i = 0; i < count; ++i) blend_pixel<Bits>(first + static_cast<size_t>(i) * (Bits / 8), c, t);
}

// Calls f.template operator()<Bits>() for a drawable bit count.
template <typename F>
inline void by_bits(int32_t bits, F&& f) {
  switch (bits) {
    case 8: f.template operator()<8>(); break;
    case 16: f.template operator()<16>(); break;
    case 24: f.template operator()<24>(); break;
    case 32: f.template operator()<32>(); break;
    default: break;
  }
}

// Blends pixels (x, y) .. (x + count − 1, y), which must lie inside the plane.
inline void blend_row(const Plane& plane, std::span<uint8_t> pixels, int32_t x, int32_t y, int32_t count,
                      const Colour& c, uint32_t t) {
  uint8_t* first = pixel_row(plane, pixels, y) + static_cast<size_t>(x) * static_cast<size_t>(plane.bit_count / 8);
  by_bits(plane.bit_count, [&]<int Bits>() { blend_run<Bits>(first, count, c, t); });
}

// Blends pixel (x, y) when it lies inside the plane.
inline void blend_at(const Plane& plane, std::span<uint8_t> pixels, int32_t x, int32_t y, const Colour& c,
                     uint32_t t) {
  if (t == 0 || static_cast<uint32_t>(x) >= static_cast<uint32_t>(plane.width) ||
      static_cast<uint32_t>(y) >= static_cast<uint32_t>(plane.height))
    return;
  blend_row(plane, pixels, x, y, 1, c, t);
}

}  // namespace zelt::gfx::primitive
