#include "shell/subsystems_pending.h"

#include "core/config.h"
#include "platform/window.h"

namespace zelt {

const Subsystem kNetSubsystem{.name = "net", .wanted = [] { return config().Net != 0; }};
const Subsystem kSoundSubsystem{.name = "sound", .wanted = [] { return config().DirectSound != 0; }};
const Subsystem kMidiSubsystem{.name = "midi", .wanted = [] { return config().DirectMusic != 0; }};
const Subsystem kVideoSubsystem{.name = "video"};
// The cursor is the input layer's; the devices are still to come.
const Subsystem kInputSubsystem{.name = "input", .runtime_start = platform::cursor_set_arrow};
const Subsystem kCdAudioSubsystem{.name = "cd audio", .wanted = [] { return config().CD != 0; }};
const Subsystem kP3dSubsystem{.name = "p3d"};

}  // namespace zelt
