// The program's own keys, the same for every window backend: F8 (down)
// shows and hides the debug window, Alt+Enter (up) switches full screen,
// and Alt+letter in the debug window presses its button. Key names are
// spelled as key_name() spells them.
#pragma once

#include <string>

namespace zelt::platform {

enum class Shortcut { None, ToggleDebug, ToggleFullscreen, DebugAccessKey };
Shortcut shortcut_of(const std::string& key_name, bool down, bool alt, bool repeat, bool in_debug_window);

}  // namespace zelt::platform
