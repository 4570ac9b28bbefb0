// Which blitter object runs: chosen once from the processor and the
// ZELT_NO_SIMD switch.
#include "gfx/raster/blitter.h"

#include "gfx/raster/blit.h"
#include "gfx/raster/blitter_vector.h"

namespace zelt::gfx {

SimdLevel simd_level() {
#ifdef ZELT_BLITTER_X86
  static const SimdLevel level = blitter_detail::avx2_usable() ? SimdLevel::avx2 : SimdLevel::sse2;
  return level;
#else
  return SimdLevel::none;
#endif
}

bool simd_blitter_usable() { return simd_level() != SimdLevel::none; }

const Blitter& blitter() {
  static const Blitter& chosen = simd_blitter_usable() && simd_enabled() ? simd_blitter() : plain_blitter();
  return chosen;
}

}  // namespace zelt::gfx
