// Table trigonometry, the random generator, interpolation and key-frame
// tracks: plain engine operations on integers and floats. The sine table is
// shared with the blit, filter and effect code.
#pragma once

#include <cstdint>
#include <span>

namespace zelt {

// Angles: 2048 units per full turn. Sine values are 16.16 fixed point.
inline constexpr int kSineEntries = 2560;
inline constexpr int kAtanEntries = 257;

// The sine table (entry i = sin(i * 2pi / 2048) * 65536, truncated toward
// zero). The tables are filled on first use, so a lookup is safe at any time.
const int32_t* sine_table();
inline int32_t table_sin(int32_t angle) { return sine_table()[angle & 2047]; }
inline int32_t table_cos(int32_t angle) { return sine_table()[(angle + 512) & 2047]; }
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
