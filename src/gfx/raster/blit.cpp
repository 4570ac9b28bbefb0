// The blit engine's entry points. The kernels are still to come: every blit
// draws nothing for now.
#include "gfx/raster/blit.h"

#include <cstdlib>
#include <cstring>

namespace zelt::gfx {
namespace {

int32_t g_color_mapping = 0;

}  // namespace

int32_t color_mapping() { return g_color_mapping; }
void set_color_mapping(int32_t value) { g_color_mapping = value; }

bool simd_enabled() {
  static const bool enabled = [] {
    const char* v = std::getenv("ZELT_NO_SIMD");
    return v == nullptr || std::strcmp(v, "0") == 0;
  }();
  return enabled;
}

int32_t blit_copy(uint32_t, int32_t, int32_t, uint32_t, const Rect*, const BlitMode&) { return 0; }
int32_t blit_scaled(Plane*, const Rect&, Plane*, const Rect&, Plane*, const BlitMode&) { return 0; }
int32_t blit_rotated(Plane*, const Rect&, Plane*, const Rect&, Plane*, const BlitMode&, int32_t) { return 0; }
int32_t blit_rotated_smooth(Plane*, const Rect&, Plane*, const Rect&, Plane*, const BlitMode&, int32_t) {
  return 0;
}
int32_t gcopy(uint32_t, int32_t, int32_t, uint32_t, const Rect*, const BlitMode*) { return 0; }
int32_t gblit(uint32_t, const Rect*, uint32_t, const Rect*, const BlitMode*, int32_t) { return 0; }
int32_t gblita(uint32_t, const Rect*, uint32_t, const Rect*, const BlitMode*, int32_t) { return 0; }

}  // namespace zelt::gfx
