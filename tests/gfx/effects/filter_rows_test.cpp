// smooth and blur have whole-row loops (AVX2, AVX-512) beside their
// per-pixel loops: on random pictures, sizes, rectangles and clips they all
// give the same bytes, with the rows also shared among threads.
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <random>
#include <span>
#include <vector>

#include "core/config.h"
#include "effects_fixture.h"
#include "gfx/effects/filter_rows_simd.h"
#include "gfx/effects/filters.h"

namespace zelt::gfx {
namespace {

class FilterRows : public EffectsFixture {
 protected:
  void SetUp() override {
    EffectsFixture::SetUp();
    if (max_simd_level() < 2) GTEST_SKIP() << "no AVX2 on this processor";
  }
  void TearDown() override {
    force_filter_rows_for_testing(-1);
    EffectsFixture::TearDown();
  }

  // The destination's bytes after op with the per-pixel loops on one thread,
  // then with each set of row loops on worker threads, every plane put back
  // between.
  static void expect_same(const std::vector<Plane*>& planes, Plane& destination,
                          const std::function<int32_t()>& op) {
    std::vector<std::vector<uint8_t>> before;
    for (Plane* p : planes) before.push_back(bytes(*p));
    const auto run = [&](int simd, int rows, int threads) {
      for (size_t i = 0; i < planes.size(); ++i) {
        std::span<uint8_t> px = plane_pixels(*planes[i]);
        std::copy(before[i].begin(), before[i].end(), px.begin());
      }
      force_simd_for_testing(simd);
      force_filter_rows_for_testing(rows);
      config().MultiThreading = threads;
      const int32_t result = op();
      return std::make_pair(result, bytes(destination));
    };
    set_pixels_per_thread_for_testing(1);
    const auto plain = run(0, 0, 0);
    for (const int rows : {1, 2}) {
      const auto wide = run(2, rows, 1);
      EXPECT_EQ(plain.first, wide.first);
      EXPECT_TRUE(plain.second == wide.second) << "row loops " << rows << " changed some bytes";
    }
  }
};

struct SmoothCase {
  const char* name;
  int32_t sw, sh;
  Rect s;  // right 0: the whole source plane
  int32_t dw, dh;
  Rect d;  // right 0: the whole destination plane
  Rect clip;  // right 0: no clip rectangle
};

TEST_F(FilterRows, SmoothRowsMatchThePixelLoops) {
  const std::vector<SmoothCase> cases = {
      {"2× up, several bands", 37, 50, {}, 74, 100, {}, {}},
      {"2.5× up, odd sizes", 13, 9, {}, 33, 23, {}, {}},
      {"3× down", 90, 60, {}, 30, 20, {}, {}},
      {"2.5× down: some windows too narrow", 50, 10, {}, 20, 4, {}, {}},
      {"slightly down", 17, 16, {}, 16, 15, {}, {}},
      {"slightly up", 16, 15, {}, 17, 16, {}, {}},
      {"along x only", 20, 10, {}, 45, 10, {}, {}},
      {"along y only", 20, 10, {}, 20, 27, {}, {}},
      {"one source column", 1, 5, {}, 9, 9, {}, {}},
      {"three source columns", 3, 3, {}, 10, 10, {}, {}},
      {"source hanging over the left and top", 16, 12, {-3, -2, 20, 15}, 40, 30, {}, {5, 3, 38, 27}},
      {"source hanging over the right and bottom", 16, 12, {4, 5, 19, 16}, 40, 30, {2, 1, 37, 29}, {}},
      {"destination beyond the plane", 20, 12, {}, 30, 20, {-7, -5, 41, 28}, {}},
  };
  for (const SmoothCase& c : cases) {
    SCOPED_TRACE(c.name);
    Plane& src = make(1, c.sw, c.sh, 32);
    randomise(src, 11);
    Plane& dst = make(2, c.dw, c.dh, 32);
    randomise(dst, 12);
    if (c.clip.right != 0) gclip(2, &c.clip);
    const Rect* s = c.s.right != 0 ? &c.s : nullptr;
    const Rect* d = c.d.right != 0 ? &c.d : nullptr;
    expect_same({&src, &dst}, dst, [&] { return smooth(2, d, 1, s, -1); });
  }
  // Random rectangles, also a plane into itself.
  std::mt19937 random(3);
  const auto any = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(random); };
  for (int i = 0; i < 150; ++i) {
    SCOPED_TRACE(i);
    Plane& src = make(1, any(1, 60), any(1, 60), 32);
    randomise(src, static_cast<uint32_t>(i));
    const bool same = i % 5 == 0;
    Plane& dst = same ? src : make(2, any(1, 90), any(1, 90), 32);
    if (!same) randomise(dst, static_cast<uint32_t>(i + 1000));
    const int32_t sl = any(-8, src.width - 1), st = any(-8, src.height - 1);
    const Rect s{sl, st, sl + any(1, 70), st + any(1, 70)};
    const int32_t dl = any(-8, dst.width - 1), dt = any(-8, dst.height - 1);
    const Rect d{dl, dt, dl + any(1, 100), dt + any(1, 100)};
    const uint32_t handle = same ? 1 : 2;
    expect_same({&src, &dst}, dst, [&] { return smooth(handle, &d, 1, &s, -1); });
  }
}

// blur from its definition: each byte the rounded mean of 2n + 1 samples
// along the row or column, the end samples repeated.
std::vector<uint32_t> blurred(const Plane& p, int32_t amount) {
  const int32_t n = std::min(std::abs(amount), 127), bytes = p.bit_count / 8;
  const uint32_t scale = 65536u / static_cast<uint32_t>(2 * n + 1);
  std::vector<const uint8_t*> rows;
  for (int32_t y = 0; y < p.height; ++y) rows.push_back(plane_pixel_address(&p, 0, y));
  std::vector<uint32_t> out;
  for (int32_t y = 0; y < p.height; ++y)
    for (int32_t x = 0; x < p.width; ++x) {
      uint32_t v = 0;
      for (int32_t c = 0; c < bytes; ++c) {
        uint32_t sum = 0;
        for (int32_t k = -n; k <= n; ++k) {
          const int32_t sx = amount > 0 ? std::clamp(x + k, 0, p.width - 1) : x;
          const int32_t sy = amount < 0 ? std::clamp(y + k, 0, p.height - 1) : y;
          sum += rows[static_cast<size_t>(sy)][sx * bytes + c];
        }
        v |= ((sum * scale + 32768) >> 16) << (8 * c);
      }
      out.push_back(v);
    }
  return out;
}

TEST_F(FilterRows, BlurRowsMatchThePixelLoops) {
  std::mt19937 random(4);
  const auto any = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(random); };
  for (const int32_t bits : {8, 24, 32}) {
    for (const int32_t amount : {1, 3, 127, 200, -1, -3, -127, -200}) {
      for (const int32_t width : {1, 2, 3, 5, 8, 9, 31, 137}) {
        SCOPED_TRACE(testing::Message() << bits << " bits, amount " << amount << ", width " << width);
        // 70 rows: the column sums start afresh in two bands when n is small.
        Plane& src = make(1, width, 70, bits);
        randomise(src, static_cast<uint32_t>(width));
        Plane& dst = make(2, width, 70, bits);
        expect_same({&src, &dst}, dst, [&] { return blur(2, 0, 0, 1, nullptr, amount); });
        EXPECT_EQ(pixels(dst), blurred(src, amount));
        // Part of the source, cut on the left and at the bottom, into the same plane.
        Plane& both = make(3, width + 6, 41, bits);
        randomise(both, 9);
        const Rect s{-2, any(0, 5), width - 1, 45};
        const int32_t x = any(-3, 4), y = any(-3, 4);
        expect_same({&both}, both, [&] { return blur(3, x, y, 3, &s, amount); });
      }
    }
  }
}

}  // namespace
}  // namespace zelt::gfx
