// Model files written field by field from the file layout, a few small
// meshes, and a fixture with a title folder as the current directory, a
// clean plane table and a fresh 3D scene.
#pragma once

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "files/file_test_fixture.h"
#include "gfx/p3d/p3d.h"
#include "gfx/planes/plane.h"

namespace zelt::test {

struct FaceSpec {
  uint16_t index[3];
  float uv[3][2] = {};
  uint8_t material = 0;
};

struct ModelSpec {
  float radius = 10;
  std::vector<gfx::Vec3> vertices;
  std::vector<FaceSpec> faces;
  uint32_t vertex_count = UINT32_MAX;  // the counts written, when not the real ones
  uint32_t face_count = UINT32_MAX;
};

inline void put_bytes(std::string& out, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) out += static_cast<char>(v >> (8 * i));
}
inline void put_float(std::string& out, float f) { put_bytes(out, std::bit_cast<uint32_t>(f), 4); }

inline std::string model_file(const ModelSpec& m) {
  std::string out;
  put_bytes(out, m.vertex_count != UINT32_MAX ? m.vertex_count : static_cast<uint32_t>(m.vertices.size()), 2);
  put_bytes(out, m.face_count != UINT32_MAX ? m.face_count : static_cast<uint32_t>(m.faces.size()), 2);
  put_float(out, m.radius);
  for (const gfx::Vec3& v : m.vertices) put_float(out, v.x), put_float(out, v.y), put_float(out, v.z);
  for (const FaceSpec& f : m.faces) {
    for (uint16_t i : f.index) put_bytes(out, i, 2);
    for (const auto& uv : f.uv) put_float(out, uv[0]), put_float(out, uv[1]);
    out += static_cast<char>(f.material);
  }
  return out;
}

// A square of side 2h in the plane z = 0 facing -z (the camera when placed
// in front of it), corners top-left, top-right, bottom-right, bottom-left;
// texture coordinates from (0, 0) at the top left to (1, 1), scaled by `uv`.
inline ModelSpec quad(float h, float uv = 1) {
  ModelSpec m;
  m.radius = 2 * h;
  m.vertices = {{-h, h, 0}, {h, h, 0}, {h, -h, 0}, {-h, -h, 0}};
  m.faces = {{{0, 1, 2}, {{0, 0}, {uv, 0}, {uv, uv}}}, {{0, 2, 3}, {{0, 0}, {uv, uv}, {0, uv}}}};
  return m;
}

// A cube of side 2h around the origin, its faces outwards (material i for
// side i).
inline ModelSpec cube(float h) {
  ModelSpec m;
  m.radius = 2 * h;
  for (int i = 0; i < 8; ++i) m.vertices.push_back({i & 1 ? h : -h, i & 2 ? h : -h, i & 4 ? h : -h});
  // Each side's corners in clockwise order seen from outside.
  const uint16_t sides[6][4] = {{2, 3, 1, 0}, {7, 6, 4, 5}, {6, 2, 0, 4}, {3, 7, 5, 1}, {6, 7, 3, 2}, {0, 1, 5, 4}};
  for (uint8_t s = 0; s < 6; ++s) {
    const uint16_t* c = sides[s];
    m.faces.push_back({{c[0], c[1], c[2]}, {}, s});
    m.faces.push_back({{c[0], c[2], c[3]}, {}, s});
  }
  return m;
}

class P3dTest : public FileTest {
 protected:
  void SetUp() override {
    FileTest::SetUp();
    gfx::planes_reset();
    gfx::kP3dSubsystem.reset();
  }
  void TearDown() override {
    gfx::kP3dSubsystem.reset();
    gfx::planes_reset();
    FileTest::TearDown();
  }

  // Writes the model file and loads it; the identity (0 on failure).
  uint32_t load(const ModelSpec& m, const std::string& name = "model.dat") {
    dir_.write(name, model_file(m));
    return gfx::p3d_load(name);
  }

  // A target plane in slot 1, cleared to `background`, with the camera at
  // the origin looking along +z and ambient light 1.
  gfx::Plane& target(int32_t width, int32_t height, int32_t bits, float focal, uint32_t background = 0) {
    EXPECT_EQ(gfx::galloc(1, width, height, bits), 1);
    gfx::Plane& p = *gfx::plane_get(1);
    fill(p, background);
    gfx::p3d_init(1, focal, 1.0f);
    gfx::p3d_clear();
    gfx::p3d_view({}, {});
    gfx::p3d_env({1, 1, 1});
    return p;
  }

  // Every pixel of a 24- or 32-bit plane set to 0x00RRGGBB (fourth byte 0).
  static void fill(gfx::Plane& p, uint32_t colour) {
    const int bpp = p.bit_count / 8;
    for (int32_t y = 0; y < p.height; ++y)
      for (int32_t x = 0; x < p.width; ++x) {
        uint8_t* px = gfx::plane_pixel_address(&p, x, y);
        for (int k = 0; k < bpp; ++k) px[k] = static_cast<uint8_t>(k < 3 && bpp >= 3 ? colour >> (8 * k) : 0);
      }
  }

  // The whole 32-bit pixel (fourth byte included) or the 24-bit colour.
  static uint32_t pixel(const gfx::Plane& p, int32_t x, int32_t y) {
    const uint8_t* px = gfx::plane_pixel_address(&p, x, y);
    uint32_t v = 0;
    for (int k = 0; k < p.bit_count / 8; ++k) v |= uint32_t{px[k]} << (8 * k);
    return v;
  }

  // The rows of a plane as characters: '.' for `background`, the letter of
  // `colours` for each colour listed, '?' for anything else.
  static std::vector<std::string> picture(const gfx::Plane& p, uint32_t background,
                                          const std::vector<std::pair<char, uint32_t>>& colours) {
    std::vector<std::string> rows;
    for (int32_t y = 0; y < p.height; ++y) {
      std::string row;
      for (int32_t x = 0; x < p.width; ++x) {
        const uint32_t v = pixel(p, x, y);
        char c = v == background ? '.' : '?';
        for (const auto& [letter, colour] : colours)
          if (v == colour) c = letter;
        row += c;
      }
      rows.push_back(row);
    }
    return rows;
  }

  static uint32_t material(uint32_t model, uint32_t m, uint32_t colour, uint32_t texture, uint32_t type) {
    return static_cast<uint32_t>(gfx::p3d_material(model, m, colour, texture, type));
  }
};

}  // namespace zelt::test
