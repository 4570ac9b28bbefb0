// Row parallelism of the raster operations: rows 0 .. count − 1 split into
// contiguous blocks, one per worker thread (a static schedule), each block
// processed top to bottom. The calling thread runs every row when [System]
// MultiThreading is off, and when the work is too small to share: every
// thread must get at least pixels_per_thread() pixels, since waking the
// workers and joining them costs more than blending a small sprite or a
// glyph. Either way each row is written by exactly one thread, so the
// results are the same.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>

#ifdef _OPENMP
#include <omp.h>
#endif

#include "core/config.h"

namespace zelt::gfx {

// The least work, in pixels, worth handing to one more thread.
inline constexpr int64_t kPixelsPerThread = 32768;

namespace parallel_rows_detail {
inline std::atomic<int64_t> pixels_per_thread{kPixelsPerThread};
}  // namespace parallel_rows_detail

inline int64_t pixels_per_thread() {
  return parallel_rows_detail::pixels_per_thread.load(std::memory_order_relaxed);
}
// Tests and benchmarks: 1 shares any work of two rows or more; a value
// below 1 goes back to kPixelsPerThread.
inline void set_pixels_per_thread_for_testing(int64_t pixels) {
  parallel_rows_detail::pixels_per_thread.store(pixels < 1 ? kPixelsPerThread : pixels,
                                                std::memory_order_relaxed);
}

// Whether rows can run on OpenMP worker threads in this build.
bool rows_use_openmp();

// body(row) for every row in 0 .. count − 1; row_pixels: the pixels one row
// writes (its work).
template <typename Body>
void for_rows(int32_t count, int64_t row_pixels, Body&& body) {
#ifdef _OPENMP
  if (config().MultiThreading != 0 && count > 1) {
    const int64_t work = int64_t{count} * std::max<int64_t>(row_pixels, 1);
    const int64_t threads =
        std::min<int64_t>({omp_get_max_threads(), int64_t{count}, work / pixels_per_thread()});
    if (threads > 1) {
#pragma omp parallel for schedule(static) num_threads(static_cast<int>(threads))
      for (int32_t row = 0; row < count; ++row) body(row);
      return;
    }
  }
#endif
  for (int32_t row = 0; row < count; ++row) body(row);
}

}  // namespace zelt::gfx
