// The presentation on the main thread: the screen texture of gfx/present
// shown in the frame window, scaled by a renderer (the accelerated path,
// [System] Direct3D != 0) or 1:1 (Direct3D = 0), and the start-up and
// shutdown of both paths. Script threads hand frames over with update;
// the frame's event handlers call in here.
#pragma once

#include <string>
#include <vector>

#include "core/subsystem.h"
#include "platform/window.h"

namespace zelt {

extern const Subsystem kPresentSubsystem;  // [System] Direct3D != 0
extern const Subsystem kGdiSubsystem;      // [System] Direct3D == 0

// Shows what script threads handed over since the last call; with redraw
// also when nothing changed (a repaint of the window). Main thread.
void presenter_show(bool redraw);
// The frame's client size changed (the accelerated path resets: the next
// upload is whole) and the picture is drawn again.
void presenter_resized();
// The renderer lost its texture: made again and filled from the picture.
void presenter_render_reset();
// Writes the screen texture as a 24-bit BMP; false with the reason.
bool presenter_screenshot(const std::string& path, std::string* error);

// The smallest display mode that holds width × height, as the unscaled
// path's full screen picks it from the list in the system's order: a mode
// is taken when it holds the screen and is smaller in both directions than
// the one taken before. Absent (0 × 0) when none holds it.
platform::WindowSize fullscreen_mode(const std::vector<platform::WindowSize>& modes, int width, int height);

}  // namespace zelt
