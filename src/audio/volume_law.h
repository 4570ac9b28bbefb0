// The units scripts use for sound, and the platform's: volume 0..100 and pan
// -100..100 against hundredths of a decibel, converted exactly as the
// original single-precision arithmetic did, and the gains the mixer applies.
#pragma once

#include <cstdint>

namespace zelt::audio {

inline constexpr int32_t kSilence = -10000;  // hundredths of a decibel

// Volume 0..100 (clamped) to hundredths of a decibel, and back.
int32_t volume_to_db(int32_t volume);
int32_t volume_from_db(int32_t db);
// Pan -100..100 (clamped) to the platform's pan (hundredths of a decibel of
// attenuation on the far side, negative: the right side), and back.
int32_t pan_to_db(int32_t pan);
int32_t pan_from_db(int32_t db);
// Frequency as a buffer takes it: 0 keeps the buffer's own rate; the rest
// is clamped to 100..100000 Hz (compared unsigned).
uint32_t clamp_frequency(int32_t hz);

// Linear gain of an attenuation in hundredths of a decibel (0 at -10000).
float db_gain(int32_t db);
// Left and right gains of a volume and a pan in hundredths of a decibel.
void channel_gains(int32_t volume_db, int32_t pan_db, float& left, float& right);

}  // namespace zelt::audio
