// Descriptors of the subsystems that are not built yet. Each keeps its place
// in the start-up list (subsystem_list.cpp) with the configuration switch
// that starts it; a subsystem that lands defines its own descriptor beside
// its code and removes its entry here.
#pragma once

#include "core/subsystem.h"

namespace zelt {

extern const Subsystem kMidiSubsystem;         // [System] DirectMusic
extern const Subsystem kVideoSubsystem;        // fades out and stops as shutdown begins
extern const Subsystem kCdAudioSubsystem;      // [Drive] CD

}  // namespace zelt
