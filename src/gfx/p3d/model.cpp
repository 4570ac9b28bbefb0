#include "gfx/p3d/model.h"

#include <bit>
#include <cstring>

namespace zelt::gfx {
namespace {

// Sequential little-endian reads; past the end every field is zero.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  uint32_t bytes(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i, ++at_)
      if (at_ < bytes_.size()) v |= uint32_t{bytes_[at_]} << (8 * i);
    return v;
  }
  uint16_t u16() { return static_cast<uint16_t>(bytes(2)); }
  uint8_t u8() { return static_cast<uint8_t>(bytes(1)); }
  float f32() { return std::bit_cast<float>(bytes(4)); }
  Vec3 vec3() {
    const float x = f32(), y = f32();
    return {x, y, f32()};
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
};

// n / |n|, or (0, 0, 0) when n has no finite, non-zero length.
Vec3 normalised(Vec3 n) {
  const float length = std::sqrt(dot(n, n));
  if (!(length > 0) || !std::isfinite(length)) return {};
  return {n.x / length, n.y / length, n.z / length};
}

}  // namespace

std::unique_ptr<Model> model_parse(std::span<const uint8_t> bytes) {
  Reader in(bytes);
  const uint16_t vertex_count = in.u16();
  const uint16_t face_count = in.u16();
  auto model = std::make_unique<Model>();
  model->radius = in.f32();
  model->vertices.resize(vertex_count);
  model->faces.resize(face_count);
  for (ModelVertex& v : model->vertices) v.position = in.vec3();
  for (ModelFace& f : model->faces) {
    for (uint16_t& i : f.index) i = in.u16();
    for (auto& uv : f.uv)
      for (int32_t& c : uv) c = saturate_trunc(double{in.f32()} * 65536.0);
    f.material = in.u8();
    for (uint16_t i : f.index)
      if (i >= vertex_count) return nullptr;
  }

  std::vector<Vec3> sums(vertex_count);
  std::vector<uint32_t> uses(vertex_count);
  for (ModelFace& f : model->faces) {
    const Vec3 p0 = model->vertices[f.index[0]].position, p1 = model->vertices[f.index[1]].position,
               p2 = model->vertices[f.index[2]].position;
    f.normal = normalised(cross(p1 - p0, p2 - p1));
    for (uint16_t i : f.index) {  // a face naming a vertex twice counts twice
      sums[i] = sums[i] + f.normal;
      ++uses[i];
    }
  }
  for (uint32_t i = 0; i < vertex_count; ++i) {
    if (uses[i] == 0) continue;
    const float n = static_cast<float>(uses[i]);
    model->vertices[i].normal = {sums[i].x / n, sums[i].y / n, sums[i].z / n};
  }
  return model;
}

void model_set_material(Model& model, uint8_t material, uint32_t colour, uint32_t texture, uint8_t type) {
  for (ModelFace& f : model.faces) {
    if (f.material != material) continue;
    f.type = type;
    f.flags = kP3dTypeFlags[type];
    f.colour = colour;
    f.texture = texture;
  }
  for (ModelVertex& v : model.vertices) v.flags = 0;
  for (const ModelFace& f : model.faces)
    for (uint16_t i : f.index) model.vertices[i].flags |= f.flags;
}

}  // namespace zelt::gfx
