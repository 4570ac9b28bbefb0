// Hit regions: rectangles in 32 groups that scripts test against points,
// rectangles and each other. A region attached to a sprite moves with the
// sprite's position (and its ancestors') and counts only while the sprite
// is visible. The pool lives in script memory so scripts can change a
// region's mask, rectangle and user value; the group lists and sprite
// attachments are kept by the engine and mirrored into the records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/script_memory.h"
#include "gfx/planes/plane.h"

namespace zelt::gfx {

inline constexpr uint32_t kHitRegions = 1024;
inline constexpr uint32_t kHitGroups = 32;

struct HitRegion {
  uint32_t group;
  uint32_t mask;        // groups hit_check tests against; 0: inactive
  Rect rect;            // relative to the sprite when attached
  ScriptAddr sprite;
  uint32_t user;
  ScriptAddr previous;  // 0: the record is free
  ScriptAddr next;
  ScriptAddr next_of_sprite;
};
static_assert(sizeof(HitRegion) == 44);
static_assert(offsetof(HitRegion, rect) == 8 && offsetof(HitRegion, sprite) == 24 &&
              offsetof(HitRegion, previous) == 32 && offsetof(HitRegion, next_of_sprite) == 40);

// The built-ins. Region results are addresses, 0 for none.
int32_t hit_init(uint32_t group_mask);
ScriptAddr hit_set(uint32_t group, uint32_t mask, ScriptAddr sprite, const Rect* rect, uint32_t user);
int32_t hit_reset(ScriptAddr region);
ScriptAddr hit_check(ScriptAddr region);
ScriptAddr hit_rect(const Rect* rect, uint32_t group_mask);
ScriptAddr hit_point(int32_t x, int32_t y, uint32_t group_mask);

// Removes every region attached to the sprite (its reset).
void hit_detach_sprite(ScriptAddr sprite);

}  // namespace zelt::gfx
