#include "shell/subsystem_list.h"

#include "audio/audio_output.h"
#include "audio/sound_slots.h"
#include "builtins/builtins_subsystems.h"
#include "files/pack_slots.h"
#include "gfx/effects/effects.h"
#include "gfx/p3d/p3d.h"
#include "gfx/planes/plane.h"
#include "gfx/present/dirty_list.h"
#include "gfx/raster/blend_tables.h"
#include "gfx/sprites/sprites.h"
#include "gfx/text/font_slots.h"
#include "input/input_devices.h"
#include "input/script_clock.h"
#include "net/net.h"
#include "script/host/host.h"
#include "shell/presenter.h"
#include "shell/subsystems_pending.h"

namespace zelt {
namespace {

// Start-up order. Shutdown and the runtime reset walk it backwards, so what
// a subsystem uses (planes under sprites and fonts, the sound mixer under
// video) comes before it. The application's focus pauses the real-time
// players in this order, then the script clock and the script threads.
constexpr const Subsystem* kList[] = {
    &kMathSubsystem,
    &gfx::kBlendTablesSubsystem,
    &net::kNetSubsystem,
    &kPresentSubsystem,
    &kGdiSubsystem,
    &audio::kAudioOutputSubsystem,
    &audio::kSoundSubsystem,
    &kMidiSubsystem,
    &kVideoSubsystem,
    &input::kInputSubsystem,
    &kCdAudioSubsystem,
    &gfx::kPlanesSubsystem,
    &gfx::kDirtyListSubsystem,
    &gfx::kFontsSubsystem,
    &files::kArchiveSlotsSubsystem,
    &gfx::kSpritesSubsystem,
    &kRegexSubsystem,
    &kLibrariesSubsystem,
    &gfx::kP3dSubsystem,
    &gfx::kEffectsSubsystem,
    &kSystemFileSubsystem,
    &input::kScriptClockSubsystem,
    &kScriptThreadsSubsystem,
};

}  // namespace

SubsystemList runtime_subsystems() { return kList; }

}  // namespace zelt
