// The one audio output of a run: the mixer, the device that pulls from it
// (SDL2 audio; the clock when headless or when no device can be opened) and
// the --record-audio recording of everything the device is given. It
// starts before every player (sound slots, MIDI, CD, video) and stops after
// them, whatever [System] says, so a recording covers the whole run.
#pragma once

#include <string>

#include "audio/mixer.h"
#include "core/subsystem.h"

namespace zelt::audio {

// Before start-up: the WAV file to record into ("" for none).
void set_record_path(const std::string& path);

// The running mixer; null before start and after stop.
Mixer* output_mixer();
// False when the run wanted a sound device and none could be opened (the
// mixer then runs by the clock, unheard).
bool output_device_ok();

extern const Subsystem kAudioOutputSubsystem;

}  // namespace zelt::audio
