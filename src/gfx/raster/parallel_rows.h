// Row parallelism of the raster operations: rows 0 .. count − 1 split into
// contiguous blocks, one per worker thread (a static schedule), each block
// processed top to bottom. With [System] MultiThreading off the calling
// thread runs every row; the results are the same either way, since each row
// is written by exactly one thread.
#pragma once

#include <cstdint>

#include "core/config.h"

namespace zelt::gfx {

// body(row) for every row in 0 .. count − 1.
template <typename Body>
void for_rows(int32_t count, Body&& body) {
#ifdef _OPENMP
  if (config().MultiThreading != 0 && count > 1) {
#pragma omp parallel for schedule(static)
    for (int32_t row = 0; row < count; ++row) body(row);
    return;
  }
#endif
  for (int32_t row = 0; row < count; ++row) body(row);
}

}  // namespace zelt::gfx
