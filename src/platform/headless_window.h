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
