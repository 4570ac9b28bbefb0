// The subsystems of the general-purpose built-ins, as start-up, shutdown and
// the runtime reset walk them.
#pragma once

#include "core/subsystem.h"

namespace zelt {

extern const Subsystem kMathSubsystem;        // sine and arc tangent tables; the random seed
extern const Subsystem kRegexSubsystem;       // compiled patterns and match regions
extern const Subsystem kLibrariesSubsystem;   // loaded native libraries
extern const Subsystem kSystemFileSubsystem;  // the registered system file, written at the reset

}  // namespace zelt
