// Primitives: still to come; every one draws nothing for now.
#include "gfx/raster/primitives.h"

namespace zelt::gfx {

void raw_fill(Plane*, int32_t, int32_t, int32_t, int32_t, uint32_t) {}
int32_t gclear(uint32_t, const Rect*, uint32_t) { return 1; }
int32_t gfill(uint32_t, int32_t, int32_t, int32_t, int32_t, uint32_t) { return 0; }
int32_t gline(uint32_t, int32_t, int32_t, int32_t, int32_t, uint32_t) { return 0; }
int32_t gpoly(uint32_t, std::span<const int32_t>, uint32_t) { return 0; }

}  // namespace zelt::gfx
