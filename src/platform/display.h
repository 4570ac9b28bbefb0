// The display connection: whether this run is headless, and whether a real
// display can be opened at all.
#pragma once

#include <string>

namespace zelt::platform {

// Headless runs have no window, no audio device and no single-instance check.
void set_headless(bool headless);
bool headless();

// Initialises SDL's video subsystem and reports whether a real display
// (not SDL's dummy or offscreen driver) is available; why receives SDL's
// reason when it is not.
bool display_available(std::string* why);

// Shuts SDL down again (end of the process).
void display_shutdown();

// What happens when the connection to the display is lost (the X server
// ended, or killed the program's connection): `closing` runs once, on the
// thread that met the loss, saves what must be saved and ends the process
// (it must not return; if it does, the process ends with code 1). Other
// threads that meet the loss meanwhile wait for it. Failed requests (a
// window already gone) are ignored instead of ending the program.
void display_set_lost_handler(void (*closing)());

}  // namespace zelt::platform
