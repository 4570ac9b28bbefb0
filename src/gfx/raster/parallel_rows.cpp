#include "gfx/raster/parallel_rows.h"

namespace zelt::gfx {

bool rows_use_openmp() {
#ifdef _OPENMP
  return true;
#else
  return false;
#endif
}

}  // namespace zelt::gfx
