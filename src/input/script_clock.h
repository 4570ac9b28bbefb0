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

// The clock as the application's focus pauses and resumes it.
extern const Subsystem kScriptClockSubsystem;

}  // namespace zelt::input
