#include "gfx/raster/blend_tables.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace zelt::gfx {
namespace {

uint8_t overlay_value(int x, int y, bool on_x) {
  // Both branches are symmetric in x and y; hard light only moves the
  // condition from the destination to the source.
  if ((on_x ? x : y) > 127) return static_cast<uint8_t>(255 + 2 * (255 - x) * (y - 255) / 255);
  return static_cast<uint8_t>(2 * x * y / 255);
}

uint8_t soft_light_value(int x, int y) {
  const double o = y / 255.0, h = x / 255.0;
  double r;
  if (h < 0.5)
    r = o + (o - o * o) * (2 * h - 1);
  else if (o <= 32.0 / 255.0)
    r = o + (o - o * o) * (2 * h - 1) * (3 - 8 * o);
  else
    r = o + (std::sqrt(o) - o) * (2 * h - 1);
  return static_cast<uint8_t>(std::clamp(static_cast<int>(r * 255), 0, 255));
}

uint8_t dodge_value(int x, int y) {
  if (x + y > 255) return 255;
  if (y == 0) return 0;
  return static_cast<uint8_t>(255 * y / (255 - x));
}

uint8_t burn_value(int x, int y) {
  if (x + y < 255) return 0;
  if (x == 0) return 255;
  return static_cast<uint8_t>(255 - 255 * (255 - y) / x);
}

// 255 × (y / x) / (1 − y / 255 + y / x), truncated, in exact integers:
// 65025 y / (255 x − x y + 255 y).
uint8_t t9_value(int x, int y) {
  if (x == 0) return 255;
  return static_cast<uint8_t>(std::min(255, 65025 * y / (255 * x - x * y + 255 * y)));
}

std::unique_ptr<BlendTables> build() {
  auto t = std::make_unique<BlendTables>();
  for (int i = 0; i < 32; ++i) t->e5[i] = static_cast<uint8_t>(i * 255 / 31);
  for (int x = 0; x < 256; ++x) {
    for (int y = 0; y < 256; ++y) {
      t->mul[x][y] = static_cast<uint8_t>((x * y + 128) / 255);
      t->overlay[x][y] = overlay_value(x, y, false);
      t->hard_light[x][y] = overlay_value(x, y, true);
      t->soft_light[x][y] = soft_light_value(x, y);
      t->dodge[x][y] = dodge_value(x, y);
      t->burn[x][y] = burn_value(x, y);
      t->t9[x][y] = t9_value(x, y);
    }
  }
  for (int v = -256; v < 512; ++v) t->clamp[v + 256] = static_cast<uint8_t>(std::clamp(v, 0, 255));
  return t;
}

}  // namespace

const BlendTables& blend_tables() {
  static const std::unique_ptr<BlendTables> tables = build();
  return *tables;
}

const BlendLut& mode_lut(int mode) {
  const BlendTables& t = blend_tables();
  switch ((mode - 26) / 2) {
    case 1: return t.soft_light;
    case 2: return t.hard_light;
    case 3: return t.dodge;
    case 4: return t.burn;
    default: return t.overlay;
  }
}

const Subsystem kBlendTablesSubsystem{.name = "blend tables", .start = [] {
                                              blend_tables();
                                              return true;
                                            }};

}  // namespace zelt::gfx
