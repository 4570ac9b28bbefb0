// The shared sine table: 2048 angle units per full turn, values in 16.16
// fixed point. The math built-ins, the blit engine, filters and effects all
// turn by it.
#pragma once

#include <cstdint>

namespace zelt {

// Entries: a full turn and a further quarter, so that cosines of the last
// quarter read past 2047 without wrapping where callers index directly.
inline constexpr int kSineEntries = 2560;

// Entry i = sin(i × 2π / 2048) × 65536, truncated toward zero. Filled on
// first use, so a lookup is safe at any time.
const int32_t* sine_table();
inline int32_t table_sin(int32_t angle) { return sine_table()[angle & 2047]; }
inline int32_t table_cos(int32_t angle) { return sine_table()[(angle + 512) & 2047]; }

}  // namespace zelt
