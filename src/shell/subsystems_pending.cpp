// Empty start, stop and reset operations of the subsystems that are not
// built yet. Each subsystem removes its own lines here when it lands.
#include "shell/subsystems.h"

namespace zelt {

void blend_tables_build() {}
void colour_tables_build() {}
bool net_startup() { return true; }
void net_cleanup() {}
bool present_start() { return true; }
void present_stop() {}
bool gdi_start() { return true; }
void gdi_stop() {}
bool sound_start() { return true; }
void sound_stop() {}
bool midi_start() { return true; }
void midi_stop_all() {}
bool input_start() { return true; }
void input_stop() {}
bool cd_audio_start() { return true; }
void cd_audio_stop() {}
void sounds_pause_all() {}
void sounds_resume_all() {}
void midi_pause() {}
void midi_resume() {}
void video_pause() {}
void video_resume() {}
void cd_pause() {}
void cd_resume() {}
void sprites_unlink_all() {}
void sprites_clear() {}
void video_stop() {}
void video_close() {}
void sounds_free_all() {}
void midi_free() {}
void cd_stop_now() {}
void net_stop() {}
void archive_slots_close_all() {}
void fonts_delete_all() {}
void fonts_reset_defaults() {}
void planes_free_all() {}
bool screen_create() { return true; }
void p3d_free_all() {}
void effects_free_all() {}

}  // namespace zelt
