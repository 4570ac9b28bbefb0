// The 3D renderer on one core: a scene of 20,000 textured Gouraud triangles
// (ten spheres of 2,000, two lights, a 256 x 256 texture) into a 1024 x 576
// 32-bit plane, every frame (goal: at least 60 frames per second). Prints
// frames per second and the split of a frame between submitting objects
// (transform, lighting, projection, culling) and drawing them (sorting and
// scan conversion). The frame lists hold 8192 entries, so the frame is
// drawn in batches into one depth buffer, as several renders would.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <numbers>

#include "gfx/p3d/scene.h"
#include "gfx/planes/plane.h"

namespace zelt::gfx {
namespace {

constexpr int32_t kWidth = 1024, kHeight = 576;
constexpr uint32_t kTarget = 1, kTexture = 2;

// A sphere of radius r: `rings` bands of `segments` quads (the poles' bands
// included), texture coordinates wrapping twice around; faces outwards.
Model sphere(float r, int rings, int segments) {
  Model m;
  m.radius = r;
  for (int i = 0; i <= rings; ++i) {
    const float phi = std::numbers::pi_v<float> * i / rings;
    for (int j = 0; j <= segments; ++j) {
      const float theta = 2 * std::numbers::pi_v<float> * j / segments;
      const float ring = r * std::sin(phi);
      ModelVertex v;
      v.position = {ring * std::cos(theta), r * std::cos(phi), ring * std::sin(theta)};
      m.vertices.push_back(v);
    }
  }
  auto at = [&](int i, int j) { return static_cast<uint16_t>(i * (segments + 1) + j); };
  auto add = [&](uint16_t a, uint16_t b, uint16_t c, float u0, float v0, float u1, float v1, float u2, float v2) {
    ModelFace f;
    f.index[0] = a, f.index[1] = b, f.index[2] = c;
    const float uv[3][2] = {{u0, v0}, {u1, v1}, {u2, v2}};
    for (int k = 0; k < 3; ++k)
      for (int l = 0; l < 2; ++l) f.uv[k][l] = static_cast<int32_t>(uv[k][l] * 65536);
    const Vec3 p0 = m.vertices[a].position, p1 = m.vertices[b].position, p2 = m.vertices[c].position;
    if (dot(cross(p1 - p0, p2 - p1), p0 + p1 + p2) < 0) std::swap(f.index[1], f.index[2]), std::swap(f.uv[1], f.uv[2]);
    m.faces.push_back(f);
  };
  for (int i = 0; i < rings; ++i)
    for (int j = 0; j < segments; ++j) {
      const float u0 = 2.0f * j / segments, u1 = 2.0f * (j + 1) / segments;
      const float v0 = 1.0f * i / rings, v1 = 1.0f * (i + 1) / rings;
      add(at(i, j), at(i, j + 1), at(i + 1, j + 1), u0, v0, u1, v0, u1, v1);
      add(at(i, j), at(i + 1, j + 1), at(i + 1, j), u0, v0, u1, v1, u0, v1);
    }
  // Normals as the loader computes them.
  std::vector<Vec3> sums(m.vertices.size());
  std::vector<int> uses(m.vertices.size());
  for (ModelFace& f : m.faces) {
    const Vec3 p0 = m.vertices[f.index[0]].position, p1 = m.vertices[f.index[1]].position,
               p2 = m.vertices[f.index[2]].position;
    const Vec3 n = cross(p1 - p0, p2 - p1);
    const float len = std::sqrt(dot(n, n));
    f.normal = len > 0 ? n * (1 / len) : Vec3{};
    for (uint16_t v : f.index) sums[v] = sums[v] + f.normal, ++uses[v];
  }
  for (size_t v = 0; v < m.vertices.size(); ++v)
    if (uses[v]) m.vertices[v].normal = sums[v] * (1.0f / uses[v]);
  return m;
}

void BM_Scene(benchmark::State& state) {
  planes_reset();
  galloc(kTarget, kWidth, kHeight, 32);
  galloc(kTexture, 256, 256, 32);
  Plane& tex = *plane_get(kTexture);
  for (int32_t y = 0; y < 256; ++y)
    for (int32_t x = 0; x < 256; ++x) {
      uint8_t* px = plane_pixel_address(&tex, x, y);
      px[0] = static_cast<uint8_t>(x ^ y), px[1] = static_cast<uint8_t>(x), px[2] = static_cast<uint8_t>(y);
      px[3] = 255;
    }

  // Two sizes, so that some models are bigger on screen than others.
  Model models[2] = {sphere(1.0f, 25, 40), sphere(1.4f, 25, 40)};
  for (Model& m : models) model_set_material(m, 0, 0xFFFFFF, texture_identity(kTexture), 5);

  auto scene = std::make_unique<P3dScene>();
  scene->init(kTarget, 700, 0.5f);
  double submit_s = 0, draw_s = 0;
  uint64_t triangles = 0;
  float spin = 0;
  using clock = std::chrono::steady_clock;
  for (auto _ : state) {
    scene->clear();
    scene->view({0, 0, -8}, {});
    scene->env({0.2f, 0.2f, 0.25f});
    scene->light(0, {0.8f, 0.7f, 0.6f}, 0.4f, 0.3f, 0);
    scene->light(1, {0.5f, 0.5f, 0.5f}, 0, 3, -4);
    spin += 0.01f;
    for (int i = 0; i < 10; ++i) {
      const Model& m = models[i % 2];
      if (scene->frame_vertex_count() + m.vertices.size() > kP3dFrameListSize ||
          scene->frame_triangle_count() + m.faces.size() > kP3dFrameListSize) {
        const auto t0 = clock::now();
        triangles += scene->frame_triangle_count();
        scene->render();
        draw_s += std::chrono::duration<double>(clock::now() - t0).count();
        scene->clear_frame_lists();
      }
      const auto t0 = clock::now();
      scene->add_object(m, {-4.8f + 2.4f * (i % 5), i < 5 ? -1.3f : 1.3f, 0}, {spin, spin * 0.7f + i, 0});
      submit_s += std::chrono::duration<double>(clock::now() - t0).count();
    }
    const auto t0 = clock::now();
    triangles += scene->frame_triangle_count();
    scene->render();
    draw_s += std::chrono::duration<double>(clock::now() - t0).count();
  }
  const double frames = static_cast<double>(state.iterations());
  state.counters["fps"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
  state.counters["submit_ms"] = submit_s * 1000 / frames;
  state.counters["draw_ms"] = draw_s * 1000 / frames;
  state.counters["drawn_triangles"] = static_cast<double>(triangles) / frames;
  state.counters["submitted_triangles"] = 5 * (models[0].faces.size() + models[1].faces.size());
  planes_reset();
}
BENCHMARK(BM_Scene)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
}  // namespace zelt::gfx
