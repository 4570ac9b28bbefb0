// SDL2 windows and the event loop behind platform/window.h.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/window.h"

namespace zelt::platform {

extern SDL_Window* g_owner;  // message-box owner (sdl_display.cpp)

namespace {

enum WakeCode : int32_t { kWake = 0, kAnswer = 1 };

std::atomic<uint32_t> g_wake_event{0};

uint32_t wake_event_type() {
  static std::once_flag once;
  std::call_once(once, [] { g_wake_event.store(SDL_RegisterEvents(1)); });
  return g_wake_event.load();
}

class SdlWindow;
std::vector<SdlWindow*> g_windows;  // main thread; the first is the frame

class SdlWindow final : public Window {
 public:
  explicit SdlWindow(SDL_Window* w) : w_(w) { g_windows.push_back(this); }
  ~SdlWindow() override {
    // A question still open (the program closes for another reason) is
    // left to its thread: the box has no owner, so nothing of this window
    // is used after it goes.
    if (asker_.joinable()) {
      if (asked_->load()) asker_.join();
      else asker_.detach();
    }
    g_windows.erase(std::find(g_windows.begin(), g_windows.end(), this));
    if (g_owner == w_) g_owner = nullptr;
    SDL_DestroyWindow(w_);
  }

  WindowSize client_size() override {
    WindowSize s;
    SDL_GetWindowSize(w_, &s.w, &s.h);
    return s;
  }
  void set_client_size(int w, int h) override { SDL_SetWindowSize(w_, w, h); }
  void position(int* x, int* y) override { SDL_GetWindowPosition(w_, x, y); }
  void set_size_limits(WindowSize min, WindowSize max) override {
    SDL_SetWindowMinimumSize(w_, std::max(1, min.w), std::max(1, min.h));
    SDL_SetWindowMaximumSize(w_, std::max(min.w, max.w), std::max(min.h, max.h));
  }
  bool set_fullscreen(bool on, bool exclusive, int w, int h) override {
    if (!on) return SDL_SetWindowFullscreen(w_, 0) == 0;
    if (!exclusive) return SDL_SetWindowFullscreen(w_, SDL_WINDOW_FULLSCREEN_DESKTOP) == 0;
    SDL_DisplayMode want{}, got{};
    want.w = w;
    want.h = h;
    const int display = std::max(0, SDL_GetWindowDisplayIndex(w_));
    if (SDL_GetClosestDisplayMode(display, &want, &got)) SDL_SetWindowDisplayMode(w_, &got);
    return SDL_SetWindowFullscreen(w_, SDL_WINDOW_FULLSCREEN) == 0;
  }
  void raise() override {
    SDL_ShowWindow(w_);
    SDL_RestoreWindow(w_);
    SDL_RaiseWindow(w_);
  }
  void capture_mouse(bool on) override { SDL_CaptureMouse(on ? SDL_TRUE : SDL_FALSE); }
  void ask_ok_cancel(const std::string& caption, const std::string& text) override {
    if (asker_.joinable()) asker_.join();
    // The box runs on a helper thread so that the event loop (and the
    // script threads' calls) keep going while the question is open.
    asked_ = std::make_shared<std::atomic<bool>>(false);
    asker_ = std::thread([done = asked_, id = SDL_GetWindowID(w_), caption, text] {
      const SDL_MessageBoxButtonData buttons[] = {
          {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "OK"},
          {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "Cancel"},
      };
      SDL_MessageBoxData data{SDL_MESSAGEBOX_INFORMATION, nullptr, caption.c_str(), text.c_str(),
                              2, buttons, nullptr};
      int pressed = 0;
      if (SDL_ShowMessageBox(&data, &pressed) != 0) pressed = 1;  // no box: closing goes ahead
      SDL_Event e{};
      e.type = wake_event_type();
      e.user.code = kAnswer;
      e.user.windowID = id;
      e.user.data1 = reinterpret_cast<void*>(static_cast<intptr_t>(pressed == 1));
      SDL_PushEvent(&e);
      done->store(true);
    });
  }
  void paint_black() override {
    if (SDL_Surface* s = SDL_GetWindowSurface(w_)) {
      SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 0, 0, 0));
      SDL_UpdateWindowSurface(w_);
    }
  }
  void present_pixels(const uint32_t* xrgb, int w, int h) override {
    SDL_Surface* dst = SDL_GetWindowSurface(w_);
    SDL_Surface* src = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(xrgb), w, h, 32, w * 4,
                                                          SDL_PIXELFORMAT_RGB888);
    if (dst && src) {
      SDL_BlitSurface(src, nullptr, dst, nullptr);
      SDL_UpdateWindowSurface(w_);
    }
    SDL_FreeSurface(src);
  }
  void show(bool visible) override {
    if (visible) {
      SDL_ShowWindow(w_);
      SDL_RaiseWindow(w_);
    } else {
      SDL_HideWindow(w_);
    }
  }
  bool shown() override { return (SDL_GetWindowFlags(w_) & SDL_WINDOW_SHOWN) != 0; }

  SDL_Window* sdl() const { return w_; }
  bool focused = false;

 private:
  SDL_Window* w_;
  std::thread asker_;
  std::shared_ptr<std::atomic<bool>> asked_ = std::make_shared<std::atomic<bool>>(true);
};

SdlWindow* find(uint32_t id) {
  for (SdlWindow* w : g_windows)
    if (SDL_GetWindowID(w->sdl()) == id) return w;
  return nullptr;
}

bool g_app_focused = false;

void dispatch_window_event(WindowEvents& ev, const SDL_WindowEvent& we) {
  SdlWindow* w = find(we.windowID);
  if (!w) return;
  const bool frame = w == g_windows.front();
  switch (we.event) {
    case SDL_WINDOWEVENT_FOCUS_GAINED: w->focused = true; break;
    case SDL_WINDOWEVENT_FOCUS_LOST: w->focused = false; break;
    case SDL_WINDOWEVENT_CLOSE:
      if (frame) ev.on_close_request();
      else w->show(false);
      break;
    case SDL_WINDOWEVENT_EXPOSED:
      if (frame) ev.on_expose();
      else ev.on_debug_expose();
      break;
    default:
      if (!frame) break;
      if (we.event == SDL_WINDOWEVENT_MOVED) ev.on_moved(we.data1, we.data2);
      else if (we.event == SDL_WINDOWEVENT_SIZE_CHANGED) ev.on_resized(we.data1, we.data2);
      else if (we.event == SDL_WINDOWEVENT_MINIMIZED) ev.on_minimized();
      else if (we.event == SDL_WINDOWEVENT_MAXIMIZED) {
        SDL_RestoreWindow(w->sdl());
        ev.on_maximize_request();
      }
      break;
  }
}

MouseButton to_button(uint8_t b) {
  return b == SDL_BUTTON_RIGHT ? MouseButton::Right : b == SDL_BUTTON_MIDDLE ? MouseButton::Middle : MouseButton::Left;
}

void dispatch(WindowEvents& ev, const SDL_Event& e) {
  if (e.type == wake_event_type()) {
    if (e.user.code == kAnswer) ev.on_question_answered(e.user.data1 != nullptr);
    else ev.on_wake();
    return;
  }
  switch (e.type) {
    case SDL_QUIT: ev.on_close_request(); break;
    case SDL_WINDOWEVENT: dispatch_window_event(ev, e.window); break;
    case SDL_KEYDOWN:
      if (e.key.keysym.sym == SDLK_F8 && !e.key.repeat) ev.on_toggle_debug();
      break;
    case SDL_KEYUP:
      if ((e.key.keysym.sym == SDLK_RETURN || e.key.keysym.sym == SDLK_KP_ENTER) &&
          (e.key.keysym.mod & KMOD_ALT))
        ev.on_toggle_fullscreen();
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      if (e.button.button > SDL_BUTTON_RIGHT || g_windows.empty()) break;
      if (find(e.button.windowID) != g_windows.front()) {
        if (e.type == SDL_MOUSEBUTTONUP && e.button.button == SDL_BUTTON_LEFT)
          ev.on_debug_click(e.button.x, e.button.y);
        break;
      }
      ev.on_button(to_button(e.button.button), e.type == SDL_MOUSEBUTTONDOWN,
                   e.type == SDL_MOUSEBUTTONDOWN && e.button.clicks == 2);
      break;
    case SDL_MOUSEWHEEL: {
      const int32_t notches = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
      if (!g_windows.empty() && find(e.wheel.windowID) != g_windows.front()) {
        if (SDL_GetModState() & KMOD_SHIFT) ev.on_debug_wheel(notches, 0);
        else ev.on_debug_wheel(e.wheel.x, notches);
        break;
      }
      if (notches != 0) ev.on_wheel(notches * 120);
      break;
    }
    case SDL_TEXTINPUT: ev.on_text(e.text.text); break;
    default: break;
  }
}

}  // namespace

WindowSize screen_size() {
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return {};
  return {mode.w, mode.h};
}

WindowSize window_border() { return {}; }

std::unique_ptr<Window> window_create(const WindowSpec& spec) {
  wake_event_type();
  Uint32 flags = spec.hidden ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN;
  if (spec.resizable) flags |= SDL_WINDOW_RESIZABLE;
  SDL_Window* w = SDL_CreateWindow(spec.title_utf8.c_str(), spec.x, spec.y, spec.w, spec.h, flags);
  if (!w) return nullptr;
  if (!g_owner) g_owner = w;
  return std::make_unique<SdlWindow>(w);
}

void window_pump(WindowEvents& events, int timeout_ms) {
  SDL_Event e;
  if (SDL_WaitEventTimeout(&e, std::max(0, timeout_ms)) != 0) {
    do dispatch(events, e);
    while (SDL_PollEvent(&e));
  }
  // The application's focus: any of its windows focused. Settled after the
  // batch so that moving between the frame and the debug window is no change.
  bool focused = false;
  for (SdlWindow* w : g_windows) focused = focused || w->focused;
  if (focused != g_app_focused) {
    g_app_focused = focused;
    events.on_focus(focused);
  }
}

void cursor_set_arrow() {
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_SetCursor(SDL_GetDefaultCursor());
}

void window_wake() {
  SDL_Event e{};
  e.type = wake_event_type();
  e.user.code = kWake;
  SDL_PushEvent(&e);
}

}  // namespace zelt::platform
