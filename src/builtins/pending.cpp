// Handlers of the built-ins whose subsystems are not built yet: each returns
// 0. A subsystem that lands defines its handlers in its own adapters file
// and removes their names here.
#include "builtins/handlers.h"

namespace zelt {

#define PENDING(name) \
  uint32_t bi_##name(const BuiltinArgs&) { return 0; }

// MIDI
PENDING(midi_load) PENDING(midi_free) PENDING(midi_play) PENDING(midi_stop) PENDING(midi_pause)
PENDING(midi_replay) PENDING(midi_setvol) PENDING(midi_getvol) PENDING(midi_isplay)
PENDING(midi_getpos) PENDING(midi_repeat)
// CD audio
PENDING(cd_play) PENDING(cd_stop) PENDING(cd_pause) PENDING(cd_replay) PENDING(cd_setvol)
PENDING(cd_getvol) PENDING(cd_isplay) PENDING(cd_getpos) PENDING(cd_getlen) PENDING(cd_repeat)
PENDING(cd_eject)
// Video
PENDING(media_open) PENDING(media_close) PENDING(media_play) PENDING(media_stop)
PENDING(media_pause) PENDING(media_replay) PENDING(media_isplay) PENDING(media_repeat)
PENDING(media_size) PENDING(media_setvol)

#undef PENDING

}  // namespace zelt
