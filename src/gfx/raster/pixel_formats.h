// How the blend kernels read and write the four pixel formats, and the
// constants of one blit that every pixel needs (converted key and paint
// colours, weights, the mode-12 ramp, colour tables).
//
// A colour is a Px: blue, green, red and the fourth byte of a 32-bit pixel,
// or one channel holding the index byte itself when an 8-bit to 8-bit blit
// works on raw indices (colour mapping off). Each format reads and writes
// its pixels here and nowhere else.
#pragma once

#include <cstdint>
#include <cstring>

#include "gfx/raster/blend_tables.h"

namespace zelt::gfx {

struct Px {
  int32_t c[4];  // blue, green, red, fourth byte; or c[0] alone: a raw index
};

// mix(d, r, k) = d + floor((r − d) × k / 256); stays in 0..255 for k ≤ 256.
inline int32_t mix(int32_t d, int32_t r, int32_t k) { return d + (((r - d) * k) >> 8); }

// The 15-bit index of the inverse colour map and of 16-bit pixels.
inline uint32_t rgb15(const Px& p) {
  return static_cast<uint32_t>((p.c[2] >> 3) << 10 | (p.c[1] >> 3) << 5 | (p.c[0] >> 3));
}

// Everything a kernel needs besides the pixels, fixed before the rows start.
struct BlendContext {
  int32_t w = 0;                  // a + 1 (0 when a = 0)
  int32_t wb = 0;                 // b + 1 (0 when b = 0)
  int32_t alpha = 0;              // a: lower bound of mode 11's window
  int32_t window = 0;             // a + b: upper bound of mode 11's window
  uint32_t src_key = 0;           // K as a source pixel compares (8: index, 16: 15 bits, 24/32: low 24 bits)
  uint32_t dst_key = 0;           // K as a destination pixel compares
  Px src_key_colour{};            // K's colour as the source reads it (interpolated samples compare colours)
  Px paint{};                     // P as the destination reads it (raw 8-bit: the index)
  int32_t select[4] = {};         // mode 22: 0xFF for each channel taken from the source
  const BlendLut* lut = nullptr;  // modes 26, 27
  const BlendTables* tables = nullptr;
  const uint8_t* inverse_map = nullptr;
  uint8_t ramp[256] = {};          // mode 12
  uint32_t src_palette[256] = {};  // the planes' colour tables, zero past their ends
  uint32_t dst_palette[256] = {};
};

inline Px palette_colour(uint32_t rgb) {
  return Px{{static_cast<int32_t>(rgb & 255), static_cast<int32_t>(rgb >> 8 & 255),
             static_cast<int32_t>(rgb >> 16 & 255), 0}};
}

inline Px colour_of_rgb15(uint32_t w, const uint8_t* e5) {
  return Px{{e5[w & 31], e5[w >> 5 & 31], e5[w >> 10 & 31], 0}};
}

inline uint32_t load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline uint32_t load16(const uint8_t* p) { return static_cast<uint32_t>(p[0] | p[1] << 8); }
inline void store16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

// Format traits. Every format has: bytes; channels (1 for raw indices, else
// 3); colour(p, palette) with the fourth byte in c[3] for 32-bit pixels;
// put(p, colour) for the colour channels; key(p), the value compared with
// K; alpha(p) and put_alpha(p, a), the last byte. Formats that carry a
// colour beside an alpha byte also read and write that colour
// (alpha_colour, put_alpha_colour): 16-bit an index, 24-bit a 15-bit pixel,
// 32-bit blue, green, red.

// 8-bit pixels blended as raw index bytes.
struct Raw8 {
  static constexpr int bytes = 1, channels = 1;
  static Px colour(const uint8_t* p, const uint32_t*, const BlendContext&) { return Px{{p[0], 0, 0, 0}}; }
  static void put(uint8_t* p, const Px& v, const BlendContext&) { p[0] = static_cast<uint8_t>(v.c[0]); }
  static uint32_t key(const uint8_t* p) { return p[0]; }
  static int32_t alpha(const uint8_t* p) { return p[0]; }
  static void put_alpha(uint8_t* p, int32_t a) { p[0] = static_cast<uint8_t>(a); }
};

// 8-bit pixels read through their plane's colour table and written through
// the inverse colour map.
struct Pal8 {
  static constexpr int bytes = 1, channels = 3;
  static Px colour(const uint8_t* p, const uint32_t* palette, const BlendContext&) {
    return palette_colour(palette[p[0]]);
  }
  static void put(uint8_t* p, const Px& v, const BlendContext& c) { p[0] = c.inverse_map[rgb15(v)]; }
  static uint32_t key(const uint8_t* p) { return p[0]; }
  static int32_t alpha(const uint8_t* p) { return p[0]; }
  static void put_alpha(uint8_t* p, int32_t a) { p[0] = static_cast<uint8_t>(a); }
};

// X1R5G5B5; 5-bit fields read as floor(i × 255 / 31), written with bit 15 zero.
struct Rgb16 {
  static constexpr int bytes = 2, channels = 3;
  static Px colour(const uint8_t* p, const uint32_t*, const BlendContext& c) {
    return colour_of_rgb15(load16(p), c.tables->e5);
  }
  static void put(uint8_t* p, const Px& v, const BlendContext&) { store16(p, rgb15(v)); }
  static uint32_t key(const uint8_t* p) { return load16(p) & 0x7FFF; }
  static int32_t alpha(const uint8_t* p) { return p[1]; }
  static void put_alpha(uint8_t* p, int32_t a) { p[1] = static_cast<uint8_t>(a); }
  // Alpha format: byte 0 indexes the plane's colour table.
  static Px alpha_colour(const uint8_t* p, const uint32_t* palette, const BlendContext&) {
    return palette_colour(palette[p[0]]);
  }
  static void put_alpha_colour(uint8_t* p, const Px& v, const BlendContext& c) {
    p[0] = c.inverse_map[rgb15(v)];
  }
};

struct Rgb24 {
  static constexpr int bytes = 3, channels = 3;
  static Px colour(const uint8_t* p, const uint32_t*, const BlendContext&) {
    return Px{{p[0], p[1], p[2], 0}};
  }
  static void put(uint8_t* p, const Px& v, const BlendContext&) {
    p[0] = static_cast<uint8_t>(v.c[0]);
    p[1] = static_cast<uint8_t>(v.c[1]);
    p[2] = static_cast<uint8_t>(v.c[2]);
  }
  static uint32_t key(const uint8_t* p) { return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16); }
  static int32_t alpha(const uint8_t* p) { return p[2]; }
  static void put_alpha(uint8_t* p, int32_t a) { p[2] = static_cast<uint8_t>(a); }
  // Alpha format: bytes 0-1 hold a 16-bit pixel.
  static Px alpha_colour(const uint8_t* p, const uint32_t*, const BlendContext& c) {
    return colour_of_rgb15(load16(p), c.tables->e5);
  }
  static void put_alpha_colour(uint8_t* p, const Px& v, const BlendContext&) { store16(p, rgb15(v)); }
};

struct Rgb32 {
  static constexpr int bytes = 4, channels = 3;
  static Px colour(const uint8_t* p, const uint32_t*, const BlendContext&) {
    const uint32_t v = load32(p);
    return Px{{static_cast<int32_t>(v & 255), static_cast<int32_t>(v >> 8 & 255),
               static_cast<int32_t>(v >> 16 & 255), static_cast<int32_t>(v >> 24)}};
  }
  static void put(uint8_t* p, const Px& v, const BlendContext&) {
    store32(p, (load32(p) & 0xFF000000u) | static_cast<uint32_t>(v.c[0] | v.c[1] << 8 | v.c[2] << 16));
  }
  // All four bytes, for the modes that treat the fourth byte as a channel.
  static void put4(uint8_t* p, const Px& v) {
    store32(p, static_cast<uint32_t>(v.c[0] | v.c[1] << 8 | v.c[2] << 16) | static_cast<uint32_t>(v.c[3])
                                                                                << 24);
  }
  static uint32_t key(const uint8_t* p) { return load32(p) & 0xFFFFFF; }
  static int32_t alpha(const uint8_t* p) { return p[3]; }
  static void put_alpha(uint8_t* p, int32_t a) { p[3] = static_cast<uint8_t>(a); }
  static Px alpha_colour(const uint8_t* p, const uint32_t* palette, const BlendContext& c) {
    return colour(p, palette, c);
  }
  static void put_alpha_colour(uint8_t* p, const Px& v, const BlendContext& c) { put(p, v, c); }
};

// The format pair of a kernel. Raw indices only meet raw indices.
template <class S, class D>
struct FormatPair {
  using Src = S;
  using Dst = D;
  static_assert((S::channels == 1) == (D::channels == 1));
  // Channels the colour modes compute: the fourth byte joins in 32-to-32-bit
  // blits of the modes that say "all four bytes".
  static constexpr int colour_channels = S::channels;
  static constexpr int all_channels = S::bytes == 4 && D::bytes == 4 ? 4 : S::channels;
};

}  // namespace zelt::gfx
