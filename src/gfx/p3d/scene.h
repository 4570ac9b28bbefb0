// The 3D renderer's scene: the target plane and its depth buffer, the camera,
// the ambient colour and lights, and the frame's vertex and triangle lists
// that p3d_setobj fills and p3d_render draws. All single precision where the
// arithmetic is float; screen positions, depth keys and texture coordinates
// are integers.
#pragma once

#include <cstdint>
#include <memory>

#include "gfx/p3d/model.h"
#include "gfx/p3d/p3d_math.h"
#include "gfx/planes/plane.h"

namespace zelt::gfx {

inline constexpr uint32_t kP3dMaxLights = 16;
inline constexpr uint32_t kP3dFrameListSize = 8192;

// Light types; others are kept (and counted) but light nothing.
inline constexpr uint32_t kP3dDirectional = 0;
inline constexpr uint32_t kP3dPoint = 1;

// A lit colour: bytes blue, green, red.
struct LitColour {
  uint8_t c[3] = {};
};

struct FrameVertex {
  bool valid = false;
  int32_t x = 0, y = 0;  // screen position
  float w = 0;           // 65536 / z
  int64_t depth = 0;     // trunc(z × 65536)
  Vec3 p;                // view-space position
  LitColour lit;         // vertices with flag 0x02
  int32_t env_u = 0, env_v = 0;  // vertices with flag 0x01
};

struct FrameTriangle {
  uint16_t vertex[3] = {};
  int64_t key = 0;  // ascending: near faces first, flag-0x20 faces after all others, farthest first
  uint8_t type = 0;
  uint32_t colour = 0;
  LitColour lit;    // faces with flag 0x08
  uint32_t texture = 0;
  int32_t uv[3][2] = {};
};

// The texture identity of a plane slot (p3d_tex), and back: the slot number
// plus one, so that slot 0 has a non-zero identity.
inline uint32_t texture_identity(uint32_t slot) { return slot + 1; }
inline const Plane* texture_plane(uint32_t identity) { return identity ? plane_get(identity - 1) : nullptr; }

class P3dScene {
 public:
  P3dScene();

  // The target is the plane slot, or none (-1); width and height are its
  // size then (0 × 0 for none), and the depth buffer is allocated for it.
  // Rendering draws only while the slot holds a plane of that size.
  void init(int32_t target_slot, float focal, float near_distance);
  // Frees the depth buffer; the target stays named but is not drawn into.
  void release();
  // Depth buffer to 0, frame lists emptied, every light removed.
  void clear();
  // Empties the frame lists only (benchmarks draw more than one list's worth
  // into one depth buffer this way).
  void clear_frame_lists() { vertex_count_ = triangle_count_ = 0; }

  void view(Vec3 eye, Vec3 angles);
  void env(Vec3 ambient) { ambient_ = ambient; }
  // Beyond 16 lights nothing is added.
  void light(uint32_t type, Vec3 colour, float a, float b, float c);
  // Submits the model at pos with angles: culls it by its bounding sphere,
  // transforms, lights and projects its vertices and appends its visible
  // faces. Objects that do not fit the frame lists are dropped from there on.
  void add_object(const Model& model, Vec3 pos, Vec3 angles);
  // Sorts the frame triangles and draws them into the target.
  void render();

  // The lit colour of normal n at view-space point p.
  LitColour lit(Vec3 n, Vec3 p) const;

  const Mat3& view_matrix() const { return view_; }
  uint32_t frame_vertex_count() const { return vertex_count_; }
  uint32_t frame_triangle_count() const { return triangle_count_; }
  const FrameVertex& frame_vertex(uint32_t i) const { return vertices_[i]; }
  const FrameTriangle& frame_triangle(uint32_t i) const { return triangles_[i]; }
  uint32_t light_count() const { return light_count_; }
  uint32_t light_flags() const { return light_flags_; }
  bool has_depth_buffer() const { return depth_ != nullptr; }

 private:
  struct Light {
    uint32_t type = 0;
    Vec3 colour;
    Vec3 vector;  // view space: a direction, or a position
  };

  void project(FrameVertex& v) const;

  int32_t target_slot_ = -1;
  int32_t width_ = 0, height_ = 0;
  std::unique_ptr<uint32_t[]> depth_;
  float focal_ = 0, near_ = 0;
  Vec3 eye_;
  Mat3 view_;
  Vec3 ambient_;
  Light lights_[kP3dMaxLights];
  uint32_t light_count_ = 0;
  uint32_t light_flags_ = 0;  // bit 0: some light, bit 1: a point light
  std::unique_ptr<FrameVertex[]> vertices_;
  std::unique_ptr<FrameTriangle[]> triangles_;
  std::unique_ptr<uint16_t[]> order_;  // render's drawing order
  uint32_t vertex_count_ = 0, triangle_count_ = 0;
};

}  // namespace zelt::gfx
