#include <SDL.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <cstring>

#include "platform/display.h"
#include "platform/message_box.h"

namespace zelt::platform {
SDL_Window* g_owner = nullptr;  // the frame window, set by the window layer (sdl_window.cpp)

bool display_available(std::string* why) {
  // Termination signals are the program's own (platform/signals.h), not a
  // quit event that would ask the close question.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    if (why) *why = SDL_GetError();
    return false;
  }
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0) {
    if (why) *why = std::string("only the '") + (driver ? driver : "none") + "' video driver is available";
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
  }
  return true;
}

void display_shutdown() { SDL_Quit(); }

namespace {

void (*g_lost_handler)() = nullptr;
std::atomic<bool> g_lost{false};

// Xlib ends the process when this returns, so it never does.
int on_display_lost(Display*) {
  if (g_lost.exchange(true)) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
  }
  if (g_lost_handler) g_lost_handler();
  ::_exit(1);
}

// A failed request (a window that is already gone, say, while the
// connection is being lost) is not worth ending the program for, which is
// what Xlib's default handler does.
int on_request_error(Display*, XErrorEvent*) { return 0; }

}  // namespace

void display_set_lost_handler(void (*closing)()) {
  g_lost_handler = closing;
  XSetIOErrorHandler(on_display_lost);
  XSetErrorHandler(on_request_error);
}

bool show_message_box(const std::string& caption_utf8, const std::string& text_utf8) {
  return SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption_utf8.c_str(), text_utf8.c_str(),
                                  g_owner) == 0;
}

}  // namespace zelt::platform
