// The blitter operations in plain integer code, for either weight rule: the
// whole plain object, the SIMD object's other slots and the row ends its
// vector loops leave over. Internal to the blitter files.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <type_traits>

#include "gfx/raster/blitter.h"

namespace zelt::gfx::blitter_detail {

struct PlainWeight {
  static uint32_t of(uint8_t v) { return plain_blend_weight(v); }
};
struct SimdWeight {
  static uint32_t of(uint8_t v) { return simd_blend_weight(v); }
};

// One channel: x + floor((y − x) × w / 256), written with both products
// non-negative (their sum stays below 65536 for w ≤ 256).
inline uint32_t blend_channel(uint32_t x, uint32_t y, uint32_t w) { return (x * (256 - w) + y * w) >> 8; }

// Two 8-bit channels at once in the lanes 0x00FF00FF: the borrows of negative
// differences only reach the bits the mask drops, so each lane is exact.
inline uint32_t blend_lanes(uint32_t x, uint32_t y, uint32_t w) {
  return (x + (((y - x) * w) >> 8)) & 0x00FF00FFu;
}
inline uint32_t blend_bytes4(uint32_t x, uint32_t y, uint32_t w) {
  return blend_lanes(x & 0x00FF00FFu, y & 0x00FF00FFu, w) |
         blend_lanes((x >> 8) & 0x00FF00FFu, (y >> 8) & 0x00FF00FFu, w) << 8;
}

// 8-bit colour as blits read 16-bit fields.
inline uint32_t expand5(uint32_t c) { return c * 255 / 31; }
inline uint32_t expand6(uint32_t c) { return c * 255 / 63; }

struct Rgb {
  uint32_t r, g, b;
};

// Pixel formats. Pixels travel as uint32_t values (little-endian bytes).
struct Bgra32 {
  static constexpr int kBytes = 4;
  static constexpr uint32_t kColourBits = 0xFFFFFF;
  static uint32_t load(const uint8_t* p) {
    return p[0] | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
  }
  static void store(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
  }
  static uint32_t blend(uint32_t x, uint32_t y, uint32_t w) { return blend_bytes4(x, y, w); }
  // v's colour with the fourth byte of keep.
  static uint32_t with_fourth(uint32_t v, uint32_t keep) { return (v & 0xFFFFFF) | (keep & 0xFF000000u); }
  static Rgb decode(uint32_t v) { return {(v >> 16) & 255, (v >> 8) & 255, v & 255}; }
  static uint32_t encode(Rgb c, uint32_t fourth) { return c.r << 16 | c.g << 8 | c.b | fourth << 24; }
};

struct Bgr24 {
  static constexpr int kBytes = 3;
  static constexpr uint32_t kColourBits = 0xFFFFFF;
  static uint32_t load(const uint8_t* p) { return p[0] | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16; }
  static void store(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
  }
  static uint32_t blend(uint32_t x, uint32_t y, uint32_t w) { return blend_bytes4(x, y & 0xFFFFFF, w); }
  static uint32_t with_fourth(uint32_t v, uint32_t) { return v; }
  static Rgb decode(uint32_t v) { return {(v >> 16) & 255, (v >> 8) & 255, v & 255}; }
  static uint32_t encode(Rgb c, uint32_t) { return c.r << 16 | c.g << 8 | c.b; }
};

struct Pixel16 {
  static constexpr int kBytes = 2;
  static uint32_t load(const uint8_t* p) { return p[0] | uint32_t{p[1]} << 8; }
  static void store(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
  }
  static uint32_t with_fourth(uint32_t v, uint32_t) { return v; }
};

struct Rgb565 : Pixel16 {
  static constexpr uint32_t kColourBits = 0xFFFF;
  static uint32_t blend(uint32_t x, uint32_t y, uint32_t w) {
    return blend_channel(x >> 11, (y >> 11) & 31, w) << 11 |
           blend_channel((x >> 5) & 63, (y >> 5) & 63, w) << 5 | blend_channel(x & 31, y & 31, w);
  }
  static Rgb decode(uint32_t v) { return {expand5((v >> 11) & 31), expand6((v >> 5) & 63), expand5(v & 31)}; }
  static uint32_t encode(Rgb c, uint32_t) { return (c.r >> 3) << 11 | (c.g >> 2) << 5 | c.b >> 3; }
};

struct Rgb555 : Pixel16 {
  static constexpr uint32_t kColourBits = 0x7FFF;
  static uint32_t blend(uint32_t x, uint32_t y, uint32_t w) {
    return blend_channel((x >> 10) & 31, (y >> 10) & 31, w) << 10 |
           blend_channel((x >> 5) & 31, (y >> 5) & 31, w) << 5 | blend_channel(x & 31, y & 31, w);
  }
  static Rgb decode(uint32_t v) { return {expand5((v >> 10) & 31), expand5((v >> 5) & 31), expand5(v & 31)}; }
  static uint32_t encode(Rgb c, uint32_t) { return (c.r >> 3) << 10 | (c.g >> 3) << 5 | c.b >> 3; }
};

template <class F>
bool matches(uint32_t pixel, uint32_t key) {
  return ((pixel ^ key) & F::kColourBits) == 0;
}

// Rows --------------------------------------------------------------------
// Each takes n pixels from the given first ones; an output equal to an input
// is read before it is written.

template <class F>
void alpha_key_row(int32_t n, uint32_t w, uint8_t* o, const uint8_t* b, const uint8_t* s, uint32_t key) {
  for (int32_t i = 0; i < n; ++i, o += F::kBytes, b += F::kBytes, s += F::kBytes) {
    const uint32_t sp = F::load(s), bp = F::load(b);
    F::store(o, matches<F>(sp, key) ? bp : F::blend(bp, sp, w));
  }
}

template <class F, class W>
void alpha_map_row(int32_t n, const uint8_t* m, uint8_t* o, const uint8_t* b, const uint8_t* s) {
  for (int32_t i = 0; i < n; ++i, o += F::kBytes, b += F::kBytes, s += F::kBytes)
    F::store(o, F::blend(F::load(b), F::load(s), W::of(m[i])));
}

template <class F, class W>
void paint_map_row(int32_t n, const uint8_t* m, uint8_t* o, const uint8_t* b, uint32_t paint) {
  for (int32_t i = 0; i < n; ++i, o += F::kBytes, b += F::kBytes) {
    const uint32_t bp = F::load(b);
    F::store(o, F::with_fourth(F::blend(bp, paint, W::of(m[i])), bp));
  }
}

template <class F>
void alpha_row(int32_t n, uint32_t w, uint8_t* o, const uint8_t* b, const uint8_t* s) {
  for (int32_t i = 0; i < n; ++i, o += F::kBytes, b += F::kBytes, s += F::kBytes)
    F::store(o, F::blend(F::load(b), F::load(s), w));
}

template <class F>
void tint_row(int32_t n, uint32_t w, uint8_t* o, const uint8_t* s, uint32_t paint, std::optional<uint32_t> key) {
  for (int32_t i = 0; i < n; ++i, o += F::kBytes, s += F::kBytes) {
    const uint32_t sp = F::load(s);
    if (key && matches<F>(sp, *key)) continue;
    F::store(o, F::with_fourth(F::blend(sp, paint, w), F::kBytes == 4 ? F::load(o) : 0));
  }
}

// The same per-channel blend over a run of bytes (constant-weight blends of
// 32- and 24-bit pixels do not care where a pixel starts).
inline void blend_bytes_row(int32_t n, uint32_t w, uint8_t* o, const uint8_t* x, const uint8_t* y) {
  for (int32_t i = 0; i < n; ++i) o[i] = static_cast<uint8_t>(blend_channel(x[i], y[i], w));
}

template <class Out, class In>
uint32_t repack_pixel(uint32_t v) {
  if constexpr (std::is_same_v<Out, In>) {
    return v & Out::kColourBits;
  } else if constexpr (Out::kColourBits == 0xFFFF) {  // 5-5-5 → 5-6-5
    const uint32_t g = (v >> 5) & 31;
    return ((v >> 10) & 31) << 11 | (g << 1 | g >> 4) << 5 | (v & 31);
  } else {  // 5-6-5 → 5-5-5
    return (v >> 11) << 10 | ((v >> 6) & 31) << 5 | (v & 31);
  }
}

inline uint32_t luminance(Rgb c) { return (38 * c.r + 77 * c.g + 13 * c.b) >> 7; }

// The whole rectangle: row(y) for each row.
template <class Row>
void each_row(int32_t width, int32_t height, Row&& row) {
  if (width <= 0 || height <= 0) return;
  for (int32_t y = 0; y < height; ++y) row(y);
}

// Kinds ---------------------------------------------------------------------
// One function template per kind of slot, over output format, input format
// and weight rule.

template <class Out, class In, class W>
void alpha_key(int32_t width, int32_t height, ZELT_BLITTER_PARAMS_alpha_key) {
  const uint32_t w = W::of(alpha);
  each_row(width, height, [&](int32_t y) {
    alpha_key_row<Out>(width, w, out.row(y), base.row(y), source.row(y), key);
  });
}

template <class Out, class In, class W>
void alpha_map(int32_t width, int32_t height, ZELT_BLITTER_PARAMS_alpha_map) {
  each_row(width, height, [&](int32_t y) {
    alpha_map_row<Out, W>(width, map.row(y), out.row(y), base.row(y), source.row(y));
  });
}

template <class Out, class In, class W>
void paint_map(int32_t width, int32_t height, ZELT_BLITTER_PARAMS_paint_map) {
  each_row(width, height, [&](int32_t y) { paint_map_row<Out, W>(width, map.row(y), out.row(y), base.row(y), paint); });
}

template <class Out, class In, class W>
void alpha(int32_t width, int32_t height, ZELT_BLITTER_PARAMS_alpha) {
  const uint32_t w = W::of(alpha);
  each_row(width, height, [&](int32_t y) { alpha_row<Out>(width, w, out.row(y), base.row(y), source.row(y)); });
}

template <class Out, class In, class W>
void tint(int32_t width, int32_t height, ZELT_BLITTER_PARAMS_tint) {
  const uint32_t w = W::of(alpha);
  each_row(width, height, [&](int32_t y) { tint_row<Out>(width, w, out.row(y), source.row(y), paint, key); });
}

template <class Out, class In, class W>
void copy_key(int32_t width, int32_t height, ZELT_BLITTER_PARAMS_copy_key) {
  each_row(width, height, [&](int32_t y) {
    uint8_t* o = out.row(y);
    const uint8_t* s = source.row(y);
    for (int32_t i = 0; i < width; ++i, o += Out::kBytes, s += In::kBytes) {
      const uint32_t v = In::load(s);
      if (!matches<In>(v, key)) Out::store(o, Out::kBytes == 2 ? v & Out::kColourBits : v);
    }
  });
}

template <class Out, class In, class W>
void copy(int32_t width, int32_t height, ZELT_BLITTER_PARAMS_copy) {
  each_row(width, height, [&](int32_t y) {
    std::memmove(out.row(y), source.row(y), static_cast<size_t>(width) * Out::kBytes);
  });
}

template <class Out, class In, class W>
void repack(int32_t width, int32_t height, ZELT_BLITTER_PARAMS_repack) {
  each_row(width, height, [&](int32_t y) {
    uint8_t* o = out.row(y);
    const uint8_t* s = source.row(y);
    for (int32_t i = 0; i < width; ++i, o += Out::kBytes, s += In::kBytes)
      Out::store(o, repack_pixel<Out, In>(In::load(s)));
  });
}

template <class Out, class In, class W>
void repack_key(int32_t width, int32_t height, ZELT_BLITTER_PARAMS_repack_key) {
  each_row(width, height, [&](int32_t y) {
    uint8_t* o = out.row(y);
    const uint8_t* s = source.row(y);
    for (int32_t i = 0; i < width; ++i, o += Out::kBytes, s += In::kBytes) {
      const uint32_t v = In::load(s);
      if (!matches<In>(v, key)) Out::store(o, repack_pixel<Out, In>(v));
    }
  });
}

template <class Out, class In, class W>
void convert(int32_t width, int32_t height, ZELT_BLITTER_PARAMS_convert) {
  each_row(width, height, [&](int32_t y) {
    uint8_t* o = out.row(y);
    const uint8_t* s = source.row(y);
    for (int32_t i = 0; i < width; ++i, o += Out::kBytes, s += In::kBytes)
      Out::store(o, Out::encode(In::decode(In::load(s)), 255));
  });
}

// Grey operations: per pixel of colour c, the new colour; a 32-bit output
// keeps its fourth byte; with a key, pixels whose source matches stay.
template <class Out, class In, class Colour>
void grey_rows(int32_t width, int32_t height, PixelRows out, ConstPixelRows source, std::optional<uint32_t> key,
               Colour&& colour) {
  each_row(width, height, [&](int32_t y) {
    uint8_t* o = out.row(y);
    const uint8_t* s = source.row(y);
    for (int32_t i = 0; i < width; ++i, o += Out::kBytes, s += In::kBytes) {
      const uint32_t v = In::load(s);
      if (key && matches<In>(v, *key)) continue;
      const uint32_t fourth = Out::kBytes == 4 ? o[3] : 0;
      Out::store(o, Out::encode(colour(In::decode(v)), fourth));
    }
  });
}

inline auto toward_grey(uint8_t alpha) {
  return [w = alpha + 1u](Rgb c) {
    const uint32_t l = luminance(c);
    return Rgb{blend_channel(c.r, l, w), blend_channel(c.g, l, w), blend_channel(c.b, l, w)};
  };
}

inline auto grey_times(uint32_t paint) {
  return [paint](Rgb c) {
    const uint32_t l = luminance(c);
    return Rgb{(l * (((paint >> 16) & 255) + 1)) >> 8, (l * (((paint >> 8) & 255) + 1)) >> 8,
               (l * ((paint & 255) + 1)) >> 8};
  };
}

template <class Out, class In, class W>
void grey(int32_t width, int32_t height, ZELT_BLITTER_PARAMS_grey) {
  grey_rows<Out, In>(width, height, out, source, std::nullopt, toward_grey(alpha));
}
template <class Out, class In, class W>
void grey_key(int32_t width, int32_t height, ZELT_BLITTER_PARAMS_grey_key) {
  grey_rows<Out, In>(width, height, out, source, key, toward_grey(alpha));
}
template <class Out, class In, class W>
void grey_paint(int32_t width, int32_t height, ZELT_BLITTER_PARAMS_grey_paint) {
  grey_rows<Out, In>(width, height, out, source, std::nullopt, grey_times(paint));
}
template <class Out, class In, class W>
void grey_paint_key(int32_t width, int32_t height, ZELT_BLITTER_PARAMS_grey_paint_key) {
  grey_rows<Out, In>(width, height, out, source, key, grey_times(paint));
}

// Every slot in plain code with the weight rule W.
template <class W>
class ScalarBlitter : public Blitter {
 public:
#define ZELT_SLOT(number, name, kind, Out, In)                                      \
  void name(int32_t width, int32_t height, ZELT_BLITTER_PARAMS_##kind) const override { \
    blitter_detail::kind<Out, In, W>(width, height, ZELT_BLITTER_ARGS_##kind);      \
  }
  ZELT_BLITTER_SLOTS(ZELT_SLOT)
#undef ZELT_SLOT
};

}  // namespace zelt::gfx::blitter_detail
