// Row parallelism of the raster operations: rows 0 .. count − 1 split into
// contiguous blocks, one per worker thread (a static schedule), each block
// processed top to bottom. With [System] MultiThreading off the calling
// thread runs every row; the results are the same either way, since each row
// is written by exactly one thread. Work too small to pay for waking the
// workers (a glyph, a small sprite) also runs on the calling thread.
#pragma once

#include <cstdint>

#include "core/config.h"

namespace zelt::gfx {

// Below this many pixels an operation runs on the calling thread: starting
// the workers and joining them costs about as much as drawing this many.
// Tests lower it to run small pictures through the workers too.
inline constexpr int64_t kParallelPixels = 16384;
inline int64_t& parallel_pixels() {
  static int64_t threshold = kParallelPixels;
  return threshold;
}

// body(row) for every row in 0 .. count − 1 of row_pixels pixels each.
template <typename Body>
void for_rows(int32_t count, int64_t row_pixels, Body&& body) {
#ifdef _OPENMP
  if (config().MultiThreading != 0 && count > 1 && int64_t{count} * row_pixels >= parallel_pixels()) {
#pragma omp parallel for schedule(static)
    for (int32_t row = 0; row < count; ++row) body(row);
    return;
  }
#endif
  for (int32_t row = 0; row < count; ++row) body(row);
}

}  // namespace zelt::gfx
