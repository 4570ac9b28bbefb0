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

}  // namespace zelt::platform
