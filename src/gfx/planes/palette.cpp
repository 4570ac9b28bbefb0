#include "gfx/planes/palette.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "gfx/planes/plane.h"

namespace zelt::gfx {
namespace {

constexpr uint32_t kCells = 32768;

// W[d & 127] = d² × weight for d in -63..63: the squared channel difference
// weighted 30², 59² and 11² (red, green, blue) on 6-bit channels.
struct DistanceTable {
  uint32_t w[128];
  explicit constexpr DistanceTable(uint32_t weight) : w{} {
    for (int d = -63; d <= 63; ++d) w[d & 127] = static_cast<uint32_t>(d * d) * weight;
  }
  uint32_t operator()(int d) const { return w[d & 127]; }
};
constexpr DistanceTable kRedDistance(900), kGreenDistance(3481), kBlueDistance(121);

struct Rgb6 {
  int r, g, b;
};
Rgb6 rgb6(uint32_t entry) {
  return {static_cast<int>((entry >> 18) & 63), static_cast<int>((entry >> 10) & 63), static_cast<int>((entry >> 2) & 63)};
}
uint32_t distance(Rgb6 a, Rgb6 b) {
  return kGreenDistance(a.g - b.g) + kRedDistance(a.r - b.r) + kBlueDistance(a.b - b.b);
}

Palette cube_palette() {
  Palette p{};
  for (uint32_t i = 0; i < kPaletteEntries; ++i) p[i] = default_colour(8, i);
  return p;
}

Palette g_working = cube_palette();
Palette g_current = cube_palette();
uint8_t g_inverse_map[kCells];

struct Rgb15Table {
  uint32_t entries[kCells];
  Rgb15Table() {
    auto expand = [](uint32_t c) { return c * 255 / 31; };
    for (uint32_t v = 0; v < kCells; ++v)
      entries[v] = expand((v >> 10) & 31) << 16 | expand((v >> 5) & 31) << 8 | expand(v & 31);
  }
};

PalMapStats g_pal_map_stats;

PaletteChangeHandler g_change_handler = nullptr;
std::atomic<uint32_t> g_changes{0}, g_repaints{0};

}  // namespace

Palette& working_palette() { return g_working; }
const Palette& current_palette() { return g_current; }

void palettes_reset() { g_working = g_current = cube_palette(); }

uint8_t nearest_index(const Palette& palette, uint8_t r, uint8_t g, uint8_t b) {
  const int r6 = r >> 2, g6 = g >> 2, b6 = b >> 2;
  uint32_t best = UINT32_MAX;
  uint8_t best_index = 0;
  for (uint32_t i = 0; i < kPaletteEntries; ++i) {
    const Rgb6 c = rgb6(palette[i]);
    uint32_t d = kGreenDistance(c.g - g6);
    if (d >= best) continue;
    d += kRedDistance(c.r - r6);
    if (d >= best) continue;
    d += kBlueDistance(c.b - b6);
    if (d >= best) continue;
    best = d;
    best_index = static_cast<uint8_t>(i);
    if (d == 0) break;
  }
  return best_index;
}

uint32_t colour_value_rgb(uint32_t value) {
  return (value & kColourIndexFlag) ? g_current[value & 255] & 0xFFFFFF : value & 0xFFFFFF;
}

uint8_t colour_value_index(uint32_t value) {
  if (value & kColourIndexFlag) return static_cast<uint8_t>(value);
  return nearest_index(g_current, static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8),
                       static_cast<uint8_t>(value));
}

const uint8_t* inverse_colour_map() { return g_inverse_map; }

const uint32_t* rgb15_table() {
  static const Rgb15Table table;
  return table.entries;
}

// Spreads the palette's colours over the 32 × 32 × 32 cube of 15-bit
// colours, breadth first from one seed cell per entry 1..255. A cell is
// queued only when it gets an index: once while unassigned, afterwards only
// for a strictly nearer colour. Its distance falls with every change, so no
// index comes back to it: at most 255 takes per cell (a handful in
// practice), and the work is linear in the 32768 cells.
void pal_map(const Palette& palette) {
  Rgb6 colour[kPaletteEntries];
  for (uint32_t i = 0; i < kPaletteEntries; ++i) colour[i] = rgb6(palette[i]);

  uint8_t* map = g_inverse_map;
  std::memset(map, 0, kCells);
  static bool queued[kCells];
  std::memset(queued, 0, sizeof queued);
  static uint16_t takes[kCells];
  std::memset(takes, 0, sizeof takes);
  PalMapStats stats;
  // A ring of cell numbers; never more than kCells are waiting at once.
  static uint16_t ring[kCells];
  uint32_t head = 0, count = 0;
  auto push = [&](uint32_t cell) {
    if (queued[cell]) return;
    queued[cell] = true;
    ring[(head + count) % kCells] = static_cast<uint16_t>(cell);
    ++count;
  };
  auto cell_of = [](int r, int g, int b) { return static_cast<uint32_t>(r << 10 | g << 5 | b); };

  for (uint32_t i = 1; i < kPaletteEntries; ++i) {
    const uint32_t cell = cell_of(colour[i].r >> 1, colour[i].g >> 1, colour[i].b >> 1);
    if (map[cell] == 0) {
      map[cell] = static_cast<uint8_t>(i);
      push(cell);
    }
  }

  bool odd_take = true;
  while (count > 0) {
    const uint32_t cell = ring[head];
    head = (head + 1) % kCells;
    --count;
    queued[cell] = false;
    ++stats.takes;
    stats.most_takes_of_a_cell = std::max<uint32_t>(stats.most_takes_of_a_cell, ++takes[cell]);
    const uint8_t k = map[cell];
    const int r = static_cast<int>(cell >> 10), g = static_cast<int>((cell >> 5) & 31), b = static_cast<int>(cell & 31);

    // Neighbours blue + 1, blue - 1, red + 1, red - 1, green + 1, green - 1.
    static constexpr int kSteps[6][3] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    for (const auto& s : kSteps) {
      const int nr = r + s[0], ng = g + s[1], nb = b + s[2];
      if (nr < 0 || nr > 31 || ng < 0 || ng > 31 || nb < 0 || nb > 31) continue;
      const uint32_t n = cell_of(nr, ng, nb);
      const uint8_t j = map[n];
      if (j == k) continue;
      if (j != 0) {
        const Rgb6 at{nr * 2, ng * 2, nb * 2};
        if (distance(at, colour[k]) >= distance(at, colour[j])) continue;
      }
      map[n] = k;
      push(n);
    }

    // Alternately through the blue - 1 and the blue + 1 neighbour: when it
    // holds k, its unassigned red and green neighbours get k unconditionally.
    const int nb = odd_take ? b - 1 : b + 1;
    odd_take = !odd_take;
    if (nb < 0 || nb > 31 || map[cell_of(r, g, nb)] != k) continue;
    static constexpr int kSide[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    for (const auto& s : kSide) {
      const int nr = r + s[0], ng = g + s[1];
      if (nr < 0 || nr > 31 || ng < 0 || ng > 31) continue;
      const uint32_t n = cell_of(nr, ng, nb);
      if (map[n] != 0) continue;
      map[n] = k;
      push(n);
    }
  }
  g_pal_map_stats = stats;
}

PalMapStats pal_map_stats() { return g_pal_map_stats; }

uint32_t rgbtohsv(uint32_t c) {
  const int R = (c >> 16) & 255, G = (c >> 8) & 255, B = c & 255;
  const int V = std::max({R, G, B});
  const int delta = V - std::min({R, G, B});
  const int S = V > 0 ? delta * 255 / V : 0;
  if (S == 0) return static_cast<uint32_t>(V);
  int hue;
  if (V == R)
    hue = (V - B) * 255 / delta - (V - G) * 255 / delta;
  else if (V == G)
    hue = (V - R) * 255 / delta - (V - B) * 255 / delta + 512;
  else
    hue = (V - G) * 255 / delta - (V - R) * 255 / delta + 1024;
  if (hue < 0) hue += 1536;
  const int H = hue * 4 / 3;
  return static_cast<uint32_t>(H << 16 | S << 8 | V);
}

uint32_t hsvtorgb(uint32_t x) {
  const uint32_t V = x & 255, S = (x >> 8) & 255, H = (x >> 16) & 2047;
  if (S == 0) return V * 0x010101;
  const uint32_t h = (H * 1536) >> 11;
  const uint32_t sector = h >> 8, f = h & 255;
  const uint32_t p = (255 - S) * V / 255;
  const uint32_t q = (255 - S * f / 255) * V / 255;
  const uint32_t t = (255 - S * (255 - f) / 255) * V / 255;
  uint32_t R, G, B;
  switch (sector) {
    case 0: R = V, G = t, B = p; break;
    case 1: R = q, G = V, B = p; break;
    case 2: R = p, G = V, B = t; break;
    case 3: R = p, G = q, B = V; break;
    case 4: R = t, G = p, B = V; break;
    default: R = V, G = p, B = q; break;
  }
  return R << 16 | G << 8 | B;
}

int32_t pal_set(uint32_t index, uint32_t entry) {
  if (index > 255) return 0;
  g_working[index] = entry;
  return 1;
}

uint32_t pal_get(uint32_t index) { return index > 255 ? 0 : g_working[index]; }

int32_t palette_span_count(uint32_t first, int32_t count) {
  if (first > 255 || count <= 0) return 0;
  return std::min<int32_t>(count, static_cast<int32_t>(kPaletteEntries - first));
}

int32_t pal_load(uint32_t handle, uint32_t to, uint32_t from, int32_t count) {
  const Plane* plane = plane_get(handle);
  if (!plane || plane->bit_count > 8 || from >= plane->colour_count || to > 255 || count <= 0) return 0;
  const uint32_t n = std::min({static_cast<uint32_t>(count), plane->colour_count - from, kPaletteEntries - to});
  const std::span<uint32_t> table = plane_colour_table(*plane);
  std::copy_n(table.begin() + from, n, g_working.begin() + to);
  return static_cast<int32_t>(n);
}

int32_t pal_change() {
  g_current = g_working;
  const bool repaint = plane_bit_count(plane_get(view_page())) == 8;
  g_changes.fetch_add(1, std::memory_order_relaxed);
  if (repaint) g_repaints.fetch_add(1, std::memory_order_relaxed);
  if (g_change_handler) g_change_handler(repaint);
  return 1;
}

void set_palette_change_handler(PaletteChangeHandler handler) { g_change_handler = handler; }
uint32_t palette_changes() { return g_changes.load(std::memory_order_relaxed); }
uint32_t palette_repaints() { return g_repaints.load(std::memory_order_relaxed); }

}  // namespace zelt::gfx
