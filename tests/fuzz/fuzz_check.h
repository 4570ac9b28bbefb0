// The fuzz targets' invariant check: a broken invariant aborts with its
// description, which libFuzzer reports as a crash with the input saved.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace zelt::fuzz {

inline void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant failed: %s\n", what);
    std::abort();
  }
}

}  // namespace zelt::fuzz
