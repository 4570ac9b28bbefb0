// Worked numbers of the blend modes and the blit geometry, each run through
// the test reference and through the engine (the engine's runs are skipped
// until it is built), and the reference's lookup tables against their
// formulas and the shared tables.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/config.h"
#include "gfx/plane_fixture.h"
#include "gfx/raster/blend_tables.h"
#include "gfx/raster/blit.h"
#include "gfx/raster/reference_blit.h"

namespace zelt::gfx {
namespace {

using reference::Call;
using reference::Family;
using reference::Side;

constexpr uint32_t kDestination = 1, kSource = 2, kMask = 3;

uint32_t pixel(const Plane& plane, int32_t x, int32_t y) {
  const uint8_t* p = plane_pixel_address(&plane, x, y);
  uint32_t v = 0;
  std::memcpy(&v, p, static_cast<size_t>(plane.bit_count / 8));
  return v;
}

void put_pixel(Plane& plane, int32_t x, int32_t y, uint32_t v) {
  std::memcpy(plane_pixel_address(&plane, x, y), &v, static_cast<size_t>(plane.bit_count / 8));
}

// Both sides of every case: the engine and the reference.
class BlitCases : public PlaneFixture, public ::testing::WithParamInterface<Side> {
 protected:
  void SetUp() override {
    PlaneFixture::SetUp();
    config().MMX = 0;  // gcopy's own fast routines, not the blitter object
  }
  void TearDown() override {
    set_color_mapping(0);
    PlaneFixture::TearDown();
  }

  // A plane in slot holding the pixels in rows of width.
  static Plane& plane_with(uint32_t slot, int32_t bits, int32_t width, const std::vector<uint32_t>& pixels) {
    Plane& p = make(slot, width, static_cast<int32_t>(pixels.size()) / width, bits);
    if (bits >= 8)
      for (size_t i = 0; i < pixels.size(); ++i)
        put_pixel(p, static_cast<int32_t>(i) % width, static_cast<int32_t>(i) / width, pixels[i]);
    return p;
  }

  static std::vector<uint32_t> pixels_of(const Plane& p) {
    std::vector<uint32_t> v;
    for (int32_t y = 0; y < p.height; ++y)
      for (int32_t x = 0; x < p.width; ++x) v.push_back(pixel(p, x, y));
    return v;
  }

  int32_t run(const Call& call) { return reference::run(GetParam(), call, kDestination, kSource); }
};

BlitMode mode_of(uint8_t mode, uint8_t alpha = 0, uint8_t param = 0, uint32_t key = 0, uint32_t paint = 0,
                 uint8_t channels = 0) {
  BlitMode m;
  m.mode = mode;
  m.alpha = alpha;
  m.param = param;
  m.key = key;
  m.paint = paint;
  m.channel_mask = channels;
  return m;
}

struct PixelCase {
  const char* name;
  Family family;
  int32_t source_bits, destination_bits;
  std::vector<uint32_t> source, destination, expected;  // one row each
  BlitMode mode;
  int32_t result = 1;
  std::vector<uint32_t> mask = {};  // an 8-bit mask of the source's size, attached when given
};

TEST_P(BlitCases, WorkedNumbers) {
  const std::vector<PixelCase> cases = {
      {"mix(200, 100, 128) = 150", Family::scaled, 24, 24, {0x646464}, {0xC8C8C8}, {0x969696}, mode_of(3, 127)},
      {"mix(3, 1, 128) = 2 (the floor of -1)", Family::scaled, 24, 24, {0x010101}, {0x030303}, {0x020202},
       mode_of(3, 127)},
      {"32 to 32 alpha blends the fourth byte too", Family::scaled, 32, 32, {0x64646464}, {0xC8C8C8C8},
       {0x96969696}, mode_of(3, 127)},
      {"gcopy's fast alpha: floor(3 x 128/256) + floor(1 x 128/256)", Family::copy, 24, 24, {0x010101},
       {0x030303}, {0x010101}, mode_of(3, 127)},
      {"gcopy's fast alpha: 100 + 50", Family::copy, 24, 24, {0x646464}, {0xC8C8C8}, {0x969696}, mode_of(3, 127)},
      {"gcopy 8 to 8 alpha has no fast routine: the general rounding", Family::copy, 8, 8, {1}, {3}, {2},
       mode_of(3, 127)},
      {"mode 3, a = 1: 0 toward 255 gives 1", Family::scaled, 24, 24, {0xFFFFFF}, {0}, {0x010101}, mode_of(3, 1)},
      {"mode 3, a = 254: 0 toward 255 gives 254", Family::scaled, 24, 24, {0xFFFFFF}, {0}, {0xFEFEFE},
       mode_of(3, 254)},
      {"mode 3, a = 255 is mode 0 (all four bytes)", Family::scaled, 32, 32, {0x11223344}, {0x55667788},
       {0x11223344}, mode_of(3, 255)},
      {"mode 3, a = 0 draws nothing and returns 0", Family::scaled, 32, 32, {0x11223344}, {0x55667788},
       {0x55667788}, mode_of(3, 0), 0},
      {"8 to 8 without colour mapping blends index bytes", Family::scaled, 8, 8, {100}, {200}, {150},
       mode_of(3, 127)},
      {"mode 7 onto fourth byte 0, source alpha 128: colour s, fourth byte 128", Family::scaled, 32, 32,
       {0x80A0B0C0}, {0x00102030}, {0x80A0B0C0}, mode_of(7, 255)},
      {"mode 7, source alpha 255: the fourth byte becomes 255", Family::scaled, 32, 32, {0xFFA0B0C0},
       {0x10102030}, {0xFFA0B0C0}, mode_of(7, 255)},
      {"mode 8, destination alpha 0: the source colour, alpha kept", Family::scaled, 32, 32, {0xFFA0B0C0},
       {0x00102030}, {0x00A0B0C0}, mode_of(8, 255)},
      {"mode 8, destination alpha 255 and a = 255: unchanged", Family::scaled, 32, 32, {0xFFA0B0C0},
       {0xFF102030}, {0xFF102030}, mode_of(8, 255)},
      {"mode 9: T9[21][255] = 255 leaves the destination", Family::scaled, 32, 32, {0x00A0B0C0}, {0x15102030},
       {0x15102030}, mode_of(9, 1)},
      {"mode 9: an opaque source over alpha 21 gives the source colour", Family::scaled, 32, 32, {0xFFA0B0C0},
       {0x15102030}, {0x15A0B0C0}, mode_of(9, 1)},
      {"mode 11, a = 100, b = 0: only alpha 100 is drawn", Family::scaled, 32, 32,
       {0x63AAAAAA, 0x64BBBBBB, 0x65CCCCCC}, {0, 0, 0}, {0, 0x00BBBBBB, 0}, mode_of(11, 100, 0)},
      {"mode 12, b = 0: alpha below a is copied, the rest left", Family::scaled, 32, 32,
       {0x63AAAAAA, 0x64BBBBBB, 0x65CCCCCC}, {0, 0, 0}, {0x00AAAAAA, 0, 0}, mode_of(12, 100, 0)},
      {"mode 13, a = 255: 200 + 100 saturates", Family::scaled, 24, 24, {0x646464}, {0xC8C8C8}, {0xFFFFFF},
       mode_of(13, 255)},
      {"mode 14, a = 255: 50 - 100 saturates", Family::scaled, 24, 24, {0x646464}, {0x323232}, {0},
       mode_of(14, 255)},
      {"mode 2, K = 0 onto black 32-bit: nothing drawn", Family::scaled, 32, 32, {0x11223344, 0x55667788},
       {0, 0}, {0, 0}, mode_of(2, 0, 0, 0)},
      {"mode 2, K = 0 onto black 24-bit: drawn everywhere", Family::scaled, 24, 24, {0x223344, 0x667788}, {0, 0},
       {0x223344, 0x667788}, mode_of(2, 0, 0, 0)},
      {"mode 22, channel mask 0x14: red only", Family::scaled, 24, 24, {0x112233}, {0xAABBCC}, {0x11BBCC},
       mode_of(22, 0, 0, 0, 0, 0x14)},
      {"16-bit 0x7FFF reads as white", Family::scaled, 16, 24, {0x7FFF}, {0}, {0xFFFFFF}, mode_of(0)},
      {"16-bit 0x0210 reads as red 0, green 131, blue 131", Family::scaled, 16, 24, {0x0210}, {0}, {0x008383},
       mode_of(0)},
      {"mode 24 from a 16-bit source: no routine, returns 1", Family::scaled, 16, 24, {0x7FFF}, {0x123456},
       {0x123456}, mode_of(24, 255, 0, 0, 0xFFFFFF)},
      {"4-bit source: 0", Family::scaled, 4, 24, {0}, {0x123456}, {0x123456}, mode_of(0), 0},
      {"4-bit destination: 0", Family::scaled, 24, 4, {0x123456}, {0}, {0}, mode_of(0), 0},
      {"gcopy, 4-bit source: 0", Family::copy, 4, 24, {0}, {0x123456}, {0x123456}, mode_of(0), 0},
      {"mode 7 with a mask takes the mask's alpha", Family::scaled, 24, 24, {0x102030, 0x102030},
       {0xF0F0F0, 0xF0F0F0}, {0x102030, 0xF0F0F0}, mode_of(7, 255), 1, {255, 0}},
      {"mode 7 at weight 0 leaves a 16-bit pixel's top bit", Family::scaled, 16, 16, {0x1234, 0x1234},
       {0x8421, 0x8421}, {0x8421, 0x1234}, mode_of(7, 255), 1, {0, 255}},
      {"mode 7 at weight 0 leaves it in gcopy's masked routine too", Family::copy, 16, 16, {0x1234, 0x1234},
       {0x8421, 0x8421}, {0x8421, 0x1234}, mode_of(7, 255), 1, {0, 255}},
      {"16 to 16 copies keep the top bit", Family::rotated, 16, 16, {0x8001, 0x7FFF}, {0, 0}, {0x8001, 0x7FFF},
       mode_of(0)},
      {"32 to 32 destination key copies all four bytes", Family::scaled, 32, 32, {0x11223344}, {0x00000001},
       {0x11223344}, mode_of(2, 0, 0, 0)},
      {"tint onto 16 bits: the paint colour in 5-bit fields", Family::scaled, 24, 16, {0x000000}, {0},
       {0x7C00}, mode_of(5, 0, 255, 0, 0xFF0707)},
      {"mode 9 reads a 16-bit source's plain colour beside its alpha byte", Family::scaled, 16, 32, {0xFF1F},
       {0xFF000000}, {0xFFFFC5FF}, mode_of(9, 1)},
  };
  for (const PixelCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int32_t width = static_cast<int32_t>(c.source.size());
    plane_with(kSource, c.source_bits, width, c.source);
    Plane& destination = plane_with(kDestination, c.destination_bits, width, c.destination);
    gdetach(kSource);
    if (!c.mask.empty()) {
      plane_with(kMask, 8, width, c.mask);
      gattach(kSource, kMask);
    }
    Call call;
    call.family = c.family;
    call.destination_rect = {0, 0, width, 1};
    call.mode = c.mode;
    EXPECT_EQ(run(call), c.result);
    if (c.destination_bits >= 8) {
      EXPECT_EQ(pixels_of(destination), c.expected);
    }
  }
}

// Mode 22 into an 8-bit plane takes the colours of both pixels and maps the
// result back, also without colour mapping: red of 3-3-2 red over 3-3-2
// green is yellow.
TEST_P(BlitCases, ChannelSelectIntoEightBitsMapsColours) {
  Palette cube;
  for (uint32_t i = 0; i < kPaletteEntries; ++i) cube[i] = default_colour(8, i);
  pal_map(cube);
  for (const int32_t mapping : {0, 1}) {
    SCOPED_TRACE("color_mapping " + std::to_string(mapping));
    set_color_mapping(mapping);
    plane_with(kSource, 8, 1, {0xE0});
    Plane& destination = plane_with(kDestination, 8, 1, {0x1C});
    Call call;
    call.destination_rect = {0, 0, 1, 1};
    call.mode = mode_of(22, 0, 0, 0, 0, 0x04);
    EXPECT_EQ(run(call), 1);
    EXPECT_EQ(pixel(destination, 0, 0), 0xFCu);
  }
}

// Numbered pictures of distinct 24-bit pixels.
std::vector<uint32_t> numbered(int32_t width, int32_t height) {
  std::vector<uint32_t> v;
  for (int32_t i = 0; i < width * height; ++i) v.push_back(0x010000u * static_cast<uint32_t>(i + 1) + 0x40);
  return v;
}

TEST_P(BlitCases, RotationsOfASquare) {
  for (const int32_t side : {3, 4}) {
    SCOPED_TRACE("side " + std::to_string(side));
    const std::vector<uint32_t> source = numbered(side, side);
    const auto at = [&](int32_t x, int32_t y) { return source[static_cast<size_t>(y * side + x)]; };
    struct Turn {
      int32_t angle;
      Family family;
      // The source pixel that lands at (x, y).
      std::function<uint32_t(int32_t, int32_t)> expected;
    };
    const int32_t last = side - 1;
    const std::vector<Turn> turns = {
        {0, Family::rotated, [&](int32_t x, int32_t y) { return at(x, y); }},
        {2048, Family::rotated, [&](int32_t x, int32_t y) { return at(x, y); }},
        {512, Family::rotated, [&](int32_t x, int32_t y) { return at(last - y, x); }},
        {1024, Family::rotated, [&](int32_t x, int32_t y) { return at(last - x, last - y); }},
        {-512, Family::rotated, [&](int32_t x, int32_t y) { return at(y, last - x); }},
        {0, Family::smooth, [&](int32_t x, int32_t y) { return at(x, y); }},
        {512, Family::smooth, [&](int32_t x, int32_t y) { return at(last - y, x); }},
    };
    for (const Turn& turn : turns) {
      SCOPED_TRACE("angle " + std::to_string(turn.angle) + " " + reference::family_name(turn.family));
      plane_with(kSource, 24, side, source);
      Plane& destination = plane_with(kDestination, 24, side, std::vector<uint32_t>(source.size(), 0));
      Call call;
      call.family = turn.family;
      call.destination_rect = {0, 0, side, side};
      call.angle = turn.angle;
      EXPECT_EQ(run(call), 1);
      for (int32_t y = 0; y < side; ++y)
        for (int32_t x = 0; x < side; ++x) EXPECT_EQ(pixel(destination, x, y), turn.expected(x, y)) << x << "," << y;
    }
  }
}

TEST_P(BlitCases, SmoothAtAngleZeroReproducesOddPictures) {
  const std::vector<uint32_t> source = numbered(5, 3);
  plane_with(kSource, 32, 5, source);
  Plane& destination = plane_with(kDestination, 32, 5, std::vector<uint32_t>(source.size(), 0));
  Call call;
  call.family = Family::smooth;
  call.destination_rect = {0, 0, 5, 3};
  EXPECT_EQ(run(call), 1);
  EXPECT_EQ(pixels_of(destination), source);
}

TEST_P(BlitCases, ReversedRectangles) {
  const std::vector<uint32_t> source = numbered(4, 3);
  const std::vector<uint32_t> blank(source.size(), 0);
  std::vector<uint32_t> mirrored;
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 4; ++x) mirrored.push_back(source[static_cast<size_t>(y * 4 + 3 - x)]);
  struct Case {
    const char* name;
    Family family;
    Rect destination;
    std::optional<Rect> source;
    std::vector<uint32_t> expected;
  };
  const std::vector<Case> cases = {
      {"scaled, both reversed", Family::scaled, {4, 3, 0, 0}, Rect{4, 3, 0, 0}, source},
      {"scaled, destination reversed in x", Family::scaled, {4, 0, 0, 3}, Rect{0, 0, 4, 3}, mirrored},
      {"rotated, both reversed", Family::rotated, {4, 3, 0, 0}, Rect{4, 3, 0, 0}, source},
      {"rotated, destination reversed in x", Family::rotated, {4, 0, 0, 3}, Rect{0, 0, 4, 3}, mirrored},
      {"smooth, source reversed in x", Family::smooth, {0, 0, 4, 3}, Rect{4, 0, 0, 3}, mirrored},
      {"gcopy, source reversed", Family::copy, {0, 0, 0, 0}, Rect{4, 3, 0, 0}, source},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    plane_with(kSource, 24, 4, source);
    Plane& destination = plane_with(kDestination, 24, 4, blank);
    Call call;
    call.family = c.family;
    call.destination_rect = c.destination;
    call.source_rect = c.source;
    EXPECT_EQ(run(call), 1);
    EXPECT_EQ(pixels_of(destination), c.expected);
  }
}

// A source rectangle hanging one column over the source's left edge: the
// rotated blit leaves the uncovered destination column alone, gcopy draws a
// smaller area.
TEST_P(BlitCases, SourceHangingOverTheEdge) {
  const std::vector<uint32_t> source = numbered(3, 2);
  for (const Family family : {Family::rotated, Family::smooth, Family::scaled, Family::copy}) {
    SCOPED_TRACE(reference::family_name(family));
    plane_with(kSource, 24, 3, source);
    Plane& destination = plane_with(kDestination, 24, 4, std::vector<uint32_t>(8, 7));
    Call call;
    call.family = family;
    call.destination_rect = {0, 0, 4, 2};
    call.source_rect = Rect{-1, 0, 3, 2};
    EXPECT_EQ(run(call), 1);
    EXPECT_EQ(pixels_of(destination), (std::vector<uint32_t>{7, source[0], source[1], source[2],  //
                                                             7, source[3], source[4], source[5]}));
  }
}

TEST_P(BlitCases, NothingToDraw) {
  plane_with(kSource, 24, 4, numbered(4, 4));
  Plane& destination = plane_with(kDestination, 24, 4, std::vector<uint32_t>(16, 9));
  Call call;
  call.family = Family::rotated;
  call.destination_rect = {10, 10, 14, 14};  // the box misses the clip rectangle
  call.angle = 100;
  EXPECT_EQ(run(call), 0);
  call.family = Family::scaled;
  call.destination_rect = {0, 0, 0, 4};  // empty
  EXPECT_EQ(run(call), 0);
  call.destination_rect = {0, 0, 4, 4};
  call.source_rect = Rect{4, 0, 8, 4};  // wholly beside the source
  EXPECT_EQ(run(call), 0);
  call.family = Family::copy;
  call.destination_rect = {-4, 0, 0, 0};  // gcopy to x = -4: wholly outside
  call.source_rect.reset();
  EXPECT_EQ(run(call), 0);
  EXPECT_EQ(pixels_of(destination), std::vector<uint32_t>(16, 9));
}

std::string side_name(const ::testing::TestParamInfo<Side>& side) {
  return side.param == Side::reference ? "Reference" : "Engine";
}
INSTANTIATE_TEST_SUITE_P(, BlitCases, ::testing::Values(Side::reference, Side::engine), side_name);

TEST(ReferenceTables, MatchTheSharedTables) {
  const reference::Tables& mine = reference::tables();
  const BlendTables& shared = blend_tables();
  EXPECT_EQ(std::memcmp(mine.e5, shared.e5, sizeof mine.e5), 0);
  const std::pair<const char*, std::pair<const BlendLut*, const BlendLut*>> luts[] = {
      {"mul", {&mine.mul, &shared.mul}},       {"overlay", {&mine.overlay, &shared.overlay}},
      {"soft light", {&mine.soft_light, &shared.soft_light}},
      {"hard light", {&mine.hard_light, &shared.hard_light}},
      {"dodge", {&mine.dodge, &shared.dodge}}, {"burn", {&mine.burn, &shared.burn}},
      {"t9", {&mine.t9, &shared.t9}},
  };
  for (const auto& [name, pair] : luts) {
    SCOPED_TRACE(name);
    for (int x = 0; x < 256; ++x)
      for (int y = 0; y < 256; ++y)
        ASSERT_EQ((*pair.first)[x][y], (*pair.second)[x][y]) << "[" << x << "][" << y << "]";
  }
  EXPECT_EQ(std::memcmp(mine.clamp, shared.clamp, sizeof mine.clamp), 0);
  for (int mode = 26; mode < 36; ++mode) {
    const BlendLut& expected = mode < 28 ? mine.overlay : mode < 30 ? mine.soft_light : mode < 32 ? mine.hard_light
                               : mode < 34 ? mine.dodge : mine.burn;
    EXPECT_EQ(std::memcmp(mode_lut(mode), expected, sizeof expected), 0) << "mode " << mode;
  }
}

TEST(ReferenceTables, WorkedEntries) {
  const reference::Tables& t = reference::tables();
  const std::vector<int> e5_start = {0, 8, 16, 24, 32, 41};
  for (size_t i = 0; i < e5_start.size(); ++i) EXPECT_EQ(t.e5[i], e5_start[i]);
  EXPECT_EQ(t.e5[30], 246);
  EXPECT_EQ(t.e5[31], 255);
  EXPECT_EQ(t.mul[255][255], 255);
  EXPECT_EQ(t.mul[128][128], 64);  // (16384 + 128) / 255
  EXPECT_EQ(t.mul[0][200], 0);
  // T9 in exact integers: x = 0 gives 255; y = 255 gives 255 for every x
  // (no floating-point loss at [21][255]); y = 0 gives 0.
  for (int x = 0; x < 256; ++x) {
    EXPECT_EQ(t.t9[x][255], 255) << x;
    EXPECT_EQ(t.t9[0][x], 255) << x;
    if (x > 0) {
      EXPECT_EQ(t.t9[x][0], 0) << x;
    }
  }
  EXPECT_EQ(t.t9[21][255], 255);
  EXPECT_EQ(t.t9[255][128], 128);  // 65025 × 128 / (65025 − 32640 + 32640)
  EXPECT_EQ(t.clamp[0], 0);
  EXPECT_EQ(t.clamp[256 + 200], 200);
  EXPECT_EQ(t.clamp[767], 255);
  EXPECT_EQ(reference::mix(200, 100, 128), 150);
  EXPECT_EQ(reference::mix(3, 1, 128), 2);
  EXPECT_EQ(reference::mix(0, 255, 256), 255);
}

// The mode list's coverage and alpha flags say what the blending rules say.
TEST(ReferenceTables, ModeDeclarationAgrees) {
  const int bits[] = {8, 16, 24, 32};
  for (int mode = 0; mode < kPlainModes; ++mode) {
    const BlendModeInfo& info = kBlendModeInfo[mode];
    for (const int s : bits) {
      for (const int d : bits) {
        const bool source_ok = info.sources == Formats::any || (info.sources == Formats::no8) == (s != 8);
        const bool destination_ok =
            info.destinations == Formats::any || (info.destinations == Formats::no8) == (d != 8);
        EXPECT_EQ(source_ok && destination_ok, reference::plain_cell(mode, s, d))
            << "mode " << mode << " " << s << "->" << d;
      }
    }
  }
  for (int mode = 0; mode < kBlendModes; ++mode) {
    const bool alpha = mode == 3 || mode == 4 || (mode >= 7 && mode <= 21) || mode >= 24;
    EXPECT_EQ(kBlendModeInfo[mode].uses_alpha, alpha) << "mode " << mode;
  }
}

}  // namespace
}  // namespace zelt::gfx
