// The model file reader: fields, normals, texture coordinates, files that
// lie, materials, and p3d_load's slots and files.
#include <cmath>
#include <limits>

#include "files/exp_file.h"
#include "files/archive_fixture.h"
#include "gfx/p3d/p3d_fixture.h"

namespace zelt::test {
namespace {

using gfx::Model;
using gfx::Vec3;

std::unique_ptr<Model> parse(const std::string& bytes) {
  return gfx::model_parse({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
}

void expect_vec(Vec3 got, Vec3 want, const char* what) {
  EXPECT_FLOAT_EQ(got.x, want.x) << what;
  EXPECT_FLOAT_EQ(got.y, want.y) << what;
  EXPECT_FLOAT_EQ(got.z, want.z) << what;
}

TEST(ModelFile, ReadsFieldsAndComputesNormals) {
  ModelSpec spec = quad(2);
  spec.radius = 3.5f;
  spec.vertices.push_back({9, 9, 9});  // used by no face
  spec.faces[1].material = 7;
  const auto m = parse(model_file(spec));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->radius, 3.5f);
  ASSERT_EQ(m->vertices.size(), 5u);
  ASSERT_EQ(m->faces.size(), 2u);
  expect_vec(m->vertices[2].position, {2, -2, 0}, "position");
  EXPECT_EQ(m->faces[1].index[2], 3);
  EXPECT_EQ(m->faces[1].material, 7);
  EXPECT_EQ(m->faces[0].uv[1][0], 65536);
  // Toward the camera, which looks along +z.
  expect_vec(m->faces[0].normal, {0, 0, -1}, "face normal");
  expect_vec(m->vertices[0].normal, {0, 0, -1}, "vertex normal");
  expect_vec(m->vertices[4].normal, {0, 0, 0}, "unused vertex");
  EXPECT_EQ(m->faces[0].type, 0);
  EXPECT_EQ(m->faces[0].flags, 0);
}

TEST(ModelFile, VertexNormalsAverageWithoutNormalisingAgain) {
  // Two faces at right angles share the edge 0-1; vertex 0 also appears
  // twice in a third, degenerate face (normal 0), which counts twice.
  ModelSpec spec;
  spec.vertices = {{0, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 0, 1}};
  spec.faces = {{{0, 1, 2}}, {{1, 0, 3}}, {{0, 0, 3}}};
  const auto m = parse(model_file(spec));
  ASSERT_TRUE(m);
  expect_vec(m->faces[0].normal, {0, 0, -1}, "face 0");
  expect_vec(m->faces[1].normal, {0, 1, 0}, "face 1");
  expect_vec(m->faces[2].normal, {0, 0, 0}, "degenerate face");
  expect_vec(m->vertices[1].normal, {0, 0.5f, -0.5f}, "shared edge");
  expect_vec(m->vertices[0].normal, {0, 0.25f, -0.25f}, "named twice by the degenerate face");
  expect_vec(m->vertices[3].normal, {0, 0.5f, 0}, "named once by each of two faces");
  expect_vec(m->vertices[2].normal, {0, 0, -1}, "one face");
}

TEST(ModelFile, TextureCoordinatesAreTruncatedAndSaturated) {
  ModelSpec spec;
  spec.vertices = {{0, 0, 0}};
  const float nan = std::numeric_limits<float>::quiet_NaN();
  spec.faces = {{{0, 0, 0}, {{1.5f, -0.25f}, {1e10f, -1e10f}, {nan, 0.99999f}}}};
  const auto m = parse(model_file(spec));
  ASSERT_TRUE(m);
  const auto& uv = m->faces[0].uv;
  EXPECT_EQ(uv[0][0], 98304);
  EXPECT_EQ(uv[0][1], -16384);
  EXPECT_EQ(uv[1][0], INT32_MAX);
  EXPECT_EQ(uv[1][1], INT32_MIN);
  EXPECT_EQ(uv[2][0], 0);
  EXPECT_EQ(uv[2][1], 65535);
}

TEST(ModelFile, FilesThatLie) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  struct Case {
    const char* name;
    std::string bytes;
    bool loads;
    size_t vertices = 0, faces = 0;
  };
  ModelSpec short_faces = quad(1);
  short_faces.face_count = 5;  // three faces missing: they read as zeros, naming vertex 0
  ModelSpec no_vertices = quad(1);
  no_vertices.vertex_count = 0;
  ModelSpec bad_index = quad(1);
  bad_index.faces[1].index[2] = 4;
  ModelSpec wild = quad(1);
  wild.radius = nan;
  wild.vertices[0] = {nan, inf, -inf};
  ModelSpec big;
  big.vertex_count = 65535;
  big.face_count = 65535;
  const std::vector<Case> cases = {
      {"empty file", "", true, 0, 0},
      {"three bytes: two vertices and a face of zeros", std::string("\x02\x00\x01", 3), true, 2, 1},
      {"faces beyond the file", model_file(short_faces), true, 4, 5},
      {"vertices counted as none", model_file(no_vertices), false},
      {"index at the vertex count", model_file(bad_index), false},
      {"NaN and infinite numbers", model_file(wild), true, 4, 2},
      {"65535 of each, no data: every face names vertex 0", model_file(big), true, 65535, 65535},
  };
  for (const Case& c : cases) {
    const auto m = parse(c.bytes);
    ASSERT_EQ(m != nullptr, c.loads) << c.name;
    if (!m) continue;
    EXPECT_EQ(m->vertices.size(), c.vertices) << c.name;
    EXPECT_EQ(m->faces.size(), c.faces) << c.name;
    for (const auto& f : m->faces) EXPECT_TRUE(gfx::finite(f.normal)) << c.name;
    for (const auto& v : m->vertices) EXPECT_TRUE(gfx::finite(v.normal)) << c.name;
  }
}

TEST(ModelFile, MaterialsSetFacesAndRebuildVertexFlags) {
  ModelSpec spec = quad(1);
  spec.faces[1].material = 1;
  auto m = parse(model_file(spec));
  ASSERT_TRUE(m);
  gfx::model_set_material(*m, 1, 0x123456, 9, 6);
  EXPECT_EQ(m->faces[1].type, 6);
  EXPECT_EQ(m->faces[1].flags, 0x13);
  EXPECT_EQ(m->faces[1].colour, 0x123456u);
  EXPECT_EQ(m->faces[1].texture, 9u);
  EXPECT_EQ(m->faces[0].flags, 0);
  EXPECT_EQ(m->vertices[1].flags, 0);     // face 0 only
  EXPECT_EQ(m->vertices[3].flags, 0x13);  // face 1 only
  gfx::model_set_material(*m, 0, 0, 0, 2);
  EXPECT_EQ(m->vertices[0].flags, 0x13 | 0x68);
  gfx::model_set_material(*m, 1, 0, 0, 0);  // flags are rebuilt, not accumulated
  EXPECT_EQ(m->vertices[3].flags, 0x08);
}

class P3dLoad : public P3dTest {};

TEST_F(P3dLoad, FromDiskArchivesAndCompressedFiles) {
  const std::string bytes = model_file(cube(1));
  dir_.write("plain.dat", bytes);
  dir_.write("data.bin", make_archive({{"cube.dat", bytes}}));
  ASSERT_EQ(files::write_compressed("packed.dat", bytes.data(), static_cast<uint32_t>(bytes.size())), 1);
  dir_.write("trailing.dat", bytes + "junk after the faces");
  for (const char* name : {"plain.dat", "data\\cube.dat", "packed.dat", "trailing.dat"}) {
    const uint32_t id = gfx::p3d_load(name);
    ASSERT_NE(id, 0u) << name;
    const Model* m = gfx::p3d_model(id);
    ASSERT_TRUE(m) << name;
    EXPECT_EQ(m->faces.size(), 12u) << name;
    EXPECT_EQ(m->vertices[7].position.z, 1.0f) << name;
  }
}

TEST_F(P3dLoad, SlotsIdentitiesAndFailures) {
  EXPECT_EQ(gfx::p3d_load("missing.dat"), 0u);
  ModelSpec bad = quad(1);
  bad.faces[0].index[0] = 9;
  EXPECT_EQ(load(bad, "bad.dat"), 0u);
  EXPECT_EQ(load(quad(1)), 1u);  // failures took no slot
  EXPECT_EQ(load(quad(1)), 2u);
  EXPECT_EQ(gfx::p3d_free(1), 1);
  EXPECT_EQ(gfx::p3d_model(1), nullptr);
  EXPECT_EQ(load(quad(1)), 1u);  // the first free slot
  for (uint32_t i = 3; i <= gfx::kP3dModelSlots; ++i) ASSERT_EQ(gfx::p3d_load("model.dat"), i);
  EXPECT_EQ(gfx::p3d_load("model.dat"), 0u);  // all 512 in use
  // Identities outside 1..512 are refused; a free slot in range is freed again harmlessly.
  for (uint32_t id : {0u, 513u, 0xFFFFFFFFu}) {
    EXPECT_EQ(gfx::p3d_free(id), 0) << id;
    EXPECT_EQ(material(id, 0, 0, 0, 0), 0u) << id;
    EXPECT_EQ(gfx::p3d_setobj(id, {}, {}), 0) << id;
  }
  EXPECT_EQ(gfx::p3d_free(7), 1);
  EXPECT_EQ(gfx::p3d_free(7), 1);
  EXPECT_EQ(gfx::p3d_setobj(7, {}, {}), 1);
  EXPECT_EQ(material(7, 0, 0, 0, 0), 1u);
  EXPECT_EQ(material(1, 0, 0, 0, 7), 0u);  // no render type 7
  EXPECT_EQ(gfx::p3d_model(1)->faces[0].flags, 0);
  // p3d_init and p3d_uninit release every model.
  gfx::p3d_init(0, 1, 1);
  EXPECT_EQ(gfx::p3d_model(1), nullptr);
  EXPECT_EQ(load(quad(1)), 1u);
  EXPECT_EQ(gfx::p3d_uninit(), 1);
  EXPECT_EQ(gfx::p3d_model(1), nullptr);
}

}  // namespace
}  // namespace zelt::test
