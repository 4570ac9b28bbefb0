// What one destination pixel becomes in each blend mode: BlendOp<mode> is
// the per-pixel operation, written once per mode for every format pair. It
// reads the source through a sample (a pixel, a pixel with its mask byte,
// or an interpolated sample) and the destination through its format.
//
// A sample offers colour(c) (blue, green, red, fourth byte), alpha_colour(c)
// (the colour beside the alpha byte in alpha format; the plain colour when a
// mask gives the alpha), alpha() (the alpha byte, or the mask byte) and
// is_key(c).
#pragma once

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "gfx/raster/pixel_formats.h"

namespace zelt::gfx {

// The source values a mode reads: interpolating samples compute only these.
enum SourceReads : unsigned { kReadColour = 1, kReadAlphaColour = 2, kReadAlpha = 4 };

// The source pixel itself, at p.
template <class S>
struct PixelSample {
  using Format = S;
  static constexpr bool has_pixel = true;
  const uint8_t* p;
  Px colour(const BlendContext& c) const { return S::colour(p, c.src_palette, c); }
  Px alpha_colour(const BlendContext& c) const { return S::alpha_colour(p, c.src_palette, c); }
  int32_t alpha() const { return S::alpha(p); }
  bool is_key(const BlendContext& c) const { return S::key(p) == c.src_key; }
};

// A source pixel read as plain colour with the alpha from its mask byte.
template <class S>
struct MaskedSample {
  using Format = S;
  static constexpr bool has_pixel = true;
  const uint8_t* p;
  int32_t m;
  Px colour(const BlendContext& c) const { return S::colour(p, c.src_palette, c); }
  Px alpha_colour(const BlendContext& c) const { return S::colour(p, c.src_palette, c); }
  int32_t alpha() const { return m; }
  bool is_key(const BlendContext& c) const { return S::key(p) == c.src_key; }
};

// An interpolated source: only the values the mode reads are filled in. It
// equals the key when its colour equals the key's colour.
template <class S>
struct InterpolatedSample {
  using Format = S;
  static constexpr bool has_pixel = false;
  const uint8_t* p = nullptr;  // unused
  Px colour_{}, alpha_colour_{};
  int32_t alpha_ = 0;
  Px colour(const BlendContext&) const { return colour_; }
  Px alpha_colour(const BlendContext&) const { return alpha_colour_; }
  int32_t alpha() const { return alpha_; }
  bool is_key(const BlendContext& c) const {
    return colour_.c[0] == c.src_key_colour.c[0] && colour_.c[1] == c.src_key_colour.c[1] &&
           colour_.c[2] == c.src_key_colour.c[2];
  }
};

namespace blend {

// floor(n / d) for n < 2^24 and 0 < d < 2^16, given inverse = 1.0f / d: the
// float quotient is within 2^-15 of n / d (at most 256), so its integer
// part is off by at most one, which the integer test mends.
inline int32_t exact_quotient(uint32_t n, uint32_t d, float inverse) {
  uint32_t q = static_cast<uint32_t>(static_cast<float>(n) * inverse);
  if (q * d > n)
    --q;
  else if ((q + 1) * d <= n)
    ++q;
  return static_cast<int32_t>(q);
}

template <class P>
Px dst_colour(const uint8_t* d, const BlendContext& c) {
  return P::Dst::colour(d, c.dst_palette, c);
}

// Writes the channels a mode computed: the colour, and the fourth byte too
// where the pair has four channels.
template <class P>
void put_all(uint8_t* d, const Px& v, const BlendContext& c) {
  if constexpr (P::all_channels == 4)
    Rgb32::put4(d, v);
  else
    P::Dst::put(d, v, c);
}

// d = s. Pixels of one format are copied as they are (a 32-bit pixel with
// its fourth byte); palette colours go through the inverse colour map.
template <class P, class Sample>
void copy(const Sample& s, uint8_t* d, const BlendContext& c) {
  using S = typename P::Src;
  if constexpr (Sample::has_pixel && std::is_same_v<S, typename P::Dst> && !std::is_same_v<S, Pal8>)
    std::memcpy(d, s.p, S::bytes);
  else
    put_all<P>(d, s.colour(c), c);
}

// Per channel over the first N channels.
template <int N, class F>
Px per_channel(const Px& a, const Px& b, F f) {
  Px r = a;
  for (int i = 0; i < N; ++i) r.c[i] = f(a.c[i], b.c[i]);
  return r;
}

// The source-alpha blend of modes 7 and 10: weight t = (A × w) >> 8.
// 32-bit destinations keep an alpha of their own in the fourth byte u and
// the result is the colour of s over d: with D = (255 − u) t + 255 u each
// channel is (255 t s + (255 − t) u d) / D and the fourth byte D / 255.
template <class P>
void source_alpha(const Px& s, int32_t a, uint8_t* d, const BlendContext& c) {
  using D = typename P::Dst;
  const int32_t t = (a * c.w) >> 8;
  if constexpr (std::is_same_v<D, Rgb32>) {
    const Px dv = dst_colour<P>(d, c);
    const int32_t u = dv.c[3];
    Px r = s;
    if (u == 255) {
      // D = 65025: (t s + (255 − t) d) / 255, which also gives d at t = 0
      // and s at t = 255, so an opaque destination needs no other case.
      for (int i = 0; i < 3; ++i) r.c[i] = (t * s.c[i] + (255 - t) * dv.c[i]) / 255;
      r.c[3] = 255;
    } else {
      if (t == 0) return;
      if (t == 255) {
        r.c[3] = 255;
      } else {
        const uint32_t den = static_cast<uint32_t>((255 - u) * t + 255 * u);
        if (u != 0) {  // u = 0 leaves the source colour
          const float inverse = 1.0f / static_cast<float>(den);
          for (int i = 0; i < 3; ++i)
            r.c[i] = exact_quotient(static_cast<uint32_t>(255 * t * s.c[i] + (255 - t) * u * dv.c[i]), den,
                                    inverse);
        }
        r.c[3] = static_cast<int32_t>(den / 255);
      }
    }
    Rgb32::put4(d, r);
  } else {
    // t = 0 leaves the pixel as it is (rewriting it would clear a 16-bit
    // pixel's top bit or remap a palette index); k = 256 at t = 255: d = s.
    if (t == 0) return;
    const int32_t k = t + 1;
    D::put(d,
           per_channel<P::colour_channels>(dst_colour<P>(d, c), s,
                                           [k](int32_t dc, int32_t sc) { return mix(dc, sc, k); }),
           c);
  }
}

// Modes 8 and 9: the destination's own alpha weight t decides how much of
// it stays; its alpha byte is kept.
template <class P>
void destination_alpha(const Px& s, int32_t t, uint8_t* d, const BlendContext& c) {
  using D = typename P::Dst;
  if (t == 0) {
    D::put_alpha_colour(d, s, c);
  } else if (t < 255) {
    const Px dv = D::alpha_colour(d, c.dst_palette, c);
    const int32_t k = t + 1;
    D::put_alpha_colour(d, per_channel<3>(s, dv, [k](int32_t sc, int32_t dc) { return mix(sc, dc, k); }), c);
  }
}

// Modes 24, 25 and 27: the colour v painted with weight t; a 32-bit
// destination's fourth byte moves toward 255 by the same weight.
template <class P>
void paint_through(const Px& v, const Px& dv, int32_t t, uint8_t* d, const BlendContext& c) {
  if (t == 0) return;
  Px r = v;
  if (t != 255) {
    const int32_t k = t + 1;
    r = per_channel<P::colour_channels>(dv, v, [k](int32_t dc, int32_t vc) { return mix(dc, vc, k); });
  }
  if constexpr (std::is_same_v<typename P::Dst, Rgb32>) {
    const int32_t u = dv.c[3];
    r.c[3] = t == 255 ? 255 : u + (((255 - u) * (t + 1)) >> 8);
    Rgb32::put4(d, r);
  } else {
    P::Dst::put(d, r, c);
  }
}

// mix(d, f(s, d), w) over the pair's channels (the fourth byte included for
// 32-bit to 32-bit blits).
template <class P, class Sample, class F>
void weighted(const Sample& s, uint8_t* d, const BlendContext& c, F f) {
  const int32_t w = c.w;
  put_all<P>(d,
             per_channel<P::all_channels>(dst_colour<P>(d, c), s.colour(c),
                                          [w, f](int32_t dc, int32_t sc) { return mix(dc, f(sc, dc), w); }),
             c);
}

template <class P>
Px tinted(const Px& s, const BlendContext& c) {
  const int32_t wb = c.wb;
  return per_channel<P::colour_channels>(s, c.paint,
                                         [wb](int32_t sc, int32_t pc) { return mix(sc, pc, wb); });
}

}  // namespace blend

template <int Mode>
struct BlendOp;

// 0 copy: d = s.
template <>
struct BlendOp<0> {
  static constexpr unsigned reads = kReadColour;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    blend::copy<P>(s, d, c);
  }
};

// 1 source key: d = s where the source pixel is not K.
template <>
struct BlendOp<1> {
  static constexpr unsigned reads = kReadColour;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    if (!s.is_key(c)) blend::copy<P>(s, d, c);
  }
};

// 2 destination key: d = s where the destination pixel is K; on 32-bit
// destinations where it is not.
template <>
struct BlendOp<2> {
  static constexpr unsigned reads = kReadColour;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    using D = typename P::Dst;
    const bool equal = D::key(d) == c.dst_key;
    if (std::is_same_v<D, Rgb32> ? !equal : equal) blend::copy<P>(s, d, c);
  }
};

// 3 alpha: d = mix(d, s, w).
template <>
struct BlendOp<3> {
  static constexpr unsigned reads = kReadColour;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    blend::weighted<P>(s, d, c, [](int32_t sc, int32_t) { return sc; });
  }
};

// 4 alpha and source key: mode 3 where the source pixel is not K.
template <>
struct BlendOp<4> {
  static constexpr unsigned reads = kReadColour;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    if (!s.is_key(c)) BlendOp<3>::apply<P>(s, d, c);
  }
};

// 5 tint: d = mix(s, P, wb).
template <>
struct BlendOp<5> {
  static constexpr unsigned reads = kReadColour;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    P::Dst::put(d, blend::tinted<P>(s.colour(c), c), c);
  }
};

// 6 tint and source key.
template <>
struct BlendOp<6> {
  static constexpr unsigned reads = kReadColour;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    if (!s.is_key(c)) BlendOp<5>::apply<P>(s, d, c);
  }
};

// 7 source alpha.
template <>
struct BlendOp<7> {
  static constexpr unsigned reads = kReadAlphaColour | kReadAlpha;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    blend::source_alpha<P>(s.alpha_colour(c), s.alpha(), d, c);
  }
};

// 8 destination alpha: t from the destination's alpha byte and w.
template <>
struct BlendOp<8> {
  static constexpr unsigned reads = kReadColour;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    blend::destination_alpha<P>(s.colour(c), (P::Dst::alpha(d) * c.w) >> 8, d, c);
  }
};

// 9 both alphas: t = T9[destination alpha][255 − source alpha].
template <>
struct BlendOp<9> {
  static constexpr unsigned reads = kReadColour | kReadAlpha;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    blend::destination_alpha<P>(s.colour(c), c.tables->t9[P::Dst::alpha(d)][255 - s.alpha()], d, c);
  }
};

// 10 tinted source alpha: the source tinted toward P, then mode 7.
template <>
struct BlendOp<10> {
  static constexpr unsigned reads = kReadAlphaColour | kReadAlpha;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    blend::source_alpha<P>(blend::tinted<P>(s.alpha_colour(c), c), s.alpha(), d, c);
  }
};

// 11 alpha window: d = s (colour only) where a ≤ A ≤ a + b.
template <>
struct BlendOp<11> {
  static constexpr unsigned reads = kReadAlphaColour | kReadAlpha;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    const int32_t a = s.alpha();
    if (a >= c.alpha && a <= c.window) P::Dst::put(d, s.alpha_colour(c), c);
  }
};

// 12 alpha ramp: o = L[A]; 255 copies, 0 leaves, else mix(d, s, o + 1).
template <>
struct BlendOp<12> {
  static constexpr unsigned reads = kReadAlphaColour | kReadAlpha;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    const int32_t o = c.ramp[s.alpha()];
    if (o == 0) return;
    const int32_t k = o + 1;  // 256 when o = 255: d = s
    P::Dst::put(
        d,
        blend::per_channel<P::colour_channels>(blend::dst_colour<P>(d, c), s.alpha_colour(c),
                                               [k](int32_t dc, int32_t sc) { return mix(dc, sc, k); }),
        c);
  }
};

// 13 add: d = CLAMP[d + (w s >> 8)].
template <>
struct BlendOp<13> {
  static constexpr unsigned reads = kReadColour;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    const uint8_t* clamp = c.tables->clamp + 256;
    const int32_t w = c.w;
    blend::put_all<P>(d,
                      blend::per_channel<P::all_channels>(blend::dst_colour<P>(d, c), s.colour(c),
                                                          [clamp, w](int32_t dc, int32_t sc) {
                                                            return int32_t{clamp[dc + ((w * sc) >> 8)]};
                                                          }),
                      c);
  }
};

// 14 subtract: d = CLAMP[d − (w s >> 8)].
template <>
struct BlendOp<14> {
  static constexpr unsigned reads = kReadColour;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    const uint8_t* clamp = c.tables->clamp + 256;
    const int32_t w = c.w;
    blend::put_all<P>(d,
                      blend::per_channel<P::all_channels>(blend::dst_colour<P>(d, c), s.colour(c),
                                                          [clamp, w](int32_t dc, int32_t sc) {
                                                            return int32_t{clamp[dc - ((w * sc) >> 8)]};
                                                          }),
                      c);
  }
};

// 15 multiply: d = mix(d, MUL[s][d], w).
template <>
struct BlendOp<15> {
  static constexpr unsigned reads = kReadColour;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    const BlendLut& mul = c.tables->mul;
    blend::weighted<P>(s, d, c, [&mul](int32_t sc, int32_t dc) { return int32_t{mul[sc][dc]}; });
  }
};

// 16, 17, 18: d = mix(d, s and/or/xor d, w).
template <>
struct BlendOp<16> {
  static constexpr unsigned reads = kReadColour;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    blend::weighted<P>(s, d, c, [](int32_t sc, int32_t dc) { return sc & dc; });
  }
};
template <>
struct BlendOp<17> {
  static constexpr unsigned reads = kReadColour;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    blend::weighted<P>(s, d, c, [](int32_t sc, int32_t dc) { return sc | dc; });
  }
};
template <>
struct BlendOp<18> {
  static constexpr unsigned reads = kReadColour;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    blend::weighted<P>(s, d, c, [](int32_t sc, int32_t dc) { return sc ^ dc; });
  }
};

// 19 screen: d = mix(d, 255 − MUL[255 − d][255 − s], w).
template <>
struct BlendOp<19> {
  static constexpr unsigned reads = kReadColour;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    const BlendLut& mul = c.tables->mul;
    blend::weighted<P>(s, d, c, [&mul](int32_t sc, int32_t dc) { return 255 - mul[255 - dc][255 - sc]; });
  }
};

// 20 lighten, 21 darken.
template <>
struct BlendOp<20> {
  static constexpr unsigned reads = kReadColour;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    blend::weighted<P>(s, d, c, [](int32_t sc, int32_t dc) { return std::max(sc, dc); });
  }
};
template <>
struct BlendOp<21> {
  static constexpr unsigned reads = kReadColour;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    blend::weighted<P>(s, d, c, [](int32_t sc, int32_t dc) { return std::min(sc, dc); });
  }
};

// 22 channel select: d = (s and m) or (d and not m), m from the channel-mask
// nibble. Channels of 16-bit pixels are their 5-bit fields (the same
// through the 8-bit expansion); 8-bit destinations combine colours.
template <>
struct BlendOp<22> {
  static constexpr unsigned reads = kReadColour;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    Px dv = blend::dst_colour<P>(d, c);
    const Px sv = s.colour(c);
    for (int i = 0; i < P::all_channels; ++i) dv.c[i] = (sv.c[i] & c.select[i]) | (dv.c[i] & ~c.select[i]);
    blend::put_all<P>(d, dv, c);
  }
};

// 23 copy alpha: the destination's alpha byte becomes the source's.
template <>
struct BlendOp<23> {
  static constexpr unsigned reads = kReadAlpha;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext&) {
    P::Dst::put_alpha(d, s.alpha());
  }
};

// 24 paint through coverage: the 8-bit source is a coverage of P.
template <>
struct BlendOp<24> {
  static constexpr unsigned reads = kReadAlpha;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    const int32_t t = (s.alpha() * c.w) >> 8;
    if (t != 0) blend::paint_through<P>(c.paint, blend::dst_colour<P>(d, c), t, d, c);
  }
};

// 25 grey tint through alpha: the source's grey tinted toward P, painted
// with the source alpha.
template <>
struct BlendOp<25> {
  static constexpr unsigned reads = kReadAlphaColour | kReadAlpha;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    const int32_t t = (s.alpha() * c.w) >> 8;
    if (t == 0) return;
    const Px sv = s.alpha_colour(c);
    const int32_t g = (19595 * sv.c[2] + 38470 * sv.c[1] + 7471 * sv.c[0]) >> 16;
    const Px grey{{g, g, g, 0}};
    blend::paint_through<P>(blend::tinted<P>(grey, c), blend::dst_colour<P>(d, c), t, d, c);
  }
};

// 26 table blend: d = mix(d, LUT[s][d], w) on the colour channels.
template <>
struct BlendOp<26> {
  static constexpr unsigned reads = kReadColour;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    const BlendLut& lut = *c.lut;
    const int32_t w = c.w;
    P::Dst::put(d,
                blend::per_channel<P::colour_channels>(
                    blend::dst_colour<P>(d, c), s.colour(c),
                    [&lut, w](int32_t dc, int32_t sc) { return mix(dc, lut[sc][dc], w); }),
                c);
  }
};

// 27 table blend through the source alpha.
template <>
struct BlendOp<27> {
  static constexpr unsigned reads = kReadAlphaColour | kReadAlpha;
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    const int32_t t = (s.alpha() * c.w) >> 8;
    if (t == 0) return;
    const BlendLut& lut = *c.lut;
    const Px dv = blend::dst_colour<P>(d, c);
    const Px v = blend::per_channel<P::colour_channels>(
        s.alpha_colour(c), dv, [&lut](int32_t sc, int32_t dc) { return int32_t{lut[sc][dc]}; });
    blend::paint_through<P>(v, dv, t, d, c);
  }
};

// gcopy's fast constant-alpha blend (modes 3 and 4) rounds each term down:
// floor(d (256 − w) / 256) + floor(s w / 256), on all four bytes of 32-bit
// to 32-bit pixels.
struct ConstantAlphaOp {
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    const int32_t w = c.w;
    blend::put_all<P>(d,
                      blend::per_channel<P::all_channels>(
                          blend::dst_colour<P>(d, c), s.colour(c),
                          [w](int32_t dc, int32_t sc) { return ((dc * (256 - w)) >> 8) + ((sc * w) >> 8); }),
                      c);
  }
};

struct KeyedConstantAlphaOp {
  template <class P, class Sample>
  static void apply(const Sample& s, uint8_t* d, const BlendContext& c) {
    if (!s.is_key(c)) ConstantAlphaOp::apply<P>(s, d, c);
  }
};

}  // namespace zelt::gfx
