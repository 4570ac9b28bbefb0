#include "gfx/p3d/scene.h"

#include <algorithm>
#include <cstring>

#include "gfx/p3d/raster.h"

namespace zelt::gfx {
namespace {

// Vertices nearer than this are not drawn whatever the near distance: at or
// behind the eye there is no projection, and w = 65536 / z stays at most
// 2^28 so that depth values fit 32 bits with room to spare.
constexpr float kMinDepth = 1.0f / 4096;
// Depth keys are capped so that the sum of three, and its flag-0x20
// complement, stay apart in 64 bits.
constexpr double kMaxDepthKey = 0x1p52;
constexpr int64_t kLastBase = int64_t{1} << 62;

uint8_t colour_byte(float c) {
  if (c > 1.0f) return 255;
  if (!(c > 0.0f)) return 0;  // negative (a negative ambient or light colour) or NaN
  return static_cast<uint8_t>(std::lround(c * 255.0f));
}

int32_t rounded(float v) { return saturate_trunc(std::round(double{v})); }

uint8_t clamp_byte(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

}  // namespace

P3dScene::P3dScene()
    : vertices_(new FrameVertex[kP3dFrameListSize]),
      triangles_(new FrameTriangle[kP3dFrameListSize]),
      order_(new uint16_t[kP3dFrameListSize]) {}

void P3dScene::init(int32_t target_slot, float focal, float near_distance) {
  release();
  const Plane* plane = target_slot >= 0 ? plane_get(static_cast<uint32_t>(target_slot)) : nullptr;
  target_slot_ = plane ? target_slot : -1;
  width_ = plane ? plane->width : 0;
  height_ = plane ? plane->height : 0;
  focal_ = focal;
  near_ = near_distance;
  // Zeroed: a fresh buffer draws as after p3d_clear. No memory: nothing drawn.
  depth_.reset(new (std::nothrow) uint32_t[size_t(width_) * size_t(height_)]());
}

void P3dScene::release() { depth_.reset(); }

void P3dScene::clear() {
  if (depth_) std::memset(depth_.get(), 0, sizeof(uint32_t) * size_t(width_) * size_t(height_));
  clear_frame_lists();
  light_count_ = 0;
  light_flags_ = 0;
}

void P3dScene::view(Vec3 eye, Vec3 angles) {
  eye_ = eye;
  view_ = camera_matrix(angles);
}

void P3dScene::light(uint32_t type, Vec3 colour, float a, float b, float c) {
  if (light_count_ >= kP3dMaxLights) return;
  Light& l = lights_[light_count_++];
  l = Light{type, colour, {}};
  if (type == kP3dDirectional) {
    const float sa = static_cast<float>(std::sin(double{a})), ca = static_cast<float>(std::cos(double{a}));
    const float sb = static_cast<float>(std::sin(double{b})), cb = static_cast<float>(std::cos(double{b}));
    l.vector = transform({sa * cb, -sb, ca * cb}, view_);
    light_flags_ |= 1;
  } else if (type == kP3dPoint) {
    l.vector = transform(Vec3{a, b, c} - eye_, view_);
    light_flags_ |= 3;
  }
}

LitColour P3dScene::lit(Vec3 n, Vec3 p) const {
  Vec3 c = ambient_;
  for (uint32_t i = 0; i < light_count_; ++i) {
    const Light& l = lights_[i];
    float d;
    if (l.type == kP3dDirectional) {
      d = dot(n, l.vector);
    } else if (l.type == kP3dPoint) {
      const Vec3 to = p - l.vector;
      const float length = std::sqrt(dot(to, to));
      d = dot(n, {to.x / length, to.y / length, to.z / length});  // NaN at the light itself: no light
    } else {
      continue;
    }
    if (d < 0) c = c + l.colour * -d;
  }
  return {{colour_byte(c.x), colour_byte(c.y), colour_byte(c.z)}};
}

void P3dScene::project(FrameVertex& v) const {
  v.valid = false;
  if (!finite(v.p) || !(v.p.z >= near_) || !(v.p.z >= kMinDepth)) return;
  const float qx = v.p.x * focal_ / v.p.z, qy = v.p.y * focal_ / v.p.z;
  // Far off the screen (beyond 2^23 pixels from its centre): not drawn.
  constexpr float kLimit = kRasterGuard / 2;
  if (!(std::fabs(qx) <= kLimit) || !(std::fabs(qy) <= kLimit)) return;
  v.w = 65536.0f / v.p.z;
  v.x = width_ / 2 + static_cast<int32_t>(qx);
  v.y = height_ / 2 - static_cast<int32_t>(qy);
  v.depth = static_cast<int64_t>(std::min(double{v.p.z} * 65536.0, kMaxDepthKey));
  v.valid = true;
}

void P3dScene::add_object(const Model& model, Vec3 pos, Vec3 angles) {
  const Mat3 m = multiply(object_rotation(angles), view_);
  const Vec3 c = transform(pos - eye_, view_);
  const float r = model.radius;
  const float hw = static_cast<float>(width_ / 2), hh = static_cast<float>(height_ / 2);
  if (focal_ * (c.x + r) < c.z * -hw || hw * c.z < focal_ * (c.x - r) || focal_ * (c.y + r) < -hh * c.z ||
      (c.y - r) * focal_ > hh * c.z)
    return;
  const uint32_t count = static_cast<uint32_t>(model.vertices.size());
  if (count > kP3dFrameListSize - vertex_count_) return;

  const uint32_t base = vertex_count_;
  for (uint32_t i = 0; i < count; ++i) {
    const ModelVertex& mv = model.vertices[i];
    FrameVertex& v = vertices_[base + i];
    v.p = transform(mv.position, m) + c;
    project(v);
    if (!v.valid) continue;
    v.lit = {};
    v.env_u = v.env_v = 0;
    if (mv.flags & (kP3dVertexLit | kP3dEnvironment)) {
      const Vec3 n = transform(mv.normal, m);
      if (mv.flags & kP3dVertexLit) v.lit = lit(n, v.p);
      if (mv.flags & kP3dEnvironment) {
        v.env_u = rounded(32768.0f - n.x * 32767.0f);
        v.env_v = rounded(32768.0f - n.y * 32767.0f);
      }
    }
  }

  for (const ModelFace& f : model.faces) {
    if (triangle_count_ == kP3dFrameListSize) break;
    const uint16_t n0 = static_cast<uint16_t>(base + f.index[0]), n1 = static_cast<uint16_t>(base + f.index[1]),
                   n2 = static_cast<uint16_t>(base + f.index[2]);
    const FrameVertex &v0 = vertices_[n0], &v1 = vertices_[n1], &v2 = vertices_[n2];
    if (!v0.valid || !v1.valid || !v2.valid) continue;
    if (!(f.flags & kP3dBothSides) &&
        int64_t{v2.y - v1.y} * (v1.x - v0.x) - int64_t{v1.y - v0.y} * (v2.x - v1.x) < 0)
      continue;
    if ((v0.x <= 0 && v1.x <= 0 && v2.x <= 0) || (v0.y <= 0 && v1.y <= 0 && v2.y <= 0) ||
        (v0.x >= width_ && v1.x >= width_ && v2.x >= width_) ||
        (v0.y >= height_ && v1.y >= height_ && v2.y >= height_))
      continue;

    FrameTriangle& t = triangles_[triangle_count_++];
    t.vertex[0] = n0, t.vertex[1] = n1, t.vertex[2] = n2;
    const int64_t sum = v0.depth + v1.depth + v2.depth;
    t.key = f.flags & kP3dLast ? kLastBase - sum : sum;
    t.type = f.type;
    t.colour = f.colour;
    t.lit = {};
    if (f.flags & kP3dFaceLit) {
      const Vec3 centroid = (v0.p + v1.p + v2.p) * 0.33333334f;
      t.lit = lit(transform(f.normal, m), centroid);
    }
    t.texture = 0;
    std::memset(t.uv, 0, sizeof t.uv);
    if (f.flags & kP3dTextured) {
      t.texture = f.texture;
      if (f.flags & kP3dEnvironment) {
        const FrameVertex* corner[3] = {&v0, &v1, &v2};
        for (int k = 0; k < 3; ++k) t.uv[k][0] = corner[k]->env_u, t.uv[k][1] = corner[k]->env_v;
      } else {
        std::memcpy(t.uv, f.uv, sizeof t.uv);
      }
    }
  }
  vertex_count_ += count;
}

void P3dScene::render() {
  if (!depth_ || target_slot_ < 0) return;
  Plane* target = plane_get(static_cast<uint32_t>(target_slot_));
  if (!target || target->width != width_ || target->height != height_) return;

  uint16_t* order = order_.get();
  for (uint32_t i = 0; i < triangle_count_; ++i) order[i] = static_cast<uint16_t>(i);
  const FrameTriangle* tris = triangles_.get();
  std::sort(order, order + triangle_count_, [tris](uint16_t a, uint16_t b) {
    return tris[a].key != tris[b].key ? tris[a].key < tris[b].key : a < b;
  });

  for (uint32_t i = 0; i < triangle_count_; ++i) {
    const FrameTriangle& t = tris[order[i]];
    if (t.type >= kP3dRenderTypes) continue;
    RasterTriangle r;
    int colour[3];
    for (int k = 0; k < 3; ++k) colour[k] = static_cast<int>((t.colour >> (8 * k)) & 255);
    const bool gouraud = t.type == 1 || t.type == 3 || t.type >= 5;
    const bool shaded_texture = t.type >= 4;  // a shade subtracted from texels, not a colour
    static constexpr RasterKind kKinds[kP3dRenderTypes] = {
        RasterKind::kFlat,         RasterKind::kGouraud,         RasterKind::kFlatAdd,        RasterKind::kGouraudAdd,
        RasterKind::kTexturedFlat, RasterKind::kTexturedGouraud, RasterKind::kTexturedGouraud};
    r.kind = kKinds[t.type];
    auto value = [&](const LitColour& lit, int k) {
      return shaded_texture ? clamp_byte(255 - lit.c[k] - colour[k]) : clamp_byte(lit.c[k] + colour[k] - 255);
    };
    for (int j = 0; j < 3; ++j) {
      const FrameVertex& v = vertices_[t.vertex[j]];
      RasterCorner& c = r.corner[j];
      c.x = v.x, c.y = v.y, c.w = v.w;
      c.u = t.uv[j][0], c.v = t.uv[j][1];
      if (gouraud)
        for (int k = 0; k < 3; ++k) c.shade[k] = value(v.lit, k) * 240 + 2048;
    }
    if (!gouraud)
      for (int k = 0; k < 3; ++k) r.flat[k] = value(t.lit, k);
    if (shaded_texture) r.texture = texture_plane(t.texture);
    raster_triangle(*target, depth_.get(), r);
  }
}

}  // namespace zelt::gfx
