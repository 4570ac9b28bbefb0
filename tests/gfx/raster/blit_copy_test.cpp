// gcopy's fast routines against the scaled family, the constant-alpha
// blend's own rounding, the hand-off to the blitter object, and results
// that do not depend on threads or on the SIMD switch.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "gfx/raster/blit_fixture.h"
#include "gfx/raster/blitter.h"
#include "gfx/raster/fast_copy.h"
#include "gfx/raster/parallel_rows.h"
#include "gfx/raster/row_blends.h"

namespace zelt::gfx {
namespace {

constexpr uint32_t kDst = 1, kSrc = 2, kMask = 3;
constexpr int32_t kBits[] = {8, 16, 24, 32};

class BlitCopy : public BlitFixture {
 protected:
  // Threads share even the smallest blits here, so that the small planes of
  // these tests run the parallel rows.
  void SetUp() override {
    BlitFixture::SetUp();
    set_pixels_per_thread_for_testing(1);
  }
  void TearDown() override {
    set_pixels_per_thread_for_testing(0);
    BlitFixture::TearDown();
  }

  // Random planes in slots kDst, kSrc (and a random 8-bit mask in kMask,
  // attached when masked), random colour tables, and a grey inverse map.
  static void random_planes(int32_t src_bits, int32_t dst_bits, int32_t w, int32_t h, bool masked,
                            uint32_t seed) {
    Plane& src = make(kSrc, w, h, src_bits);
    Plane& dst = make(kDst, w + 3, h + 2, dst_bits);
    randomise(src, seed);
    randomise(dst, seed + 1);
    if (src_bits == 8) randomise_palette(src, seed + 2);
    if (dst_bits == 8) randomise_palette(dst, seed + 3);
    if (masked) {
      randomise(make(kMask, w, h, 8), seed + 4);
      gattach(kSrc, kMask);
    } else {
      gdetach(kSrc);
    }
  }

  // A mode with random weights, a key that some source (or, for mode 2,
  // destination) pixels meet, and a random paint colour.
  static BlitMode random_mode(int number, std::mt19937& random) {
    BlitMode m{};
    m.mode = static_cast<uint8_t>(number);
    m.alpha = static_cast<uint8_t>(1 + random() % 254);
    m.param = static_cast<uint8_t>(random() % 256);
    m.channel_mask = static_cast<uint8_t>(1 + random() % 15);
    m.paint = random() & 0xFFFFFF;
    const Plane& keyed = *plane_get(number == 2 ? kDst : kSrc);
    const uint32_t v = pixel(keyed, 1, 1);
    switch (keyed.bit_count) {
      case 8:
        m.key = kColourIndexFlag | v;
        break;
      case 16:
        m.key = (v >> 10 & 31) << 19 | (v >> 5 & 31) << 11 | (v & 31) << 3;
        break;
      default:
        m.key = v & 0xFFFFFF;
        break;
    }
    return m;
  }
};

// Where the rounding is the same, every fast routine draws exactly what the
// scaled family draws.
TEST_F(BlitCopy, FastRoutinesMatchTheScaledFamily) {
  std::mt19937 random(21);
  int cells = 0;
  for (bool masked : {false, true})
    for (int mode = 0; mode < kPlainModes; ++mode)
      for (int32_t sb : kBits)
        for (int32_t db : kBits) {
          if (mode == 3 || mode == 4) continue;  // their own rounding: below
          if (!fast_routine(mode, (sb / 8 - 1) * 4 + db / 8 - 1, masked)) continue;
          ++cells;
          random_planes(sb, db, 13, 7, masked, static_cast<uint32_t>(mode * 100 + sb + db));
          const BlitMode m = random_mode(mode, random);
          const Rect from{0, 0, 13, 7};
          ASSERT_EQ(gcopy(kDst, 2, 1, kSrc, &from, &m), 1);
          const std::vector<uint8_t> fast = bytes(*plane_get(kDst));
          random_planes(sb, db, 13, 7, masked, static_cast<uint32_t>(mode * 100 + sb + db));
          ASSERT_EQ(blit_scaled(plane_get(kDst), {2, 1, 15, 8}, plane_get(kSrc), from, plane_mask(kSrc), m),
                    1);
          EXPECT_EQ(bytes(*plane_get(kDst)), fast)
              << "mode " << mode << " " << sb << " to " << db << (masked ? " masked" : "");
        }
  EXPECT_EQ(cells, 101);  // the availability table without modes 3 and 4
}

// The fast constant-alpha blend rounds each term down:
// floor(d (256 − w) / 256) + floor(s w / 256), all four bytes within 32
// bits; mode 4 skips the key.
TEST_F(BlitCopy, ConstantAlphaRoundsEachTermDown) {
  for (int32_t bits : {24, 32}) {
    for (uint8_t alpha : {1, 77, 128, 254}) {
      for (int mode : {3, 4}) {
        random_planes(bits, bits, 9, 5, false, alpha + bits + mode);
        const Plane& src = *plane_get(kSrc);
        const Plane& dst = *plane_get(kDst);
        const std::vector<uint32_t> before = pixels(dst), from = pixels(src);
        const uint32_t key = pixel(src, 1, 1) & 0xFFFFFF;
        const BlitMode m{static_cast<uint8_t>(mode), 0, alpha, 0, key};
        ASSERT_EQ(gcopy(kDst, 0, 0, kSrc, nullptr, &m), 1);
        const int32_t w = alpha + 1;
        for (int32_t y = 0; y < 5; ++y)
          for (int32_t x = 0; x < 9; ++x) {
            const uint32_t s = from[static_cast<size_t>(y * 9 + x)];
            const uint32_t d = before[static_cast<size_t>(y * 12 + x)];
            uint32_t expected = 0;
            for (int i = 0; i < bits / 8; ++i) {
              const uint32_t sc = s >> (8 * i) & 255, dc = d >> (8 * i) & 255;
              expected |= ((dc * (256 - w) >> 8) + (sc * w >> 8)) << (8 * i);
            }
            if (mode == 4 && (s & 0xFFFFFF) == key) expected = d;
            EXPECT_EQ(pixel(dst, x, y), expected)
                << "mode " << mode << " alpha " << int{alpha} << " " << bits;
          }
      }
    }
  }
  // The general formula rounds once: mix(d, s, w) = floor((d (256 − w) +
  // s w) / 256). With d = s = 1 and w = 128 the fast blend gives 0, the
  // general 1.
  make(kDst, 1, 1, 24);
  make(kSrc, 1, 1, 24);
  set_pixel(*plane_get(kDst), 0, 0, 0x010101);
  set_pixel(*plane_get(kSrc), 0, 0, 0x010101);
  const BlitMode half{3, 0, 127};
  ASSERT_EQ(gcopy(kDst, 0, 0, kSrc, nullptr, &half), 1);
  EXPECT_EQ(pixel(*plane_get(kDst), 0, 0), 0u);
  set_pixel(*plane_get(kDst), 0, 0, 0x010101);
  ASSERT_EQ(gblit(kDst, nullptr, kSrc, nullptr, &half, 0), 1);
  EXPECT_EQ(pixel(*plane_get(kDst), 0, 0), 0x010101u);
}

// With [System] MMX set, gcopy hands modes 3 to 6 within one 16-, 24- or
// 32-bit format, and mode 7 through an 8-bit mask at alpha 255, to the
// blitter object: the result is the object's operation on the clipped
// rectangle. Every other blit, and every blit with MMX off, is the fast
// routine's. Threads change nothing either way.
TEST_F(BlitCopy, BlitterObjectTakesTheConstantWeightBlends) {
  struct Case {
    int32_t src_bits, dst_bits;
    int mode;
    uint8_t alpha, param;
    bool masked, handed;
  };
  const Case cases[] = {
      {32, 32, 3, 100, 0, false, true},  {24, 24, 3, 100, 0, false, true},
      {16, 16, 3, 100, 0, false, true},  {32, 32, 4, 60, 0, false, true},
      {24, 24, 4, 60, 0, false, true},   {16, 16, 4, 60, 0, false, true},
      {32, 32, 5, 0, 40, false, true},   {24, 24, 5, 0, 40, false, true},
      {16, 16, 5, 0, 40, false, true},   {32, 32, 6, 0, 40, false, true},
      {24, 24, 6, 0, 40, false, true},   {16, 16, 6, 0, 40, false, true},
      {32, 32, 7, 255, 0, true, true},   {24, 24, 7, 255, 0, true, true},
      {16, 16, 7, 255, 0, true, true},   {24, 24, 10, 255, 0, true, true},  // runs as mode 7
      {16, 16, 7, 254, 0, true, false},  {32, 32, 12, 255, 0, true, false},
      {24, 32, 3, 100, 0, false, false},  // two formats
      {8, 24, 3, 100, 0, false, false},   {32, 32, 3, 255, 0, false, false},  // a copy
      {32, 32, 13, 100, 0, false, false},
  };
  // Source (1, 1)..(5, 3) at (6, 1) of a 9-wide destination: clipped to
  // three columns.
  const Rect from{1, 1, 5, 3};
  constexpr int32_t kX = 6, kY = 1, kWidth = 3, kHeight = 2;
  for (const Case& c : cases) {
    const uint32_t seed = static_cast<uint32_t>(c.mode * 64 + c.src_bits + c.dst_bits);
    // The planes of the case, with the key pixel in a few more places and
    // mask values below 128 (where the SIMD object's weights differ from the
    // routines').
    const auto planes = [&] {
      random_planes(c.src_bits, c.dst_bits, 6, 4, c.masked, seed);
      Plane& src = *plane_get(kSrc);
      for (int32_t x = 2; x < 6; x += 2) set_pixel(src, x, 2, pixel(src, 1, 1));
      if (c.masked)
        for (uint8_t& b : plane_pixels(*plane_get(kMask))) b &= 127;
    };
    planes();
    std::mt19937 mode_random(seed);
    BlitMode m = random_mode(c.mode, mode_random);
    m.alpha = c.alpha;
    m.param = c.param;
    const int column = (c.src_bits / 8 - 1) * 4 + c.dst_bits / 8 - 1;
    const std::string name = "mode " + std::to_string(c.mode) + " " + std::to_string(c.src_bits) + " to " +
                             std::to_string(c.dst_bits) + (c.masked ? " masked" : "");

    // The fast routine, called directly on the clipped rectangle.
    planes();
    {
      Plane& dst = *plane_get(kDst);
      Plane& src = *plane_get(kSrc);
      const Plane* mask = c.masked ? plane_get(kMask) : nullptr;
      const std::optional<CheckedMode> checked = check_entry(&dst, &src, m);
      ASSERT_TRUE(checked) << name;
      BlendContext context;
      prepare_context(context, *checked, src, dst, raw_indices(checked->mode, column));
      const FastRoutine routine = fast_routine(checked->mode, column, c.masked);
      ASSERT_NE(routine, nullptr) << name;
      routine(CopySpan{plane_pixel_address(&dst, kX, kY), -static_cast<ptrdiff_t>(dst.pitch),
                       plane_pixel_address(&src, 1, 1), -static_cast<ptrdiff_t>(src.pitch),
                       mask ? plane_pixel_address(mask, 1, 1) : nullptr,
                       mask ? -static_cast<ptrdiff_t>(mask->pitch) : 0, kWidth, kHeight},
              context);
    }
    const std::vector<uint8_t> by_routine = bytes(*plane_get(kDst));

    // The blitter object's operation on the same rectangle.
    planes();
    if (c.handed) {
      Plane& dst = *plane_get(kDst);
      const Plane& src = *plane_get(kSrc);
      const BlitterFamily family = *blitter_family(c.dst_bits);
      const PixelRows out{plane_pixel_address(&dst, kX, kY), -static_cast<ptrdiff_t>(dst.pitch)};
      const ConstPixelRows source{plane_pixel_address(&src, 1, 1), -static_cast<ptrdiff_t>(src.pitch)};
      // Key and paint as pixels: the 15-bit form on 16-bit planes.
      const auto as_pixel = [&](uint32_t rgb) {
        return c.dst_bits == 16 ? (rgb >> 19 & 31) << 10 | (rgb >> 11 & 31) << 5 | (rgb >> 3 & 31) : rgb;
      };
      const uint32_t key = as_pixel(m.key), paint = as_pixel(m.paint);
      const Blitter& object = blitter();
      switch (c.mode) {
        case 3:
          object.alpha(family, kWidth, kHeight, c.alpha, out, out, source);
          break;
        case 4:
          object.alpha_key(family, kWidth, kHeight, c.alpha, out, out, source, key);
          break;
        case 5:
          object.tint(family, kWidth, kHeight, c.param, out, source, paint, std::nullopt);
          break;
        case 6:
          object.tint(family, kWidth, kHeight, c.param, out, source, paint, key);
          break;
        default: {
          const Plane& mask = *plane_get(kMask);
          object.alpha_map(family, kWidth, kHeight,
                           {plane_pixel_address(&mask, 1, 1), -static_cast<ptrdiff_t>(mask.pitch)}, out, out,
                           source);
          break;
        }
      }
    }
    const std::vector<uint8_t> by_blitter = bytes(*plane_get(kDst));
    // Where the SIMD object runs, its weights differ from the routines'.
    if (c.handed && &blitter() == &simd_blitter()) {
      EXPECT_NE(by_blitter, by_routine) << name;
    }

    for (int32_t mmx : {0, 1})
      for (int32_t threads : {0, 1}) {
        config().MMX = mmx;
        config().MultiThreading = threads;
        planes();
        ASSERT_EQ(gcopy(kDst, kX, kY, kSrc, &from, &m), 1) << name;
        EXPECT_EQ(bytes(*plane_get(kDst)), mmx && c.handed ? by_blitter : by_routine)
            << name << " MMX " << mmx << " threads " << threads;
      }
  }
}

// A random blit of any mode, pair, geometry and family.
struct Scenario {
  int32_t src_bits, dst_bits, w, h, dw, dh;
  bool masked, mapping;
  BlitMode mode;
  Rect dst_rect, src_rect;
  int32_t angle;
  int path;  // 0 gcopy, 1 blit_scaled, 2 gblit, 3 gblita
};

Scenario random_scenario(std::mt19937& random) {
  auto pick = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(random); };
  Scenario s{};
  s.src_bits = kBits[pick(0, 3)];
  s.dst_bits = kBits[pick(0, 3)];
  s.w = pick(1, 40);
  s.h = pick(1, 30);
  s.dw = pick(1, 50);
  s.dh = pick(1, 40);
  s.masked = pick(0, 3) == 0;
  s.mapping = pick(0, 2) == 0;
  s.mode = BlitMode{static_cast<uint8_t>(pick(0, 35)),        static_cast<uint8_t>(pick(1, 15)),
                    static_cast<uint8_t>(pick(1, 255)),       static_cast<uint8_t>(pick(0, 255)),
                    static_cast<uint32_t>(pick(0, 0xFFFFFF)), static_cast<uint32_t>(pick(0, 0xFFFFFF))};
  s.dst_rect = {pick(-10, s.dw), pick(-10, s.dh), pick(-10, s.dw + 10), pick(-10, s.dh + 10)};
  s.src_rect = {pick(-5, s.w), pick(-5, s.h), pick(-5, s.w + 5), pick(-5, s.h + 5)};
  s.angle = pick(0, 3) == 0 ? 0 : pick(-5000, 5000);
  s.path = pick(0, 3);
  return s;
}

class BlitPaths : public BlitCopy {
 protected:
  // The destination's bytes after the scenario, from fixed random planes.
  std::vector<uint8_t> draw(const Scenario& s, uint32_t seed) {
    random_planes(s.src_bits, s.dst_bits, s.w, s.h, s.masked, seed);
    Plane* dst = plane_get(kDst);
    make(kDst, s.dw, s.dh, s.dst_bits);
    dst = plane_get(kDst);
    randomise(*dst, seed + 9);
    if (s.dst_bits == 8) randomise_palette(*dst, seed + 10);
    const std::vector<uint8_t> before = bytes(*dst);
    set_color_mapping(s.mapping);
    int32_t result = 0;
    switch (s.path) {
      case 0:
        result = gcopy(kDst, s.dst_rect.left, s.dst_rect.top, kSrc, &s.src_rect, &s.mode);
        break;
      case 1:
        result = blit_scaled(dst, s.dst_rect, plane_get(kSrc), s.src_rect, plane_mask(kSrc), s.mode);
        break;
      case 2:
        result = gblit(kDst, &s.dst_rect, kSrc, &s.src_rect, &s.mode, s.angle);
        break;
      default:
        result = gblita(kDst, &s.dst_rect, kSrc, &s.src_rect, &s.mode, s.angle);
        break;
    }
    std::vector<uint8_t> out = bytes(*dst);
    if (out != before) ++drawn_;
    out.push_back(static_cast<uint8_t>(result));
    return out;
  }
  int drawn_ = 0;  // scenarios that changed the destination
};

std::string describe(const Scenario& s) {
  return "mode " + std::to_string(s.mode.mode) + " " + std::to_string(s.src_bits) + "->" +
         std::to_string(s.dst_bits) + " path " + std::to_string(s.path) + " angle " +
         std::to_string(s.angle) + (s.masked ? " masked" : "") + (s.mapping ? " mapped" : "");
}

TEST_F(BlitPaths, ThreadsDoNotChangeTheResult) {
  Palette grey;
  for (uint32_t i = 0; i < 256; ++i) grey[i] = (i * 0x010101) ^ (i << 16);
  pal_map(grey);
  std::mt19937 random(31);
  set_pixels_per_thread_for_testing(1);  // small pictures through the workers too
  for (int i = 0; i < 600; ++i) {
    const Scenario s = random_scenario(random);
    config().MultiThreading = 0;
    const std::vector<uint8_t> alone = draw(s, static_cast<uint32_t>(i));
    config().MultiThreading = 1;
    ASSERT_EQ(draw(s, static_cast<uint32_t>(i)), alone) << describe(s);
  }
  set_pixels_per_thread_for_testing(0);
  EXPECT_GT(drawn_, 400);
}

TEST_F(BlitPaths, PlainRoutinesGiveTheSameAsSimd) {
  std::mt19937 random(32);
  for (int i = 0; i < 600; ++i) {
    Scenario s = random_scenario(random);
    if (i % 2 == 0) {  // the busiest cells more often
      const int hot[][3] = {{0, 32, 32}, {3, 32, 32}, {3, 24, 24}, {7, 32, 32}, {7, 32, 24}, {3, 32, 24}};
      const int* h = hot[random() % std::size(hot)];
      s.mode.mode = static_cast<uint8_t>(h[0]);
      s.src_bits = h[1];
      s.dst_bits = h[2];
      s.path = random() % 2;
      s.masked = false;
    }
    force_simd_for_testing(0);
    const std::vector<uint8_t> plain = draw(s, static_cast<uint32_t>(i));
    for (int level = 1; level <= max_simd_level(); ++level) {
      force_simd_for_testing(level);
      ASSERT_EQ(draw(s, static_cast<uint32_t>(i)), plain) << describe(s) << " level " << level;
    }
  }
  EXPECT_GT(drawn_, 400);
}

// Rows through every branch of the SIMD routines: destination fourth bytes
// and source alphas 255, 0, 128 or anything, in runs of 24 pixels (whole
// vectors of one kind) or pixel by pixel; row lengths with tails; the
// gathering scaled and rotated rows.
TEST_F(BlitPaths, SimdRowsMatchPlainRowsOnEveryBranch) {
  const auto alphas = [](Plane& p, bool runs, std::mt19937& random) {
    for (int32_t y = 0; y < p.height; ++y)
      for (int32_t x = 0; x < p.width; ++x) {
        const uint32_t kind = runs ? static_cast<uint32_t>((x / 24 + y) % 4) : random() % 4;
        const uint32_t a = kind == 0 ? 255 : kind == 1 ? 0 : kind == 2 ? 128 : random() & 255;
        set_pixel(p, x, y, (pixel(p, x, y) & 0xFFFFFF) | a << 24);
      }
  };
  struct Cell {
    int mode;
    int32_t src_bits, dst_bits;
  };
  const Cell cells[] = {{7, 32, 32}, {7, 32, 24}, {3, 32, 32}, {3, 24, 24}, {3, 8, 8}, {3, 32, 24}};
  const int32_t angles[] = {0, 0, 100, 1024};
  for (const Cell& cell : cells)
    for (int32_t w : {1, 3, 4, 5, 15, 16, 17, 33, 67, 130})
      for (int variant = 0; variant < 6; ++variant) {
        std::vector<uint8_t> results[3];
        for (int level = 0; level <= max_simd_level(); ++level) {
          force_simd_for_testing(level);
          std::mt19937 random(static_cast<uint32_t>(w * 100 + variant));  // the same planes both times
          const BlitMode m{static_cast<uint8_t>(cell.mode), 0,
                           static_cast<uint8_t>(variant % 2 ? 255 : 1 + random() % 254)};
          Plane& src = make(kSrc, w, 3, cell.src_bits);
          Plane& dst = make(kDst, w + 2, 4, cell.dst_bits);
          randomise(src, static_cast<uint32_t>(w + variant));
          randomise(dst, static_cast<uint32_t>(w * 7 + variant));
          if (cell.src_bits == 32) alphas(src, variant >= 3, random);
          if (cell.dst_bits == 32) alphas(dst, variant < 3, random);
          const Rect from{0, 0, w, 3}, to{1, 0, 1 + w + w / 2, 4};
          switch (variant % 3) {
            case 0:
              gcopy(kDst, 1, 1, kSrc, &from, &m);
              break;
            case 1:
              blit_scaled(&dst, to, &src, from, nullptr, m);
              break;
            default:
              gblit(kDst, &to, kSrc, &from, &m, angles[random() % 4]);
              gblita(kDst, &to, kSrc, &from, &m, angles[random() % 4]);
              break;
          }
          results[level] = bytes(dst);
          ASSERT_EQ(results[level], results[0])
              << "mode " << cell.mode << " " << cell.src_bits << " to " << cell.dst_bits << " width " << w
              << " variant " << variant << " level " << level;
        }
      }
}

}  // namespace
}  // namespace zelt::gfx
