// Distortion effects: slots and their failures, each generator's mesh values
// at a few points (read through ef_info's address, as scripts read them),
// meshes that draw the source unchanged, script-written meshes, and water.
#include <random>
#include <vector>

#include "core/sine_table.h"
#include "effects_fixture.h"

namespace zelt::gfx {
namespace {

class Effects : public EffectsFixture {
 protected:
  // A 64 × 32 source and destination: 8 × 4 cells, w = 64, h = 32.
  void SetUp() override {
    EffectsFixture::SetUp();
    src_ = &painted(1, 64, 32, 32, [](int32_t x, int32_t y) { return uint32_t(0x10000 * y + x + 0x01000000u * (x ^ y)); });
    dst_ = &make(2, 64, 32, 32);
    fill(*dst_, 0);
  }
  void init() {
    ASSERT_NE(ef_init(0, 2, nullptr, 1, nullptr), 0);
    int32_t info[3];
    ASSERT_TRUE(ef_info(0, info));
    points_ = static_cast<ScriptAddr>(info[2]);
  }
  // Mesh point (row i, column j) as (u, v).
  std::pair<int32_t, int32_t> point(int32_t i, int32_t j) const {
    const ScriptAddr a = points_ + static_cast<ScriptAddr>((i * 9 + j) * 8);
    return {static_cast<int32_t>(u32_at(a)), static_cast<int32_t>(u32_at(a + 4))};
  }
  void set_point(int32_t i, int32_t j, int32_t u, int32_t v) {
    const ScriptAddr a = points_ + static_cast<ScriptAddr>((i * 9 + j) * 8);
    put_u32_at(a, static_cast<uint32_t>(u));
    put_u32_at(a + 4, static_cast<uint32_t>(v));
  }
  // X as the generators store it against a size.
  static int32_t coord(int64_t x, int64_t size) { return static_cast<int32_t>(static_cast<uint32_t>(x * 2048 / size) << 8); }
  std::pair<int32_t, int32_t> at(int64_t x, int64_t y) const { return {coord(x, 64), coord(y, 32)}; }

  Plane* src_ = nullptr;
  Plane* dst_ = nullptr;
  ScriptAddr points_ = 0;
};

TEST_F(Effects, MeshesThatDrawTheSourceUnchanged) {
  init();
  int32_t info[3];
  ASSERT_TRUE(ef_info(0, info));
  EXPECT_EQ(info[0], 8);
  EXPECT_EQ(info[1], 4);
  struct Case {
    const char* name;
    int32_t (*draw)();
  };
  const std::vector<Case> cases = {
      {"ef_copy of the mesh ef_init makes", [] { return ef_copy(0); }},
      {"ef_rotate at 1:1 by 0", [] { return ef_rotate(0, 0, 0, 65536, 0); }},
      {"ef_rotate about another centre", [] { return ef_rotate(0, 17, 9, 65536, 2048); }},
      {"ef_raster of phase 0 without a wavelength", [] { return ef_raster(0, 0, 0, 77); }},
      {"ef_water without a blob", [] { return ef_water(0); }},
  };
  for (const Case& c : cases) {
    fill(*dst_, 0);
    ASSERT_EQ(c.draw(), 1) << c.name;
    EXPECT_EQ(pixels(*dst_), pixels(*src_)) << c.name;
  }
}

TEST_F(Effects, OnlyWholeCellsAreDrawn) {
  Plane& d = make(3, 100, 60, 32);
  fill(d, 0xEE);
  ASSERT_NE(ef_init(1, 3, nullptr, 1, nullptr), 0);
  int32_t info[3];
  ASSERT_TRUE(ef_info(1, info));
  EXPECT_EQ(info[0], 12);
  EXPECT_EQ(info[1], 7);
  ASSERT_EQ(ef_copy(1), 1);
  for (int32_t y = 0; y < 60; ++y)
    for (int32_t x = 0; x < 100; ++x) ASSERT_EQ(pixel(d, x, y) == 0xEE, x >= 96 || y >= 56) << x << "," << y;
}

TEST_F(Effects, AScriptWrittenMeshDrawsItsPositions) {
  init();
  // Every point moved by (1, 2) pixels: the picture moves by as much, wrapping.
  for (int32_t i = 0; i <= 4; ++i)
    for (int32_t j = 0; j <= 8; ++j) {
      const auto [u, v] = at(8 * j + 1, 8 * i + 2);
      set_point(i, j, u, v);
    }
  ASSERT_EQ(ef_copy(0), 1);
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 64; ++x) ASSERT_EQ(pixel(*dst_, x, y), pixel(*src_, (x + 1) % 64, (y + 2) % 32)) << x << "," << y;
  // Anything at all in the mesh (±2^31, stray bits) still samples the source.
  std::mt19937 random(3);
  for (int32_t i = 0; i <= 4; ++i)
    for (int32_t j = 0; j <= 8; ++j) set_point(i, j, static_cast<int32_t>(random()), (i + j) % 2 ? INT32_MIN : INT32_MAX);
  EXPECT_EQ(ef_copy(0), 1);
}

TEST_F(Effects, GeneratorMeshValues) {
  init();
  struct Case {
    const char* name;
    int32_t (*fill)();
    int32_t i, j;
    std::pair<int32_t, int32_t> want;
  };
  const auto c = [](int64_t x, int64_t y) { return std::pair{coord(x, 64), coord(y, 32)}; };
  const std::vector<Case> cases = {
      // Half a turn about (32, 16): (0, 0) goes to (64, 32), (64, 32) to (0, 0).
      {"ef_rotate half turn, corner", [] { return ef_rotate(0, 32, 16, 65536, 1024); }, 0, 0, c(64, 32)},
      {"ef_rotate half turn, far corner", [] { return ef_rotate(0, 32, 16, 65536, 1024); }, 4, 8, c(0, 0)},
      {"ef_rotate at 2:1", [] { return ef_rotate(0, 0, 0, 131072, 0); }, 1, 1, c(16, 16)},
      // l = 8j − 32, m = 8i − 16, no turns: X = a l / |m| / 40, Y = 300 a / |m| / 40.
      {"ef_land corner", [] { return ef_land(0, 100, 0, 0); }, 0, 0, c(-5, 46)},
      {"ef_land centre (|m| = 0 counts as 1)", [] { return ef_land(0, 100, 0, 0); }, 2, 4, c(0, 750)},
      // L = √(y8² + 300² + x8²): the centre looks straight down, (0, 0) from (−32, −16).
      {"ef_ball centre", [] { return ef_ball(0, 10, 0, 0); }, 2, 4, c(0, 10)},
      {"ef_ball corner", [] { return ef_ball(0, 10, 0, 0); }, 0, 0, c(-1, 9)},
      {"ef_whirl centre", [] { return ef_whirl(0, 0); }, 2, 4, c(32, 16)},
      {"ef_whirl right of centre", [] { return ef_whirl(0, 0); }, 2, 6, c(48, 16)},
      {"ef_whirl above centre", [] { return ef_whirl(0, 0); }, 0, 4, c(32, 0)},
      // Phase 512 × 256: sin 512 = 1, every row shifted by the amplitude.
      {"ef_raster without a wavelength", [] { return ef_raster(0, 512 << 8, 0, 3); }, 3, 0, c(3, 24)},
      // Wavelength 32: the phase moves by 512 units a row: shifts 0, a, 0, −a.
      {"ef_raster row 1", [] { return ef_raster(0, 0, 32, 5); }, 1, 2, c(21, 8)},
      {"ef_raster row 3", [] { return ef_raster(0, 0, 32, 5); }, 3, 2, c(11, 24)},
      // 2^20 × 0x80000 / 3 in 64 bits: (p >> 8) & 2047 = 682.
      {"ef_raster with a long phase", [] { return ef_raster(0, 0x100000, 3, 65536); }, 0, 0,
       std::pair{coord(table_sin(682), 64), coord(0, 32)}},
  };
  for (const Case& t : cases) {
    ASSERT_EQ(t.fill(), 1) << t.name;
    EXPECT_EQ(point(t.i, t.j), t.want) << t.name;
  }
}

TEST_F(Effects, WaterSpreadsABlobAndExchangesItsMaps) {
  init();
  // A blob at (16, 8) of radius 8 (one cell): height 80 at point (1, 2) only.
  ASSERT_EQ(ef_blob(0, 16, 8, 8, 80), 1);
  ASSERT_EQ(ef_water(0), 1);
  // One step: that cell becomes n − (n >> 3) with n = 0 − 80: −70.
  EXPECT_EQ(point(1, 2), at(16 - 70, 8 - 70));
  EXPECT_EQ(point(1, 1), at(8 + 70, 8));
  EXPECT_EQ(point(0, 2), at(16, 70));
  // Next step from the exchanged maps: the neighbours get (−70 >> 2) = −18 → −15,
  // the cell itself 0.
  ASSERT_EQ(ef_water(0), 1);
  EXPECT_EQ(point(1, 1), at(8 - 15 - 0, 8 - 15 + 15));
  EXPECT_EQ(point(0, 1), at(8 - 15 + 15, 0 - 15 + 15));
  EXPECT_EQ(point(1, 2).first, coord(16 + 0 + 15, 64));
}

TEST_F(Effects, RandomBlobsUseTheFilterGenerator) {
  init();
  // r = 1 cell: cx = (41 mod (8 − 2)) + 2 = 7, cy = (18467 mod (4 − 2)) + 2 = 3.
  ASSERT_EQ(ef_blob(0, -1, -1, 8, 80), 1);
  ASSERT_EQ(ef_water(0), 1);
  EXPECT_EQ(point(3, 7), at(56 - 70, 24 - 70));
  // A blob wider than the mesh has no random place: nothing happens.
  set_filter_random_state(1);
  EXPECT_EQ(ef_blob(0, -1, 5, 40, 80), 1);
  EXPECT_EQ(filter_random_state(), 1u);
  // Huge and negative sizes stay inside the maps.
  EXPECT_EQ(ef_blob(0, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MIN), 1);
  EXPECT_EQ(ef_blob(0, 0, 0, INT32_MAX, INT32_MAX), 1);
  EXPECT_EQ(ef_blob(0, 5, 5, -100, 7), 1);
  EXPECT_EQ(ef_water(0), 1);
}

TEST_F(Effects, SlotsAndFailures) {
  make(3, 64, 32, 24);
  make(4, 7, 40, 32);
  Rect r;
  struct Case {
    const char* name;
    uint32_t slot, dst;
    const Rect* drect;
    uint32_t src;
  };
  const std::vector<Case> refused = {
      {"slot 8", 8, 2, nullptr, 1},
      {"unequal bit counts", 1, 3, nullptr, 1},
      {"no source", 1, 2, nullptr, 9},
      {"narrower than a cell", 1, 4, nullptr, 1},
      {"outside the clip", 1, 2, rect(r, 64, 0, 90, 32), 1},
  };
  for (const Case& c : refused) {
    ASSERT_NE(ef_init(1, 2, nullptr, 1, nullptr), 0);
    EXPECT_EQ(ef_init(c.slot, c.dst, c.drect, c.src, nullptr), 0) << c.name;
    if (c.slot == 1) {
      EXPECT_EQ(ef_copy(1), 0) << c.name << ": the old mesh is gone too";
    }
  }
  for (auto* generator : {+[] { return ef_copy(5); }, +[] { return ef_water(5); }, +[] { return ef_whirl(5, 1); },
                          +[] { return ef_blob(5, 1, 1, 8, 8); }, +[] { return ef_copy(99); }})
    EXPECT_EQ(generator(), 0) << "empty slot";
  int32_t info[3];
  EXPECT_FALSE(ef_info(5, info));
  EXPECT_EQ(ef_free(8), 0);
  EXPECT_EQ(ef_free(5), 1);
  // The planes are looked up at every draw: a freed or smaller plane is refused.
  init();
  ASSERT_EQ(gfree(1), 1);
  EXPECT_EQ(ef_copy(0), 0);
  make(1, 32, 32, 32);
  EXPECT_EQ(ef_copy(0), 0);
  make(1, 64, 32, 32);
  EXPECT_EQ(ef_copy(0), 1);
}

}  // namespace
}  // namespace zelt::gfx
