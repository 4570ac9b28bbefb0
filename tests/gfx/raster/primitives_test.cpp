// Primitives: raw fills in every format, the per-format alpha blend, the
// clip rectangle (used by fills and polygons, not by lines), line clipping
// and the anti-aliased stepping, polygon scan conversion, coordinates at
// the ends of the 32-bit range, and row parallelism.
#include "gfx/raster/primitives.h"

#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "gfx/plane_fixture.h"
#include "gfx/raster/parallel_rows.h"

namespace zelt::gfx {
namespace {

class Primitives : public PlaneFixture {
 protected:
  static uint32_t pixel(const Plane& p, int32_t x, int32_t y) {
    uint32_t v = 0;
    std::memcpy(&v, plane_pixel_address(&p, x, y), static_cast<size_t>(p.bit_count / 8));
    return v;
  }
  static void set_pixel(const Plane& p, int32_t x, int32_t y, uint32_t v) {
    std::memcpy(plane_pixel_address(&p, x, y), &v, static_cast<size_t>(p.bit_count / 8));
  }
  static void fill_pixels(const Plane& p, uint32_t v) {
    for (int32_t y = 0; y < p.height; ++y)
      for (int32_t x = 0; x < p.width; ++x) set_pixel(p, x, y, v);
  }
  // Every pixel against expected(x, y); reports the first difference.
  static void expect_pixels(const Plane& p, const std::function<uint32_t(int32_t, int32_t)>& expected) {
    for (int32_t y = 0; y < p.height; ++y)
      for (int32_t x = 0; x < p.width; ++x)
        if (pixel(p, x, y) != expected(x, y)) {
          ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << pixel(p, x, y) << ", expected "
                        << expected(x, y);
          return;
        }
  }
  static void set_clip(uint32_t slot, Rect r) { ASSERT_EQ(gclip(slot, &r), 1); }
  static bool inside(const Rect& r, int32_t x, int32_t y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
  }
};

TEST_F(Primitives, GclearWritesTheValueInEachFormat) {
  struct Case {
    int32_t bits;
    uint32_t value, stored;
  };
  const Case cases[] = {
      {32, 0x80FF0000, 0x80FF0000},  // the fourth byte is stored too
      {32, 0x80FF8040, 0x80FF8040},
      {24, 0x80FF8040, 0xFF8040},
      {16, 0x80FF8040, 31 << 10 | 16 << 5 | 8},
      {8, 0x80FF8040, 0x40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.bits) + " bits, value " + std::to_string(c.value));
    const Plane& p = make(1, 5, 4, c.bits);
    fill_pixels(p, 0x5A5A5A5A);
    EXPECT_EQ(gclear(1, nullptr, c.value), 1);
    expect_pixels(p, [&](int32_t, int32_t) { return c.stored; });
  }
}

TEST_F(Primitives, GclearKeepsToTheRectangleAndTheClip) {
  const Plane& p = make(1, 8, 6, 24);
  const Rect clip{1, 1, 7, 5};
  set_clip(1, clip);
  struct Case {
    const char* name;
    Rect rect;
    Rect filled;  // empty: nothing
  };
  const Case cases[] = {
      {"inside the clip", {2, 2, 4, 3}, {2, 2, 4, 3}},
      {"crossing the clip", {-3, 0, 3, 9}, {1, 1, 3, 5}},
      {"the whole 32-bit range", {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, clip},
      {"reversed", {4, 3, 2, 2}, {}},
      {"beyond the clip", {7, 0, 8, 6}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fill_pixels(p, 0);
    EXPECT_EQ(gclear(1, &c.rect, 0x123456), 1);
    expect_pixels(p, [&](int32_t x, int32_t y) { return inside(c.filled, x, y) ? 0x123456u : 0u; });
  }
  fill_pixels(p, 0);
  EXPECT_EQ(gclear(1, nullptr, 0x654321), 1);  // the whole plane ∩ the clip
  expect_pixels(p, [&](int32_t x, int32_t y) { return inside(clip, x, y) ? 0x654321u : 0u; });
  raw_fill(plane_get(1), INT_MAX - 1, 0, INT_MAX, 3, 1);  // x + width beyond 32 bits
  raw_fill(plane_get(1), 3, 3, INT_MIN, INT_MIN, 1);
  expect_pixels(p, [&](int32_t x, int32_t y) { return inside(clip, x, y) ? 0x654321u : 0u; });
}

TEST_F(Primitives, PlanesOfOneAndFourBitsAreNotDrawnInto) {
  const int32_t points[] = {0, 0, 8, 0, 8, 8};
  for (int32_t bits : {1, 4}) {
    SCOPED_TRACE(bits);
    const Plane& p = make(1, 16, 8, bits);
    std::vector<uint8_t> before(plane_pixels(p).begin(), plane_pixels(p).end());
    EXPECT_EQ(gclear(1, nullptr, 0xFFFFFFFF), 1);
    EXPECT_EQ(gfill(1, 0, 0, 16, 8, 0xFFFFFFFF), 0);
    EXPECT_EQ(gline(1, 0, 0, 15, 7, 0xFFFFFFFF), 0);
    EXPECT_EQ(gpoly(1, points, 0xFFFFFFFF), 0);
    EXPECT_EQ(std::vector<uint8_t>(plane_pixels(p).begin(), plane_pixels(p).end()), before);
  }
}

TEST_F(Primitives, EmptySlotsDrawNothing) {
  const int32_t points[] = {0, 0, 8, 0, 8, 8};
  EXPECT_EQ(gclear(3, nullptr, 1), 0);
  EXPECT_EQ(gfill(3, 0, 0, 1, 1, 0xFF000000), 0);
  EXPECT_EQ(gline(3, 0, 0, 1, 1, 0xFF000000), 0);
  EXPECT_EQ(gpoly(3, points, 0xFF000000), 0);
  EXPECT_EQ(gpoly(1024, points, 0xFF000000), 0);
}

// One pixel blended with one colour: the colour's alpha is the weight.
TEST_F(Primitives, BlendOfOnePixelInEachFormat) {
  struct Case {
    const char* name;
    int32_t bits;
    uint32_t before, colour, after;
  };
  const Case cases[] = {
      // 32-bit "over": D = (255 − u)·t + 255·u.
      {"32: fourth byte 0 takes the colour and t", 32, 0x00102030, 0x80C86432, 0x80C86432},
      {"32: fourth byte 255", 32, 0xFF102030, 0x80C86432, 0xFF6C4231},
      {"32: fourth byte 128, t 64", 32, 0x80102030, 0x40C86432, 0x9F593B30},
      {"32: alpha 255 is the colour, fourth byte 255", 32, 0x40FFFFFF, 0xFF000000, 0xFF000000},
      {"32: alpha 1 on fourth byte 0", 32, 0x00102030, 0x01C86432, 0x01C86432},
      {"32: alpha 0 leaves the pixel", 32, 0x00102030, 0x00C86432, 0x00102030},
      // 24-bit: MUL[t][c] + MUL[255 − t][d].
      {"24: half", 24, 0x102030, 0x80C86432, 0x6C4231},
      {"24: alpha 255", 24, 0x102030, 0xFFC86432, 0xC86432},
      {"24: alpha 0", 24, 0x102030, 0x00C86432, 0x102030},
      // 16-bit: the same on 5-bit fields; bit 15 is cleared.
      {"16: black at half on white", 16, 0x7FFF, 0x80000000, 0x3DEF},
      {"16: bit 15 cleared", 16, 0xFFFF, 0x80000000, 0x3DEF},
      {"16: t 192", 16, 0x0421, 0xC0F08010, 0x5D82},
      {"16: alpha 0 keeps bit 15", 16, 0xFFFF, 0x00000000, 0xFFFF},
      // 8-bit: on the index byte.
      {"8: index 100 at half on 200", 8, 200, 0x80000064, 150},
      {"8: alpha 255", 8, 200, 0xFFABCD64, 0x64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Plane& p = make(1, 3, 3, c.bits);
    fill_pixels(p, c.before);
    EXPECT_EQ(gfill(1, 1, 1, 1, 1, c.colour), 1);
    expect_pixels(p, [&](int32_t x, int32_t y) { return x == 1 && y == 1 ? c.after : c.before; });
    // A horizontal line and a polygon blend the same way.
    fill_pixels(p, c.before);
    EXPECT_EQ(gline(1, 0, 1, 2, 1, c.colour), 1);
    expect_pixels(p, [&](int32_t, int32_t y) { return y == 1 ? c.after : c.before; });
    fill_pixels(p, c.before);
    const int32_t square[] = {0, 0, 2, 0, 2, 2, 0, 2};
    EXPECT_EQ(gpoly(1, square, c.colour), 1);
    expect_pixels(p, [&](int32_t, int32_t y) { return y < 2 ? c.after : c.before; });
  }
}

TEST_F(Primitives, GfillKeepsToTheClipAndReportsWhetherItDrew) {
  const Plane& p = make(1, 10, 8, 32);
  const Rect clip{2, 1, 8, 6};
  set_clip(1, clip);
  struct Case {
    const char* name;
    int32_t x, y, w, h;
    int32_t result;
    Rect drawn;
  };
  const Case cases[] = {
      {"inside", 3, 2, 2, 3, 1, {3, 2, 5, 5}},
      {"over the clip", -5, -5, 100, 100, 1, clip},
      {"the whole 32-bit range", INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, {}},  // ends at −1
      {"from the middle to beyond 32 bits", 4, 3, INT_MAX, INT_MAX, 1, {4, 3, 8, 6}},
      {"left of the clip", 0, 0, 2, 8, 0, {}},
      {"below the clip", 2, 6, 5, 2, 0, {}},
      {"negative width", 5, 2, -3, 2, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fill_pixels(p, 0xFF000000);
    EXPECT_EQ(gfill(1, c.x, c.y, c.w, c.h, 0xFF123456), c.result);
    expect_pixels(p, [&](int32_t x, int32_t y) { return inside(c.drawn, x, y) ? 0xFF123456u : 0xFF000000u; });
  }
  // Alpha 0 processes the area and changes nothing.
  fill_pixels(p, 0x00ABCDEF);
  EXPECT_EQ(gfill(1, 0, 0, 10, 8, 0x00123456), 1);
  expect_pixels(p, [](int32_t, int32_t) { return 0x00ABCDEFu; });
  // An empty clip rectangle draws nothing.
  set_clip(1, {5, 5, 5, 7});
  EXPECT_EQ(gfill(1, 0, 0, 10, 8, 0xFF123456), 0);
  expect_pixels(p, [](int32_t, int32_t) { return 0x00ABCDEFu; });
}

TEST_F(Primitives, GlineClipsToThePlaneAndIgnoresTheClipRectangle) {
  const Plane& p = make(1, 100, 20, 24);
  set_clip(1, {50, 10, 60, 12});
  struct Case {
    const char* name;
    int32_t x0, y0, x1, y1;
    int32_t result;
    std::function<bool(int32_t, int32_t)> drawn;
  };
  const Case cases[] = {
      {"(-10, 5) to (10, 5)", -10, 5, 10, 5, 1, [](int32_t x, int32_t y) { return y == 5 && x <= 10; }},
      {"right to left, beyond both sides", 500, 7, -500, 7, 1, [](int32_t, int32_t y) { return y == 7; }},
      {"vertical across the plane", 3, INT_MIN, 3, INT_MAX, 1, [](int32_t x, int32_t) { return x == 3; }},
      {"vertical upward", 4, 9, 4, 2, 1, [](int32_t x, int32_t y) { return x == 4 && y >= 2 && y <= 9; }},
      {"one point", 99, 19, 99, 19, 1, [](int32_t x, int32_t y) { return x == 99 && y == 19; }},
      {"wholly left", -10, 0, -1, 19, 0, nullptr},
      {"wholly right", 100, 0, 300, 5, 0, nullptr},
      {"wholly above", 0, -1, 99, -30, 0, nullptr},
      {"wholly below", 0, 20, 99, 20, 0, nullptr},
      {"past the top-left corner", -10, 3, 3, -10, 0, nullptr},
      {"past the bottom-right corner, moved end leaves the plane", 95, 25, 105, 15, 0, nullptr},
      {"from the far corner of the 32-bit range", INT_MIN, INT_MIN, INT_MAX, INT_MAX, 1, nullptr},
      {"to the far corner of the 32-bit range", 0, 0, INT_MIN, INT_MIN, 1,
       [](int32_t x, int32_t y) { return x == 0 && y == 0; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fill_pixels(p, 0);
    EXPECT_EQ(gline(1, c.x0, c.y0, c.x1, c.y1, 0xFFFFFFFF), c.result);
    if (c.drawn)
      expect_pixels(p, [&](int32_t x, int32_t y) { return c.drawn(x, y) ? 0xFFFFFFu : 0u; });
    else if (c.result == 0)
      expect_pixels(p, [](int32_t, int32_t) { return 0u; });
  }
  // The diagonal through the whole 32-bit range enters at (0, 0) and keeps
  // its slope of 1: every step lands on a pixel with the whole weight.
  fill_pixels(p, 0);
  gline(1, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0xFFFFFFFF);
  for (int32_t i = 0; i < 20; ++i) EXPECT_EQ(pixel(p, i, i), 0xFFFFFFu) << i;
}

// White at alpha 255 on black 24-bit pixels: each pixel shows its weight.
TEST_F(Primitives, AntiAliasedLinesBlendTheTwoPixelsStraddlingEachStep) {
  const Plane& p = make(1, 6, 6, 24);
  using Grid = std::vector<std::vector<uint32_t>>;  // [y][x]: weight
  struct Case {
    const char* name;
    int32_t x0, y0, x1, y1;
    uint32_t colour;
    Grid weights;
  };
  // (0, 0) to (4, 2): step 32768 − 1 from 0, so the fractions run 0, 127,
  // 255, 127, 255 (bits 8..15).
  const Grid shallow = {{255, 128, 0, 0, 0, 0},
                        {0, 127, 255, 128, 0, 0},
                        {0, 0, 0, 127, 255, 0},
                        {0, 0, 0, 0, 0, 0}};
  // (0, 2) to (4, 0): starts 1/65536 above row 2, step −32768 + 1.
  const Grid rising = {{0, 0, 0, 127, 255, 0},
                       {0, 127, 255, 128, 0, 0},
                       {255, 128, 0, 0, 0, 0},
                       {0, 0, 0, 0, 0, 0}};
  const Case cases[] = {
      {"shallow", 0, 0, 4, 2, 0xFFFFFFFF, shallow},
      {"shallow, drawn backwards", 4, 2, 0, 0, 0xFFFFFFFF, shallow},
      {"rising", 0, 2, 4, 0, 0xFFFFFFFF, rising},
      {"steep: the same along y", 0, 0, 2, 4, 0xFFFFFFFF,
       {{255, 0, 0}, {128, 127, 0}, {0, 255, 0}, {0, 128, 127}, {0, 0, 255}}},
      // Weights ((255 − f)·(t + 1)) >> 8 and (f·(t + 1)) >> 8 with t = 127.
      {"half alpha", 0, 0, 4, 2, 0x7FFFFFFF, {{127, 64, 0, 0, 0}, {0, 63, 127, 64, 0}, {0, 0, 0, 63, 127}}},
      {"45 degrees", 1, 1, 4, 4, 0xFFFFFFFF, {{}, {0, 255}, {0, 0, 255}, {0, 0, 0, 255}, {0, 0, 0, 0, 255}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fill_pixels(p, 0);
    EXPECT_EQ(gline(1, c.x0, c.y0, c.x1, c.y1, c.colour), 1);
    expect_pixels(p, [&](int32_t x, int32_t y) -> uint32_t {
      const uint32_t w = static_cast<size_t>(y) < c.weights.size() && static_cast<size_t>(x) < c.weights[y].size()
                             ? c.weights[y][x]
                             : 0;
      return w * 0x010101;
    });
  }
}

// Weight-0 pixels of an anti-aliased line on a 32-bit plane whose fourth
// bytes are 0 keep their colour (the "over" rule would divide by D = 0).
TEST_F(Primitives, AntiAliasedLineLeavesZeroWeightPixelsOfA32BitPlane) {
  const Plane& p = make(1, 6, 4, 32);
  fill_pixels(p, 0x00112233);
  EXPECT_EQ(gline(1, 0, 0, 4, 2, 0xFFFFFFFF), 1);
  const uint32_t weights[3][5] = {{255, 128, 0, 0, 0}, {0, 127, 255, 128, 0}, {0, 0, 0, 127, 255}};
  expect_pixels(p, [&](int32_t x, int32_t y) -> uint32_t {
    const uint32_t w = x < 5 && y < 3 ? weights[y][x] : 0;
    return w == 0 ? 0x00112233u : w << 24 | 0xFFFFFF;  // fourth byte 0: the colour at weight w
  });
}

TEST_F(Primitives, GpolyFillsByRowsWithBothEndsOfEachSpan) {
  const Plane& p = make(1, 32, 32, 24);
  using Points = std::vector<int32_t>;
  struct Case {
    const char* name;
    Points points;
    int32_t result;
    std::function<bool(int32_t, int32_t)> drawn;
  };
  const Case cases[] = {
      {"square: rows 10..19, columns 10..20", {10, 10, 20, 10, 20, 20, 10, 20}, 1,
       [](int32_t x, int32_t y) { return y >= 10 && y <= 19 && x >= 10 && x <= 20; }},
      {"the same square clockwise from another corner", {20, 20, 20, 10, 10, 10, 10, 20}, 1,
       [](int32_t x, int32_t y) { return y >= 10 && y <= 19 && x >= 10 && x <= 20; }},
      {"two points", {10, 10, 20, 10}, 0, [](int32_t, int32_t) { return false; }},
      {"an odd coordinate is ignored", {10, 10, 20, 10, 20}, 0, [](int32_t, int32_t) { return false; }},
      {"all points equal", {5, 5, 5, 5, 5, 5, 5, 5}, 1, [](int32_t, int32_t) { return false; }},
      {"flat: zero-height edges only", {0, 4, 30, 4, 12, 4}, 1, [](int32_t, int32_t) { return false; }},
      // Two crossings per side on rows 0..4, one span below.
      {"a U: even-odd pairs", {0, 0, 3, 0, 3, 5, 6, 5, 6, 0, 9, 0, 9, 8, 0, 8}, 1,
       [](int32_t x, int32_t y) { return y < 5 ? (x <= 3 || (x >= 6 && x <= 9)) : y < 8 && x <= 9; }},
      // x = 8 + y/2 on the left edge and 8 + y on the right (16.16 steps).
      {"triangle", {8, 0, 16, 8, 0, 8}, 1, [](int32_t x, int32_t y) { return y < 8 && x >= 8 - y && x <= 8 + y; }},
      {"a square over the whole 32-bit range: every pixel, the last row too",
       {INT_MIN, INT_MIN, INT_MAX, INT_MIN, INT_MAX, INT_MAX, INT_MIN, INT_MAX}, 1,
       [](int32_t, int32_t) { return true; }},
      {"a triangle far outside", {-1000000, -5, 2000000000, -5, 2000000000, -3}, 1,
       [](int32_t, int32_t) { return false; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fill_pixels(p, 0);
    EXPECT_EQ(gpoly(1, c.points, 0xFFFFFFFF), c.result);
    expect_pixels(p, [&](int32_t x, int32_t y) { return c.drawn(x, y) ? 0xFFFFFFu : 0u; });
  }
}

TEST_F(Primitives, GpolyKeepsToTheClipRectangle) {
  const Plane& p = make(1, 32, 32, 8);
  const Rect clip{12, 14, 18, 25};
  set_clip(1, clip);
  const std::vector<int32_t> square = {10, 10, 20, 10, 20, 20, 10, 20};
  EXPECT_EQ(gpoly(1, square, 0xFF000007), 1);
  expect_pixels(p, [&](int32_t x, int32_t y) { return x >= 12 && x < 18 && y >= 14 && y < 20 ? 7u : 0u; });
  // A polygon reaching past the clip's bottom fills down to its last row.
  fill_pixels(p, 0);
  const std::vector<int32_t> tall = {0, -100, 40, -100, 40, 100, 0, 100};
  EXPECT_EQ(gpoly(1, tall, 0xFF000007), 1);
  expect_pixels(p, [&](int32_t x, int32_t y) { return inside(clip, x, y) ? 7u : 0u; });
  // Outside the clip: processed, nothing drawn.
  fill_pixels(p, 0);
  const std::vector<int32_t> beside = {0, 0, 5, 0, 5, 31, 0, 31};
  EXPECT_EQ(gpoly(1, beside, 0xFF000007), 1);
  expect_pixels(p, [](int32_t, int32_t) { return 0u; });
}

// Many points far outside: edges crossing the plane many times, each
// clipped in 64 bits (or more) without overflow; the fill follows even-odd.
TEST_F(Primitives, GpolyWithManyPointsFarOutside) {
  const Plane& p = make(1, 16, 16, 32);
  // A comb: teeth from y = INT_MIN down to y = 8, gaps back up, on every
  // other column; the even-odd spans are the teeth, both ends included.
  std::vector<int32_t> comb;
  for (int32_t i = 0; i < 8; ++i) {
    for (int32_t v : {4 * i, INT_MIN, 4 * i, 8, 4 * i + 2, 8, 4 * i + 2, INT_MIN}) comb.push_back(v);
  }
  fill_pixels(p, 0);
  EXPECT_EQ(gpoly(1, comb, 0xFF0000FF), 1);
  expect_pixels(p, [](int32_t x, int32_t y) { return y < 8 && x % 4 <= 2 ? 0xFF0000FFu : 0u; });
}

// The same drawing with one worker thread and with several.
TEST_F(Primitives, RowParallelismGivesTheSameResult) {
  set_pixels_per_thread_for_testing(1);  // small pictures through the workers too
  for (int32_t bits : {8, 16, 24, 32}) {
    SCOPED_TRACE(bits);
    std::vector<uint8_t> results[2];
    for (int32_t threads : {0, 1}) {
      config().MultiThreading = threads;
      const Plane& p = make(1, 97, 83, bits);
      EXPECT_EQ(gclear(1, nullptr, 0x40808080), 1);
      uint32_t seed = 12345;
      auto next = [&] {
        seed = seed * 1103515245 + 12345;
        return static_cast<int32_t>((seed >> 8) % 160) - 30;
      };
      for (int i = 0; i < 40; ++i) {
        const uint32_t colour = static_cast<uint32_t>(next()) * 0x9E3779B9u;
        switch (i % 4) {
          case 0: gfill(1, next(), next(), next(), next(), colour); break;
          case 1: gline(1, next(), next(), next(), next(), colour); break;
          case 2: {
            const std::vector<int32_t> pts = {next(), next(), next(), next(), next(), next(), next(), next()};
            gpoly(1, pts, colour);
            break;
          }
          default: {
            const Rect r{next(), next(), next(), next()};
            gclear(1, &r, colour);
          }
        }
      }
      results[threads].assign(plane_pixels(p).begin(), plane_pixels(p).end());
    }
    EXPECT_EQ(results[0], results[1]);
  }
  set_pixels_per_thread_for_testing(0);
}

}  // namespace
}  // namespace zelt::gfx
