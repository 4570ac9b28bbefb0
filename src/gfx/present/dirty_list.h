// The dirty-rectangle list: the areas scripts and the sprite compositor
// changed, shared by every script thread (built-in calls are serialised),
// and the copy that brings just those areas from a back plane to a front
// plane, each covered pixel once. Also the screen origin of setorg.
#pragma once

#include <cstdint>
#include <span>

#include "core/subsystem.h"
#include "gfx/planes/plane.h"

namespace zelt::gfx {

inline constexpr int32_t kDirtyCapacity = 2048;

// Empties the list.
void dirty_clear();
// Adds a rectangle: 1 when stored as a new entry; 0 when the list was full
// and collapsed into one entry, the union of all of them and r.
int32_t dirty_add(const Rect& r);
// The entries, oldest first.
std::span<const Rect> dirty_entries();

// Copies the dirty parts of the source rectangle (null: the whole source)
// into destination at (x, y): 1 when done (the list is emptied), 0 when a
// plane is missing or the area is empty (the list is kept).
int32_t dirty_copy(Plane* destination, int32_t x, int32_t y, const Plane* source, const Rect* source_rect);

// The built-ins.
int32_t drt_init();
int32_t drt_set(const Rect* r);
int32_t drt_copy(uint32_t destination, int32_t x, int32_t y, uint32_t source, const Rect* source_rect);
int32_t setorg(int32_t x, int32_t y);
void screen_origin(int32_t* x, int32_t* y);

// The list and the origin start empty and at (0, 0) for every run.
extern const Subsystem kDirtyListSubsystem;

}  // namespace zelt::gfx
