// Start and stop operations of every subsystem, in the order start-up and
// shutdown call them (startup.cpp). Subsystems that are not built yet have
// empty bodies in subsystems_pending.cpp; each moves its own out when it lands.
#pragma once

#include <cstdint>

namespace zelt {

// Tables
void math_tables_build();           // sine and arc tangent
void math_tables_free();
void blend_tables_build();          // blend lookup tables
void colour_tables_build();         // colour-distance tables
void random_seed_from_clock();      // random generator seeded with the millisecond tick

// Devices, each started only when its configuration switch is on
bool net_startup();                 // [System] Net
void net_cleanup();
bool present_start();               // [System] Direct3D != 0: accelerated presentation
void present_stop();
bool gdi_start();                   // [System] Direct3D == 0: unscaled presentation
void gdi_stop();
bool sound_start();                 // [System] DirectSound
void sound_stop();
bool midi_start();                  // [System] DirectMusic
void midi_stop_all();
bool input_start();                 // always; devices chosen by [System] DirectInput
void input_stop();
bool cd_audio_start();              // [Drive] CD
void cd_audio_stop();

// Pause and resume of what plays in real time (the application's focus)
void sounds_pause_all();
void sounds_resume_all();
void midi_pause();
void midi_resume();
void video_pause();
void video_resume();
void cd_pause();
void cd_resume();

// Resources scripts create, released by the runtime reset
void sprites_unlink_all();
void sprites_clear();               // dirty rectangles, hit regions, sprite lists and table
void video_stop();                  // shutdown: fade out and stop
void video_close();
void sounds_free_all();
void midi_free();
void cd_stop_now();
void net_stop();
void regex_release_globals();
void archive_slots_close_all();
void fonts_delete_all();
void fonts_reset_defaults();
void planes_free_all();             // planes and palette
bool screen_create();               // palette and screen plane of Width x Height x Depth
void libraries_free_all();
void p3d_free_all();
void effects_free_all();
void sysfile_write();               // the registered system file, if any

}  // namespace zelt
