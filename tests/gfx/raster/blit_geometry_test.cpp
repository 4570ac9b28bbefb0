// Blit geometry: reversed rectangles and mirroring, exact copies and exact
// quarter turns, clipping of the turned box and of hanging source
// rectangles, scaling steps, and wild rectangles, scales and angles that
// must neither crash nor touch anything outside the destination's clip.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <random>
#include <string>

#include "gfx/raster/blit_fixture.h"
#include "gfx/raster/kernel_templates.h"

namespace zelt::gfx {
namespace {

constexpr uint32_t kDst = 1, kSrc = 2, kGuard = 3;

using Blit = int32_t (*)(uint32_t, const Rect*, uint32_t, const Rect*, const BlitMode*, int32_t);
struct NamedBlit {
  const char* name;
  Blit blit;
};
constexpr NamedBlit kRotatedBlits[] = {{"gblit", gblit}, {"gblita", gblita}};

class BlitGeometry : public BlitFixture {
 protected:
  // A random source of that size and format (16-bit pixels with bit 15
  // clear, so that copies through colours give them back unchanged).
  static Plane& source(int32_t w, int32_t h, int32_t bits = 32, uint32_t seed = 7) {
    Plane& p = make(kSrc, w, h, bits);
    randomise(p, seed);
    if (bits == 16)
      for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) set_pixel(p, x, y, pixel(p, x, y) & 0x7FFF);
    return p;
  }
  static Plane& destination(int32_t w, int32_t h, int32_t bits = 32, uint32_t fill_value = 0xDEADBEEF) {
    Plane& p = make(kDst, w, h, bits);
    fill(p, fill_value & (bits == 32 ? 0xFFFFFFFF : (1u << bits) - 1));
    return p;
  }
};

TEST_F(BlitGeometry, GcopyWithAReversedSourceRectangleDrawsTheSame) {
  struct Setup {
    int32_t src_bits, dst_bits;
    BlitMode mode;
  };
  const Setup setups[] = {
      {32, 32, {}},                   // fast path
      {32, 32, BlitMode{7, 0, 200}},  // scaled family
      {8, 16, {}},                    // scaled family, colours
  };
  const Rect normal{1, 1, 5, 4};
  const Rect reversed[] = {{5, 4, 1, 1}, {5, 1, 1, 4}, {1, 4, 5, 1}};
  for (const Setup& s : setups) {
    source(7, 5, s.src_bits);
    destination(9, 7, s.dst_bits, 0x1234);
    ASSERT_EQ(gcopy(kDst, 2, 1, kSrc, &normal, &s.mode), 1);
    const std::vector<uint32_t> expected = pixels(*plane_get(kDst));
    for (const Rect& r : reversed) {
      destination(9, 7, s.dst_bits, 0x1234);
      EXPECT_EQ(gcopy(kDst, 2, 1, kSrc, &r, &s.mode), 1);
      EXPECT_EQ(pixels(*plane_get(kDst)), expected) << s.src_bits << " to " << s.dst_bits;
    }
  }
}

// A source rectangle over the plane's edge: gcopy draws the part that is
// there, at its place (the fast path, and the scaled family through mode 19
// onto black, which copies).
TEST_F(BlitGeometry, GcopyShrinksAHangingSourceRectangle) {
  const Rect hanging{-2, -1, 3, 2};
  for (const BlitMode& mode : {BlitMode{}, BlitMode{19, 0, 255}}) {
    Plane& src = source(4, 3, 32);
    Plane& dst = destination(10, 10, 32, 0);
    ASSERT_EQ(gcopy(kDst, 5, 5, kSrc, &hanging, &mode), 1);
    for (int32_t y = 0; y < 10; ++y)
      for (int32_t x = 0; x < 10; ++x) {
        const bool drawn = x >= 7 && x < 10 && y >= 6 && y < 8;
        EXPECT_EQ(pixel(dst, x, y), drawn ? pixel(src, x - 7, y - 6) : 0u)
            << int{mode.mode} << " " << x << "," << y;
      }
  }
}

TEST_F(BlitGeometry, AngleZeroReproducesTheSource) {
  const std::pair<int32_t, int32_t> sizes[] = {{1, 1}, {2, 2}, {3, 5}, {4, 4}, {6, 3}, {7, 7}, {5, 8}};
  for (const NamedBlit& b : kRotatedBlits)
    for (int32_t bits : {8, 16, 24, 32})
      for (const auto& [w, h] : sizes) {
        source(w, h, bits);
        destination(w, h, bits);
        ASSERT_EQ(b.blit(kDst, nullptr, kSrc, nullptr, nullptr, 0), 1);
        EXPECT_EQ(pixels(*plane_get(kDst)), pixels(*plane_get(kSrc)))
            << b.name << " " << bits << " bits " << w << "x" << h;
      }
}

// Reversing the destination rectangle mirrors; reversing the source as
// well cancels it.
TEST_F(BlitGeometry, ReversedRectanglesMirror) {
  for (const NamedBlit& b : kRotatedBlits)
    for (const auto& [w, h] : {std::pair{4, 3}, std::pair{5, 6}}) {
      const Rect d{0, 0, w, h};
      struct Variant {
        Rect dst, src;
        bool flip_x, flip_y;
      };
      const Variant variants[] = {
          {{w, 0, 0, h}, d, true, false}, {{0, h, w, 0}, d, false, true},
          {{w, h, 0, 0}, d, true, true},  {{w, 0, 0, h}, {w, 0, 0, h}, false, false},
          {d, {0, h, w, 0}, false, true},
      };
      for (const Variant& v : variants) {
        Plane& src = source(w, h);
        Plane& dst = destination(w, h);
        ASSERT_EQ(b.blit(kDst, &v.dst, kSrc, &v.src, nullptr, 0), 1);
        for (int32_t y = 0; y < h; ++y)
          for (int32_t x = 0; x < w; ++x)
            EXPECT_EQ(pixel(dst, x, y), pixel(src, v.flip_x ? w - 1 - x : x, v.flip_y ? h - 1 - y : y))
                << b.name << " " << w << "x" << h << " at " << x << "," << y;
        fill(dst, 0xDEADBEEF);
        ASSERT_EQ(blit_scaled(&dst, v.dst, &src, v.src, nullptr, BlitMode{}), 1);
        for (int32_t y = 0; y < h; ++y)
          for (int32_t x = 0; x < w; ++x)
            EXPECT_EQ(pixel(dst, x, y), pixel(src, v.flip_x ? w - 1 - x : x, v.flip_y ? h - 1 - y : y))
                << "blit_scaled " << w << "x" << h << " at " << x << "," << y;
      }
    }
}

// Quarter and half turns of odd and even sizes move every pixel exactly,
// counter-clockwise for positive angles, about the rectangle's centre.
TEST_F(BlitGeometry, QuarterAndHalfTurnsAreExact) {
  struct Turn {
    int32_t angle;
    bool quarter;
    std::function<std::pair<int32_t, int32_t>(int32_t c, int32_t r, int32_t w, int32_t h)> from;
  };
  const Turn turns[] = {
      {512, true,
       [](int32_t c, int32_t r, int32_t w, int32_t) {
         return std::pair{w - 1 - r, c};
       }},
      {512 + 2048, true,
       [](int32_t c, int32_t r, int32_t w, int32_t) {
         return std::pair{w - 1 - r, c};
       }},
      {1024, false,
       [](int32_t c, int32_t r, int32_t w, int32_t h) {
         return std::pair{w - 1 - c, h - 1 - r};
       }},
      {1536, true,
       [](int32_t c, int32_t r, int32_t, int32_t h) {
         return std::pair{r, h - 1 - c};
       }},
      {-512, true,
       [](int32_t c, int32_t r, int32_t, int32_t h) {
         return std::pair{r, h - 1 - c};
       }},
  };
  const std::pair<int32_t, int32_t> sizes[] = {{3, 3}, {4, 4}, {4, 3}, {5, 2}, {2, 6}, {1, 4}};
  for (const NamedBlit& b : kRotatedBlits)
    for (const Turn& t : turns)
      for (const auto& [w, h] : sizes) {
        Plane& src = source(w, h);
        Plane& dst = destination(20, 20);
        const Rect rect{8, 8, 8 + w, 8 + h};
        ASSERT_EQ(b.blit(kDst, &rect, kSrc, nullptr, nullptr, t.angle), 1);
        const int32_t bw = t.quarter ? h : w, bh = t.quarter ? w : h;
        const int32_t left = 8 + w / 2 - bw / 2, top = 8 + h / 2 - bh / 2;
        for (int32_t y = 0; y < 20; ++y)
          for (int32_t x = 0; x < 20; ++x) {
            const bool in_box = x >= left && x < left + bw && y >= top && y < top + bh;
            uint32_t expected = 0xDEADBEEF;
            if (in_box) {
              const auto [sx, sy] = t.from(x - left, y - top, w, h);
              expected = pixel(src, sx, sy);
            }
            EXPECT_EQ(pixel(dst, x, y), expected)
                << b.name << " angle " << t.angle << " " << w << "x" << h << " at " << x << "," << y;
          }
      }
}

TEST_F(BlitGeometry, AnglesRepeatEveryFullTurn) {
  const std::pair<int32_t, int32_t> same[] = {{0, 2048},      {0, -2048},        {0, 4096},
                                              {0, INT32_MIN}, {2047, INT32_MAX}, {300, 300 - 2048 * 1000}};
  for (const NamedBlit& b : kRotatedBlits)
    for (const auto& [a, other] : same) {
      source(5, 4);
      destination(9, 9);
      const Rect rect{2, 2, 7, 6};
      ASSERT_EQ(b.blit(kDst, &rect, kSrc, nullptr, nullptr, a), 1);
      const std::vector<uint32_t> expected = pixels(*plane_get(kDst));
      destination(9, 9);
      ASSERT_EQ(b.blit(kDst, &rect, kSrc, nullptr, nullptr, other), 1);
      EXPECT_EQ(pixels(*plane_get(kDst)), expected) << b.name << " " << a << " vs " << other;
    }
}

TEST_F(BlitGeometry, ClipThatMissesTheTurnedBoxReturnsZero) {
  for (const NamedBlit& b : kRotatedBlits) {
    source(4, 4);
    Plane& dst = destination(20, 20);
    const Rect clip{0, 0, 5, 5};
    ASSERT_EQ(gclip(kDst, &clip), 1);
    const Rect rect{10, 10, 14, 14};
    EXPECT_EQ(b.blit(kDst, &rect, kSrc, nullptr, nullptr, 300), 0) << b.name;
    EXPECT_EQ(pixels(dst), std::vector<uint32_t>(400, 0xDEADBEEF)) << b.name;
    // A box that reaches the clip is drawn, and only inside it.
    const Rect near{3, 3, 7, 7};
    EXPECT_EQ(b.blit(kDst, &near, kSrc, nullptr, nullptr, 300), 1) << b.name;
    for (int32_t y = 0; y < 20; ++y)
      for (int32_t x = 0; x < 20; ++x)
        if (x >= 5 || y >= 5) {
          EXPECT_EQ(pixel(dst, x, y), 0xDEADBEEFu) << b.name << " " << x << "," << y;
        }
    EXPECT_NE(pixel(dst, 4, 4), 0xDEADBEEFu) << b.name;
  }
}

// A source rectangle over the plane's edge, unscaled and unturned: the
// rotated families leave the uncovered destination pixels and put the rest
// where gcopy puts them.
TEST_F(BlitGeometry, HangingSourceRectangleLeavesUncoveredPixels) {
  const Rect hanging[] = {{-2, 0, 4, 5}, {0, -2, 6, 3},  {3, 0, 9, 5},
                          {0, 3, 6, 8},  {-1, -1, 7, 6}, {-3, 2, 2, 9}};
  for (const Rect& r : hanging) {
    source(6, 5);
    destination(12, 10);
    ASSERT_EQ(gcopy(kDst, 1, 2, kSrc, &r, nullptr), 1);
    const std::vector<uint32_t> expected = pixels(*plane_get(kDst));
    for (const NamedBlit& b : kRotatedBlits) {
      destination(12, 10);
      const Rect d{1, 2, 1 + r.right - r.left, 2 + r.bottom - r.top};
      EXPECT_EQ(b.blit(kDst, &d, kSrc, &r, nullptr, 0), 1);
      EXPECT_EQ(pixels(*plane_get(kDst)), expected)
          << b.name << " source " << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    }
  }
}

// Nearest-pixel scaling in 32.32: destination column i samples
// floor(i × source width / destination width).
TEST_F(BlitGeometry, ScaledColumnsAndRows) {
  Plane& src = source(3, 2);
  struct Scale {
    int32_t w, h;
  };
  for (const Scale s : {Scale{6, 4}, Scale{5, 3}, Scale{2, 1}, Scale{1, 1}, Scale{7, 5}}) {
    Plane& dst = destination(s.w, s.h);
    ASSERT_EQ(blit_scaled(&dst, {0, 0, s.w, s.h}, &src, {0, 0, 3, 2}, nullptr, BlitMode{}), 1);
    for (int32_t y = 0; y < s.h; ++y)
      for (int32_t x = 0; x < s.w; ++x) {
        const uint64_t sx = ((uint64_t{3} << 32) / s.w * x) >> 32, sy = ((uint64_t{2} << 32) / s.h * y) >> 32;
        EXPECT_EQ(pixel(dst, x, y), pixel(src, static_cast<int32_t>(sx), static_cast<int32_t>(sy)))
            << s.w << "x" << s.h << " at " << x << "," << y;
      }
  }
}

// Every sample of a clipped scaled axis lies inside the source limits and
// every pixel inside the clip; without cuts the axis is the plain scaling,
// and a destination cut keeps the scaling of the pixels that remain.
TEST_F(BlitGeometry, ScaledAxisClippingStaysInside) {
  std::mt19937 random(11);
  auto pick = [&](int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(random); };
  for (int i = 0; i < 200000; ++i) {
    const bool wide = i % 4 == 0;
    const int64_t range = wide ? int64_t{1} << 31 : 40;
    int64_t d0 = pick(-range, range - 1), d1 = pick(-range, range - 1);
    int64_t s0 = pick(-range, range - 1), s1 = pick(-range, range - 1);
    if (d0 == d1 || s0 == s1) continue;
    if (d1 < d0) std::swap(d0, d1);
    if (s1 < s0) std::swap(s0, s1);
    const int64_t dmin = pick(0, 20), dmax = pick(0, 30), smin = pick(0, 20), smax = pick(0, 30);
    const bool mirrored = random() & 1;
    ScaledAxis a;
    if (!clip_scaled_axis(d0, d1, s0, s1, dmin, dmax, smin, smax, mirrored, a)) continue;
    ASSERT_GT(a.count, 0);
    const uint64_t step = (static_cast<uint64_t>(s1 - s0) << 32) / static_cast<uint64_t>(d1 - d0);
    for (int32_t k = 0; k < a.count; ++k) {
      const int64_t sample = static_cast<int64_t>((a.pos + static_cast<uint64_t>(k) * a.step) >> 32);
      const int64_t d = mirrored ? a.first - k : a.first + k;
      ASSERT_TRUE(sample >= smin && sample < smax) << i;
      ASSERT_TRUE(d >= dmin && d < dmax && d >= d0 && d < d1) << i;
      if (s0 >= smin) {  // no source start cut: the plain scaling
        const int64_t unclipped = mirrored ? d1 - 1 - d : d - d0;
        const Int128 expected =
            ((static_cast<Int128>(s0) << 32) + static_cast<Int128>(unclipped) * step) >> 32;
        ASSERT_EQ(sample, static_cast<int64_t>(expected)) << i;
      }
    }
    if (s0 >= smin && s1 <= smax && d0 >= dmin && d1 <= dmax) {
      ASSERT_EQ(a.count, d1 - d0) << i;
    }
  }
}

// The columns of a rotated row whose sample is inside, against a search.
TEST_F(BlitGeometry, RotatedInsideSpanIsExact) {
  std::mt19937 random(12);
  for (int i = 0; i < 100000; ++i) {
    const int64_t p = std::uniform_int_distribution<int64_t>(-(int64_t{1} << 22), int64_t{1} << 22)(random);
    const int32_t step = i % 3 == 0 ? 0 : std::uniform_int_distribution<int32_t>(-200000, 200000)(random);
    const int32_t low = std::uniform_int_distribution<int32_t>(0, 40)(random);
    const int32_t high = low + std::uniform_int_distribution<int32_t>(1, 40)(random);
    int32_t lo = 0, hi = 64;
    clip_to_inside(p, step, low, high, lo, hi);
    for (int32_t x = 0; x < 64; ++x) {
      const int64_t v = (p + int64_t{x} * step) >> 16;
      const bool inside = v >= low && v < high;
      ASSERT_EQ(inside, x >= lo && x < hi) << "p " << p << " step " << step << " x " << x;
    }
  }
}

// Rectangles near ±2^31, scales that overflow the fixed-point steps, empty
// planes and arbitrary angles: every result is 0 or 1, and nothing outside
// the destination's clip rectangle, nor the source, nor a neighbouring
// plane changes.
TEST_F(BlitGeometry, WildInputsStayInsideTheClip) {
  const int32_t big = INT32_MAX, small = INT32_MIN;
  const Rect rects[] = {
      {small, small, big, big},
      {big - 1, big - 1, big, big},
      {small, small, small + 1, small + 1},
      {big, big, small, small},
      {-5, -5, 3, 3},
      {0, 0, 1, 1},
      {2, 2, 14, 14},
      {small, 0, big, 1},
      {0, small, 1, big},
      {-1000000, 3, 1000000, 4},
      {5, 5, 5, 9},
      {8, 3, 7, 2},
  };
  const int32_t angles[] = {0, 1, 256, 511, 512, 1023, 1500, 2047, -77, INT32_MAX, INT32_MIN};
  const BlitMode modes[] = {BlitMode{}, BlitMode{7, 0, 255}, BlitMode{3, 0, 100}, BlitMode{27, 0, 90}};
  std::mt19937 random(13);
  Plane& guard_before = make(kGuard, 8, 8, 32);
  randomise(guard_before, 5);
  const std::vector<uint8_t> guard = bytes(guard_before);
  for (int32_t src_w : {0, 1, 6}) {
    if (src_w == 0) {
      make(kSrc, 0, 0, 32);
    } else {
      source(src_w, 5);
    }
    const std::vector<uint8_t> src_bytes = bytes(*plane_get(kSrc));
    for (const Rect& dr : rects)
      for (const Rect& sr : rects)
        for (const BlitMode& mode : modes) {
          Plane& dst = destination(16, 16);
          const Rect clip{2, 2, 14, 14};
          gclip(kDst, &clip);
          const int32_t angle = angles[random() % std::size(angles)];
          const int32_t x = dr.left, y = dr.top;
          const int32_t results[] = {
              gblit(kDst, &dr, kSrc, &sr, &mode, angle),
              gblita(kDst, &dr, kSrc, &sr, &mode, angle),
              blit_scaled(&dst, dr, plane_get(kSrc), sr, nullptr, mode),
              gcopy(kDst, x, y, kSrc, &sr, &mode),
          };
          for (int32_t r : results) ASSERT_TRUE(r == 0 || r == 1);
          for (int32_t py = 0; py < 16; ++py)
            for (int32_t px = 0; px < 16; ++px)
              if (px < 2 || py < 2 || px >= 14 || py >= 14) {
                ASSERT_EQ(pixel(dst, px, py), 0xDEADBEEFu) << px << "," << py;
              }
          ASSERT_EQ(bytes(*plane_get(kSrc)), src_bytes);
          ASSERT_EQ(bytes(*plane_get(kGuard)), guard);
        }
  }
  // An empty destination plane.
  make(kDst, 0, 0, 32);
  source(4, 4);
  EXPECT_EQ(gcopy(kDst, 0, 0, kSrc, nullptr, nullptr), 0);
  EXPECT_EQ(gblit(kDst, nullptr, kSrc, nullptr, nullptr, 100), 0);
  EXPECT_EQ(gblita(kDst, nullptr, kSrc, nullptr, nullptr, 100), 0);
}

// A huge magnification: one source pixel over the whole clip; a huge
// reduction: steps beyond 16.16 give 0.
TEST_F(BlitGeometry, ExtremeScales) {
  Plane& src = source(4, 4);
  destination(16, 16);
  const Rect one{1, 1, 2, 2};
  const Rect huge{-1000000000, -1000000000, 1000000000, 1000000000};
  for (const NamedBlit& b : kRotatedBlits) {
    destination(16, 16);
    EXPECT_EQ(b.blit(kDst, &huge, kSrc, &one, nullptr, 0), 1) << b.name;
    EXPECT_EQ(pixels(*plane_get(kDst)), std::vector<uint32_t>(256, pixel(src, 1, 1))) << b.name;
  }
  const Rect wide_source{0, 0, 1 << 20, 4};
  const Rect one_pixel{3, 3, 4, 4};
  for (const NamedBlit& b : kRotatedBlits) {
    destination(16, 16);
    EXPECT_EQ(b.blit(kDst, &one_pixel, kSrc, &wide_source, nullptr, 0), 0) << b.name;
    EXPECT_EQ(pixels(*plane_get(kDst)), std::vector<uint32_t>(256, 0xDEADBEEF)) << b.name;
  }
}

}  // namespace
}  // namespace zelt::gfx
