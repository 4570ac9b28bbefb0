// Rendering at simple poses, checked pixel by pixel: the fill convention,
// each render type's arithmetic, lighting, depth order, culling, texturing
// (wrapping, perspective correction, environment mapping) and scenes that
// must draw nothing.
#include <cmath>
#include <limits>
#include <numbers>

#include "gfx/p3d/p3d_fixture.h"

namespace zelt::test {
namespace {

using gfx::Vec3;
using Picture = std::vector<std::string>;

// A 16 × 16 target with focal length 8: quad(2) at distance 4 covers the
// screen square from (4, 4) to (12, 12).
constexpr Vec3 kAhead{0, 0, 4};

const Picture kSquare = {
    "................", "................", "................", "................", "....########....",
    "....########....", "....########....", "....########....", "....########....", "....########....",
    "....########....", "....########....", "................", "................", "................",
    "................",
};

class P3dRender : public P3dTest {
 protected:
  // A texture plane in slot 2 of w × h pixels; texel (x, y) is
  // 0x00RRGGBB with red 40x, green 40y and blue 7 (fourth byte 0x7F).
  uint32_t texture(int32_t w, int32_t h, int32_t bits = 32) {
    EXPECT_EQ(gfx::galloc(2, w, h, bits), 1);
    gfx::Plane& t = *gfx::plane_get(2);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        uint8_t* px = gfx::plane_pixel_address(&t, x, y);
        px[0] = 7, px[1] = static_cast<uint8_t>(40 * y), px[2] = static_cast<uint8_t>(40 * x);
        if (bits == 32) px[3] = 0x7F;
      }
    return gfx::p3d_tex(2);
  }
  static uint32_t texel(int32_t x, int32_t y) { return 0x7F000007u | uint32_t(40 * x) << 16 | uint32_t(40 * y) << 8; }

  // Loads the model, gives material 0 the type, colour and texture, and
  // submits it at pos.
  uint32_t submit(const ModelSpec& m, uint32_t type, uint32_t colour, uint32_t tex = 0, Vec3 pos = kAhead,
                  Vec3 angles = {}) {
    std::string name = std::to_string(loaded_++);
    name += ".dat";
    const uint32_t id = load(m, name);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(material(id, 0, colour, tex, type), 1u);
    EXPECT_EQ(gfx::p3d_setobj(id, pos, angles), 1);
    return id;
  }

  int loaded_ = 0;
};

TEST_F(P3dRender, EachTypeFillsTheFaceOnSquareWithItsArithmetic) {
  struct Case {
    const char* name;
    uint32_t type, colour;
    uint32_t background, inside;  // whole 32-bit pixels
  };
  const Case cases[] = {
      {"solid flat: the colour, fourth byte 255", 0, 0xFF8000, 0x00010203, 0xFFFF8000},
      {"solid Gouraud: full white draws 247", 1, 0xFFFFFF, 0x00010203, 0xFFF7F7F7},
      {"additive flat adds with saturation", 2, 0x1020F0, 0x00010230, 0xFF1122FF},
      {"additive Gouraud: black adds 8", 3, 0x000000, 0x00010203, 0xFF090A0B},
      {"textured flat: the texel", 4, 0x000000, 0, 0x7F405007},
      {"textured Gouraud: the texel less 8", 5, 0x000000, 0, 0x7F384800},
      {"environment-mapped: the texel less 8", 6, 0x000000, 0, 0x7F384800},
  };
  for (const Case& c : cases) {
    gfx::Plane& p = target(16, 16, 32, 8, c.background);
    gfx::galloc(2, 1, 1, 32);
    uint8_t* t = gfx::plane_pixel_address(gfx::plane_get(2), 0, 0);
    t[0] = 7, t[1] = 0x50, t[2] = 0x40, t[3] = 0x7F;
    submit(quad(2), c.type, c.colour, gfx::p3d_tex(2));
    ASSERT_EQ(gfx::p3d_scene().frame_triangle_count(), 2u) << c.name;
    EXPECT_EQ(gfx::p3d_render(), 1);
    EXPECT_EQ(picture(p, c.background, {{'#', c.inside}}), kSquare) << c.name;
  }
}

TEST_F(P3dRender, SolidColoursInEveryPixelSize) {
  struct Case {
    int32_t bits;
    uint32_t colour, inside;  // the pixel's bytes
  };
  const Case cases[] = {
      {8, 0x0000C8, 0xC8},                      // the first byte acts on palette indices
      {16, 0xFF8000, 31u << 10 | 16u << 5},     // channels through 5-5-5
      {24, 0xFF8000, 0xFF8000},
      {32, 0xFF8000, 0xFFFF8000},
  };
  for (const Case& c : cases) {
    gfx::Plane& p = target(16, 16, c.bits, 8);
    submit(quad(2), 0, c.colour);
    gfx::p3d_render();
    EXPECT_EQ(picture(p, 0, {{'#', c.inside}}), kSquare) << c.bits;
  }
  // 16-bit additive: channels expanded, added, saturated and packed again.
  gfx::Plane& p = target(16, 16, 16, 8);
  uint8_t* px = gfx::plane_pixel_address(&p, 8, 8);
  px[0] = 0x21, px[1] = 0x04;  // red 1, green 1, blue 1: bytes 8 each
  submit(quad(2), 2, 0x10F8FF);
  gfx::p3d_render();
  EXPECT_EQ(pixel(p, 8, 8), 3u << 10 | 31u << 5 | 31u);
}

TEST_F(P3dRender, AmbientAndColourCombine) {
  struct Case {
    Vec3 ambient;
    uint32_t type, colour, inside;
  };
  const Case cases[] = {
      {{1, 1, 1}, 0, 0xFF8000, 0xFF8000},
      {{0.5f, 0.5f, 0.5f}, 0, 0xFF8000, 0x800100},  // lit bytes 128
      {{0, 0, 0}, 0, 0xFFFFFF, 0x000000},
      {{1, 0.5f, 0}, 0, 0xFFFFFF, 0x0080FF},       // the first component pairs with blue
      {{0.5f, 0.5f, 0.5f}, 4, 0x000000, 0x000000},  // shade 127: texel 0x405007 goes dark
      {{0.5f, 0.5f, 0.5f}, 4, 0x7F7F7F, 0x405007},  // shade 0
  };
  for (const Case& c : cases) {
    gfx::Plane& p = target(16, 16, 24, 8);
    gfx::p3d_env(c.ambient);
    gfx::galloc(2, 1, 1, 24);
    uint8_t* t = gfx::plane_pixel_address(gfx::plane_get(2), 0, 0);
    t[0] = 7, t[1] = 0x50, t[2] = 0x40;
    submit(quad(2), c.type, c.colour, gfx::p3d_tex(2));
    gfx::p3d_render();
    EXPECT_EQ(pixel(p, 8, 8), c.inside) << c.type << " " << std::hex << c.colour;
  }
}

TEST_F(P3dRender, AdditiveTypesOverWhiteLeaveWhite) {
  for (uint32_t type : {2u, 3u}) {
    gfx::Plane& p = target(16, 16, 24, 8, 0xFFFFFF);
    submit(quad(2), type, 0x808080);
    gfx::p3d_render();
    EXPECT_EQ(picture(p, 0xFFFFFF, {}), Picture(16, std::string(16, '.'))) << type;
  }
}

TEST_F(P3dRender, LightingAtKnownNormals) {
  struct Light {
    uint32_t type;
    Vec3 colour;
    float a, b, c;
  };
  struct Case {
    const char* name;
    Vec3 ambient;
    std::vector<Light> lights;
    Vec3 n, p;
    std::array<uint8_t, 3> lit;
    Vec3 view_angles = {};
  };
  const float half_pi = std::numbers::pi_v<float> / 2;
  const Light ahead{0, {0.5f, 0.5f, 0.5f}, 0, 0, 0};  // shining along +z
  const std::vector<Case> cases = {
      {"ambient only, rounded to nearest", {0.1f, 0.2f, 0.3f}, {}, {0, 0, -1}, {}, {26, 51, 77}},
      {"facing the light", {0.1f, 0.2f, 0.3f}, {ahead}, {0, 0, -1}, {}, {153, 179, 204}},
      {"facing away", {0.1f, 0.2f, 0.3f}, {ahead}, {0, 0, 1}, {}, {26, 51, 77}},
      {"at an angle", {0, 0, 0}, {ahead}, {0, -0.6f, -0.8f}, {}, {102, 102, 102}},
      {"above 1 saturates", {0.9f, 0.9f, 0.9f}, {ahead}, {0, 0, -1}, {}, {255, 255, 255}},
      {"negative colours give 0", {-1, -1, -1}, {ahead}, {0, 0, -1}, {}, {0, 0, 0}},
      {"shining upwards (b = -pi/2) on a face looking down", {0, 0, 0}, {{0, {1, 1, 1}, 0, -half_pi, 0}}, {0, -1, 0},
       {}, {255, 255, 255}},
      {"the zero normal: ambient only", {0.2f, 0.2f, 0.2f}, {ahead}, {0, 0, 0}, {}, {51, 51, 51}},
      {"point light behind the camera", {0, 0, 0}, {{1, {1, 0.5f, 0}, 0, 0, -4}}, {0, 0, -1}, {0, 0, 4},
       {255, 128, 0}},
      {"point light beside the point", {0, 0, 0}, {{1, {1, 1, 1}, 3, 0, 4}}, {0.6f, 0, -0.8f}, {0, 0, 4},
       {153, 153, 153}},
      {"point light at the point", {0.2f, 0.2f, 0.2f}, {{1, {1, 1, 1}, 0, 0, 4}}, {0, 0, -1}, {0, 0, 4},
       {51, 51, 51}},
      {"lights sum", {0, 0, 0}, {ahead, ahead}, {0, 0, -1}, {}, {255, 255, 255}},
      {"other types light nothing", {0, 0, 0}, {{2, {1, 1, 1}, 0, 0, 0}}, {0, 0, -1}, {}, {0, 0, 0}},
      {"the light turns with the camera", {0, 0, 0}, {ahead}, {1, 0, 0}, {}, {128, 128, 128}, {0, half_pi, 0}},
  };
  for (const Case& c : cases) {
    gfx::P3dScene scene;
    scene.view({}, c.view_angles);
    scene.env(c.ambient);
    for (const Light& l : c.lights) scene.light(l.type, l.colour, l.a, l.b, l.c);
    const gfx::LitColour got = scene.lit(c.n, c.p);
    EXPECT_EQ((std::array<uint8_t, 3>{got.c[0], got.c[1], got.c[2]}), c.lit) << c.name;
  }
  gfx::P3dScene scene;
  for (int i = 0; i < 20; ++i) scene.light(0, {}, 0, 0, 0);
  EXPECT_EQ(scene.light_count(), 16u);
  EXPECT_EQ(scene.light_flags(), 1u);
  scene.light(1, {}, 0, 0, 0);  // a 17th: not added
  EXPECT_EQ(scene.light_flags(), 1u);
  scene.clear();
  EXPECT_EQ(scene.light_count(), 0u);
  scene.light(1, {}, 0, 0, 0);
  EXPECT_EQ(scene.light_flags(), 3u);
}

TEST_F(P3dRender, FlatLitFacesAreLitAtTheCentroid) {
  gfx::Plane& p = target(16, 16, 24, 8);
  gfx::p3d_env({0, 0, 0});
  // A point light in front of the square's centre, between it and the
  // camera. Each triangle is lit at its own centroid, (2/3, 2/3, 4) and
  // (-2/3, -2/3, 4): d = -2 / |(2/3, 2/3, 2)| gives 231, where the square's
  // centre would give 255.
  gfx::p3d_light({1, 1, 1}, 1, 0, 0, 2);
  submit(quad(2), 0, 0xFFFFFF);
  gfx::p3d_render();
  EXPECT_EQ(pixel(p, 10, 5), 0xE7E7E7u);
  EXPECT_EQ(pixel(p, 5, 10), 0xE7E7E7u);
}

TEST_F(P3dRender, NearFacesHideFarOnesAndAdditiveFacesComeLast) {
  gfx::Plane& p = target(16, 16, 24, 8);
  // Far first: a bigger square at distance 8 covers the same screen square
  // as the near one's surroundings.
  submit(quad(4), 0, 0x00FF00, 0, {0, 0, 8});
  submit(quad(1), 0, 0xFF0000, 0, {0, 0, 4});  // screen (6, 6) to (10, 10)
  // An additive square in front of everything on the left, and one behind
  // the far square on the right: only the first adds.
  submit(quad(1), 2, 0x000010, 0, {-1, 0, 2});   // screen (0, 4) to (8, 12)
  submit(quad(2), 2, 0x000010, 0, {2, 0, 16});   // screen (9, 7) to (10, 9): hidden
  gfx::p3d_render();
  EXPECT_EQ(picture(p, 0, {{'G', 0x00FF00}, {'R', 0xFF0000}, {'g', 0x00FF10}, {'r', 0xFF0010}, {'b', 0x000010}}),
            (Picture{
                "................", "................", "................", "................",
                "bbbbggggGGGG....", "bbbbggggGGGG....", "bbbbggrrRRGG....", "bbbbggrrRRGG....",
                "bbbbggrrRRGG....", "bbbbggrrRRGG....", "bbbbggggGGGG....", "bbbbggggGGGG....",
                "................", "................", "................", "................",
            }));
  // The depth buffer keeps what was drawn until p3d_clear: drawing the
  // same lists again changes nothing, additive faces included.
  const Picture before = picture(p, 0, {});
  gfx::p3d_render();
  EXPECT_EQ(picture(p, 0, {}), before);
  gfx::p3d_clear();
  EXPECT_EQ(gfx::p3d_scene().frame_triangle_count(), 0u);
}

TEST_F(P3dRender, CullingAndTheNearDistance) {
  struct Case {
    const char* name;
    Vec3 pos, angles;
    uint32_t type;
    uint32_t triangles;
  };
  const float pi = std::numbers::pi_v<float>;
  const Case cases[] = {
      {"in front", kAhead, {}, 0, 2},
      {"behind the camera", {0, 0, -4}, {}, 0, 0},
      {"at the camera", {0, 0, 0}, {}, 0, 0},
      {"beyond the left edge", {-40, 0, 4}, {}, 0, 0},
      {"beyond the bottom edge", {0, -40, 4}, {}, 0, 0},
      {"turned away", kAhead, {0, pi, 0}, 0, 0},
      {"turned away, both sides drawn", kAhead, {0, pi, 0}, 2, 2},
      {"nearer than the near distance", {0, 0, 0.9f}, {}, 0, 0},
  };
  for (const Case& c : cases) {
    target(16, 16, 24, 8);
    submit(quad(2), c.type, 0xFFFFFF, 0, c.pos, c.angles);
    EXPECT_EQ(gfx::p3d_scene().frame_triangle_count(), c.triangles) << c.name;
  }

  // A cube ahead shows its near side only; turned a little about y, two sides.
  target(16, 16, 24, 8);
  submit(cube(1), 0, 0xFFFFFF);
  EXPECT_EQ(gfx::p3d_scene().frame_triangle_count(), 2u);
  target(64, 64, 24, 32);
  submit(cube(1), 0, 0xFFFFFF, 0, {0, 0, 6}, {0, 0.5f, 0});
  EXPECT_EQ(gfx::p3d_scene().frame_triangle_count(), 4u);

  // One corner nearer than the near distance drops its face, whole.
  gfx::Plane& p = target(16, 16, 24, 8);
  ModelSpec m = quad(2);
  m.vertices[1].z = -3.5f;  // top right, used by the first face only
  submit(m, 0, 0xFFFFFF);
  gfx::p3d_render();
  EXPECT_EQ(picture(p, 0, {{'#', 0xFFFFFF}}),
            (Picture{"................", "................", "................", "................",
                     "................", "....#...........", "....##..........", "....###.........",
                     "....####........", "....#####.......", "....######......", "....#######.....",
                     "................", "................", "................", "................"}));
}

TEST_F(P3dRender, TexelsFollowTheCoordinatesAndWrap) {
  gfx::Plane& p = target(16, 16, 32, 8);
  const uint32_t tex = texture(4, 4);
  submit(quad(2), 4, 0, tex);
  gfx::p3d_render();
  for (int32_t y = 4; y < 12; ++y)
    for (int32_t x = 4; x < 12; ++x) ASSERT_EQ(pixel(p, x, y), texel((x - 4) / 2, (y - 4) / 2)) << x << "," << y;

  // Coordinates of 1.5 everywhere sample the middle of the texture; -0.25
  // wraps to three quarters.
  for (float at : {1.5f, -0.25f}) {
    gfx::Plane& q = target(16, 16, 32, 8);
    ModelSpec m = quad(2);
    for (FaceSpec& f : m.faces)
      for (auto& uv : f.uv) uv[0] = uv[1] = at;
    submit(m, 4, 0, texture(4, 4));
    gfx::p3d_render();
    const int32_t t = at > 0 ? 2 : 3;
    EXPECT_EQ(pixel(q, 8, 8), texel(t, t)) << at;
  }
}

TEST_F(P3dRender, TexturingIsPerspectiveCorrect) {
  // A square leaning back: its top edge at distance 8, its bottom at 4. Its
  // centre (0, 0, 6) projects to the screen's centre, where the texture's
  // middle must show; interpolating on the screen would give v = 1/3 there.
  gfx::Plane& p = target(64, 64, 32, 32);
  ModelSpec m = quad(2);
  m.vertices = {{-2, 2, 8}, {2, 2, 8}, {2, -2, 4}, {-2, -2, 4}};
  submit(m, 4, 0, texture(5, 5), {0, 0, 0});
  gfx::p3d_render();
  EXPECT_EQ(pixel(p, 32, 32), texel(2, 2));
  EXPECT_EQ(pixel(p, 32, 25), texel(2, 0));
  EXPECT_EQ(pixel(p, 32, 47), texel(2, 4));
}

TEST_F(P3dRender, EnvironmentMappingUsesTheViewSpaceNormal) {
  // Face-on, every normal is (0, 0, -1): u = v = 32768, the texture's middle.
  gfx::Plane& p = target(16, 16, 32, 8);
  submit(quad(2), 6, 0, texture(4, 4));
  gfx::p3d_render();
  const uint32_t middle = 0x7F484800;  // texel(2, 2) = 0x7F505007, less 8 per byte, saturating
  EXPECT_EQ(picture(p, 0, {{'#', middle}}), kSquare);
}

TEST_F(P3dRender, TexturesThatCannotBeUsedDrawNothing) {
  struct Case {
    const char* name;
    int32_t bits;
    bool free_it;
  };
  const Case cases[] = {{"another bit count", 24, false}, {"a freed plane", 32, true}};
  for (const Case& c : cases) {
    gfx::Plane& p = target(16, 16, 32, 8);
    const uint32_t tex = texture(4, 4, c.bits);
    if (c.free_it) gfx::gfree(2);
    submit(quad(2), 5, 0, tex);
    gfx::p3d_render();
    EXPECT_EQ(picture(p, 0, {}), Picture(16, std::string(16, '.'))) << c.name;
  }
  EXPECT_EQ(gfx::p3d_tex(9), 0u);
  EXPECT_EQ(gfx::p3d_tex(1024), 0u);
}

TEST_F(P3dRender, TheTargetMustStillBeThere) {
  target(16, 16, 24, 8);
  submit(quad(2), 0, 0xFFFFFF);
  gfx::gfree(1);
  gfx::p3d_render();  // no plane: nothing drawn
  gfx::galloc(1, 8, 8, 24);
  gfx::p3d_render();  // another size: nothing drawn
  EXPECT_EQ(gfx::getpixel(1, 5, 5), 0);
  gfx::galloc(1, 16, 16, 24);
  gfx::Rect clip{0, 0, 8, 6};
  gfx::gclip(1, &clip);
  gfx::p3d_render();  // the same size again: drawn, inside the clip rectangle
  EXPECT_EQ(gfx::getpixel(1, 7, 5), 0xFFFFFF);
  EXPECT_EQ(gfx::getpixel(1, 8, 5), 0);
  EXPECT_EQ(gfx::getpixel(1, 7, 6), 0);

  // No target at all (an empty slot), and no p3d_init: nothing drawn.
  gfx::p3d_init(9, 8, 1);
  submit(quad(2), 0, 0xFFFFFF);
  gfx::p3d_render();
  gfx::kP3dSubsystem.reset();
  submit(quad(2), 0, 0xFFFFFF);
  gfx::p3d_render();
}

TEST_F(P3dRender, FrameListsHold8192Entries) {
  gfx::P3dScene scene;
  gfx::Model big;
  big.radius = 1e9f;
  gfx::ModelVertex ahead;
  ahead.position = {0, 0, 4};
  big.vertices.resize(5000, ahead);
  scene.add_object(big, {}, {});
  scene.add_object(big, {}, {});  // 10000 vertices would not fit: dropped
  EXPECT_EQ(scene.frame_vertex_count(), 5000u);

  // Small triangles all over the screen: faces past the 8192nd are dropped.
  gfx::galloc(1, 64, 64, 32);
  scene.init(1, 64, 1);
  scene.view({}, {});
  gfx::Model many;
  many.radius = 1e9f;
  many.vertices.resize(3);
  many.vertices[0].position = {-1, 1, 64}, many.vertices[1].position = {1, 1, 64};
  many.vertices[2].position = {1, -1, 64};
  gfx::ModelFace face;
  face.flags = 0x08;
  face.index[0] = 0, face.index[1] = 1, face.index[2] = 2;
  many.faces.resize(6000, face);
  scene.add_object(many, {}, {});
  scene.add_object(many, {}, {});
  EXPECT_EQ(scene.frame_triangle_count(), 8192u);
  EXPECT_EQ(scene.frame_vertex_count(), 5006u);
  scene.render();
}

TEST_F(P3dRender, WildScenesDrawNothingOutsideThePlane) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  struct Case {
    const char* name;
    Vec3 pos, angles, eye;
    float focal, near_distance;
    Vec3 corner;  // replaces the first vertex
  };
  const Case cases[] = {
      {"NaN position", {nan, 0, 4}, {}, {}, 8, 1, {-2, 2, 0}},
      {"NaN angles", kAhead, {nan, 0, 0}, {}, 8, 1, {-2, 2, 0}},
      {"NaN eye", kAhead, {}, {0, nan, 0}, 8, 1, {-2, 2, 0}},
      {"infinite corner", kAhead, {}, {}, 8, 1, {-inf, 2, 0}},
      {"huge corner", kAhead, {}, {}, 8, 1, {-1e30f, 1e30f, 0}},
      {"far beyond the screen", kAhead, {}, {}, 8, 1, {-1e6f, 2, 0}},
      {"grazing the eye with near 0", {0, 0, 1e-6f}, {}, {}, 8, 0, {-2, 2, 0}},
      {"negative near distance", {0, 0, 0}, {}, {}, 8, -10, {-2, 2, 0}},
      {"NaN focal length", kAhead, {}, {}, nan, 1, {-2, 2, 0}},
      {"huge focal length", kAhead, {}, {}, 1e30f, 1, {-2, 2, 0}},
  };
  for (const Case& c : cases) {
    for (uint32_t type = 0; type < 7; ++type) {
      gfx::galloc(1, 16, 16, 32);
      gfx::p3d_init(1, c.focal, c.near_distance);
      gfx::p3d_clear();
      gfx::p3d_view(c.eye, {});
      gfx::p3d_env({1, 1, 1});
      gfx::p3d_light({1, 1, 1}, 1, 0, 0, 0);
      ModelSpec m = quad(2);
      m.vertices[0] = c.corner;
      m.radius = nan;
      submit(m, type, 0xFFFFFF, texture(3, 3), c.pos, c.angles);
      gfx::p3d_render();
    }
  }
}

}  // namespace
}  // namespace zelt::test
