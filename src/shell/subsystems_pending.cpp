#include "shell/subsystems_pending.h"

#include "core/config.h"

namespace zelt {

const Subsystem kMidiSubsystem{.name = "midi", .wanted = [] { return config().DirectMusic != 0; }};
const Subsystem kVideoSubsystem{.name = "video"};
const Subsystem kCdAudioSubsystem{.name = "cd audio", .wanted = [] { return config().CD != 0; }};

}  // namespace zelt
