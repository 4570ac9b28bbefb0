// The zelt demo: an attract mode that loops every minute, with a few things
// to do with the mouse, the keyboard and a game pad. The scripts beside this
// one each look after one part of the picture; data comes from data.bin, an
// archive built from the data folder (see make-title).
#include "zelt.h"
#include "clock.c"
#include "scene.c"
#include "swarm.c"
#include "player.c"

int changed[4];

int main() {
  clock_start();
  scene_load();
  scene_build();
  swarm_build();
  player_build();
  while (!clock_done()) {
    clock_tick();
    swarm_move(now);
    if (!player_move(now)) break;
    scene_animate(now, SWARM + PLANETS * 2 + BUTTONS + BLENDS + 5);
    // Only what changed is composed again and shown.
    sp_draw(-1, changed);
    update(changed);
  }
  clock_report();
  exit();
}
