// The headless backend of window.h: windows that keep their size, position
// and pixels, and an event queue that injected user actions and the
// windows' own changes go through. sdl_window.cpp hands over to it in
// headless runs.
#pragma once

#include <memory>

#include "platform/window.h"

namespace zelt::platform::headless_window {

std::unique_ptr<Window> create(const WindowSpec& spec);
void pump(WindowEvents& events, int timeout_ms);
void wake();
void inject(const UserEvent& e);

}  // namespace zelt::platform::headless_window

namespace zelt::platform {

// The program's own keys, the same for every backend: F8 (down) shows and
// hides the debug window, Alt+Enter (up) switches full screen, and
// Alt+letter in the debug window presses its button.
enum class Shortcut { None, ToggleDebug, ToggleFullscreen, DebugAccessKey };
Shortcut shortcut_of(const std::string& key_name, bool down, bool alt, bool repeat,
                     bool in_debug_window);

}  // namespace zelt::platform
