// The lookup tables of the blend modes, built once at start-up and read by
// every kernel: 5-bit expansion, products, the special blends of modes
// 26..35, T9 of mode 9, and saturation.
#pragma once

#include <cstdint>

#include "core/subsystem.h"

namespace zelt::gfx {

// A 256 × 256 table indexed [x][y]: x the source channel, y the destination
// channel where both occur.
using BlendLut = uint8_t[256][256];

struct BlendTables {
  uint8_t e5[32];         // floor(i × 255 / 31)
  BlendLut mul;           // floor((x × y + 128) / 255)
  BlendLut overlay;       // the lookup tables of modes 26..35
  BlendLut soft_light;
  BlendLut hard_light;
  BlendLut dodge;
  BlendLut burn;
  BlendLut t9;            // mode 9: [destination alpha][255 − source alpha]
  uint8_t clamp[768];     // clamp[v + 256] = v limited to 0..255, for v in -256..511
};

// The tables (built on first use, so any thread may read them at any time).
const BlendTables& blend_tables();
// The lookup table of modes 26..35: overlay, soft light, hard light, dodge,
// burn for the mode pairs (26, 27), (28, 29) ... (34, 35).
const BlendLut& mode_lut(int mode);

// Builds the tables at start-up, before any script runs.
extern const Subsystem kBlendTablesSubsystem;

}  // namespace zelt::gfx
