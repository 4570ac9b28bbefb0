// Blend modes pixel by pixel: the worked numbers of each mode through every
// path (gcopy, the scaled, rotated and smooth families), the pixel formats
// and alpha formats, key and paint conversion, colour mapping, masks and
// the entry checks.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "gfx/raster/blend_ops.h"
#include "gfx/raster/kernels.h"
#include "gfx/raster/blit_fixture.h"

namespace zelt::gfx {
namespace {

constexpr uint32_t kDst = 1, kSrc = 2, kMask = 3;

enum class Path { gcopy, scaled, rotated, smooth };
constexpr Path kPaths[] = {Path::gcopy, Path::scaled, Path::rotated, Path::smooth};
const char* name(Path p) {
  switch (p) {
    case Path::gcopy:
      return "gcopy";
    case Path::scaled:
      return "blit_scaled";
    case Path::rotated:
      return "gblit";
    default:
      return "gblita";
  }
}

// The whole source onto the whole destination (same sizes) by one path.
int32_t run(Path path, const BlitMode& m, int32_t angle = 0) {
  Plane* dst = plane_get(kDst);
  Plane* src = plane_get(kSrc);
  switch (path) {
    case Path::gcopy:
      return gcopy(kDst, 0, 0, kSrc, nullptr, &m);
    case Path::scaled:
      return blit_scaled(dst, dst ? Rect{0, 0, dst->width, dst->height} : Rect{}, src,
                         src ? Rect{0, 0, src->width, src->height} : Rect{}, plane_mask(kSrc), m);
    case Path::rotated:
      return gblit(kDst, nullptr, kSrc, nullptr, &m, angle);
    default:
      return gblita(kDst, nullptr, kSrc, nullptr, &m, angle);
  }
}

class BlitModes : public BlitFixture {};

TEST_F(BlitModes, MixFloorsTowardMinusInfinity) {
  EXPECT_EQ(mix(200, 100, 128), 150);
  EXPECT_EQ(mix(3, 1, 128), 2);
  EXPECT_EQ(mix(0, 255, 256), 255);
  EXPECT_EQ(mix(255, 0, 256), 0);
}

// The exact quotient of mode 7 over translucent 32-bit pixels, at and
// around every multiple of every divisor it meets.
TEST_F(BlitModes, ExactQuotient) {
  for (uint32_t d = 1; d <= 65025; ++d) {
    const float inverse = 1.0f / static_cast<float>(d);
    for (uint32_t q = 0; q <= 255 && q * d < (1u << 24); q += (q < 4 || q > 250) ? 1 : 17) {
      for (uint32_t n : {q * d, q * d + d - 1, q * d + d / 2}) {
        if (n >= (1u << 24)) continue;
        ASSERT_EQ(blend::exact_quotient(n, d, inverse), static_cast<int32_t>(n / d)) << n << " / " << d;
      }
    }
  }
}

// Routines exist for every pair except: mode 7 and 10-12 from 8 bits, 8
// onto 8 bits, 9 either, 24 from anything but 8 bits, 25-27 from 8 bits;
// the masked tables cover every pair.
TEST_F(BlitModes, TablesHaveRoutinesExactlyWhereTheModesCoverThePair) {
  int plain = 0;
  for (int mode = 0; mode < kPlainModes; ++mode)
    for (int column = 0; column < kKernelColumns; ++column) {
      const bool covered = mode_covers(mode, column);
      plain += covered && column < 16;
      EXPECT_EQ(scaled_kernel(mode, column, false) != nullptr, covered) << mode << " " << column;
      EXPECT_EQ(rotated_kernel(mode, column, false) != nullptr, covered) << mode << " " << column;
      EXPECT_EQ(smooth_kernel(mode, column, false) != nullptr, covered) << mode << " " << column;
      const bool masked = mode == 7 || mode == 10 || mode == 11 || mode == 12;
      EXPECT_EQ(scaled_kernel(mode, column, true) != nullptr, masked) << mode << " " << column;
      EXPECT_EQ(rotated_kernel(mode, column, true) != nullptr, masked) << mode << " " << column;
      EXPECT_EQ(smooth_kernel(mode, column, true), rotated_kernel(mode, column, true)) << mode << " " << column;
    }
  EXPECT_EQ(plain, 28 * 16 - (4 + 4 + 7 + 3 * 4 + 12 + 3 * 4));
  EXPECT_EQ(scaled_kernel(28, 5, false), nullptr);  // 28..35 run as 26 and 27
}

struct PixelCase {
  const char* name;
  int32_t src_bits, dst_bits;
  uint32_t src, dst;
  BlitMode mode;
  uint32_t expected;
};

BlitMode m(uint8_t number, uint8_t alpha = 0, uint8_t param = 0, uint32_t key = 0, uint32_t paint = 0,
           uint8_t channels = 0) {
  return BlitMode{number, channels, alpha, param, key, paint};
}

const PixelCase kPixelCases[] = {
    {"mode 3, a = 1", 24, 24, 0xFFFFFF, 0x000000, m(3, 1), 0x010101},
    {"mode 3, a = 254", 24, 24, 0xFFFFFF, 0x000000, m(3, 254), 0xFEFEFE},
    {"mode 3 on raw indices: mix(200, 100, 128)", 8, 8, 100, 200, m(3, 127), 150},
    {"mode 3 on raw indices: mix(3, 1, 128), the floor of -1", 8, 8, 1, 3, m(3, 127), 2},
    {"mode 3 within 32 bits blends the fourth byte", 32, 32, 0xFF000000, 0x00000000, m(3, 127), 0x7F000000},
    {"mode 3 at alpha 255 copies", 32, 32, 0x12345678, 0xFFFFFFFF, m(3, 255), 0x12345678},
    {"mode 7 onto fourth byte 0: the source colour, fourth byte t", 32, 32, 0x80AABBCC, 0x00112233, m(7, 255),
     0x80AABBCC},
    {"mode 7 onto an opaque pixel", 32, 32, 0x80C8C8C8, 0xFF000000, m(7, 255), 0xFF646464},
    {"mode 7 onto a half-transparent pixel", 32, 32, 0x40C8C8C8, 0x80646464, m(7, 255), 0x9F8C8C8C},
    {"mode 7 at t = 255 makes the pixel opaque", 32, 32, 0xFF102030, 0x00405060, m(7, 255), 0xFF102030},
    {"mode 7 at t = 0 leaves the pixel", 32, 32, 0x00102030, 0x00405060, m(7, 255), 0x00405060},
    {"mode 7 with a = 127 halves the source alpha", 32, 24, 0xFFC8C8C8, 0x000000, m(7, 127), 0x646464},
    {"mode 7 onto 24 bits: mix(d, s, t + 1)", 32, 24, 0x80C8C8C8, 0x000000, m(7, 255), 0x646464},
    {"mode 7 from a 24-bit alpha-format source", 24, 24, 0xFF7FFF, 0x000000, m(7, 255), 0xFFFFFF},
    {"mode 7 from 24 onto 16 bits", 24, 16, 0x807C00, 0x001F, m(7, 255), 0x400F},
    {"mode 8 where the destination alpha is 0 copies the colour", 32, 32, 0x00AABBCC, 0x00112233, m(8, 255),
     0x00AABBCC},
    {"mode 8 where it is 255 leaves the pixel", 32, 32, 0x00AABBCC, 0xFF112233, m(8, 255), 0xFF112233},
    {"mode 8 in between: mix(s, d, t + 1)", 32, 32, 0x00C8C8C8, 0x80000000, m(8, 255), 0x80636363},
    {"mode 8 onto a 24-bit alpha-format destination", 32, 24, 0x00FFFFFF, 0x001234, m(8, 255), 0x007FFF},
    {"mode 9: an opaque source over a half-transparent pixel", 32, 32, 0xFFC8C8C8, 0x80000000, m(9, 1),
     0x80C8C8C8},
    {"mode 9 leaves a transparent destination", 32, 32, 0x80C8C8C8, 0x00102030, m(9, 1), 0x00102030},
    {"mode 11 with a = 100, b = 0 draws alpha 100", 32, 32, 0x64AABBCC, 0x00112233, m(11, 100), 0x00AABBCC},
    {"mode 11 with a = 100, b = 0 leaves alpha 101", 32, 32, 0x65AABBCC, 0x00112233, m(11, 100), 0x00112233},
    {"mode 11 with a = 100, b = 0 leaves alpha 99", 32, 32, 0x63AABBCC, 0x00112233, m(11, 100), 0x00112233},
    {"mode 11 window up to a + b", 32, 32, 0x6EAABBCC, 0x00112233, m(11, 100, 10), 0x00AABBCC},
    {"mode 12 with b = 0 copies alpha below a", 32, 32, 0x63AABBCC, 0x00112233, m(12, 100), 0x00AABBCC},
    {"mode 12 with b = 0 leaves alpha a", 32, 32, 0x64AABBCC, 0x00112233, m(12, 100), 0x00112233},
    {"mode 12 halfway down the ramp", 32, 32, 0x6E000000, 0x00C8C8C8, m(12, 100, 20), 0x00636363},
    {"mode 13 saturates", 24, 24, 0x646464, 0xC8C8C8, m(13, 255), 0xFFFFFF},
    {"mode 14 stops at 0", 24, 24, 0x646464, 0x323232, m(14, 255), 0x000000},
    {"mode 13 within 32 bits adds the fourth byte", 32, 32, 0x10000000, 0x20000000, m(13, 255), 0x30000000},
    {"mode 15 multiplies", 24, 24, 0x808080, 0xFFFFFF, m(15, 255), 0x808080},
    {"mode 16 and", 24, 24, 0x0F0F0F, 0xFF00FF, m(16, 255), 0x0F000F},
    {"mode 17 or", 24, 24, 0x0F0F0F, 0xF000F0, m(17, 255), 0xFF0FFF},
    {"mode 18 exclusive or", 24, 24, 0x0F0F0F, 0xFF00FF, m(18, 255), 0xF00FF0},
    {"mode 19 screen", 24, 24, 0x808080, 0x808080, m(19, 255), 0xC0C0C0},
    {"mode 20 lighten", 24, 24, 0x10F010, 0xF010F0, m(20, 255), 0xF0F0F0},
    {"mode 21 darken", 24, 24, 0x10F010, 0xF010F0, m(21, 255), 0x101010},
    {"mode 2, K black, onto a black 32-bit pixel: nothing", 24, 32, 0xFFFFFF, 0x00000000, m(2), 0x00000000},
    {"mode 2, K black, onto a black 24-bit pixel: drawn", 24, 24, 0xFFFFFF, 0x000000, m(2), 0xFFFFFF},
    {"mode 2 onto a 32-bit pixel other than K", 24, 32, 0xFFFFFF, 0x00000001, m(2), 0x00FFFFFF},
    {"mode 22 with channel mask 0x14 replaces red", 24, 24, 0xAABBCC, 0x112233, m(22, 0, 0, 0, 0, 0x14),
     0xAA2233},
    {"mode 22 bit 3 is the fourth byte", 32, 32, 0xAABBCCDD, 0x11223344, m(22, 0, 0, 0, 0, 0x08), 0xAA223344},
    {"mode 22 on 16 bits takes the 5-bit field", 16, 16, 0x7FFF, 0x0000, m(22, 0, 0, 0, 0, 0x02), 0x03E0},
    {"16-bit 0x7FFF reads white", 16, 24, 0x7FFF, 0x000000, m(0), 0xFFFFFF},
    {"16-bit 0x0210 reads red 0, green 131, blue 131", 16, 24, 0x0210, 0x000000, m(0), 0x008383},
    {"16-bit pixels are written with bit 15 zero", 24, 16, 0xFFFFFF, 0x8000, m(0), 0x7FFF},
    {"mode 0 from 24 to 32 bits keeps the fourth byte", 24, 32, 0x123456, 0xAB000000, m(0), 0xAB123456},
    {"mode 0 within 32 bits copies four bytes", 32, 32, 0x12345678, 0x00000000, m(0), 0x12345678},
    {"mode 1 leaves pixels equal to K", 24, 24, 0x102030, 0x445566, m(1, 0, 0, 0x102030), 0x445566},
    {"mode 1 copies the others", 24, 24, 0x102031, 0x445566, m(1, 0, 0, 0x102030), 0x102031},
    {"mode 1 compares 16-bit pixels with K's 15-bit form", 16, 16, 0x8C61, 0x1234, m(1, 0, 0, 0x181808),
     0x1234},
    {"mode 4 compares without the fourth byte", 32, 32, 0xFF102030, 0x00000000, m(4, 128, 0, 0x102030),
     0x00000000},
    {"mode 5 tints toward P", 24, 24, 0x000000, 0x123456, m(5, 0, 127, 0, 0xFFFFFF), 0x7F7F7F},
    {"mode 6 leaves key pixels", 24, 24, 0x000000, 0x123456, m(6, 0, 127, 0x000000, 0xFFFFFF), 0x123456},
    {"mode 10 tints before the alpha blend", 32, 32, 0xFF000000, 0xFF123456, m(10, 255, 255, 0, 0x0000FF),
     0xFF0000FF},
    {"mode 23 copies the alpha byte", 32, 32, 0x7F123456, 0x00ABCDEF, m(23), 0x7FABCDEF},
    {"mode 23 from 24 bits takes byte 2", 24, 32, 0x7F1234, 0x00ABCDEF, m(23), 0x7FABCDEF},
    {"mode 23 onto 16 bits writes byte 1", 32, 16, 0x7F123456, 0x00EF, m(23), 0x7FEF},
    {"mode 24 paints P through full coverage", 8, 32, 255, 0x00000000, m(24, 255, 0, 0, 0xFF8040),
     0xFFFF8040},
    {"mode 24 through half coverage", 8, 32, 128, 0x00000000, m(24, 255, 0, 0, 0xFF8040), 0x80804020},
    {"mode 24 onto 24 bits", 8, 24, 255, 0x000000, m(24, 255, 0, 0, 0xFF8040), 0xFF8040},
    {"mode 25 paints the source's grey", 32, 32, 0xFF808080, 0x00000000, m(25, 255), 0xFF808080},
    {"mode 25 tints the grey", 32, 24, 0xFF000000, 0x000000, m(25, 255, 255, 0, 0x0000FF), 0x0000FF},
    {"mode 26 blends the overlay table", 24, 24, 0x404040, 0xC0C0C0, m(26, 255), 0xA1A1A1},
    {"mode 30 runs as 26 with the hard-light table", 24, 24, 0x404040, 0xC0C0C0, m(30, 255), 0x606060},
    {"mode 27 through the source alpha", 32, 32, 0xFF404040, 0x00C0C0C0, m(27, 255), 0xFFA1A1A1},
};

TEST_F(BlitModes, WorkedPixelsOnEveryPath) {
  for (const PixelCase& c : kPixelCases) {
    for (Path path : kPaths) {
      make(kDst, 1, 1, c.dst_bits);
      make(kSrc, 1, 1, c.src_bits);
      set_pixel(*plane_get(kDst), 0, 0, c.dst);
      set_pixel(*plane_get(kSrc), 0, 0, c.src);
      EXPECT_EQ(run(path, c.mode), 1) << c.name << " by " << name(path);
      EXPECT_EQ(pixel(*plane_get(kDst), 0, 0), c.expected) << c.name << " by " << name(path);
    }
  }
}

// Modes 8 and 23 on 16-bit alpha-format planes: the colour part is an
// index into the plane's own colour table.
TEST_F(BlitModes, SixteenBitAlphaFormatUsesTheColourTable) {
  Palette grey;
  for (uint32_t i = 0; i < 256; ++i) grey[i] = i * 0x010101;
  pal_map(grey);
  Plane* dst = plane_create(1, 1, 16, 256);
  Plane* src = plane_create(1, 1, 32);
  ASSERT_TRUE(dst && src);
  plane_put(kDst, dst);
  plane_put(kSrc, src);
  for (uint32_t i = 0; i < 256; ++i) plane_colour_table(*dst)[i] = i * 0x010101;

  // Destination alpha 0: the source colour, written through the inverse map.
  set_pixel(*dst, 0, 0, 0x0005);
  set_pixel(*src, 0, 0, 0x00808080);
  EXPECT_EQ(run(Path::scaled, m(8, 255)), 1);
  EXPECT_EQ(pixel(*dst, 0, 0), uint32_t{inverse_colour_map()[16 << 10 | 16 << 5 | 16]});

  // Source in alpha format: byte 0 indexes the source's table.
  Plane* src16 = plane_create(1, 1, 16, 256);
  ASSERT_TRUE(src16);
  plane_put(kSrc, src16);
  plane_colour_table(*src16)[7] = 0x00FF8040;
  set_pixel(*src16, 0, 0, 0xFF07);
  Plane* dst32 = plane_create(1, 1, 32);
  plane_put(kDst, dst32);
  set_pixel(*dst32, 0, 0, 0xFF000000);
  EXPECT_EQ(run(Path::rotated, m(7, 255)), 1);
  EXPECT_EQ(pixel(*dst32, 0, 0), 0xFFFF8040u);

  // Without a colour table (planes from galloc) the colour part reads black.
  make(kSrc, 1, 1, 16);
  set_pixel(*plane_get(kSrc), 0, 0, 0xFF07);
  set_pixel(*dst32, 0, 0, 0xFF123456);
  EXPECT_EQ(run(Path::scaled, m(7, 255)), 1);
  EXPECT_EQ(pixel(*dst32, 0, 0), 0xFF000000u);
}

TEST_F(BlitModes, KeyAndPaintMeetEightBitPlanesAsIndices) {
  make(kDst, 1, 1, 24);
  Plane& src = make(kSrc, 1, 1, 8);
  // An index colour value names the index; an RGB value the nearest entry
  // of the current palette (the 3-3-2 cube: white is 255).
  set_pixel(src, 0, 0, 255);
  set_pixel(*plane_get(kDst), 0, 0, 0x123456);
  EXPECT_EQ(run(Path::gcopy, m(1, 0, 0, kColourIndexFlag | 255)), 1);
  EXPECT_EQ(pixel(*plane_get(kDst), 0, 0), 0x123456u);
  EXPECT_EQ(run(Path::scaled, m(1, 0, 0, 0xFFFFFF)), 1);
  EXPECT_EQ(pixel(*plane_get(kDst), 0, 0), 0x123456u);
  EXPECT_EQ(run(Path::scaled, m(1, 0, 0, 0xFFFFFE)), 1);  // nearest is still 255
  EXPECT_EQ(pixel(*plane_get(kDst), 0, 0), 0x123456u);
  EXPECT_EQ(run(Path::scaled, m(1, 0, 0, 0x000000)), 1);
  EXPECT_EQ(pixel(*plane_get(kDst), 0, 0), 0xFFFFFFu);

  // Raw 8-bit to 8-bit: P is an index and the tint mixes index bytes.
  Plane& dst8 = make(kDst, 1, 1, 8);
  set_pixel(src, 0, 0, 10);
  set_pixel(dst8, 0, 0, 0);
  EXPECT_EQ(run(Path::scaled, m(5, 0, 127, 0, kColourIndexFlag | 30)), 1);
  EXPECT_EQ(pixel(dst8, 0, 0), 20u);  // mix(10, 30, 128)
}

// 8-bit to 8-bit blits work on raw indices unless colour mapping is on;
// then both pixels are palette colours and the result is mapped back.
TEST_F(BlitModes, ColourMappingOfEightBitPlanes) {
  Palette grey;
  for (uint32_t i = 0; i < 256; ++i) grey[i] = i * 0x010101;
  pal_map(grey);
  for (Path path : kPaths) {
    Plane& dst = make(kDst, 1, 1, 8);
    Plane& src = make(kSrc, 1, 1, 8);
    for (uint32_t i = 0; i < 256; ++i) {
      plane_colour_table(src)[i] = (255 - i) * 0x010101;  // reversed ramp
      plane_colour_table(dst)[i] = i * 0x010101;
    }
    set_pixel(src, 0, 0, 0);   // white through its table
    set_pixel(dst, 0, 0, 40);  // grey 40
    set_color_mapping(0);
    EXPECT_EQ(run(path, m(3, 127)), 1);
    EXPECT_EQ(pixel(dst, 0, 0), 20u) << name(path);  // mix(40, 0, 128) on the bytes
    set_pixel(dst, 0, 0, 40);
    set_color_mapping(1);
    EXPECT_EQ(run(path, m(3, 127)), 1);
    // mix(40, 255, 128) = 147 per channel, mapped back through the grey map.
    EXPECT_EQ(pixel(dst, 0, 0), uint32_t{inverse_colour_map()[(147 >> 3) * 0x421]}) << name(path);
  }
}

// Mode 22 onto 8-bit planes combines the palette colours whatever
// color_mapping says.
TEST_F(BlitModes, ChannelSelectOntoEightBitsCombinesColours) {
  Palette cube;
  for (uint32_t i = 0; i < 256; ++i) cube[i] = default_colour(8, i);
  pal_map(cube);
  Plane& dst = make(kDst, 1, 1, 8);
  Plane& src = make(kSrc, 1, 1, 8);
  set_pixel(src, 0, 0, 0xE0);  // red 255, green 0, blue 0
  set_pixel(dst, 0, 0, 0x03);  // blue 255
  EXPECT_EQ(run(Path::scaled, m(22, 0, 0, 0, 0, 0x04)), 1);
  EXPECT_EQ(pixel(dst, 0, 0), 0xE3u);  // red from the source, blue kept
}

// Modes 7, 10, 11 and 12 take the alpha from an attached mask and read the
// source as plain colour.
TEST_F(BlitModes, MaskGivesTheAlpha) {
  for (Path path : kPaths) {
    Plane& dst = make(kDst, 2, 1, 24);
    Plane& src = make(kSrc, 2, 1, 24);
    Plane& mask = make(kMask, 2, 1, 8);
    ASSERT_EQ(gattach(kSrc, kMask), 1);
    set_pixel(src, 0, 0, 0xC8C8C8);
    set_pixel(src, 1, 0, 0xC8C8C8);
    set_pixel(mask, 0, 0, 128);
    set_pixel(mask, 1, 0, 0);
    fill(dst, 0);
    EXPECT_EQ(run(path, m(7, 255)), 1) << name(path);
    EXPECT_EQ(pixel(dst, 0, 0), 0x646464u) << name(path);
    EXPECT_EQ(pixel(dst, 1, 0), 0u) << name(path);
    // Masked 8-bit sources: all pairs have routines.
    Plane& src8 = make(kSrc, 2, 1, 8);
    set_pixel(src8, 0, 0, 0xFF);
    set_pixel(src8, 1, 0, 0xFF);
    fill(dst, 0);
    EXPECT_EQ(run(path, m(11, 100, 50)), 1) << name(path);
    EXPECT_EQ(pixel(dst, 0, 0), 0xFFFFFFu) << name(path);  // mask 128 inside [100, 150]
    EXPECT_EQ(pixel(dst, 1, 0), 0u) << name(path);
    gdetach(kSrc);
  }
}

// A mask narrower than the source limits the area that is drawn.
TEST_F(BlitModes, MaskBoundsLimitTheSource) {
  Plane& dst = make(kDst, 4, 1, 24);
  Plane& src = make(kSrc, 4, 1, 24);
  make(kMask, 2, 1, 8);
  ASSERT_EQ(gattach(kSrc, kMask), 1);
  fill(src, 0xFFFFFF);
  fill(dst, 0);
  EXPECT_EQ(gcopy(kDst, 0, 0, kSrc, nullptr, nullptr), 1);
  EXPECT_EQ(pixels(dst), (std::vector<uint32_t>{0xFFFFFF, 0xFFFFFF, 0, 0}));
}

TEST_F(BlitModes, ModeWithoutARoutineReturnsOneAndDrawsNothing) {
  for (Path path : kPaths) {
    Plane& dst = make(kDst, 2, 2, 24);
    make(kSrc, 2, 2, 16);
    randomise(*plane_get(kSrc), 1);
    fill(dst, 0x123456);
    EXPECT_EQ(run(path, m(24, 255)), 1) << name(path);
    EXPECT_EQ(pixels(dst), std::vector<uint32_t>(4, 0x123456)) << name(path);
  }
}

TEST_F(BlitModes, EntryChecksReturnZeroAndDrawNothing) {
  auto expect_nothing = [&](const char* what, const BlitMode& mode) {
    for (Path path : kPaths) {
      const std::vector<uint8_t> before = bytes(*plane_get(kDst));
      EXPECT_EQ(run(path, mode), 0) << what << " by " << name(path);
      EXPECT_EQ(bytes(*plane_get(kDst)), before) << what << " by " << name(path);
    }
  };
  make(kDst, 3, 2, 32);
  make(kSrc, 3, 2, 32);
  randomise(*plane_get(kSrc), 2);
  for (int mode = 0; mode < kBlendModes; ++mode) {
    if (!kBlendModeInfo[mode].uses_alpha) continue;
    const std::string what = "alpha 0 in mode " + std::to_string(mode);
    expect_nothing(what.c_str(), m(static_cast<uint8_t>(mode), 0, 255, 0, 0, 15));
  }
  expect_nothing("mode 36", m(36, 255));
  expect_nothing("mode 255", m(255, 255));
  expect_nothing("mode 22 with channel nibble 0", m(22, 255, 0, 0, 0, 0xF0));

  for (int32_t bits : {1, 4}) {
    make(kSrc, 3, 2, bits);
    expect_nothing("a 1- or 4-bit source", m(0));
    make(kSrc, 3, 2, 32);
    make(kDst, 3, 2, bits);
    expect_nothing("a 1- or 4-bit destination", m(0));
    make(kDst, 3, 2, 32);
  }
  gfree(kSrc);
  expect_nothing("no source", m(0));
  const BlitMode copy{};
  EXPECT_EQ(gcopy(kDst, 0, 0, 999, nullptr, &copy), 0);
  EXPECT_EQ(gblit(999, nullptr, kDst, nullptr, &copy, 0), 0);
  EXPECT_EQ(gblita(kDst, nullptr, 5000, nullptr, &copy, 0), 0);
}

// The rewrites: alpha 255 turns 3 into 0 and 4 into 1, parameter 0 turns
// 10 into 7, and modes 28..35 are 26 and 27 with their own tables.
TEST_F(BlitModes, RewrittenModesMatchTheirTargets) {
  struct Pair {
    BlitMode mode, same_as;
  };
  const Pair pairs[] = {
      {m(3, 255), m(0)},
      {m(4, 255, 0, 0x808080), m(1, 0, 0, 0x808080)},
      {m(10, 200, 0, 0, 0xFF0000), m(7, 200)},
  };
  for (Path path : kPaths) {
    for (const Pair& p : pairs) {
      make(kSrc, 7, 5, 32);
      randomise(*plane_get(kSrc), 3);
      make(kDst, 7, 5, 32);
      randomise(*plane_get(kDst), 4);
      ASSERT_EQ(run(path, p.mode), 1);
      const std::vector<uint8_t> got = bytes(*plane_get(kDst));
      randomise(*plane_get(kDst), 4);
      ASSERT_EQ(run(path, p.same_as), 1);
      EXPECT_EQ(got, bytes(*plane_get(kDst))) << "mode " << int{p.mode.mode} << " by " << name(path);
    }
  }
}

}  // namespace
}  // namespace zelt::gfx
