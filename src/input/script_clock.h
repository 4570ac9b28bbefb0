// The script clock: milliseconds that stand still while the application is
// paused. Pauses nest; only the outermost end adds the paused time.
#pragma once

#include <cstdint>

#include "core/subsystem.h"

namespace zelt::input {

// Frame creation: no paused time, no pause open.
void script_clock_reset();
void script_clock_pause_begin();
void script_clock_pause_end();  // ignored when no pause is open
// Milliseconds since an arbitrary start, minus every paused stretch; frozen
// while a pause is open. Any thread.
uint32_t script_clock_now();
int32_t script_clock_pause_depth();

// The counters of getcount and setcount: counter n reads the clock minus
// its base. Numbers outside 0..255 read 0 and cannot be set (false). Under
// the built-in lock.
inline constexpr int32_t kCounters = 256;
int32_t counter_get(int32_t n);
bool counter_set(int32_t n, int32_t value);
void counters_reset();  // every base 0

// The local date and time as gettime hands it to scripts: year, month, day
// of the week (0 Sunday), day, hour, minute, second, milliseconds.
void local_time(uint16_t out[8]);

// The clock as the application's focus pauses and resumes it.
extern const Subsystem kScriptClockSubsystem;

}  // namespace zelt::input
