// The global palettes, the nearest-colour search, colour values, the
// inverse colour map, the 15-bit table and the packed HSV conversions.
#include <array>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "gfx/plane_fixture.h"

namespace zelt::gfx {
namespace {

using Palettes = PlaneFixture;

Palette filled(uint32_t colour) {
  Palette p;
  p.fill(colour);
  return p;
}

// The weighted distance on 6-bit channels, written out.
uint32_t weighted(int r1, int g1, int b1, int r2, int g2, int b2) {
  return static_cast<uint32_t>(900 * (r1 - r2) * (r1 - r2) + 3481 * (g1 - g2) * (g1 - g2) +
                               121 * (b1 - b2) * (b1 - b2));
}
// Distance of an inverse-map cell (its 5-bit coordinates doubled) to a palette entry.
uint32_t cell_distance(uint32_t cell, uint32_t entry) {
  return weighted(static_cast<int>(cell >> 10) * 2, static_cast<int>((cell >> 5) & 31) * 2,
                  static_cast<int>(cell & 31) * 2, static_cast<int>((entry >> 18) & 63),
                  static_cast<int>((entry >> 10) & 63), static_cast<int>((entry >> 2) & 63));
}
uint32_t cell_of(uint32_t entry) {
  return ((entry >> 19) & 31) << 10 | ((entry >> 11) & 31) << 5 | ((entry >> 3) & 31);
}

TEST_F(Palettes, NearestIndex) {
  struct Case {
    const char* name;
    std::vector<std::pair<uint32_t, uint32_t>> entries;  // index, colour; the rest white
    uint32_t query;
    uint8_t index;
  };
  const Case cases[] = {
      {"exact colour, lowest of equal entries", {{9, 0x123456}, {5, 0x123456}, {6, 0x123457}}, 0x123456, 5},
      {"the low two bits of a channel do not count", {{2, 0x101010}, {4, 0x131313}}, 0x131313, 2},
      {"a tie goes to the lowest index", {{7, 0x000000}, {3, 0x000010}}, 0x000008, 3},
      {"green weighs most, then red, then blue", {{1, 0x280000}, {2, 0x001800}, {3, 0x000064}}, 0x000000, 3},
      {"a red step costs less than a green step", {{2, 0x001000}, {1, 0x100000}}, 0x000000, 1},
      {"a white query finds index 0 first", {}, 0xFFFFFF, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Palette p = filled(0xFFFFFF);
    for (const auto& [i, colour] : c.entries) p[i] = colour;
    EXPECT_EQ(nearest_index(p, static_cast<uint8_t>(c.query >> 16), static_cast<uint8_t>(c.query >> 8),
                            static_cast<uint8_t>(c.query)),
              c.index);
  }
}

TEST_F(Palettes, NearestIndexAgreesWithAFullSearch) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    Palette p;
    for (uint32_t& e : p) e = random() & 0xFFFFFF;
    for (int q = 0; q < 200; ++q) {
      const uint32_t rgb = random() & 0xFFFFFF;
      const int r = static_cast<int>(rgb >> 18) & 63, g = static_cast<int>(rgb >> 10) & 63,
                b = static_cast<int>(rgb >> 2) & 63;
      uint32_t best = UINT32_MAX, best_index = 0;
      for (uint32_t i = 0; i < kPaletteEntries; ++i) {
        const uint32_t d = weighted(r, g, b, static_cast<int>(p[i] >> 18) & 63,
                                    static_cast<int>(p[i] >> 10) & 63, static_cast<int>(p[i] >> 2) & 63);
        if (d < best) best = d, best_index = i;
      }
      ASSERT_EQ(nearest_index(p, static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                              static_cast<uint8_t>(rgb)),
                best_index)
          << std::hex << rgb;
    }
  }
}

TEST_F(Palettes, ColourValues) {
  Palette& working = working_palette();
  working = filled(0xFFFFFF);
  working[5] = 0xAB112233;
  working[0x20] = 0xFF0000;
  working[255] = 0x445566;
  // Index values and the nearest search use the current palette: the cube
  // until pal_change publishes the working one.
  EXPECT_EQ(colour_value_rgb(0x01000005), default_colour(8, 5));
  EXPECT_EQ(colour_value_index(0x00FF0000), 0xE0);
  pal_change();
  struct Case {
    uint32_t value, rgb;
    uint8_t index;
  };
  const Case cases[] = {
      {0x00123456, 0x123456, 5},     // an RGB value as it is; its nearest entry
      {0x01000005, 0x112233, 5},     // an index value: the entry without its top byte
      {0xFF000005, 0x112233, 5},     // any value with bit 24 set names an index
      {0x010012FF, 0x445566, 0xFF},  // the index is the low byte
      {0x00FF0000, 0xFF0000, 0x20},
      {0xFE445566, 0x445566, 0xFF},  // bit 24 clear: an RGB value, its top byte no colour
      {0x00FFFFFF, 0xFFFFFF, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.value));
    EXPECT_EQ(colour_value_rgb(c.value), c.rgb);
    EXPECT_EQ(colour_value_index(c.value), c.index);
  }
}

TEST_F(Palettes, PackedHsv) {
  struct Case {
    uint32_t rgb, hsv, back;  // back: hsvtorgb(hsv)
  };
  const Case cases[] = {
      {0xFF0000, 0x0000FFFF, 0xFF0000},           // hue 0, saturation 255, value 255
      {0x00FF00, 682u << 16 | 0xFFFF, 0x00FF00},  // hue 512 × 4 / 3
      {0x0000FF, 1365u << 16 | 0xFFFF, 0x0000FF},
      {0xFFFF00, 340u << 16 | 0xFFFF, 0xFFFF00},
      {0xFF00FF, 1708u << 16 | 0xFFFF, 0xFF00FE},  // negative hue wrapped; truncation on the way back
      {0x00FFFF, 1022u << 16 | 0xFFFF, 0x00FFFE},
      {0x804020, 113u << 16 | 191u << 8 | 128, 0x803F20},
      {0x808080, 0x80, 0x808080},  // saturation 0: value only
      {0x000000, 0, 0},
      {0xFFFFFF, 0xFF, 0xFFFFFF},
      {0x7F123456, 1194u << 16 | 201u << 8 | 86, 0x123456},  // the top byte is ignored
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.rgb));
    EXPECT_EQ(rgbtohsv(c.rgb), c.hsv);
    EXPECT_EQ(hsvtorgb(c.hsv), c.back);
  }
  // Grey ignores the hue; bits above 26 are not part of the hue.
  EXPECT_EQ(hsvtorgb(0x07FF0040), 0x404040u);
  EXPECT_EQ(hsvtorgb(0xF800FFFF), 0xFF0000u);
  EXPECT_EQ(hsvtorgb(0x07FFFFFF), 0xFF0000u);  // the last hue step rounds down to red
  EXPECT_EQ(hsvtorgb(1400u << 16 | 0xFFFF), 0x1A00FFu);
}

TEST_F(Palettes, WorkingPaletteLimits) {
  EXPECT_EQ(pal_set(255, 0xFF010203), 1);
  EXPECT_EQ(pal_get(255), 0xFF010203u);  // kept as given
  EXPECT_EQ(pal_set(256, 1), 0);
  EXPECT_EQ(pal_set(UINT32_MAX, 1), 0);
  EXPECT_EQ(pal_get(256), 0u);
  struct Case {
    uint32_t first;
    int32_t count, n;
  };
  for (const Case& c : {Case{250, 10, 6}, Case{0, 256, 256}, Case{0, 300, 256}, Case{255, 1, 1},
                        Case{256, 1, 0}, Case{UINT32_MAX, 1, 0}, Case{0, 0, 0}, Case{0, -1, 0}})
    EXPECT_EQ(palette_span_count(c.first, c.count), c.n) << c.first << " " << c.count;
}

TEST_F(Palettes, PalLoadLimits) {
  Plane& p8 = make(8, 1, 1, 8);
  for (uint32_t i = 0; i < 256; ++i) plane_colour_table(p8)[i] = 0x10000 + i;
  make(1, 1, 1, 1);
  make(24, 1, 1, 24);
  Plane* short_table = plane_create(1, 1, 8, 16);
  ASSERT_NE(short_table, nullptr);
  plane_put(16, short_table);
  for (uint32_t i = 0; i < 256; ++i) plane_colour_table(*short_table)[i] = 0x20000 + i;
  struct Case {
    uint32_t handle, to, from;
    int32_t count, copied;
    uint32_t first_entry;  // working[to] afterwards, when something was copied
  };
  const Case cases[] = {
      {8, 0, 0, 256, 256, 0x10000}, {8, 250, 0, 10, 6, 0x10000},  // the end of the working palette
      {8, 0, 250, 10, 6, 0x100FA},                                // the end of the colour table
      {8, 10, 20, 3, 3, 0x10014},   {8, 0, 256, 1, 0, 0},        {8, 256, 0, 1, 0, 0},  {8, 0, 0, 0, 0, 0},
      {8, 0, 0, -1, 0, 0},          {1, 10, 0, 5, 2, 0x000000},  // the 1-bit table: black, white
      {16, 0, 10, 100, 6, 0x2000A}, {16, 0, 16, 1, 0, 0},        // the table the header announces
      {24, 0, 0, 1, 0, 0},          {9, 0, 0, 1, 0, 0},          {1024, 0, 0, 1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.handle) + " " + std::to_string(c.to) + " " + std::to_string(c.from) + " " +
                 std::to_string(c.count));
    palettes_reset();
    const Palette before = working_palette();
    EXPECT_EQ(pal_load(c.handle, c.to, c.from, c.count), c.copied);
    if (c.copied == 0) {
      EXPECT_EQ(working_palette(), before);
      continue;
    }
    EXPECT_EQ(working_palette()[c.to], c.first_entry);
    if (c.to > 0) {
      EXPECT_EQ(working_palette()[c.to - 1], before[c.to - 1]);
    }
    if (c.to + c.copied < 256) {
      EXPECT_EQ(working_palette()[c.to + c.copied], before[c.to + c.copied]);
    }
    EXPECT_EQ(current_palette(), before);  // published only by pal_change
  }
}

TEST_F(Palettes, PalChangePublishesAndRepaintsOnlyAnEightBitView) {
  static std::vector<bool> calls;
  calls.clear();
  set_palette_change_handler([](bool repaint) { calls.push_back(repaint); });
  make(1, 2, 2, 8);
  make(2, 2, 2, 24);
  make(3, 2, 2, 4);
  struct Case {
    uint32_t view;  // 9: an empty slot
    bool repaint;
  };
  for (const Case& c : {Case{1, true}, Case{2, false}, Case{3, false}, Case{9, false}}) {
    SCOPED_TRACE(c.view);
    vpage(c.view == 9 ? 1 : c.view);
    if (c.view == 9) galloc(1, 0, 0, 0);  // empties the view page's slot
    calls.clear();
    const uint32_t changes = palette_changes(), repaints = palette_repaints();
    pal_set(7, 0x00ABCDEF + c.view);
    EXPECT_EQ(pal_change(), 1);
    EXPECT_EQ(current_palette()[7], 0x00ABCDEFu + c.view);
    EXPECT_EQ(palette_changes(), changes + 1);
    EXPECT_EQ(palette_repaints(), repaints + (c.repaint ? 1 : 0));
    EXPECT_EQ(calls, std::vector<bool>{c.repaint});
  }
  shown_messages().clear();  // the failed galloc above
}

TEST_F(Palettes, PalMapOfAnAllBlackPaletteIsIndexOneEverywhere) {
  Palette p = filled(0);
  p[0] = 0xFFFFFF;  // never a seed
  pal_map(p);
  const uint8_t* map = inverse_colour_map();
  for (uint32_t cell = 0; cell < 32768; ++cell) ASSERT_EQ(map[cell], 1) << cell;
}

// Eight well-separated colours, each repeated across the palette. Entry 0 is
// no seed, so the first colour's region belongs to its next copy, index 8.
TEST_F(Palettes, PalMapOfSeparatedColours) {
  const uint32_t colours[8] = {0x101010, 0xE02020, 0x20E020, 0x2020E0,
                               0xE0E020, 0x20E0E0, 0xE020E0, 0xD0D0D0};
  Palette p;
  for (uint32_t i = 0; i < 256; ++i) p[i] = colours[i % 8];
  pal_map(p);
  const uint8_t* map = inverse_colour_map();
  for (uint32_t c = 0; c < 8; ++c) {
    SCOPED_TRACE(c);
    const uint8_t owner = c == 0 ? 8 : static_cast<uint8_t>(c);
    const uint32_t seed = cell_of(colours[c]);
    // Every cell within two steps on each axis of the seed belongs to it.
    const int r = static_cast<int>(seed >> 10), g = static_cast<int>((seed >> 5) & 31),
              b = static_cast<int>(seed & 31);
    for (int dr = -2; dr <= 2; ++dr)
      for (int dg = -2; dg <= 2; ++dg)
        for (int db = -2; db <= 2; ++db)
          EXPECT_EQ(map[(r + dr) << 10 | (g + dg) << 5 | (b + db)], owner) << dr << " " << dg << " " << db;
  }
  // The region nearest to each of these colours is convex and many cells
  // wide, so it is reached from the colour's seed through cells of its own:
  // here the spreading finds a nearest colour for every cell, as a full
  // search does (which of equally near colours is not fixed).
  for (uint32_t cell = 0; cell < 32768; ++cell) {
    uint32_t best = UINT32_MAX, want = 0;
    for (uint32_t i = 1; i < 9; ++i)
      if (cell_distance(cell, p[i]) < best) best = cell_distance(cell, p[i]), want = i;
    ASSERT_EQ(cell_distance(cell, p[map[cell]]), best)
        << cell << " holds " << int(map[cell]) << ", want " << want;
  }
}

// The spreading written out plainly, step by step, as a reference for the
// exact map (which of equally near colours a cell gets depends on the order
// of the steps).
std::array<uint8_t, 32768> reference_pal_map(const Palette& palette) {
  int red[256], green[256], blue[256];
  for (int i = 0; i < 256; ++i) {
    red[i] = static_cast<int>((palette[i] >> 16) & 255) >> 2;
    green[i] = static_cast<int>((palette[i] >> 8) & 255) >> 2;
    blue[i] = static_cast<int>(palette[i] & 255) >> 2;
  }
  std::array<uint8_t, 32768> map{};
  std::vector<bool> waiting(32768);
  std::deque<int> queue;
  auto at = [](int r, int g, int b) { return r << 10 | g << 5 | b; };
  auto inside = [](int v) { return v >= 0 && v <= 31; };
  auto enqueue = [&](int cell) {
    if (waiting[cell]) return;
    waiting[cell] = true;
    queue.push_back(cell);
  };
  auto distance = [&](int r, int g, int b, int k) {
    return weighted(r * 2, g * 2, b * 2, red[k], green[k], blue[k]);
  };
  for (int i = 1; i < 256; ++i) {
    const int cell = at(red[i] >> 1, green[i] >> 1, blue[i] >> 1);
    if (map[cell] == 0) {
      map[cell] = static_cast<uint8_t>(i);
      enqueue(cell);
    }
  }
  for (int take = 1; !queue.empty(); ++take) {
    const int cell = queue.front();
    queue.pop_front();
    waiting[cell] = false;
    const int k = map[cell], r = cell >> 10, g = (cell >> 5) & 31, b = cell & 31;
    const int neighbours[6][3] = {{r, g, b + 1}, {r, g, b - 1}, {r + 1, g, b},
                                  {r - 1, g, b}, {r, g + 1, b}, {r, g - 1, b}};
    for (const auto& n : neighbours) {
      if (!inside(n[0]) || !inside(n[1]) || !inside(n[2])) continue;
      const int j = map[at(n[0], n[1], n[2])];
      if (j == 0 || (j != k && distance(n[0], n[1], n[2], k) < distance(n[0], n[1], n[2], j))) {
        map[at(n[0], n[1], n[2])] = static_cast<uint8_t>(k);
        enqueue(at(n[0], n[1], n[2]));
      }
    }
    const int side = take % 2 == 1 ? b - 1 : b + 1;
    if (!inside(side) || map[at(r, g, side)] != k) continue;
    const int around[4][2] = {{r - 1, g}, {r + 1, g}, {r, g - 1}, {r, g + 1}};
    for (const auto& n : around) {
      if (!inside(n[0]) || !inside(n[1]) || map[at(n[0], n[1], side)] != 0) continue;
      map[at(n[0], n[1], side)] = static_cast<uint8_t>(k);
      enqueue(at(n[0], n[1], side));
    }
  }
  return map;
}

TEST_F(Palettes, PalMapMatchesTheStepsExactly) {
  std::mt19937 random(23);
  std::vector<Palette> palettes = {working_palette()};  // the 3-3-2 cube
  for (int k = 0; k < 4; ++k) {
    Palette p;
    for (uint32_t& e : p) e = random() & 0xFFFFFF;
    palettes.push_back(p);
  }
  Palette grey;
  for (uint32_t i = 0; i < 256; ++i) grey[i] = i * 0x010101;
  palettes.push_back(grey);
  Palette sparse = filled(0x406080);  // few seeds: long runs of unconditional spreading
  sparse[3] = 0xF0F0F0;
  sparse[99] = 0x00FF20;
  sparse[254] = 0x2000C0;
  palettes.push_back(sparse);
  for (size_t k = 0; k < palettes.size(); ++k) {
    SCOPED_TRACE(k);
    pal_map(palettes[k]);
    const std::array<uint8_t, 32768> want = reference_pal_map(palettes[k]);
    for (uint32_t cell = 0; cell < 32768; ++cell) ASSERT_EQ(inverse_colour_map()[cell], want[cell]) << cell;
  }
}

// What the spreading guarantees for any palette: every cell is reached, a
// seed cell holds a colour at least as near as its seed's, and no cell would
// be nearer to the colour one of its six neighbours holds (each change
// of a cell is to a strictly nearer colour, and the cell that made a
// change looks at all its neighbours again).
TEST_F(Palettes, PalMapIsLocallyNearestForAnyPalette) {
  std::mt19937 random(11);
  std::vector<Palette> palettes;
  palettes.push_back(working_palette());  // the 3-3-2 cube
  for (int k = 0; k < 6; ++k) {
    Palette p;
    for (uint32_t& e : p) e = random() & 0xFFFFFF;
    palettes.push_back(p);
  }
  Palette clustered;  // everything in a small corner, far from most cells
  for (uint32_t& e : clustered) e = (random() & 0x1F1F1F) + 0x202020;
  palettes.push_back(clustered);
  Palette few = filled(0x808080);
  few[17] = 0x00FF00;
  few[200] = 0xFF00FF;
  palettes.push_back(few);

  for (size_t k = 0; k < palettes.size(); ++k) {
    SCOPED_TRACE(k);
    const Palette& p = palettes[k];
    pal_map(p);
    const uint8_t* map = inverse_colour_map();
    // A seed cell keeps the first entry that falls into it unless a nearer
    // colour takes it over.
    for (uint32_t i = 255; i >= 1; --i) {
      const uint32_t seed = cell_of(p[i]);
      bool first = true;
      for (uint32_t j = 1; j < i; ++j) first = first && cell_of(p[j]) != seed;
      if (first) {
        ASSERT_LE(cell_distance(seed, p[map[seed]]), cell_distance(seed, p[i])) << i;
      }
    }
    for (uint32_t cell = 0; cell < 32768; ++cell) {
      ASSERT_NE(map[cell], 0) << cell;
      const uint32_t own = cell_distance(cell, p[map[cell]]);
      const int r = static_cast<int>(cell >> 10), g = static_cast<int>((cell >> 5) & 31),
                b = static_cast<int>(cell & 31);
      const int steps[6][3] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
      for (const auto& s : steps) {
        const int nr = r + s[0], ng = g + s[1], nb = b + s[2];
        if (nr < 0 || nr > 31 || ng < 0 || ng > 31 || nb < 0 || nb > 31) continue;
        const uint8_t other = map[nr << 10 | ng << 5 | nb];
        ASSERT_LE(own, cell_distance(cell, p[other]))
            << cell << " holds " << int(map[cell]) << ", neighbour " << int(other);
      }
    }
  }
}

// The 15-bit table expands 5-bit fields as i × 255 / 31 (what blits and the
// presentation read), unlike getpixel's bit replication.
TEST_F(Palettes, Rgb15Table) {
  const uint32_t* table = rgb15_table();
  EXPECT_EQ(table[0x7FFF], 0xFFFFFFu);
  EXPECT_EQ(table[0x0001], 0x000008u);
  EXPECT_EQ(table[0x0020], 0x000800u);
  EXPECT_EQ(table[0x0400], 0x080000u);
  EXPECT_EQ(table[0x0210], 0x008383u);
  EXPECT_EQ(table[0x4210], 0x838383u);
  EXPECT_EQ(table[0], 0u);
  for (uint32_t v = 0; v < 32768; ++v) {
    const uint32_t r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
    ASSERT_EQ(table[v], (r * 255 / 31) << 16 | (g * 255 / 31) << 8 | (b * 255 / 31)) << v;
  }
  const Plane& p = make(1, 1, 1, 16);
  plane_pixel_address(&p, 0, 0)[0] = 0x10;
  plane_pixel_address(&p, 0, 0)[1] = 0x42;
  EXPECT_EQ(getpixel(1, 0, 0), 0x848484);
}

}  // namespace
}  // namespace zelt::gfx
