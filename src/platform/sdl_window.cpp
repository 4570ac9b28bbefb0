// SDL2 windows and the event loop behind platform/window.h.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/backends.h"
#include "platform/display.h"
#include "platform/joystick.h"
#include "platform/key_codes.h"
#include "platform/shortcuts.h"
#include "platform/window.h"

namespace zelt::platform {

extern SDL_Window* g_owner;  // message-box owner (sdl_display.cpp)

namespace {

// User events of the program: wake-ups, the answer of a shown question,
// and the injected focus changes and answers.
enum WakeCode : int32_t { kWake = 0, kAnswer = 1, kFocus = 2, kInjectedAnswer = 3 };

std::atomic<uint32_t> g_wake_event{0};
bool g_questions_from_input = false;  // main thread
bool g_question_open = false;         // main thread: a question waits for an injected answer
int g_last_x = 0, g_last_y = 0;       // main thread: the last injected pointer position
// The mouse id of replayed pointer moves. In a replay the file alone moves
// the pointer: the real pointer (which other programs, or the title's own
// cur_setpos, may move) does not count.
constexpr uint32_t kReplayMouse = 0x7A656C74;

uint32_t wake_event_type() {
  static std::once_flag once;
  std::call_once(once, [] { g_wake_event.store(SDL_RegisterEvents(1)); });
  return g_wake_event.load();
}

class SdlWindow;
std::vector<SdlWindow*> g_windows;  // main thread; the first is the frame

// The accelerated presentation on one window: an SDL renderer (GPU when
// the system has one, else SDL's software renderer) with one streaming
// texture, drawn scaled with linear filtering and without waiting for the
// vertical retrace.
class SdlRenderer final : public ScreenRenderer {
 public:
  SdlRenderer(SDL_Renderer* r, int w, int h, bool software, SdlRenderer** owner_slot)
      : r_(r), w_(w), h_(h), software_(software), owner_slot_(owner_slot) {
    *owner_slot_ = this;
  }
  ~SdlRenderer() override {
    *owner_slot_ = nullptr;
    if (t_) SDL_DestroyTexture(t_);
    SDL_DestroyRenderer(r_);
  }

  // The texture, black; false when it cannot be made.
  bool make_texture() {
    if (t_) SDL_DestroyTexture(t_);
    t_ = SDL_CreateTexture(r_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, w_, h_);
    if (!t_) return false;
    SDL_SetTextureScaleMode(t_, SDL_ScaleModeLinear);
    std::vector<uint32_t> black(static_cast<size_t>(w_), 0);
    for (int y = 0; y < h_; ++y) {
      const SDL_Rect row{0, y, w_, 1};
      SDL_UpdateTexture(t_, &row, black.data(), w_ * 4);
    }
    return true;
  }

  void update(int x, int y, int w, int h, const uint32_t* texels, int pitch) override {
    if (!t_ || w <= 0 || h <= 0) return;
    const SDL_Rect r{x, y, w, h};
    SDL_UpdateTexture(t_, &r, texels, pitch * 4);
  }
  void draw(int x, int y, int w, int h) override {
    SDL_SetRenderDrawColor(r_, 0, 0, 0, 255);
    SDL_RenderClear(r_);
    if (t_) {
      const SDL_Rect to{x, y, w, h};
      SDL_RenderCopy(r_, t_, nullptr, &to);
    }
    SDL_RenderPresent(r_);
  }
  bool restore() override { return make_texture(); }
  const char* kind() const override { return software_ ? "software" : "gpu"; }

  // Black, shown.
  void clear() {
    SDL_SetRenderDrawColor(r_, 0, 0, 0, 255);
    SDL_RenderClear(r_);
    SDL_RenderPresent(r_);
  }
  bool read(std::vector<uint32_t>& xrgb, WindowSize& size) {
    if (SDL_GetRendererOutputSize(r_, &size.w, &size.h) != 0 || size.w <= 0 || size.h <= 0) return false;
    xrgb.resize(static_cast<size_t>(size.w) * size.h);
    if (SDL_RenderReadPixels(r_, nullptr, SDL_PIXELFORMAT_RGB888, xrgb.data(), size.w * 4) != 0) return false;
    for (uint32_t& v : xrgb) v &= 0xFFFFFF;
    return true;
  }

 private:
  SDL_Renderer* r_;
  SDL_Texture* t_ = nullptr;
  int w_, h_;
  bool software_;
  SdlRenderer** owner_slot_;
};

// The program's focus as last reported; it starts out focused, and nothing
// changes until the window system (or a replay) tells of the focus at all
// (without a window manager it may never do). Once an input-events file has
// changed the focus, it alone decides it, so that replays do not depend on
// what the window system does with the focus meanwhile.
bool g_app_focused = true;
bool g_focus_told = false;
std::optional<bool> g_injected_focus;

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
    if (g_questions_from_input) {
      g_question_open = true;
      return;
    }
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
    if (renderer_) return renderer_->clear();
    if (SDL_Surface* s = SDL_GetWindowSurface(w_)) {
      SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 0, 0, 0));
      SDL_UpdateWindowSurface(w_);
    }
  }
  void present_pixels(const uint32_t* xrgb, int w, int h, int x, int y) override {
    if (renderer_) return;
    SDL_Surface* dst = SDL_GetWindowSurface(w_);
    SDL_Surface* src = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(xrgb), w, h, 32, w * 4,
                                                          SDL_PIXELFORMAT_RGB888);
    if (dst && src) {
      // Black around the picture, as an unscaled view in a larger client.
      if (x > 0 || y > 0 || w < dst->w || h < dst->h) SDL_FillRect(dst, nullptr, SDL_MapRGB(dst->format, 0, 0, 0));
      SDL_Rect at{x, y, w, h};
      SDL_BlitSurface(src, nullptr, dst, &at);
      SDL_UpdateWindowSurface(w_);
    }
    SDL_FreeSurface(src);
  }
  std::unique_ptr<ScreenRenderer> create_renderer(int w, int h, RendererFailure* failure) override {
    *failure = RendererFailure::renderer;
    if (renderer_) return nullptr;
    bool software = false;
    SDL_Renderer* r = SDL_CreateRenderer(w_, -1, SDL_RENDERER_ACCELERATED);
    if (!r) {
      software = true;
      r = SDL_CreateRenderer(w_, -1, SDL_RENDERER_SOFTWARE);
    }
    if (!r) return nullptr;
    SDL_RendererInfo info{};
    if (!software && SDL_GetRendererInfo(r, &info) == 0) software = (info.flags & SDL_RENDERER_SOFTWARE) != 0;
    auto renderer = std::make_unique<SdlRenderer>(r, w, h, software, &renderer_);
    if (!renderer->make_texture()) {
      *failure = RendererFailure::texture;
      return nullptr;
    }
    *failure = RendererFailure::none;
    renderer->clear();
    return renderer;
  }
  bool read_pixels(std::vector<uint32_t>& xrgb, WindowSize& size) override {
    if (renderer_) return renderer_->read(xrgb, size);
    SDL_Surface* s = SDL_GetWindowSurface(w_);
    SDL_Surface* c = s ? SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_RGB888, 0) : nullptr;
    if (!c) return false;
    size = {c->w, c->h};
    xrgb.resize(static_cast<size_t>(c->w) * c->h);
    SDL_LockSurface(c);
    for (int y = 0; y < c->h; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(c->pixels) + y * c->pitch);
      for (int x = 0; x < c->w; ++x) xrgb[static_cast<size_t>(y) * c->w + x] = row[x] & 0xFFFFFF;
    }
    SDL_UnlockSurface(c);
    SDL_FreeSurface(c);
    return true;
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
  void show_cursor(bool visible) override {
    SDL_SetCursor(SDL_GetDefaultCursor());
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
  }
  void confine_mouse(int x, int y, int w, int h) override {
    confined_ = w > 0 && h > 0;
    confine_ = SDL_Rect{x, y, w, h};
    SDL_SetWindowMouseRect(w_, confined_ ? &confine_ : nullptr);
  }
  void warp_mouse(int x, int y) override { SDL_WarpMouseInWindow(w_, x, y); }

  // Where a replayed pointer may go: a user's pointer stays inside the
  // confining rectangle.
  void confine_point(int* x, int* y) const {
    if (!confined_) return;
    *x = std::clamp(*x, confine_.x, confine_.x + confine_.w - 1);
    *y = std::clamp(*y, confine_.y, confine_.y + confine_.h - 1);
  }

  SDL_Window* sdl() const { return w_; }
  bool focused = false;

 private:
  SDL_Window* w_;
  SdlRenderer* renderer_ = nullptr;  // owned by whoever created it
  bool confined_ = false;
  SDL_Rect confine_{};
  std::thread asker_;
  std::shared_ptr<std::atomic<bool>> asked_ = std::make_shared<std::atomic<bool>>(true);
};

SdlWindow* find(uint32_t id) {
  for (SdlWindow* w : g_windows)
    if (SDL_GetWindowID(w->sdl()) == id) return w;
  return nullptr;
}

void dispatch_window_event(WindowEvents& ev, const SDL_WindowEvent& we) {
  SdlWindow* w = find(we.windowID);
  if (!w) return;
  const bool frame = w == g_windows.front();
  switch (we.event) {
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      w->focused = g_focus_told = true;
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      w->focused = false;
      g_focus_told = true;
      break;
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
  switch (b) {
    case SDL_BUTTON_RIGHT: return MouseButton::Right;
    case SDL_BUTTON_MIDDLE: return MouseButton::Middle;
    case SDL_BUTTON_X1: return MouseButton::Fourth;
    default: return MouseButton::Left;
  }
}

void key(WindowEvents& ev, const SDL_KeyboardEvent& k) {
  const bool in_debug = !g_windows.empty() && find(k.windowID) != nullptr && find(k.windowID) != g_windows.front();
  if (!in_debug && k.repeat == 0) ev.on_key(k.keysym.scancode, k.type == SDL_KEYDOWN);
  const std::string name = SDL_GetKeyName(k.keysym.sym);
  switch (shortcut_of(name, k.type == SDL_KEYDOWN, (k.keysym.mod & KMOD_ALT) != 0, k.repeat != 0, in_debug)) {
    case Shortcut::ToggleDebug: ev.on_toggle_debug(); break;
    case Shortcut::ToggleFullscreen: ev.on_toggle_fullscreen(); break;
    case Shortcut::DebugAccessKey:
      ev.on_debug_access_key(static_cast<char>(std::toupper(static_cast<unsigned char>(name[0]))));
      break;
    case Shortcut::None: break;
  }
}

void dispatch(WindowEvents& ev, const SDL_Event& e) {
  if (e.type == wake_event_type()) {
    const bool yes = e.user.data1 != nullptr;
    switch (e.user.code) {
      case kAnswer: ev.on_question_answered(yes); break;
      case kFocus:
        g_injected_focus = yes;
        g_focus_told = true;
        break;
      case kInjectedAnswer:
        if (g_question_open) {
          g_question_open = false;
          ev.on_question_answered(yes);
        }
        break;
      default: ev.on_wake(); break;
    }
    return;
  }
  switch (e.type) {
    case SDL_QUIT: ev.on_close_request(); break;
    case SDL_WINDOWEVENT: dispatch_window_event(ev, e.window); break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: key(ev, e.key); break;
    case SDL_MOUSEMOTION:
      if (g_questions_from_input && e.motion.which != kReplayMouse) break;
      if (!g_windows.empty() && find(e.motion.windowID) == g_windows.front())
        ev.on_mouse_move(e.motion.x, e.motion.y, e.motion.xrel, e.motion.yrel);
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      if (e.button.button > SDL_BUTTON_X1 || g_windows.empty()) break;
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
    case SDL_RENDER_TARGETS_RESET:
    case SDL_RENDER_DEVICE_RESET: ev.on_render_reset(); break;
    default: break;
  }
}

void push_window_event(uint8_t event) {
  if (g_windows.empty()) return;
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.windowID = SDL_GetWindowID(g_windows.front()->sdl());
  e.window.event = event;
  SDL_PushEvent(&e);
}

void push_text(const std::string& utf8) {
  // SDL carries at most 31 bytes per text event: split between characters.
  size_t at = 0;
  while (at < utf8.size()) {
    size_t end = std::min(utf8.size(), at + SDL_TEXTINPUTEVENT_TEXT_SIZE - 1);
    while (end < utf8.size() && end > at && (static_cast<uint8_t>(utf8[end]) & 0xC0) == 0x80) --end;
    if (end == at) end = std::min(utf8.size(), at + 1);
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    e.text.windowID = SDL_GetWindowID(g_windows.front()->sdl());
    utf8.copy(e.text.text, end - at, at);
    SDL_PushEvent(&e);
    at = end;
  }
}

uint8_t sdl_button(MouseButton b) {
  switch (b) {
    case MouseButton::Right: return SDL_BUTTON_RIGHT;
    case MouseButton::Middle: return SDL_BUTTON_MIDDLE;
    case MouseButton::Fourth: return SDL_BUTTON_X1;
    default: return SDL_BUTTON_LEFT;
  }
}

void sdl_inject(const UserEvent& u) {
  using K = UserEvent::Kind;
  if (g_windows.empty()) return;
  const uint32_t id = SDL_GetWindowID(g_windows.front()->sdl());
  SDL_Event e{};
  switch (u.kind) {
    case K::KeyDown:
    case K::KeyUp:
      e.type = u.kind == K::KeyDown ? SDL_KEYDOWN : SDL_KEYUP;
      e.key.windowID = id;
      e.key.state = u.kind == K::KeyDown ? SDL_PRESSED : SDL_RELEASED;
      e.key.keysym.scancode = static_cast<SDL_Scancode>(std::max(0, u.scancode >= 0 ? u.scancode : key_scancode(u.key)));
      e.key.keysym.sym = SDL_GetKeyFromName(u.key.c_str());
      if (e.key.keysym.sym == SDLK_UNKNOWN) e.key.keysym.sym = SDL_GetKeyFromScancode(e.key.keysym.scancode);
      e.key.keysym.mod = static_cast<uint16_t>((u.alt ? KMOD_LALT : 0) | (u.ctrl ? KMOD_LCTRL : 0) |
                                               (u.shift ? KMOD_LSHIFT : 0));
      break;
    case K::Move: {
      int x = u.x, y = u.y;
      g_windows.front()->confine_point(&x, &y);
      e.type = SDL_MOUSEMOTION;
      e.motion.which = kReplayMouse;
      e.motion.windowID = id;
      e.motion.x = x;
      e.motion.y = y;
      e.motion.xrel = x - g_last_x;
      e.motion.yrel = y - g_last_y;
      g_last_x = x;
      g_last_y = y;
      break;
    }
    case K::ButtonDown:
    case K::ButtonUp:
      e.type = u.kind == K::ButtonDown ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
      e.button.windowID = id;
      e.button.button = sdl_button(u.button);
      e.button.state = u.kind == K::ButtonDown ? SDL_PRESSED : SDL_RELEASED;
      e.button.clicks = u.double_click ? 2 : 1;
      e.button.x = g_last_x;
      e.button.y = g_last_y;
      break;
    case K::Wheel:
      e.type = SDL_MOUSEWHEEL;
      e.wheel.windowID = id;
      e.wheel.y = u.notches;
      e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
      break;
    case K::Text: push_text(u.text); return;
    case K::Focus:
      e.type = wake_event_type();
      e.user.code = kFocus;
      e.user.data1 = reinterpret_cast<void*>(static_cast<intptr_t>(u.yes));
      break;
    case K::Close: push_window_event(SDL_WINDOWEVENT_CLOSE); return;
    case K::Answer:
      e.type = wake_event_type();
      e.user.code = kInjectedAnswer;
      e.user.data1 = reinterpret_cast<void*>(static_cast<intptr_t>(u.yes));
      break;
    case K::PadPlug:
    case K::PadUnplug:
    case K::PadAxis:
    case K::PadButton: joystick_inject(u); return;
  }
  SDL_PushEvent(&e);
}

WindowSize sdl_screen_size() {
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return {};
  return {mode.w, mode.h};
}

std::vector<WindowSize> sdl_display_modes() {
  std::vector<WindowSize> modes;
  const int count = SDL_GetNumDisplayModes(0);
  for (int i = 0; i < count; ++i) {
    SDL_DisplayMode mode;
    if (SDL_GetDisplayMode(0, i, &mode) == 0) modes.push_back({mode.w, mode.h});
  }
  return modes;
}

std::unique_ptr<Window> sdl_create(const WindowSpec& spec) {
  wake_event_type();
  if (g_windows.empty()) {
    // A new frame: nothing asked, no focus reported or replayed yet.
    g_question_open = false;
    g_app_focused = true;
    g_focus_told = false;
    g_injected_focus.reset();
  }
  Uint32 flags = spec.hidden ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN;
  if (spec.resizable) flags |= SDL_WINDOW_RESIZABLE;
  SDL_Window* w = SDL_CreateWindow(spec.title_utf8.c_str(), spec.x, spec.y, spec.w, spec.h, flags);
  if (!w) return nullptr;
  if (!g_owner) g_owner = w;
  return std::make_unique<SdlWindow>(w);
}

void sdl_pump(WindowEvents& events, int timeout_ms) {
  SDL_Event e;
  if (SDL_WaitEventTimeout(&e, std::max(0, timeout_ms)) != 0) {
    do dispatch(events, e);
    while (SDL_PollEvent(&e));
  }
  // The application's focus: any of its windows focused. Settled after the
  // batch so that moving between the frame and the debug window is no change.
  bool focused = false;
  for (SdlWindow* w : g_windows) focused = focused || w->focused;
  if (g_injected_focus) focused = *g_injected_focus;
  if (g_focus_told && focused != g_app_focused) {
    g_app_focused = focused;
    events.on_focus(focused);
  }
}

void sdl_wake() {
  SDL_Event e{};
  e.type = wake_event_type();
  e.user.code = kWake;
  SDL_PushEvent(&e);
}

}  // namespace

const WindowBackend kSdlWindowBackend{sdl_screen_size, sdl_display_modes, sdl_create, sdl_pump, sdl_wake, sdl_inject};

WindowSize window_border() { return {}; }

void window_questions_from_input() { g_questions_from_input = true; }

std::string key_name(const std::string& name) {
  const SDL_Keycode k = SDL_GetKeyFromName(name.c_str());
  if (k != SDLK_UNKNOWN) return SDL_GetKeyName(k);
  // Keys SDL has no key name for (the Japanese ones): the table's name.
  const int scancode = key_scancode(name);
  if (scancode < 0) return {};
  const KeyCode* code = key_code(scancode);
  if (code && code->name) return code->name;
  const char* scancode_name = SDL_GetScancodeName(static_cast<SDL_Scancode>(scancode));
  return scancode_name && *scancode_name ? scancode_name : std::string();
}

void cursor_set_arrow() {
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_SetCursor(SDL_GetDefaultCursor());
}

}  // namespace zelt::platform
