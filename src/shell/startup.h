// The program's run from start-up to exit, in one sequence.
#pragma once

#include <string>

#include "core/app.h"

namespace zelt {

struct RunOptions {
  std::string title_dir = ".";  // program folder
  std::string name;             // program base name; empty: "zelt"
  std::string cd_dir;           // folder that stands for the title's CD
  bool headless = false;
  double timeout_seconds = 0;   // 0: no limit
  std::string screenshot;       // taken at exit once the presentation exists
  std::string record_audio;
  std::string input_events;
};

// Names of the single-instance lock and the two window classes.
inline constexpr const char* kMutexName = "ZELT_MUTEX";
inline constexpr const char* kFrameClass = "ZELT_FRAME";
inline constexpr const char* kViewClass = "ZELT_VIEW";

// Threads of the row-parallel loops that wait (idle workers, and the thread
// that waits for them at the end of a loop) should sleep at once: the
// OpenMP runtime's default is to spin for a long while, and on cores busy
// with script threads, the presentation or other programs a spinning waiter
// keeps the worker it waits for off the processor (a parallel blit then
// takes milliseconds). The runtime reads its policy from the environment as
// it loads, before main, so unless the user chose one (OMP_WAIT_POLICY,
// GOMP_SPINCOUNT or KMP_BLOCKTIME set), this starts the program again with
// OMP_WAIT_POLICY=passive. Returns when there is nothing to do or the
// restart failed. Call it early in main, before any thread or file.
void openmp_wait_passively(char** argv);

// Runs a title and returns the exit code.
int app_main(const RunOptions& options);

// The folder below which the per-user configuration lives: $XDG_CONFIG_HOME,
// else ~/.config; "" when neither can be resolved.
std::string user_config_home();

// Configuration search and read (defaults, <base>.cfg, configure.cfg, the
// per-user file under user_home), the processor check and the entry-script
// split. Needs program_folder and base_name in `a`; sets active_config and
// script_folder. Touches nothing but the per-user folders it creates.
void configure(AppState& a, const std::string& user_home);

// Splits [Script] Load into the script folder and the entry script name.
void split_entry_script(AppState& a);

// Starts and stops every subsystem in order.
void subsystems_start();
// False when a script thread did not end within the grace period (it is
// stuck in a built-in, a blocking read say, and may hold the built-in lock):
// then only the system file is saved, nothing is released, and the caller
// ends the process once the configuration is written back.
bool subsystems_stop();
void runtime_reset();

}  // namespace zelt
