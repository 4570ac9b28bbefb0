#include "gfx/p3d/raster.h"

#include <algorithm>
#include <utility>

namespace zelt::gfx {
namespace {

// Channel access per pixel size: channels are bytes in the order blue,
// green, red. 8-bit pixels have one (a palette index); 16-bit pixels are
// 5-5-5 words whose channels are expanded to bytes and packed back.
template <int B>
struct Pixel;

template <>
struct Pixel<1> {
  static constexpr int kChannels = 1;
  static void read(const uint8_t* p, int c[3]) { c[0] = p[0]; }
  static void write(uint8_t* p, const int c[3], int) { p[0] = static_cast<uint8_t>(c[0]); }
  static int alpha(const uint8_t*) { return 0; }
};

template <>
struct Pixel<2> {
  static constexpr int kChannels = 3;
  static int expand(int v) { return (v << 3) | (v >> 2); }
  static void read(const uint8_t* p, int c[3]) {
    const int w = p[0] | p[1] << 8;
    c[0] = expand(w & 31);
    c[1] = expand((w >> 5) & 31);
    c[2] = expand((w >> 10) & 31);
  }
  static void write(uint8_t* p, const int c[3], int) {
    const int w = (c[2] >> 3) << 10 | (c[1] >> 3) << 5 | c[0] >> 3;
    p[0] = static_cast<uint8_t>(w);
    p[1] = static_cast<uint8_t>(w >> 8);
  }
  static int alpha(const uint8_t*) { return 0; }
};

template <>
struct Pixel<3> {
  static constexpr int kChannels = 3;
  static void read(const uint8_t* p, int c[3]) { c[0] = p[0], c[1] = p[1], c[2] = p[2]; }
  static void write(uint8_t* p, const int c[3], int) {
    p[0] = static_cast<uint8_t>(c[0]), p[1] = static_cast<uint8_t>(c[1]), p[2] = static_cast<uint8_t>(c[2]);
  }
  static int alpha(const uint8_t*) { return 0; }
};

// The fourth byte is 255 in solid colours and the texel's own in textured ones.
template <>
struct Pixel<4> {
  static constexpr int kChannels = 3;
  static void read(const uint8_t* p, int c[3]) { c[0] = p[0], c[1] = p[1], c[2] = p[2]; }
  static void write(uint8_t* p, const int c[3], int alpha) {
    p[0] = static_cast<uint8_t>(c[0]), p[1] = static_cast<uint8_t>(c[1]), p[2] = static_cast<uint8_t>(c[2]);
    p[3] = static_cast<uint8_t>(alpha);
  }
  static int alpha(const uint8_t* p) { return p[3]; }
};

constexpr bool gouraud(RasterKind k) {
  return k == RasterKind::kGouraud || k == RasterKind::kGouraudAdd || k == RasterKind::kTexturedGouraud;
}
constexpr bool textured(RasterKind k) { return k == RasterKind::kTexturedFlat || k == RasterKind::kTexturedGouraud; }
constexpr bool adds(RasterKind k) { return k == RasterKind::kFlatAdd || k == RasterKind::kGouraudAdd; }

// trunc(w) for the depth test; w below 1 (possible one pixel outside the
// exact triangle) never passes it.
inline uint32_t depth_of(float w) {
  w = w < 1073741824.0f ? w : 1073741824.0f;
  return w > 0 ? static_cast<uint32_t>(w) : 0;
}

// A 16.16 texture coordinate: the quotient rounded to the nearest integer
// (so that u·w / w lands on the value it started from), saturated.
inline int32_t texture_coordinate(float v) {
  v = v > -2.0e9f ? v : -2.0e9f;  // NaN too
  v = v < 2.0e9f ? v : 2.0e9f;
  return static_cast<int32_t>(static_cast<int64_t>(double{v} + 2147483648.5) - 2147483648);
}

// A 16.16 edge: x at row y is x0 + step × (y − y0).
struct Edge {
  int64_t x0 = 0, step = 0;
  int32_t y0 = 0;
  Edge(const RasterCorner& p, const RasterCorner& q) : x0(int64_t{p.x} * 65536), y0(p.y) {
    const int64_t dy = q.y - p.y;
    if (dy > 0) step = int64_t{q.x - p.x} * 65536 / dy;
  }
  int64_t at(int32_t y) const { return x0 + step * (y - y0); }
};

// A linear attribute: value at the first corner and its steps per column
// and per row.
struct Gradient {
  double at0 = 0, dx = 0, dy = 0;
  double at(double ox, double oy) const { return at0 + dx * ox + dy * oy; }
};

template <int B, RasterKind K>
void draw(Plane& target, uint32_t* depth, const RasterTriangle& t, const RasterCorner& c0, const RasterCorner& c1,
          const RasterCorner& c2, int64_t cross, const Rect& clip) {
  using P = Pixel<B>;
  const double dx1 = c1.x - c0.x, dy1 = c1.y - c0.y, dx2 = c2.x - c0.x, dy2 = c2.y - c0.y;
  const double inv = 1.0 / static_cast<double>(cross);
  auto gradient = [&](double a0, double a1, double a2) {
    return Gradient{a0, ((a1 - a0) * dy2 - (a2 - a0) * dy1) * inv, ((a2 - a0) * dx1 - (a1 - a0) * dx2) * inv};
  };
  const Gradient gw = gradient(c0.w, c1.w, c2.w);
  Gradient gu, gv, gs[3];
  if constexpr (textured(K)) {
    auto times_w = [](int32_t a, float w) { return static_cast<double>(a) * w; };
    gu = gradient(times_w(c0.u, c0.w), times_w(c1.u, c1.w), times_w(c2.u, c2.w));
    gv = gradient(times_w(c0.v, c0.w), times_w(c1.v, c1.w), times_w(c2.v, c2.w));
  }
  if constexpr (gouraud(K)) {
    // Shades step in units of 1/65536 of a byte: 8.8 values shifted by 8.
    for (int k = 0; k < P::kChannels; ++k)
      gs[k] = gradient(c0.shade[k] * 256.0, c1.shade[k] * 256.0, c2.shade[k] * 256.0);
  }

  const std::span<uint8_t> pixels = plane_pixels(target);
  uint8_t* const top_row = pixels.data() + size_t(target.height - 1) * target.pitch;
  const uint8_t* tex_top = nullptr;
  int32_t tex_pitch = 0;
  uint32_t tex_w = 0, tex_h = 0;
  if constexpr (textured(K)) {
    tex_top = plane_pixels(*t.texture).data() + size_t(t.texture->height - 1) * t.texture->pitch;
    tex_pitch = t.texture->pitch;
    tex_w = static_cast<uint32_t>(t.texture->width);
    tex_h = static_cast<uint32_t>(t.texture->height);
  }
  int flat[3] = {t.flat[0], t.flat[1], t.flat[2]};

  const Edge long_edge(c0, c2), upper(c0, c1), lower(c1, c2);
  const int32_t y_begin = std::max(c0.y, clip.top), y_end = std::min(c2.y, clip.bottom);
  for (int32_t y = y_begin; y < y_end; ++y) {
    const int64_t a = long_edge.at(y), b = y < c1.y ? upper.at(y) : lower.at(y);
    // cross > 0: the middle corner lies right of the long edge.
    const int64_t left = cross > 0 ? a : b, right = cross > 0 ? b : a;
    const int32_t xs = static_cast<int32_t>(std::max<int64_t>(left >> 16, clip.left));
    const int32_t xe = static_cast<int32_t>(std::min<int64_t>(right >> 16, clip.right));
    if (xs >= xe) continue;

    const double ox = xs - c0.x, oy = y - c0.y;
    float w = static_cast<float>(gw.at(ox, oy));
    const float w_dx = static_cast<float>(gw.dx);
    float uw = 0, vw = 0, uw_dx = 0, vw_dx = 0;
    if constexpr (textured(K)) {
      uw = static_cast<float>(gu.at(ox, oy)), vw = static_cast<float>(gv.at(ox, oy));
      uw_dx = static_cast<float>(gu.dx), vw_dx = static_cast<float>(gv.dx);
    }
    int32_t s[3] = {}, s_dx[3] = {};
    if constexpr (gouraud(K)) {
      for (int k = 0; k < P::kChannels; ++k) {
        s[k] = saturate_trunc(gs[k].at(ox, oy));
        s_dx[k] = saturate_trunc(gs[k].dx);
      }
    }

    uint8_t* out = top_row - ptrdiff_t{y} * target.pitch + ptrdiff_t{xs} * B;
    uint32_t* z = depth + size_t(y) * target.width + xs;
    for (int32_t x = xs; x < xe; ++x, out += B, ++z) {
      const uint32_t wi = depth_of(w);
      if (*z < wi) {
        *z = wi;
        int shade[3];
        if constexpr (gouraud(K)) {
          for (int k = 0; k < P::kChannels; ++k) shade[k] = std::clamp(s[k] >> 16, 0, 255);
        } else {
          for (int k = 0; k < P::kChannels; ++k) shade[k] = flat[k];
        }
        int c[3];
        if constexpr (textured(K)) {
          const float r = 1.0f / w;  // w >= 1 here
          const uint32_t u = static_cast<uint32_t>(texture_coordinate(uw * r));
          const uint32_t v = static_cast<uint32_t>(texture_coordinate(vw * r));
          const uint8_t* texel = tex_top - ptrdiff_t((((v & 0xFFFF) * tex_h) >> 16)) * tex_pitch +
                                 ptrdiff_t((((u & 0xFFFF) * tex_w) >> 16)) * B;
          P::read(texel, c);
          for (int k = 0; k < P::kChannels; ++k) c[k] = std::max(c[k] - shade[k], 0);
          P::write(out, c, P::alpha(texel));
        } else if constexpr (adds(K)) {
          P::read(out, c);
          for (int k = 0; k < P::kChannels; ++k) c[k] = std::min(c[k] + shade[k], 255);
          P::write(out, c, 255);
        } else {
          P::write(out, shade, 255);
        }
      }
      w += w_dx;
      if constexpr (textured(K)) uw += uw_dx, vw += vw_dx;
      if constexpr (gouraud(K))
        for (int k = 0; k < P::kChannels; ++k) s[k] += s_dx[k];
    }
  }
}

template <int B>
void draw_kind(Plane& target, uint32_t* depth, const RasterTriangle& t, const RasterCorner& c0,
               const RasterCorner& c1, const RasterCorner& c2, int64_t cross, const Rect& clip) {
  switch (t.kind) {
    case RasterKind::kFlat: return draw<B, RasterKind::kFlat>(target, depth, t, c0, c1, c2, cross, clip);
    case RasterKind::kGouraud: return draw<B, RasterKind::kGouraud>(target, depth, t, c0, c1, c2, cross, clip);
    case RasterKind::kFlatAdd: return draw<B, RasterKind::kFlatAdd>(target, depth, t, c0, c1, c2, cross, clip);
    case RasterKind::kGouraudAdd:
      return draw<B, RasterKind::kGouraudAdd>(target, depth, t, c0, c1, c2, cross, clip);
    case RasterKind::kTexturedFlat:
      return draw<B, RasterKind::kTexturedFlat>(target, depth, t, c0, c1, c2, cross, clip);
    case RasterKind::kTexturedGouraud:
      return draw<B, RasterKind::kTexturedGouraud>(target, depth, t, c0, c1, c2, cross, clip);
  }
}

}  // namespace

void raster_triangle(Plane& target, uint32_t* depth, const RasterTriangle& t) {
  for (const RasterCorner& c : t.corner)
    if (c.x < -kRasterGuard || c.x > kRasterGuard || c.y < -kRasterGuard || c.y > kRasterGuard) return;
  const RasterCorner *c0 = &t.corner[0], *c1 = &t.corner[1], *c2 = &t.corner[2];
  if (c1->y < c0->y) std::swap(c0, c1);
  if (c2->y < c1->y) std::swap(c1, c2);
  if (c1->y < c0->y) std::swap(c0, c1);
  const int64_t height = int64_t{c2->y} - c0->y;
  if (height <= 0) return;
  // Twice the signed area; |cross| / height is the middle corner's
  // horizontal distance from the long edge.
  const int64_t cross =
      int64_t{c1->x - c0->x} * (c2->y - c0->y) - int64_t{c2->x - c0->x} * (c1->y - c0->y);
  if ((cross < 0 ? -cross : cross) < height) return;

  const Rect clip = rect_intersection(target.clip, Rect{0, 0, target.width, target.height});
  if (clip.empty() || c0->y >= clip.bottom || c2->y <= clip.top) return;
  if (textured(t.kind)) {
    const Plane* tex = t.texture;
    if (!tex || tex->bit_count != target.bit_count || tex->width <= 0 || tex->height <= 0) return;
  }
  switch (target.bit_count) {
    case 8: return draw_kind<1>(target, depth, t, *c0, *c1, *c2, cross, clip);
    case 16: return draw_kind<2>(target, depth, t, *c0, *c1, *c2, cross, clip);
    case 24: return draw_kind<3>(target, depth, t, *c0, *c1, *c2, cross, clip);
    case 32: return draw_kind<4>(target, depth, t, *c0, *c1, *c2, cross, clip);
    default: return;
  }
}

}  // namespace zelt::gfx
