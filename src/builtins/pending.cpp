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
// Sound
PENDING(snd_load) PENDING(snd_loads) PENDING(snd_free) PENDING(snd_play) PENDING(snd_stop)
PENDING(snd_pause) PENDING(snd_replay) PENDING(snd_setvol) PENDING(snd_getvol) PENDING(snd_setpan)
PENDING(snd_getpan) PENDING(snd_setfreq) PENDING(snd_getfreq) PENDING(snd_isplay)
PENDING(snd_setloop) PENDING(snd_setpos) PENDING(snd_getpos) PENDING(snd_getlen)
PENDING(snd_gettext) PENDING(snd_setmargin) PENDING(snd_setchorus) PENDING(snd_setcompressor)
PENDING(snd_setdistortion) PENDING(snd_setecho) PENDING(snd_setflanger) PENDING(snd_setgargle)
PENDING(snd_setparameq) PENDING(snd_setreverb)
// CD audio
PENDING(cd_play) PENDING(cd_stop) PENDING(cd_pause) PENDING(cd_replay) PENDING(cd_setvol)
PENDING(cd_getvol) PENDING(cd_isplay) PENDING(cd_getpos) PENDING(cd_getlen) PENDING(cd_repeat)
PENDING(cd_eject)
// Video
PENDING(media_open) PENDING(media_close) PENDING(media_play) PENDING(media_stop)
PENDING(media_pause) PENDING(media_replay) PENDING(media_isplay) PENDING(media_repeat)
PENDING(media_size) PENDING(media_setvol)
// Image filters
PENDING(freemap) PENDING(smooth) PENDING(rotate) PENDING(tiled) PENDING(scroll) PENDING(noise)
PENDING(slice) PENDING(gradation) PENDING(mosaic) PENDING(monotone) PENDING(blur) PENDING(fire)
// Distortion effects
PENDING(ef_init) PENDING(ef_free) PENDING(ef_copy) PENDING(ef_info) PENDING(ef_rotate)
PENDING(ef_land) PENDING(ef_ball) PENDING(ef_whirl) PENDING(ef_raster) PENDING(ef_blob)
PENDING(ef_water)

#undef PENDING

}  // namespace zelt
