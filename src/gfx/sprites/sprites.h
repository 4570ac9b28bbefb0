// Sprites: records in 32 layers that place a rectangle of a plane on the
// active page, with scale, rotation, mirroring, a blend descriptor and an
// optional parent. The compositor sp_draw redraws only what changed since
// its last call: it restores the background through the dirty-rectangle list,
// redraws the sprites that changed or that a restored area uncovered (only
// inside the uncovered pieces) and reports the changed area for update.
//
// The pool lives in script memory (scripts write the records directly); the
// layer lists, parents and child arrays are kept by the engine and mirrored
// into the records, so a script that overwrites a link field cannot make the
// engine follow a loop or leave the pool. All operations run under the
// built-in lock.
#pragma once

#include <cstdint>

#include "core/subsystem.h"
#include "gfx/sprites/sprite_record.h"

namespace zelt::gfx {

// The built-ins. Addresses that do not name a sprite in use fail as 0 does.
int32_t sp_flag(int32_t flags);  // the previous default
int32_t sp_init(uint32_t layer_mask);
uint32_t sp_setbg(uint32_t handle);  // the previous handle
uint32_t sp_getbg();
int32_t sp_redraw(uint32_t layer_mask);
// The new sprite's address, or the spare record's (never 0) on failure.
// source: null for the whole plane; mode: null for mode 0.
ScriptAddr sp_set(uint32_t layer, int32_t state, int32_t x, int32_t y, uint32_t plane, const Rect* source,
                  const BlitMode* mode);
int32_t sp_reset(ScriptAddr sprite);
int32_t sp_link(ScriptAddr parent, ScriptAddr child);
int32_t sp_unlink(ScriptAddr sprite);
// Composes the active page; changed (may be null) receives the changed area.
int32_t sp_draw(uint32_t layer_mask, Rect* changed);
int32_t sp_bgorg(int32_t x, int32_t y);
int32_t sp_org(uint32_t layer_mask, int32_t x, int32_t y);
int32_t sp_sort(uint32_t layer_mask, uint32_t key_flags);
int32_t sp_rect(ScriptAddr sprite, Rect* placed);
// The system variable sp_count: pool records whose state byte is not 0.
int32_t sp_count();

// For hit regions: the record of a sprite in use (null for any other
// address), its pool index (-1 when not a sprite) and its parent (0 for a
// root).
SpriteRecord* sprite_record(ScriptAddr sprite);
int32_t sprite_index(ScriptAddr sprite);
ScriptAddr sprite_parent(ScriptAddr sprite);
// Time sp_draw has spent since the process started, by phase: working out
// what changed (marking), restoring the background, and drawing sprites.
struct SpriteDrawTimes {
  int64_t marking_ns = 0, restoring_ns = 0, drawing_ns = 0;
};
SpriteDrawTimes sprite_draw_times();

// The spare record's address (what sp_set returns on failure).
ScriptAddr sprite_spare();

// Runtime reset and start: as sp_init(-1).
extern const Subsystem kSpritesSubsystem;

}  // namespace zelt::gfx
