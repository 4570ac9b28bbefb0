// freemap, rotate, tiled and smooth: exact pixels on small planes, a plain
// walk of the quad-mapping rule against the clipped one, and clipping that
// never moves a visible pixel's sample.
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "effects_fixture.h"
#include "gfx/effects/filters.h"

namespace zelt::gfx {
namespace {

class GeometricFilters : public EffectsFixture {};

// Every pixel of the plane written (each pixel a distinct value).
uint32_t distinct(int32_t x, int32_t y) { return 0x00102030u + static_cast<uint32_t>(y * 16 + x) * 0x010101u; }

TEST_F(GeometricFilters, FreemapWithTheDefaultQuadCopiesAndSkipsTheKey) {
  for (int32_t bits : {8, 16, 24, 32}) {
    SCOPED_TRACE(bits);
    const uint32_t m = mask_of(bits) & (bits == 16 ? 0x7FFF : 0xFFFFFFFF);
    Plane& src = painted(1, 7, 5, bits, [&](int32_t x, int32_t y) { return (distinct(x, y) * 2654435761u) & m; });
    Plane& dst = make(2, 7, 5, bits);
    fill(dst, 0);
    ASSERT_EQ(freemap(2, nullptr, 1, nullptr, -1), 1);
    EXPECT_EQ(pixels(dst), pixels(src));
    // With a key: the pixel that holds the key is skipped.
    fill(dst, 0);
    set_pixel(src, 3, 2, bits == 8 ? 9 : bits == 16 ? 0x1234 : 0x00123456);
    const int32_t key = bits == 8 ? 0x01000009 : 0x00123456;
    if (bits == 16) {
      // 0x123456 in X1R5G5B5: ((0x12 & 0xF8) << 7) | ((0x34 & 0xF8) << 2) | (0x56 >> 3)
      set_pixel(src, 3, 2, ((0x12 & 0xF8) << 7) | ((0x34 & 0xF8) << 2) | (0x56 >> 3));
    }
    ASSERT_EQ(freemap(2, nullptr, 1, nullptr, key), 1);
    EXPECT_EQ(pixel(dst, 3, 2), 0u);
    EXPECT_EQ(pixel(dst, 2, 2), pixel(src, 2, 2));
  }
}

TEST_F(GeometricFilters, FreemapRefusals) {
  make(1, 8, 8, 24);
  make(2, 8, 8, 32);
  make(3, 8, 8, 24);
  make(4, 8, 8, 4);
  Rect r;
  const int32_t wild[8] = {0, 0, 0, kQuadLimit + 1, 7, 7, 7, 0};
  EXPECT_EQ(freemap(2, nullptr, 1, nullptr, -1), 0) << "unequal formats";
  EXPECT_EQ(freemap(4, nullptr, 4, nullptr, -1), 0) << "4-bit planes";
  EXPECT_EQ(freemap(3, nullptr, 9, nullptr, -1), 0) << "missing source";
  EXPECT_EQ(freemap(3, nullptr, 1, rect(r, 8, 0, 20, 8), -1), 0) << "source beyond the plane";
  EXPECT_EQ(freemap(3, nullptr, 1, rect(r, 4, 0, 2, 8), -1), 0) << "reversed source";
  EXPECT_EQ(freemap(3, wild, 1, nullptr, -1), 0) << "a corner too far out";
}

TEST_F(GeometricFilters, FreemapSpreadsAStretchEvenlyAndReadsTheLastColumn) {
  // Two columns over six pixels: 3 + 3; three rows over five spans.
  Plane& src = painted(1, 2, 3, 32, [](int32_t x, int32_t y) { return uint32_t(10 * y + x); });
  Plane& dst = make(2, 6, 5, 32);
  fill(dst, 0xEE);
  ASSERT_EQ(freemap(2, nullptr, 1, nullptr, -1), 1);
  // Columns 3 + 3; rows: the counter starts at −E = −4, grows by 2(sh − 1) = 4 and drops by 2E:
  // rows 0 0 1 1 2.
  const std::vector<uint32_t> want = {0,  0,  0,  1,  1,  1,  0,  0,  0,  1,  1,  1,  10, 10, 10,
                                      11, 11, 11, 10, 10, 10, 11, 11, 11, 20, 20, 20, 21, 21, 21};
  EXPECT_EQ(pixels(dst), want);
  (void)src;
}

// The quad-mapping rule walked pixel by pixel, every span pixel visited.
void plain_freemap(std::vector<uint32_t>& out, int64_t w, int64_t h, const std::vector<uint32_t>& in, int64_t iw,
                   const Box& s, const int64_t (&p)[8]) {
  struct Walk {
    int64_t x, y, sx, sy, dx, dy, err, steps, done = 0;
    Walk(int64_t xa, int64_t ya, int64_t xb, int64_t yb)
        : x(xa), y(ya), sx(xb < xa ? -1 : 1), sy(yb < ya ? -1 : 1), dx(std::llabs(xb - xa)), dy(std::llabs(yb - ya)),
          err(dx < dy ? -dy : -dx), steps(dx + dy) {}
    void step() {
      if (done++ == steps) return done--, void();
      if (dx < dy) {
        err += 2 * dx;
        if (err < 0) y += sy; else x += sx, err -= 2 * (dx + dy);
      } else {
        err += 2 * dy;
        if (err < 0) x += sx; else y += sy, err -= 2 * (dx + dy);
      }
    }
  };
  Walk l(p[0], p[1], p[2], p[3]), r(p[6], p[7], p[4], p[5]);
  const int64_t e = std::max(l.steps, r.steps);
  int64_t row = s.top, rc = -e, lc = -e, rcn = -e;
  for (int64_t span = 0; span <= e; ++span) {
    const int64_t ddx = r.x - l.x, ddy = r.y - l.y;
    const int64_t major = std::max(std::llabs(ddx), std::llabs(ddy)), minor = std::min(std::llabs(ddx), std::llabs(ddy));
    const bool xm = std::llabs(ddx) >= std::llabs(ddy);
    int64_t x = l.x, y = l.y, err = -major, col = s.left, cc = -major;
    for (int64_t k = 0; k <= major; ++k) {
      if (x >= 0 && x < w && y >= 0 && y < h) out[static_cast<size_t>(y * w + x)] = in[static_cast<size_t>(row * iw + col)];
      if (xm) x += ddx < 0 ? -1 : 1; else y += ddy < 0 ? -1 : 1;
      err += 2 * minor;
      if (err >= 0) {
        if (xm) y += ddy < 0 ? -1 : 1; else x += ddx < 0 ? -1 : 1;
        err -= 2 * major;
      }
      if (major > 0) cc += 2 * (s.width() - 1);  // no growth on a one-pixel span
      while (cc > 0) cc -= 2 * major, ++col;
    }
    if (e == 0) break;
    rc += 2 * (s.height() - 1);
    while (rc > 0) rc -= 2 * e, ++row;
    lc += 2 * l.steps;
    if (lc >= 0) l.step(), lc -= 2 * e;
    rcn += 2 * r.steps;
    if (rcn >= 0) r.step(), rcn -= 2 * e;
  }
}

TEST_F(GeometricFilters, FreemapOfRandomQuadsMatchesThePlainWalk) {
  std::mt19937 random(7);
  Plane& src = painted(1, 9, 7, 32, [](int32_t x, int32_t y) { return distinct(x, y); });
  Plane& dst = make(2, 16, 12, 32);
  const std::vector<uint32_t> in = pixels(src);
  for (int round = 0; round < 400; ++round) {
    int32_t q[8];
    for (int32_t& v : q) v = static_cast<int32_t>(random() % 41) - 12;
    Rect sr{static_cast<int32_t>(random() % 4), static_cast<int32_t>(random() % 3), 5 + static_cast<int32_t>(random() % 5),
            4 + static_cast<int32_t>(random() % 4)};
    fill(dst, 0xFF000000u);
    std::vector<uint32_t> want = pixels(dst);
    const int64_t p[8] = {q[0], q[1], q[2], q[3], q[4], q[5], q[6], q[7]};
    plain_freemap(want, 16, 12, in, 9, intersect(box_of(sr), bounds_of(src)), p);
    ASSERT_EQ(freemap(2, q, 1, &sr, -1), 1);
    ASSERT_EQ(pixels(dst), want) << "quad " << q[0] << "," << q[1] << " " << q[2] << "," << q[3] << " " << q[4]
                                 << "," << q[5] << " " << q[6] << "," << q[7] << " source " << sr.left << ","
                                 << sr.top << "," << sr.right << "," << sr.bottom;
  }
}

TEST_F(GeometricFilters, RotateTurnsAboutTheExactCentre) {
  struct Case {
    int32_t size, angle;
  };
  for (const Case c : {Case{4, 0}, Case{4, 512}, Case{5, 512}, Case{4, 1024}, Case{4, 2048}, Case{5, -512}}) {
    SCOPED_TRACE(testing::Message() << c.size << " by " << c.angle);
    Plane& src = painted(1, c.size, c.size, 24, distinct);
    Plane& dst = make(2, c.size, c.size, 24);
    fill(dst, 0);
    ASSERT_EQ(rotate(2, nullptr, 1, nullptr, c.angle, -1), 1);
    const int32_t n = c.size - 1;
    for (int32_t y = 0; y < c.size; ++y)
      for (int32_t x = 0; x < c.size; ++x) {
        // A quarter turn clockwise on the screen puts source (x, y) at (n − y, x).
        int32_t tx = x, ty = y;
        switch ((c.angle & 2047) / 512) {
          case 1: tx = n - y, ty = x; break;
          case 2: tx = n - x, ty = n - y; break;
          case 3: tx = y, ty = n - x; break;
        }
        EXPECT_EQ(pixel(dst, tx, ty), pixel(src, x, y)) << x << "," << y;
      }
  }
}

TEST_F(GeometricFilters, TiledRepeatsTheSourceAboutTheAreaCentre) {
  Plane& src = painted(1, 3, 2, 32, [](int32_t x, int32_t y) { return uint32_t(10 * y + x); });
  Plane& dst = make(2, 4, 4, 32);
  struct Case {
    const char* name;
    int32_t angle, zoom;
    std::vector<uint32_t> rows;
  };
  // hx = hy = 2: pixel (i, j) samples ((i − 2) mod 3, (j − 2) mod 2) at 1:1.
  const std::vector<Case> cases = {
      {"1:1", 0, 65536, {1, 2, 0, 1, 11, 12, 10, 11, 1, 2, 0, 1, 11, 12, 10, 11}},
      {"zoom 0 counts as 1:1", 0, 0, {1, 2, 0, 1, 11, 12, 10, 11, 1, 2, 0, 1, 11, 12, 10, 11}},
      {"2:1", 0, 131072, {12, 12, 10, 10, 12, 12, 10, 10, 2, 2, 0, 0, 2, 2, 0, 0}},
      // A quarter turn: X = u (j − 2), Y = −u (i − 2).
      {"quarter turn", 512, 65536, {1, 11, 1, 11, 2, 12, 2, 12, 0, 10, 0, 10, 1, 11, 1, 11}},
  };
  for (const Case& c : cases) {
    fill(dst, 0xEE);
    ASSERT_EQ(tiled(2, nullptr, 1, nullptr, c.angle, c.zoom), 1) << c.name;
    EXPECT_EQ(pixels(dst), c.rows) << c.name;
  }
  make(3, 4, 4, 24);
  EXPECT_EQ(tiled(3, nullptr, 1, nullptr, 0, 65536), 0) << "unequal bit counts";
  (void)src;
}

TEST_F(GeometricFilters, SmoothInterpolatesWithItsSteps) {
  struct Case {
    const char* name;
    int32_t bits;
    std::vector<uint32_t> source, want;
  };
  // 2 → 4: step 2·2³²/5, samples at 0.4, 0.8, 1.2, 1.6 (fractions 102, 204, 51, 153; the last
  // column's right neighbour is itself). 4 → 2: step 2, first sample at 1 − 0.5 + 2⁻³² (fraction 128).
  const std::vector<Case> cases = {
      {"8-bit 2 → 4", 8, {0, 200}, {79, 159, 200, 200}},
      {"32-bit 2 → 4", 32, {0x00000000, 0xC8C8C8C8}, {0x4F4F4F4F, 0x9F9F9F9F, 0xC8C8C8C8, 0xC8C8C8C8}},
      {"24-bit 4 → 2", 24, {10, 20, 30, 40}, {15, 35}},
      {"16-bit 2 → 4", 16, {0, 31 << 10 | 31}, {12 << 10 | 12, 24 << 10 | 24, 31 << 10 | 31, 31 << 10 | 31}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Plane& src = make(1, static_cast<int32_t>(c.source.size()), 1, c.bits);
    for (size_t i = 0; i < c.source.size(); ++i) set_pixel(src, static_cast<int32_t>(i), 0, c.source[i]);
    Plane& dst = make(2, static_cast<int32_t>(c.want.size()), 1, c.bits);
    ASSERT_EQ(smooth(2, nullptr, 1, nullptr, -1), 1);
    EXPECT_EQ(pixels(dst), c.want);
  }
}

TEST_F(GeometricFilters, SmoothFormatPairsKeysAndEqualSizes) {
  Plane& src = painted(1, 5, 4, 32, [](int32_t x, int32_t y) { return 0xAA000000u | distinct(x, y); });
  Plane& d32 = make(2, 5, 4, 32);
  Plane& d24 = make(3, 5, 4, 24);
  make(4, 5, 4, 16);
  fill(d32, 0);
  ASSERT_EQ(smooth(2, nullptr, 1, nullptr, -1), 1);
  EXPECT_EQ(pixels(d32), pixels(src)) << "equal sizes copy all four bytes";
  ASSERT_EQ(smooth(3, nullptr, 1, nullptr, -1), 1);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(pixel(d24, x, y), distinct(x, y));
  EXPECT_EQ(smooth(4, nullptr, 1, nullptr, -1), 1) << "32 → 16 is not a pair: nothing drawn, result 1";
  EXPECT_EQ(smooth(2, nullptr, 9, nullptr, -1), 0);
  // A key neighbour takes the destination pixel's place.
  Plane& ks = make(5, 2, 1, 32);
  set_pixel(ks, 0, 0, 0x000000);
  set_pixel(ks, 1, 0, 0x00FF00FF);
  Plane& kd = make(6, 4, 1, 32);
  fill(kd, 0x00FF00FF);
  ASSERT_EQ(smooth(6, nullptr, 5, nullptr, 0), 1);
  EXPECT_EQ(pixels(kd), std::vector<uint32_t>(4, 0x00FF00FF)) << "key 0 replaced by the destination";
}

TEST_F(GeometricFilters, SmoothClippingKeepsTheVisibleSamples) {
  // The same picture drawn whole, and drawn from a plane that lacks its first
  // two columns (the rectangle hanging over the edge) into a clipped
  // destination: every pixel drawn in the second run equals the first run.
  Plane& whole = painted(1, 6, 3, 24, [](int32_t x, int32_t y) { return uint32_t(40 * x + 7 * y); });
  Plane& part = painted(2, 4, 3, 24, [](int32_t x, int32_t y) { return uint32_t(40 * (x + 2) + 7 * y); });
  for (const int32_t dw : {4, 6, 13}) {
    SCOPED_TRACE(dw);
    Plane& a = make(3, 20, 8, 24);
    Plane& b = make(4, 20, 8, 24);
    fill(a, 0xEEEEEE);
    fill(b, 0xEEEEEE);
    Rect d{1, 1, 1 + dw, 6}, s1{0, 0, 6, 3}, s2{-2, 0, 4, 3}, clip{3, 0, 20, 8};
    ASSERT_EQ(smooth(3, &d, 1, &s1, -1), 1);
    gclip(4, &clip);
    ASSERT_EQ(smooth(4, &d, 2, &s2, -1), 1);
    int drawn = 0;
    for (int32_t y = 0; y < 8; ++y)
      for (int32_t x = 0; x < 20; ++x) {
        if (pixel(b, x, y) == 0xEEEEEE) continue;
        ++drawn;
        EXPECT_EQ(pixel(b, x, y), pixel(a, x, y)) << x << "," << y;
      }
    EXPECT_GT(drawn, 0);
  }
  (void)whole;
  (void)part;
}

TEST_F(GeometricFilters, FiltersReadTheirOwnPlaneAsItWas) {
  // Drawing a plane into itself gives what drawing a copy of it gives.
  Plane& a = painted(1, 12, 9, 32, distinct);
  Plane& copy = painted(2, 12, 9, 32, distinct);
  Plane& out = painted(3, 12, 9, 32, distinct);
  Rect d{2, 1, 12, 9}, s{0, 0, 6, 5};
  ASSERT_EQ(smooth(1, &d, 1, &s, -1), 1);
  ASSERT_EQ(smooth(3, &d, 2, &s, -1), 1);
  EXPECT_EQ(pixels(a), pixels(out));
  // The same for freemap, from a copy of the picture as it is now.
  std::memcpy(plane_pixels(copy).data(), plane_pixels(a).data(), plane_pixels(a).size());
  const int32_t quad[8] = {3, 0, 0, 8, 8, 8, 11, 0};
  ASSERT_EQ(freemap(1, quad, 1, &s, -1), 1);
  ASSERT_EQ(freemap(3, quad, 2, &s, -1), 1);
  EXPECT_EQ(pixels(a), pixels(out));
}

}  // namespace
}  // namespace zelt::gfx
