// Triangle models of the 3D renderer and the file they are read from. The
// file is little-endian with no header or magic: vertex count V (u16), face
// count F (u16), bounding-sphere radius (f32), V positions (3 × f32), then F
// faces of three u16 vertex indices, three (u, v) f32 pairs in units of the
// texture's size and a material byte.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "gfx/p3d/p3d_math.h"

namespace zelt::gfx {

// Render flags.
inline constexpr uint8_t kP3dEnvironment = 0x01;  // texture coordinates from the view-space vertex normal
inline constexpr uint8_t kP3dVertexLit = 0x02;    // lighting per vertex (Gouraud)
inline constexpr uint8_t kP3dFaceLit = 0x08;      // lighting per face
inline constexpr uint8_t kP3dTextured = 0x10;
inline constexpr uint8_t kP3dLast = 0x20;         // sorted after all other faces, farthest first
inline constexpr uint8_t kP3dBothSides = 0x40;    // no back-face culling

inline constexpr uint32_t kP3dRenderTypes = 7;
// The flags of render types 0-6: solid flat, solid Gouraud, additive flat,
// additive Gouraud, textured flat, textured Gouraud, environment-mapped.
inline constexpr uint8_t kP3dTypeFlags[kP3dRenderTypes] = {0x08, 0x02, 0x68, 0x62, 0x18, 0x12, 0x13};

struct ModelVertex {
  Vec3 position;
  Vec3 normal;
  uint8_t flags = 0;  // the OR of the render flags of the faces that use it
};

struct ModelFace {
  uint8_t type = 0;
  uint8_t flags = 0;
  uint16_t index[3] = {};
  int32_t uv[3][2] = {};  // 16.16 fixed point, 65536 = the whole texture
  Vec3 normal;
  uint32_t colour = 0;    // 0x00RRGGBB
  uint32_t texture = 0;   // a texture identity from p3d_tex
  uint8_t material = 0;
};

struct Model {
  float radius = 0;
  std::vector<ModelVertex> vertices;
  std::vector<ModelFace> faces;
};

// Bytes of a file with V vertices and F faces.
inline constexpr size_t model_file_size(uint32_t vertex_count, uint32_t face_count) {
  return 8 + size_t{12} * vertex_count + size_t{31} * face_count;
}

// Reads a model from the file's bytes; fields beyond the end read as zero.
// Null when a face names a vertex index at or beyond V. Face and vertex
// normals are computed; a normal that would have no length (or no finite
// length) is (0, 0, 0), lit by the ambient colour only.
std::unique_ptr<Model> model_parse(std::span<const uint8_t> bytes);

// Gives every face of material `material` the render type (0-6), its flags,
// the colour and the texture, then rebuilds every vertex's flags.
void model_set_material(Model& model, uint8_t material, uint32_t colour, uint32_t texture, uint8_t type);

}  // namespace zelt::gfx
