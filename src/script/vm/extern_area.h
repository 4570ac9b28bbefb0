// The extern area: one zero-filled block of script memory, [Script] HeapSize
// bytes, that holds the extern variables every compiled script shares.
#pragma once

#include <cstdint>

#include "core/script_memory.h"

namespace zelt {

// Allocates the area (replacing any earlier one). A size of 0, a negative
// size or a failed allocation leave no area; returns whether one exists.
bool extern_area_allocate(int32_t size);
void extern_area_free();
ScriptAddr extern_area();        // 0 when there is none
uint32_t extern_area_size();

}  // namespace zelt
