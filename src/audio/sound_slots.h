// The 64 sound slots scripts play through: sounds loaded whole, streams
// refilled from their source by a feeder thread, and the master volume and
// pan of the primary line. Every operation runs on the main thread (the
// snd_* messages land here); only the feeders run elsewhere, each on its
// own slot. Results are the script-visible ones: 1 or 0, a platform result
// code (0 on success), or a value in script units.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/subsystem.h"

namespace zelt::audio {

inline constexpr int32_t kSoundSlots = 64;

bool sound_start();
void sound_stop();
bool sound_started();

int32_t snd_load(int32_t slot, std::string_view name);
int32_t snd_loads(int32_t slot, std::string_view name);
int32_t snd_free(int32_t slot);
int32_t snd_play(int32_t slot, int32_t loop);
int32_t snd_stop(int32_t slot);
int32_t snd_pause(int32_t slot);
int32_t snd_replay(int32_t slot);
int32_t snd_setvol(int32_t slot, int32_t volume);  // slot -1: the primary line
int32_t snd_getvol(int32_t slot);
int32_t snd_setpan(int32_t slot, int32_t pan);
int32_t snd_getpan(int32_t slot);
int32_t snd_setfreq(int32_t slot, int32_t hz);
int32_t snd_getfreq(int32_t slot);
int32_t snd_isplay(int32_t slot);
int32_t snd_setloop(int32_t slot, int32_t ms);
int32_t snd_setpos(int32_t slot, int32_t ms);
int32_t snd_getpos(int32_t slot);
int32_t snd_getlen(int32_t slot);
int32_t snd_gettext(int32_t slot, char (&text)[256]);
int32_t snd_setmargin(int32_t ms);
// bit: one EffectBit (audio/effects/effect.h); record: its words, or null to
// clear the bit.
int32_t snd_seteffect(int32_t slot, uint32_t bit, const uint32_t* record);

// Start-up and shutdown ([System] DirectSound), and the focus pause of all
// slots unless [Option] GlobalSound.
extern const Subsystem kSoundSubsystem;

}  // namespace zelt::audio
