// Font slots and text drawing: the text box of every quadrant, the coverage
// tables, the weight rule, when fonts are made, sharp text written as two
// palette indices or colours, smooth text's coverage written per format,
// clipping, and arguments that must not crash or allocate absurdly.
#include <algorithm>
#include <climits>

#include "gfx/raster/blend_tables.h"
#include "gfx/raster/pixel_formats.h"
#include "gfx/raster/primitives.h"
#include "gfx/text/text_fixture.h"

namespace zelt::gfx {
namespace {

using Text = TextFixture;

TEST(TextBox, EveryQuadrant) {
  struct Case {
    int32_t angle;
    TextBox box;
  } cases[] = {
      {0, {0, 0, 100, 20}},       {2700, {-20, 0, 0, 100}},   {450, {0, -70, 84, 14}},
      {900, {0, -100, 20, 0}},    {1350, {-70, -84, 14, 0}},  {1800, {-100, -20, 0, 0}},
      {2250, {-84, -14, 0, 70}},  {3150, {-14, 0, 70, 84}},   {10, {0, -1, 100, 19}},
  };
  for (const Case& c : cases) EXPECT_EQ(text_box(100, 20, c.angle), c.box) << c.angle;
}

TEST(TextCoverage, BlocksSumToAtMost255) {
  uint8_t rows[8][2] = {};
  const uint8_t* p[8];
  for (int r = 0; r < 8; ++r) p[r] = rows[r];
  EXPECT_EQ(block_coverage(p, 0), 0);
  rows[3][0] = 0x10;
  EXPECT_EQ(block_coverage(p, 0), 4);
  rows[7][1] = 0xFF;
  EXPECT_EQ(block_coverage(p, 1), 31);
  for (auto& row : rows) row[1] = 0xFF;
  EXPECT_EQ(block_coverage(p, 1), 255);
  rows[7][1] = 0x7F;
  EXPECT_EQ(block_coverage(p, 1), 7 * 32 + 28);
}

TEST(FontWeight, BoldAddsThreeHundredUpToNineHundred) {
  struct Case {
    int32_t weight;
    uint32_t flags;
    int32_t expected;
  } cases[] = {{0, kFontBold, 700}, {800, kFontBold, 900}, {0, 0, 400},         {-5, 0, 400},
               {300, 0, 300},       {1000, 0, 1000},      {1000, kFontBold, 900}, {INT32_MAX, kFontBold, 900}};
  for (const Case& c : cases) {
    FontDescription d{};
    d.weight = c.weight;
    d.flags = c.flags;
    EXPECT_EQ(font_weight(d), c.expected) << c.weight << " " << c.flags;
  }
}

TEST_F(Text, SlotsStartAsMsGothic16AndRefuseSlot32) {
  FontDescription d;
  ASSERT_EQ(font_get(31, d), 1);
  EXPECT_EQ(cp932::to_utf8(d.face), "ＭＳ ゴシック");
  EXPECT_EQ(d.height, 16);
  EXPECT_EQ(d.angle | static_cast<int32_t>(d.flags) | d.weight, 0);
  EXPECT_EQ(font_get(32, d), 0);
  EXPECT_EQ(font_set(32, d), 0);
  make(1, 64, 32, 8);
  EXPECT_EQ(draw(1, 0, 0, 1, "A", 32), 0);
  EXPECT_EQ(draw(9, 0, 0, 1, "A"), 0) << "no plane";
}

TEST_F(Text, AFontIsMadeOnlyWhenItsDescriptionChanged) {
  make(1, 64, 32, 8);
  const uint64_t before = font_make_count();
  ASSERT_EQ(draw(1, 0, 0, 1, "A"), 1);
  EXPECT_EQ(font_make_count(), before + 1);
  use(0, font_description(0));  // the same description again
  ASSERT_EQ(draw(1, 0, 0, 1, "B"), 1);
  EXPECT_EQ(font_make_count(), before + 1);
  FontDescription d = font_description(0);
  d.height = 20;
  use(0, d);
  ASSERT_EQ(draw(1, 0, 0, 1, "C"), 1);
  EXPECT_EQ(font_make_count(), before + 2);
  ASSERT_EQ(draw(1, 0, 0, 1, "C", 5), 1);  // another slot makes its own
  EXPECT_EQ(font_make_count(), before + 3);
}

TEST_F(Text, SharpTextOnAnEightBitPlaneWritesTheTwoIndices) {
  make(1, 80, 24, 8);
  gclear(1, nullptr, 7);
  use(0, description("ＭＳ ゴシック", -16));
  ASSERT_EQ(draw(1, 2, 3, 0x0305, "Ab字"), 1);
  std::vector<uint32_t> got = pixels(1);
  EXPECT_GT(std::count(got.begin(), got.end(), 5u), 20);
  EXPECT_EQ(std::count_if(got.begin(), got.end(), [](uint32_t v) { return v != 5 && v != 7; }), 0);

  // The opaque box: inside it every pixel is text or background, outside
  // nothing changed.
  gclear(1, nullptr, 7);
  ASSERT_EQ(draw(1, 2, 3, 0x0305 | kTextOpaque, "Ab字"), 1);
  const platform::TextExtent e = font_made(0)->extent(cp932::from_utf8("Ab字"));
  got = pixels(1);
  for (int32_t y = 0; y < 24; ++y)
    for (int32_t x = 0; x < 80; ++x) {
      const uint32_t v = got[y * 80 + x];
      const bool inside = x >= 2 && x < 2 + e.cx && y >= 3 && y < 3 + e.cy;
      if (inside) {
        EXPECT_TRUE(v == 5 || v == 3) << x << "," << y;
      } else {
        EXPECT_NE(v, 3u) << x << "," << y;
      }
    }
}

TEST_F(Text, SharpTextOnDirectColourPlanesUsesThePaletteColours) {
  const uint32_t text = current_palette()[0xE0], back = current_palette()[0x03];
  struct Case {
    int32_t bits;
    uint32_t ink, background;
  } cases[] = {{32, text, back},
               {24, text, back},
               {16, rgb15(palette_colour(text)), rgb15(palette_colour(back))}};
  use(0, description("Arial", -14));
  for (const Case& c : cases) {
    make(1, 40, 20, c.bits);
    gclear(1, nullptr, 0x123456);
    const uint32_t untouched = pixels(1)[0];
    ASSERT_EQ(draw(1, 1, 1, 0x03E0 | kTextOpaque, "Hi"), 1);
    const std::vector<uint32_t> got = pixels(1);
    EXPECT_GT(std::count(got.begin(), got.end(), c.ink), 10) << c.bits;
    EXPECT_GT(std::count(got.begin(), got.end(), c.background), 10) << c.bits;
    EXPECT_EQ(std::count_if(got.begin(), got.end(),
                            [&](uint32_t v) { return v != c.ink && v != c.background && v != untouched; }),
              0)
        << c.bits;
  }
}

// The coverage an 8-bit plane receives is what every other format blends,
// stores as alpha or (at 255) writes as the colour.
TEST_F(Text, SmoothCoverageIsWrittenAsEachFormatSays) {
  use(0, description("ＭＳ ゴシック", 24, kFontSmooth));
  const char* kText = "■あA";
  make(1, 90, 30, 8);
  ASSERT_EQ(draw(1, 0, 0, 0x01, kText), 1);
  const std::vector<uint32_t> k = pixels(1);
  EXPECT_EQ(*std::max_element(k.begin(), k.end()), 255u);
  EXPECT_EQ(k[0], 0u);
  EXPECT_EQ(k[12 * 90 + 12], 255u) << "inside the solid square";
  EXPECT_GT(std::count_if(k.begin(), k.end(), [](uint32_t v) { return v > 0 && v < 255; }), 20);

  const uint32_t ink = current_palette()[0xE3];
  const Px c = palette_colour(ink);
  const BlendLut& mul = blend_tables().mul;
  const uint32_t back = 0x80204060;
  for (const int32_t bits : {32, 24, 16}) {
    for (const bool alpha : {false, true}) {
      make(2, 90, 30, bits);
      gclear(2, nullptr, back & 0xFFFFFF);
      const std::vector<uint32_t> before = pixels(2);
      ASSERT_EQ(draw(2, 0, 0, 0xE3 | (alpha ? kTextAlpha : 0), kText), 1);
      const std::vector<uint32_t> got = pixels(2);
      for (size_t i = 0; i < k.size(); ++i) {
        const int32_t kk = static_cast<int32_t>(k[i]);
        uint32_t want = before[i];
        if (kk > 0 && alpha) {
          want = bits == 32 ? (static_cast<uint32_t>(kk) << 24 | ink)
               : bits == 24 ? (rgb15(c) | static_cast<uint32_t>(kk) << 16)
                            : (0xE3 | static_cast<uint32_t>(kk) << 8);
        } else if (kk > 0 && bits == 16) {
          want = 0;
          for (int ch = 0; ch < 3; ++ch) {
            const uint32_t d5 = before[i] >> (5 * ch) & 31, c5 = static_cast<uint32_t>(c.c[ch]) >> 3;
            want |= static_cast<uint32_t>(kk >= 255 ? c5 : mul[255 - kk][d5] + mul[kk][c5]) << (5 * ch);
          }
        } else if (kk > 0) {
          want = before[i] & 0xFF000000;
          for (int ch = 0; ch < 3; ++ch) {
            const uint32_t d = before[i] >> (8 * ch) & 255;
            want |= static_cast<uint32_t>(kk >= 255 ? c.c[ch] : mul[255 - kk][d] + mul[kk][c.c[ch]]) << (8 * ch);
          }
        }
        ASSERT_EQ(got[i], want) << bits << " bits, alpha " << alpha << ", pixel " << i << ", k " << kk;
      }
    }
  }
}

TEST_F(Text, SmoothTextIsClippedWithoutMovingIt) {
  use(0, description("ＭＳ 明朝", -20, kFontSmooth));
  make(1, 100, 30, 8);
  ASSERT_EQ(draw(1, 0, 0, 1, "漢字とLatin"), 1);
  const std::vector<uint32_t> whole = pixels(1);

  make(2, 100, 30, 8);
  ASSERT_EQ(draw(2, -13, -7, 1, "漢字とLatin"), 1);
  const Rect clip{5, 4, 60, 20};
  make(3, 100, 30, 8);
  gclip(3, &clip);
  ASSERT_EQ(draw(3, 0, 0, 1, "漢字とLatin"), 1);
  const std::vector<uint32_t> shifted = pixels(2), clipped = pixels(3);
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 100; ++x) {
      if (x + 13 < 100 && y + 7 < 30) {
        ASSERT_EQ(shifted[y * 100 + x], whole[(y + 7) * 100 + x + 13]) << x << "," << y;
      }
      const bool in_clip = x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom;
      ASSERT_EQ(clipped[y * 100 + x], in_clip ? whole[y * 100 + x] : 0u) << x << "," << y;
    }
  // Smooth text whose box misses the clip rectangle draws nothing and fails.
  EXPECT_EQ(draw(3, 70, 0, 1, "a"), 0);
  EXPECT_EQ(draw(3, -5000, 0, 1, "a"), 0);
}

TEST_F(Text, SmoothOpaqueBoxIsFilledWhereNoGlyphIs) {
  use(0, description("ＭＳ ゴシック", -16, kFontSmooth));
  make(1, 60, 30, 8);
  gclear(1, nullptr, 7);
  ASSERT_EQ(draw(1, 3, 2, 0x0900 | kTextOpaque | 0x01, " "), 1);
  const std::vector<uint32_t> got = pixels(1);
  EXPECT_EQ(got[2 * 60 + 3], 9u);
  EXPECT_EQ(got[0], 7u);
  EXPECT_EQ(std::count(got.begin(), got.end(), 9u), std::count_if(got.begin(), got.end(), [](uint32_t v) { return v != 7; }));
}

// Turned text stays inside its box (give or take a glyph's overshoot), in
// the quadrant the angle names.
TEST_F(Text, TurnedTextLiesInItsBox) {
  for (const int32_t angle : {0, 900, 1800, 2700, 450}) {
    use(0, description("ＭＳ ゴシック", -16, 0, angle));
    make(1, 200, 200, 8);
    ASSERT_EQ(draw(1, 60, 70, 1, "ABCあいう"), 1);
    const platform::TextExtent e = font_made(0)->extent(cp932::from_utf8("ABCあいう"));
    const TextBox b = text_box(e.cx, e.cy, angle);
    const std::vector<uint32_t> got = pixels(1);
    int32_t inked = 0, outside = 0;
    for (int32_t y = 0; y < 200; ++y)
      for (int32_t x = 0; x < 200; ++x)
        if (got[y * 200 + x]) {
          ++inked;
          if (x < 59 || y < 69 || x > 61 + b.right - b.left || y > 71 + b.bottom - b.top) ++outside;
        }
    EXPECT_GT(inked, 50) << angle;
    EXPECT_EQ(outside, 0) << angle;
  }
}

TEST_F(Text, BadArgumentsFailOrDrawNothingButNeverCrash) {
  make(1, 64, 32, 32);
  const std::string broken = "\x82\xA0\x82" "A\x81";  // あ, a lead byte before 'A', a lone lead at the end
  const std::string long_text(100 * 1024, 'W');
  for (const int32_t height : {0, INT32_MIN, INT32_MAX, 100000, -100000, 1, -1}) {
    for (const uint32_t flags : {0u, kFontSmooth | kFontItalic | kFontUnderline}) {
      use(0, description("ＭＳ ゴシック", height, flags, 0));
      EXPECT_GE(gtext(1, 0, 0, 1, broken, 0, 2), 0) << height;
      EXPECT_GE(gtext(1, INT32_MIN, INT32_MAX, 1, broken, 0, 2), 0) << height;
    }
  }
  for (const int32_t angle : {-1, 3600, 7200 + 900, INT32_MIN, INT32_MAX}) {
    use(0, description("ＭＳ ゴシック", 16, kFontSmooth, angle));
    EXPECT_GE(gtext(1, 5, 5, 1, broken, 0, 2), 0) << angle;
    use(0, description("ＭＳ ゴシック", 16, 0, angle));
    EXPECT_EQ(gtext(1, 5, 5, 1, broken, 0, 2), 1) << angle;
  }
  use(0, description("ＭＳ ゴシック", 16, kFontSmooth));
  EXPECT_EQ(gtext(1, -100, 0, 1, long_text, 0, 2), 1);
  EXPECT_LE(text_scratch_bytes(), size_t{2} << 20) << "the scratch picture stays bounded";
  use(0, description("ＭＳ ゴシック", 16));
  EXPECT_EQ(gtext(1, INT32_MAX - 10, 0, 1, long_text, 0, 2), 1);
  // An unterminated face name of 32 bytes and a name nobody has still draw.
  FontDescription d = description("x", -16);
  std::memset(d.face, 'Z', sizeof d.face);
  use(0, d);
  make(2, 64, 32, 8);
  EXPECT_EQ(draw(2, 0, 0, 1, "字"), 1);
  const std::vector<uint32_t> got = pixels(2);
  EXPECT_GT(std::count(got.begin(), got.end(), 1u), 10);
}

// Older systems rendered large smooth text turned by half a turn and wrote it
// back from the far corner: the same text, right side up.
TEST_F(Text, UpsideDownRenderingOfOlderSystemsGivesUprightText) {
  use(0, description("ＭＳ ゴシック", 24, kFontSmooth));
  make(1, 80, 40, 8);
  make(2, 80, 40, 8);
  ASSERT_EQ(gtext(1, 2, 2, 1, cp932::from_utf8("■上"), 0, 2), 1);
  ASSERT_EQ(gtext(2, 2, 2, 1, cp932::from_utf8("■上"), 0, 1), 1);
  EXPECT_EQ(font_description(0).angle, 0) << "the angle is restored";
  const std::vector<uint32_t> a = pixels(1), b = pixels(2);
  int64_t sum_a = 0, sum_b = 0, ya = 0, yb = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    sum_a += a[i], sum_b += b[i];
    ya += int64_t(a[i]) * (i / 80), yb += int64_t(b[i]) * (i / 80);
  }
  EXPECT_NEAR(double(sum_b) / sum_a, 1.0, 0.1);
  EXPECT_NEAR(double(yb) / sum_b, double(ya) / sum_a, 1.5) << "same vertical centre";
  EXPECT_EQ(b[(2 + 12) * 80 + 2 + 12], 255u) << "the square is on the left, as written";
}

}  // namespace
}  // namespace zelt::gfx
