// Table trigonometry, the random generator, interpolation and key-frame
// tracks: plain engine operations on integers and floats.
#pragma once

#include <cstdint>
#include <span>

#include "core/sine_table.h"

namespace zelt {

// Angles: 2048 units per full turn (the sine table is in core).
inline constexpr int kAtanEntries = 257;

// Direction of (x, y) in units, 0..2047, from +x towards +y.
int32_t table_atan(int32_t x, int32_t y);

// MT19937 with the 1998 reference seeding; an unseeded generator seeds
// itself with 4357.
void random_seed(uint32_t seed);
uint32_t random_next();

// Quadratic curves through three values.
float interp_linear(float a, float b, float t);
float interp_bezier(float a, float b, float c, float t);
float interp_neville(float a, float b, float c, float t);

// One key of a track (16 bytes in script memory, in this order).
struct KeyFrame {
  float time, value, coefficient, scratch;
};
static_assert(sizeof(KeyFrame) == 16);

// Newton coefficients of the track (divided differences, in place).
void keyframes_calc(std::span<KeyFrame> track);
// Index i with time(i) <= x < time(i + 1), or -1.
int32_t keyframes_index(std::span<const KeyFrame> track, float x);
// The track's value at x with interpolation type 0..9 (other types give 0).
float keyframes_value(std::span<const KeyFrame> track, float x, int32_t type);

}  // namespace zelt
