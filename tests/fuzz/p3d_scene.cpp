// Random scenes rendered into small planes of every pixel size: wild
// numbers (NaN, infinities, huge and tiny values) for positions, angles,
// the camera, focal length, near distance, lights and texture coordinates,
// random render types, textures of any bit count, and random clip
// rectangles. Nothing may be written outside the target's clip rectangle,
// the textures and the other planes keep their pixels, and every render
// ends.
//
// Input: a target plane and its clip rectangle; focal length and near
// distance; a model of up to 12 vertices and 16 faces; materials; the
// camera, ambient colour and lights; up to four objects (see the reads in
// order below).
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/script_memory.h"
#include "fuzz_input.h"
#include "gfx/p3d/scene.h"
#include "gfx/planes/plane.h"

namespace {

using namespace zelt::gfx;
using zelt::fuzz::check;
using zelt::fuzz::outside_clip_unchanged;

constexpr int kPlanes = 6;
// Targets and textures: slots 1-4 of 8, 16, 24 and 32 bits, slots 5-6 more
// textures (a 1-bit one among them).
const int32_t kFormats[kPlanes][3] = {{13, 9, 8}, {11, 8, 16}, {12, 10, 24}, {9, 11, 32}, {3, 5, 32}, {4, 4, 1}};

void make_planes() {
  static bool made = false;
  if (made) return;
  made = true;
  for (int i = 0; i < kPlanes; ++i) {
    Plane* p = plane_create(kFormats[i][0], kFormats[i][1], kFormats[i][2]);
    check(p != nullptr, "plane");
    const std::span<uint8_t> px = plane_pixels(*p);
    for (size_t k = 0; k < px.size(); ++k) px[k] = static_cast<uint8_t>(k * 37 + i);
    plane_put(static_cast<uint32_t>(i + 1), p);
  }
}

class Input : public zelt::fuzz::Reader {
 public:
  using Reader::Reader;
  float number() {
    static const float kWild[] = {std::numeric_limits<float>::quiet_NaN(), INFINITY, -INFINITY, 1e30f, -1e30f,
                                  FLT_MAX, 1e-30f, -0.0f, 0.5f, 65536.0f};
    const uint8_t tag = byte();
    switch (tag & 3) {
      case 0: return static_cast<int8_t>(byte()) / 4.0f;
      case 1: return std::bit_cast<float>(u32());
      case 2: return kWild[(tag >> 2) % (sizeof kWild / sizeof kWild[0])];
      default: return static_cast<int8_t>(byte()) / 64.0f;
    }
  }
  Vec3 vec() {
    const float x = number(), y = number();
    return {x, y, number()};
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  make_planes();
  Input in(data, size);
  const uint32_t slot = in.byte() % 4 + 1;
  Plane& target = *plane_get(slot);
  if (in.byte() & 1) {
    const Rect r = in.rect();
    gclip(slot, &r);
  } else {
    gclip(slot, nullptr);
  }
  std::vector<std::vector<uint8_t>> before(kPlanes);
  for (int i = 0; i < kPlanes; ++i) {
    const std::span<uint8_t> px = plane_pixels(*plane_get(static_cast<uint32_t>(i + 1)));
    before[i].assign(px.begin(), px.end());
  }

  static P3dScene* scene = new P3dScene;  // kept: its frame lists are large
  scene->init(static_cast<int32_t>(slot), in.number(), in.number());
  scene->clear();

  Model model;
  model.radius = in.number();
  model.vertices.resize(in.byte() % 12 + 1);
  for (ModelVertex& v : model.vertices) v.position = in.vec(), v.normal = in.vec();
  model.faces.resize(in.byte() % 17);
  for (ModelFace& f : model.faces) {
    for (uint16_t& i : f.index) i = static_cast<uint16_t>(in.byte() % model.vertices.size());
    for (auto& uv : f.uv) uv[0] = static_cast<int32_t>(in.u32()), uv[1] = static_cast<int32_t>(in.u32());
    f.material = in.byte() % 3;
    f.normal = in.vec();
  }
  for (uint8_t m = 0; m < 3; ++m) {
    const uint8_t type = in.byte() % kP3dRenderTypes;
    const uint32_t colour = in.u32();
    model_set_material(model, m, colour, texture_identity(in.byte() % 8), type);
  }

  scene->view(in.vec(), in.vec());
  scene->env(in.vec());
  for (int lights = in.byte() % 5; lights > 0; --lights) {
    const uint32_t type = in.byte() % 3;
    const Vec3 colour = in.vec();
    const float a = in.number(), b = in.number();
    scene->light(type, colour, a, b, in.number());
  }
  for (int objects = in.byte() % 4 + 1; objects > 0; --objects) {
    const Vec3 pos = in.vec();
    scene->add_object(model, pos, in.vec());
  }
  scene->render();

  check(outside_clip_unchanged(target, before[slot - 1]), "nothing outside the clip rectangle");
  for (int i = 0; i < kPlanes; ++i) {
    if (static_cast<uint32_t>(i + 1) == slot) continue;
    const std::span<uint8_t> px = plane_pixels(*plane_get(static_cast<uint32_t>(i + 1)));
    check(std::equal(px.begin(), px.end(), before[i].begin(), before[i].end()), "other planes unchanged");
  }
  return 0;
}
