// The filters that work pixel by pixel or over small neighbourhoods, the
// filter generator and colour keys: exact pixels on small planes.
#include <algorithm>
#include <thread>
#include <vector>

#include "effects_fixture.h"
#include "gfx/effects/filter_area.h"
#include "gfx/effects/filters.h"
#include "gfx/planes/palette.h"

namespace zelt::gfx {
namespace {

class PixelFilters : public EffectsFixture {};

std::vector<uint32_t> row_values(std::initializer_list<uint32_t> v) { return v; }

TEST_F(PixelFilters, TheGeneratorStartsAtOneInEveryThread) {
  const std::vector<uint32_t> first = {41, 18467, 6334, 26500, 19169};
  std::vector<uint32_t> here, there;
  for (size_t i = 0; i < first.size(); ++i) here.push_back(filter_random());
  std::thread([&] {
    for (size_t i = 0; i < first.size(); ++i) there.push_back(filter_random());
  }).join();
  EXPECT_EQ(here, first);
  EXPECT_EQ(there, first) << "a new thread starts from state 1, whatever this one did";
}

TEST_F(PixelFilters, KeysAreConvertedForTheSourcePlane) {
  Plane& p8 = make(1, 1, 1, 8);
  Plane& p16 = make(2, 1, 1, 16);
  Plane& p24 = make(3, 1, 1, 24);
  struct Case {
    const char* name;
    const Plane& plane;
    int32_t key;
    std::optional<uint32_t> want;
  };
  const uint32_t entry5 = colour_value_rgb(0x01000005);
  const std::vector<Case> cases = {
      {"negative", p24, -1, std::nullopt},
      {"RGB on 24 bits", p24, 0x00123456, 0x123456u},
      {"top byte not 0", p24, 0x02123456, std::nullopt},
      {"palette index on 24 bits", p24, 0x01000005, entry5},
      {"palette index on 8 bits", p8, 0x01000005, 5u},
      {"RGB on 8 bits: the nearest entry", p8, 0x00FFFFFF, uint32_t{colour_value_index(0x00FFFFFF)}},
      {"RGB on 16 bits", p16, 0x00FF8040, uint32_t{(0xF8 << 7) | (0x80 << 2) | (0x40 >> 3)}},
  };
  for (const Case& c : cases) EXPECT_EQ(filter_key(c.key, c.plane), c.want) << c.name;
}

TEST_F(PixelFilters, Scroll) {
  const auto picture = [](int32_t x, int32_t y) { return uint32_t(10 * y + x); };
  Plane& p = painted(1, 3, 3, 8, picture);
  const std::vector<uint32_t> original = pixels(p);
  EXPECT_EQ(scroll(1, nullptr, 3, 0), 1);
  EXPECT_EQ(pixels(p), original) << "by the width";
  ASSERT_EQ(scroll(1, nullptr, 1, 2), 1);
  EXPECT_EQ(pixels(p), row_values({21, 22, 20, 1, 2, 0, 11, 12, 10})) << "left 1, up 2, wrapped";
  ASSERT_EQ(scroll(1, nullptr, -1, -2), 1);
  EXPECT_EQ(pixels(p), original) << "negative amounts go back";
  // A palette plane keeps its indices whatever colour mapping says.
  set_color_mapping(1);
  ASSERT_EQ(scroll(1, nullptr, 1, 0), 1);
  EXPECT_EQ(pixel(p, 0, 0), 1u);
  set_color_mapping(0);
  // Only the rectangle inside the clip moves.
  Plane& q = painted(2, 4, 2, 32, picture);
  Rect r, clip{0, 0, 3, 2};
  gclip(2, &clip);
  ASSERT_EQ(scroll(2, rect(r, 1, 0, 9, 1), 1, 0), 1);
  EXPECT_EQ(pixels(q), row_values({0, 2, 1, 3, 10, 11, 12, 13}));
  EXPECT_EQ(scroll(2, rect(r, 3, 0, 9, 1), 1, 0), 0) << "nothing inside the clip";
  // 4-bit pixels move too.
  Plane& n = make(3, 3, 1, 4);
  plane_pixels(n)[0] = 0x12;
  plane_pixels(n)[1] = 0x30;
  ASSERT_EQ(scroll(3, nullptr, 1, 0), 1);
  EXPECT_EQ(plane_pixels(n)[0], 0x23);
  EXPECT_EQ(plane_pixels(n)[1] & 0xF0, 0x10);
}

TEST_F(PixelFilters, NoiseBrightensWhereTheGeneratorIsAboveTheThreshold) {
  struct Case {
    int32_t amount, bits;
  };
  for (const Case c : {Case{255, 32}, Case{300, 24}, Case{100, 32}, Case{255, 16}, Case{40, 16}}) {
    SCOPED_TRACE(testing::Message() << "amount " << c.amount << ", " << c.bits << " bits");
    set_filter_random_state(1);
    const uint32_t base = c.bits == 16 ? (20u << 10 | 3u << 5 | 31u) : 0xC8F00A10u;
    Plane& p = painted(1, 9, 3, c.bits, [&](int32_t, int32_t) { return base & mask_of(c.bits); });
    ASSERT_EQ(noise(1, nullptr, c.amount), 1);
    Lcg g;
    const int32_t e = c.amount < 256 ? 255 - c.amount : 0;
    for (int32_t y = 0; y < 3; ++y) {
      const uint32_t h = g.next(), l = g.next();
      uint32_t m = h % (c.bits == 16 ? 32 : 256);
      for (int32_t x = 0; x < 9; ++x) {
        uint32_t want = base & mask_of(c.bits);
        if (c.bits == 16 && static_cast<int32_t>(m) > e / 8) {
          const uint32_t t = m - e / 8;
          want = std::min(31u, (base >> 10 & 31) + t) << 10 | std::min(31u, (base >> 5 & 31) + t) << 5 |
                 std::min(31u, (base & 31) + t);
        } else if (c.bits != 16 && static_cast<int32_t>(m) > e) {
          const uint32_t t = m - static_cast<uint32_t>(e);
          want = (want & 0xFF000000u) | std::min(255u, (base >> 16 & 255) + t) << 16 |
                 std::min(255u, (base >> 8 & 255) + t) << 8 | std::min(255u, (base & 255) + t);
          want &= mask_of(c.bits);
        }
        EXPECT_EQ(pixel(p, x, y), want) << x << "," << y;
        m = (m + l) % (c.bits == 16 ? 32 : 256);
      }
    }
  }
  Plane& p8 = painted(2, 4, 4, 8, [](int32_t, int32_t) { return 7u; });
  set_filter_random_state(1);
  EXPECT_EQ(noise(2, nullptr, 255), 1);
  EXPECT_EQ(pixels(p8), std::vector<uint32_t>(16, 7)) << "8-bit planes unchanged";
  EXPECT_EQ(noise(2, nullptr, 0), 1);
  EXPECT_EQ(filter_random_state(), 1u) << "no generator values taken";
}

TEST_F(PixelFilters, SliceShiftsRowsAndFillsWithZero) {
  Plane& wide = painted(1, 100, 2, 8, [](int32_t x, int32_t) { return uint32_t(x + 1); });
  const std::vector<uint32_t> before = pixels(wide);
  EXPECT_EQ(slice(1, nullptr, 1), 1);
  EXPECT_EQ(pixels(wide), before) << "100 pixels at amount 1: r = 0";
  EXPECT_EQ(filter_random_state(), 1u);
  // Width 4 at amount 256: r = 4, k = (value mod 8) − 4 per row.
  Plane& p = painted(2, 4, 5, 24, [](int32_t x, int32_t y) { return uint32_t(10 * y + x + 1); });
  ASSERT_EQ(slice(2, nullptr, 999), 1);
  Lcg g;
  for (int32_t y = 0; y < 5; ++y) {
    const int32_t k = static_cast<int32_t>(g.next() % 8) - 4;
    for (int32_t x = 0; x < 4; ++x) {
      const int32_t from = x - k;
      EXPECT_EQ(pixel(p, x, y), from >= 0 && from < 4 ? uint32_t(10 * y + from + 1) : 0u) << "row " << y << " k " << k;
    }
  }
  EXPECT_EQ(slice(2, nullptr, -5), 1);
}

TEST_F(PixelFilters, GradationAveragesTheFourNeighbours) {
  // 3 × 3: 0 10 20 / 30 40 50 / 60 70 80 (index values).
  painted(1, 3, 3, 8, [](int32_t x, int32_t y) { return uint32_t(30 * y + 10 * x); });
  Plane& d = make(2, 5, 5, 8);
  fill(d, 255);
  ASSERT_EQ(gradation(2, 1, 1, 1, nullptr), 1);
  // Centre: (10 + 70 + 30 + 50) / 4; corner (0, 0): (0 + 30 + 0 + 10) >> 2, missing ones the centre.
  EXPECT_EQ(pixel(d, 2, 2), 40u);
  EXPECT_EQ(pixel(d, 1, 1), 10u);
  EXPECT_EQ(pixel(d, 3, 3), (50u + 80 + 70 + 80) >> 2);
  EXPECT_EQ(pixel(d, 0, 0), 255u);
  // 16-bit: per 5-bit channel.
  painted(3, 2, 1, 16, [](int32_t x, int32_t) { return x ? (31u << 10 | 2u) : 0u; });
  Plane& d16 = make(4, 2, 1, 16);
  ASSERT_EQ(gradation(4, 0, 0, 3, nullptr), 1);
  EXPECT_EQ(pixel(d16, 0, 0), (31u * 1 >> 2) << 10 | (2u >> 2));  // (0 + 0 + 0 + r) >> 2
  EXPECT_EQ(pixel(d16, 1, 0), ((31u * 3) >> 2) << 10 | ((2u * 3) >> 2));
  make(5, 2, 2, 24);
  EXPECT_EQ(gradation(5, 0, 0, 3, nullptr), 1) << "16 → 24 is not a pair: nothing, result 1";
  EXPECT_EQ(gradation(2, 9, 9, 1, nullptr), 0) << "outside the destination";
}

TEST_F(PixelFilters, MosaicBlocks) {
  // 5 × 3 source, blocks 2 × 2: full blocks take four corners, the right edge's
  // partial block its left column's top and bottom, the last band (one row)
  // its top row for the bottom corners.
  painted(1, 5, 3, 8, [](int32_t x, int32_t y) { return uint32_t(40 * y + 4 * x); });
  Plane& d = make(2, 5, 3, 8);
  ASSERT_EQ(mosaic(2, 0, 0, 1, nullptr, 2, -2), 1);
  const uint32_t a = (0 + 4 + 40 + 44) >> 2, b = (8 + 12 + 48 + 52) >> 2, c = (16 + 56) >> 1;
  const uint32_t e = (80 + 84 + 80 + 84) >> 2, f = (88 + 92 + 88 + 92) >> 2, g = (96 + 96) >> 1;
  EXPECT_EQ(pixels(d), row_values({a, a, b, b, c, a, a, b, b, c, e, e, f, f, g}));
  // Sizes 1 and −1 are the plain copy, with gcopy's conversions.
  painted(3, 3, 2, 24, [](int32_t x, int32_t y) { return uint32_t(0x010203 * (x + 3 * y + 1)); });
  Plane& d32 = make(4, 3, 2, 32);
  fill(d32, 0xFF000000u);
  ASSERT_EQ(mosaic(4, 0, 0, 3, nullptr, 1, -1), 1);
  EXPECT_EQ(pixel(d32, 2, 1), 0xFF000000u | 0x010203u * 6) << "the fourth byte stays";
  EXPECT_EQ(mosaic(4, 0, 0, 3, nullptr, 0, 0), 1) << "0 counts as 1";
}

TEST_F(PixelFilters, MonotoneMapsBrightnessOntoTheRamp) {
  Plane& p = make(1, 3, 1, 32);
  set_pixel(p, 0, 0, 0xAAFFFFFF);
  set_pixel(p, 1, 0, 0xBB000000);
  set_pixel(p, 2, 0, 0x00808080);
  ASSERT_EQ(monotone(1, nullptr, 0x000000, 0xFF0000), 1);
  // Y of grey 128 = 128: red 128 × 255 / 255.
  EXPECT_EQ(pixels(p), row_values({0xAAFF0000, 0xBB000000, 0x00800000})) << "white → red, black → black, fourth byte kept";
  Plane& q = make(2, 1, 1, 16);
  set_pixel(q, 0, 0, 0x7FFF);
  ASSERT_EQ(monotone(2, nullptr, 0x000000, 0x0000FF), 1);
  // Y = 539085 × 31 >> 16 = 254; blue 254 >> 3.
  EXPECT_EQ(pixel(q, 0, 0), 31u);
  make(3, 2, 2, 8);
  EXPECT_EQ(monotone(3, nullptr, 0, 0xFFFFFF), 0) << "fewer than 16 bits";
}

TEST_F(PixelFilters, BlurAveragesAlongRowsOrColumns) {
  // One bright pixel: along a row, 2n + 1 = 3 samples → (90 × 21845 + 32768) >> 16 = 30.
  painted(1, 5, 5, 8, [](int32_t x, int32_t y) { return x == 2 && y == 2 ? 90u : 0u; });
  Plane& d = make(2, 5, 5, 8);
  ASSERT_EQ(blur(2, 0, 0, 1, nullptr, 1), 1);
  EXPECT_EQ(pixel(d, 1, 2), 30u);
  EXPECT_EQ(pixel(d, 2, 1), 0u);
  // −3: seven samples down each column, the end rows repeated: column 2 of row 0 sees
  // rows −3..3 → 90 once.
  ASSERT_EQ(blur(2, 0, 0, 1, nullptr, -3), 1);
  EXPECT_EQ(pixel(d, 2, 0), (90u * (65536 / 7) + 32768) >> 16);
  EXPECT_EQ(pixel(d, 1, 2), 0u);
  // Edge repetition: a row of 200 0 0 0 0 at n = 1 gives (200 + 200 + 0) / 3 at x = 0.
  painted(3, 5, 1, 32, [](int32_t x, int32_t) { return x == 0 ? 0xC8C8C8C8u : 0u; });
  Plane& e = make(4, 5, 1, 32);
  ASSERT_EQ(blur(4, 0, 0, 3, nullptr, 1), 1);
  EXPECT_EQ(pixel(e, 0, 0), 0x85858585u);  // (400 × 21845 + 32768) >> 16 = 133
  EXPECT_EQ(pixel(e, 1, 0), 0x43434343u);  // 200 / 3 → 67
  // 200 acts as 127.
  Plane& big = painted(5, 300, 1, 24, [](int32_t x, int32_t) { return x < 150 ? 0xFFFFFFu : 0u; });
  Plane& a = make(6, 300, 1, 24);
  Plane& b = make(7, 300, 1, 24);
  ASSERT_EQ(blur(6, 0, 0, 5, nullptr, 200), 1);
  ASSERT_EQ(blur(7, 0, 0, 5, nullptr, 127), 1);
  EXPECT_EQ(pixels(a), pixels(b));
  ASSERT_EQ(blur(6, 0, 0, 5, nullptr, 0), 1);
  EXPECT_EQ(pixels(a), pixels(big)) << "amount 0 copies";
  make(8, 4, 4, 16);
  EXPECT_EQ(blur(8, 0, 0, 8, nullptr, 3), 1) << "16-bit planes unchanged";
  EXPECT_EQ(blur(6, 0, 0, 1, nullptr, 3), 0) << "unequal bit counts";
}

TEST_F(PixelFilters, FireMovesEachRowUpDecayed) {
  struct Case {
    int32_t bits;
    uint32_t value, decayed;
  };
  for (const Case c : {Case{32, 0x01020300, 0x00010200}, Case{24, 0x050001, 0x040000}, Case{16, 1u << 10 | 2u, 1u},
                       Case{8, 3, 1}}) {
    SCOPED_TRACE(c.bits);
    set_filter_random_state(1);
    Plane& p = painted(1, 4, 3, c.bits, [&](int32_t, int32_t y) { return y == 0 ? 0xEEEEEEu & mask_of(c.bits) : c.value; });
    ASSERT_EQ(fire(1, nullptr), 1);
    // Rows 1 and 2 are all `value`, so every pixel moved up is `decayed`; row 1 wholly
    // rewritten from row 2, row 0 where the moves landed, row 2 untouched.
    Lcg g;
    std::vector<bool> hit(4, false);
    for (int32_t x = 0; x < 4; ++x) {
      int32_t d = static_cast<int32_t>(g.next() % 3) - 1;
      if (x + d < 0 || x + d >= 4) d = 0;
      hit[static_cast<size_t>(x + d)] = true;
    }
    for (int32_t x = 0; x < 4; ++x) {
      EXPECT_EQ(pixel(p, x, 0), hit[static_cast<size_t>(x)] ? c.decayed : 0xEEEEEEu & mask_of(c.bits)) << x;
      EXPECT_EQ(pixel(p, x, 2), c.value);
    }
    EXPECT_EQ(filter_random_state(), [] { Lcg l; for (int i = 0; i < 8; ++i) l.next(); return l.state; }());
  }
  make(2, 4, 1, 32);
  EXPECT_EQ(fire(2, nullptr), 0) << "one row";
}

TEST_F(PixelFilters, MultiThreadingGivesTheSamePixels) {
  set_pixels_per_thread_for_testing(1);
  const auto run = [&](int threads) {
    config().MultiThreading = threads;
    Plane& src = make(1, 61, 47, 32);
    randomise(src, 5);
    Plane& a = make(2, 90, 70, 32);
    randomise(a, 6);
    Rect d{3, 2, 88, 69};
    smooth(2, &d, 1, nullptr, 0x00FF0000);
    blur(2, 1, 1, 1, nullptr, 5);
    blur(2, 5, 9, 2, nullptr, -9);
    monotone(2, nullptr, 0x102030, 0xF0E0D0);
    ef_init(0, 2, nullptr, 1, nullptr);
    ef_whirl(0, 3);
    return bytes(a);
  };
  EXPECT_EQ(run(0), run(1));
}

}  // namespace
}  // namespace zelt::gfx
