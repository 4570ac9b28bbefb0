// A runtime subsystem as start-up, shutdown, the application's focus and the
// runtime reset see it. Each subsystem defines one descriptor beside its own
// code; the shell lists them once, in start-up order, and walks that list:
// start forward, stop backward; pause forward, resume backward; the runtime
// reset backward (what a later subsystem holds is released before what it
// may use), then the runtime start forward. Absent operations are skipped.
#pragma once

#include <span>

namespace zelt {

struct Subsystem {
  const char* name;
  bool (*wanted)() = nullptr;        // start and stop only when this holds (a configuration switch)
  bool (*start)() = nullptr;         // start-up; a failure has reported its own message
  void (*stop)() = nullptr;          // shutdown, after the runtime reset
  void (*closing)() = nullptr;       // shutdown begins, before the script threads stop
  void (*pause)() = nullptr;         // the application becomes inactive
  void (*resume)() = nullptr;        // ... and active again
  void (*reset)() = nullptr;         // release everything scripts created
  void (*runtime_start)() = nullptr; // after the reset at start-up: the state a script starts with
};

using SubsystemList = std::span<const Subsystem* const>;

void subsystems_start_all(SubsystemList list);
void subsystems_stop_all(SubsystemList list);
void subsystems_closing_all(SubsystemList list);
void subsystems_pause_all(SubsystemList list);
void subsystems_resume_all(SubsystemList list);
void subsystems_reset_all(SubsystemList list);
void subsystems_runtime_start_all(SubsystemList list);

}  // namespace zelt
