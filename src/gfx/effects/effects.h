// Distortion effects: eight slots, each a mesh of source texture
// coordinates over a destination cut into 8 × 8-pixel cells. Generators
// fill the mesh and draw it; scripts may write the mesh themselves (ef_info
// gives its address in script memory) and draw it with ef_copy.
//
// A mesh point is two 32-bit values (u, v): bits 8..18 are the position in
// 2048ths of the source rectangle's width and height, so the source tiles.
#pragma once

#include <cstdint>

#include "core/subsystem.h"
#include "gfx/planes/plane.h"

namespace zelt::gfx {

inline constexpr uint32_t kEffectSlots = 8;

// A new mesh in the slot (replacing any), over the destination rectangle
// inside its clip and the source rectangle inside its plane. It starts as
// the identity mesh (the source rectangle scaled onto the cells). Returns the
// address of its points, or 0 (the slot is then empty).
int32_t ef_init(uint32_t slot, uint32_t destination, const Rect* destination_rect, uint32_t source,
                const Rect* source_rect);
int32_t ef_free(uint32_t slot);
int32_t ef_copy(uint32_t slot);
// info: cols, rows and the address of the points; false for an empty slot.
bool ef_info(uint32_t slot, int32_t info[3]);

int32_t ef_rotate(uint32_t slot, int32_t cx, int32_t cy, int32_t zoom, int32_t angle);
int32_t ef_land(uint32_t slot, int32_t height, int32_t angle1, int32_t angle2);
int32_t ef_ball(uint32_t slot, int32_t radius, int32_t angle1, int32_t angle2);
int32_t ef_whirl(uint32_t slot, int32_t strength);
int32_t ef_raster(uint32_t slot, int32_t phase, int32_t wavelength, int32_t amplitude);
int32_t ef_blob(uint32_t slot, int32_t x, int32_t y, int32_t radius, int32_t height);
int32_t ef_water(uint32_t slot);

// Frees every slot's mesh.
void effects_reset();

extern const Subsystem kEffectsSubsystem;

}  // namespace zelt::gfx
