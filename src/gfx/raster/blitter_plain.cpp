// The plain blitter: every slot in integer code, blends with the weight v + 1.
#include "gfx/raster/blitter_scalar.h"

namespace zelt::gfx {

const Blitter& plain_blitter() {
  static const blitter_detail::ScalarBlitter<blitter_detail::PlainWeight> object;
  return object;
}

}  // namespace zelt::gfx
