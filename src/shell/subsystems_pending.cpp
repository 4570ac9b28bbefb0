// Empty start, stop and reset operations of the subsystems that are not
// built yet. Each subsystem removes its own lines here when it lands.
#include "shell/subsystems.h"

#include "shell/app.h"

namespace zelt {

bool frame_create() { return true; }
// Without a window the full-screen state is only recorded.
void frame_set_fullscreen(bool on) { app().fullscreen = on; }

void math_tables_build() {}
void math_tables_free() {}
void blend_tables_build() {}
void colour_tables_build() {}
void random_seed_from_clock() {}
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
void cursor_set_arrow() {}
void script_messages_install() {}
void script_messages_uninstall() {}
void sprites_unlink_all() {}
void sprites_clear() {}
void video_stop() {}
void video_close() {}
void sounds_free_all() {}
void midi_free() {}
void cd_stop_now() {}
void net_stop() {}
void regex_release_globals() {}
void archive_slots_close_all() {}
void fonts_delete_all() {}
void fonts_reset_defaults() {}
void planes_free_all() {}
bool screen_create() { return true; }
void libraries_free_all() {}
void p3d_free_all() {}
void effects_free_all() {}
void sysfile_write() {}

}  // namespace zelt
