// The blend descriptor that scripts pass to blits (12 bytes in script
// memory) and what each of the 36 modes needs, from the one declaration in
// blend_modes.def.
#pragma once

#include <cstdint>

namespace zelt::gfx {

struct BlitMode {
  uint8_t mode = 0;          // 0..35
  uint8_t channel_mask = 0;  // mode 22: bit 0 blue, 1 green, 2 red, 3 the fourth byte
  uint8_t alpha = 0;         // a: blend strength; lower alpha bound of modes 11, 12
  uint8_t param = 0;         // b: tint strength (5, 6, 10, 25); window or ramp width (11, 12)
  uint32_t key = 0;          // colour value compared with pixels (modes 1, 2, 4, 6)
  uint32_t paint = 0;        // colour value of tints and paint (modes 5, 6, 10, 24, 25)
};
static_assert(sizeof(BlitMode) == 12);

inline constexpr int kBlendModes = 36;
inline constexpr int kPlainModes = 28;  // modes with kernels of their own; 28..35 run as 26/27

enum class Formats : uint8_t { any, no8, only8 };

struct BlendModeInfo {
  const char* name;
  bool uses_alpha;
  Formats sources, destinations;
};

inline constexpr BlendModeInfo kBlendModeInfo[kBlendModes] = {
#define MODE(number, name, alpha, src, dst) {#name, alpha, Formats::src, Formats::dst},
#include "gfx/raster/blend_modes.def"
#undef MODE
};

// Derived weights: w = a + 1 when a > 0, else 0; likewise wb from b.
inline constexpr uint32_t weight(uint8_t v) { return v ? v + 1u : 0u; }

}  // namespace zelt::gfx
