// The sprite record as scripts see it: 144 bytes in script memory whose
// offsets are part of the script interface. Scripts write the position,
// scale, angle, state and flag fields directly; the engine writes the
// computed fields and mirrors its own list, parent and child bookkeeping
// into the link fields for scripts to read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/script_memory.h"
#include "gfx/planes/plane.h"
#include "gfx/raster/blit_mode.h"

namespace zelt::gfx {

inline constexpr uint32_t kSpriteRecords = 4096;
inline constexpr uint32_t kSpriteLayers = 32;

// State byte.
inline constexpr uint8_t kSpriteFree = 0, kSpriteHidden = 1, kSpriteVisible = 2;

// Flag bits.
inline constexpr uint16_t kSpriteRedraw = 0x0001;        // redraw at the next sp_draw (cleared by it)
inline constexpr uint16_t kSpriteRedrawAlways = 0x0002;  // redraw at every sp_draw
inline constexpr uint16_t kSpriteSmooth = 0x0010;        // bilinear filtering when scaled or rotated
inline constexpr uint16_t kSpriteDeletePending = 0x2000;
inline constexpr uint16_t kSpritePartial = 0x4000;       // overlap pieces listed
inline constexpr uint16_t kSpriteDrawn = 0x8000;         // the page shows the sprite

struct SpriteRecord {
  uint8_t state;
  uint8_t layer;
  uint16_t flags;
  uint8_t mirror_x, mirror_y;
  uint8_t shift;  // x and y are in units of 1/2^shift pixel
  uint8_t reserved0;
  int32_t sort_key;
  uint32_t plane;
  int32_t x, y;               // hot spot position
  int32_t hot_x, hot_y;       // pivot, from the source rectangle's top-left
  int32_t scale_x, scale_y;   // 16.16
  int32_t world_scale_x, world_scale_y;  // computed
  uint16_t angle;             // 1/2048 turn, relative to the parent
  uint16_t world_angle;       // computed
  Rect source;
  BlitMode mode;
  Rect bounds;                // computed: page area covered after rotation
  Rect placed;                // computed: page rectangle before rotation
  uint32_t child_count;
  ScriptAddr children;        // array of addresses; its capacity is the word before it
  ScriptAddr parent;
  ScriptAddr previous, next;  // layer list (previous of the first is the layer head)
  ScriptAddr hit_regions;     // first attached hit region
  ScriptAddr pieces;          // overlap pieces (kept by the engine; always 0 here)
  uint32_t reserved1;
};

static_assert(sizeof(SpriteRecord) == 144);
static_assert(offsetof(SpriteRecord, sort_key) == 8 && offsetof(SpriteRecord, plane) == 12 &&
              offsetof(SpriteRecord, x) == 16 && offsetof(SpriteRecord, hot_x) == 24 &&
              offsetof(SpriteRecord, scale_x) == 32 && offsetof(SpriteRecord, world_scale_x) == 40 &&
              offsetof(SpriteRecord, angle) == 48 && offsetof(SpriteRecord, world_angle) == 50 &&
              offsetof(SpriteRecord, source) == 52 && offsetof(SpriteRecord, mode) == 68 &&
              offsetof(SpriteRecord, bounds) == 80 && offsetof(SpriteRecord, placed) == 96 &&
              offsetof(SpriteRecord, child_count) == 112 && offsetof(SpriteRecord, children) == 116 &&
              offsetof(SpriteRecord, parent) == 120 && offsetof(SpriteRecord, previous) == 124 &&
              offsetof(SpriteRecord, next) == 128 && offsetof(SpriteRecord, hit_regions) == 132 &&
              offsetof(SpriteRecord, pieces) == 136);

}  // namespace zelt::gfx
