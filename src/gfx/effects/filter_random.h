// The filters' own random generator (noise, slice, fire and random water
// blobs): a linear congruential generator with one state per thread, 1 in
// every new thread, apart from the scripts' random generator.
#pragma once

#include <cstdint>

namespace zelt::gfx {

// The next value, 0..32767: state = state × 214013 + 2531011 (mod 2^32),
// value = (state >> 16) & 0x7FFF.
uint32_t filter_random();
// This thread's state (tests).
uint32_t filter_random_state();
void set_filter_random_state(uint32_t state);

}  // namespace zelt::gfx
