// The headless window backend: windows that keep their size, position and
// pixels, and an event queue that injected user actions and the windows' own
// changes go through.
#include "platform/backends.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <utility>

#include "platform/joystick.h"
#include "platform/key_codes.h"
#include "platform/shortcuts.h"

namespace zelt::platform {
namespace headless_window {
namespace {

using Action = std::function<void(WindowEvents&)>;

// The queue of what the next pump reports. Actions are queued on the main
// thread; wake() may come from any thread.
std::mutex g_mutex;
std::condition_variable g_cv;
std::deque<Action> g_queue;
bool g_woken = false;

class HeadlessWindow;
std::vector<HeadlessWindow*> g_windows;  // main thread; the first is the frame
bool g_focused = true;                    // the program has the focus
bool g_question_open = false;
int g_pointer_x = 0, g_pointer_y = 0;     // the replayed pointer in the frame's client area
struct Confine {
  int x = 0, y = 0, w = 0, h = 0;         // w or h <= 0: not confined
} g_confine;

void move_pointer(WindowEvents& ev, int x, int y);

void post(Action a) {
  std::lock_guard lock(g_mutex);
  g_queue.push_back(std::move(a));
  g_cv.notify_one();
}

class HeadlessWindow final : public Window {
 public:
  explicit HeadlessWindow(const WindowSpec& spec)
      : client_{spec.w, spec.h}, x_(spec.x), y_(spec.y), shown_(!spec.hidden) {
    g_windows.push_back(this);
    pixels_.assign(static_cast<size_t>(std::max(0, spec.w)) * std::max(0, spec.h), 0);
  }
  ~HeadlessWindow() override {
    g_windows.erase(std::find(g_windows.begin(), g_windows.end(), this));
    if (g_windows.empty()) {
      g_question_open = false;
      std::lock_guard lock(g_mutex);
      g_queue.clear();
    }
  }

  WindowSize client_size() override { return client_; }
  void set_client_size(int w, int h) override {
    if (fullscreen_) {
      windowed_ = {w, h};
      return;
    }
    resize({std::clamp(w, min_.w, max_.w), std::clamp(h, min_.h, max_.h)});
  }
  void position(int* x, int* y) override {
    *x = x_;
    *y = y_;
  }
  void set_size_limits(WindowSize min, WindowSize max) override {
    min_ = {std::max(1, min.w), std::max(1, min.h)};
    max_ = {std::max(min_.w, max.w), std::max(min_.h, max.h)};
  }
  bool set_fullscreen(bool on, bool exclusive, int w, int h) override {
    if (on == fullscreen_) return true;
    fullscreen_ = on;
    if (on) {
      windowed_ = client_;
      resize(exclusive ? WindowSize{w, h} : kHeadlessScreen);
    } else {
      resize(windowed_);
    }
    return true;
  }
  void raise() override { shown_ = true; }
  void capture_mouse(bool) override {}
  void ask_ok_cancel(const std::string&, const std::string&) override { g_question_open = true; }
  void paint_black() override { std::fill(pixels_.begin(), pixels_.end(), 0); }
  void present_pixels(const uint32_t* xrgb, int w, int h, int x, int y) override {
    // Drawn at (x, y) on black, clipped to the client area, as a real window does.
    if (x > 0 || y > 0 || w < client_.w || h < client_.h) std::fill(pixels_.begin(), pixels_.end(), 0);
    for (int row = std::max(0, -y); row < h && row + y < client_.h; ++row)
      for (int col = std::max(0, -x); col < w && col + x < client_.w; ++col)
        pixels_[static_cast<size_t>(row + y) * client_.w + col + x] = xrgb[static_cast<size_t>(row) * w + col];
  }
  // Headless runs keep the screen texture alone: no renderer.
  std::unique_ptr<ScreenRenderer> create_renderer(int, int, RendererFailure* failure) override {
    *failure = RendererFailure::renderer;
    return nullptr;
  }
  bool read_pixels(std::vector<uint32_t>& xrgb, WindowSize& size) override {
    xrgb = pixels_;
    size = client_;
    return true;
  }
  void show(bool visible) override { shown_ = visible; }
  bool shown() override { return shown_; }
  void show_cursor(bool) override {}
  void confine_mouse(int x, int y, int w, int h) override { g_confine = {x, y, w, h}; }
  // Moves the pointer as the window system does: reported as a move.
  void warp_mouse(int x, int y) override {
    post([x, y](WindowEvents& ev) { move_pointer(ev, x, y); });
  }

 private:
  // A new client size, reported by the next pump as the window system would.
  void resize(WindowSize s) {
    if (s.w == client_.w && s.h == client_.h) return;
    std::vector<uint32_t> old = std::exchange(pixels_, std::vector<uint32_t>(static_cast<size_t>(s.w) * s.h, 0));
    for (int y = 0; y < std::min(s.h, client_.h); ++y)
      std::copy_n(old.begin() + static_cast<ptrdiff_t>(y) * client_.w, std::min(s.w, client_.w),
                  pixels_.begin() + static_cast<ptrdiff_t>(y) * s.w);
    client_ = s;
    post([self = this, s](WindowEvents& ev) {
      if (!g_windows.empty() && g_windows.front() == self) ev.on_resized(s.w, s.h);
    });
  }

  WindowSize client_;
  WindowSize windowed_;
  WindowSize min_{1, 1}, max_{1 << 15, 1 << 15};
  int x_, y_;
  bool shown_;
  bool fullscreen_ = false;
  std::vector<uint32_t> pixels_;
};

void move_pointer(WindowEvents& ev, int x, int y) {
  if (g_confine.w > 0 && g_confine.h > 0) {
    x = std::clamp(x, g_confine.x, g_confine.x + g_confine.w - 1);
    y = std::clamp(y, g_confine.y, g_confine.y + g_confine.h - 1);
  }
  const int dx = x - g_pointer_x, dy = y - g_pointer_y;
  g_pointer_x = x;
  g_pointer_y = y;
  ev.on_mouse_move(x, y, dx, dy);
}

void deliver(WindowEvents& ev, const UserEvent& e) {
  using K = UserEvent::Kind;
  switch (e.kind) {
    case K::KeyDown:
    case K::KeyUp: {
      const bool down = e.kind == K::KeyDown;
      const int scancode = e.scancode >= 0 ? e.scancode : key_scancode(e.key);
      if (scancode >= 0) ev.on_key(scancode, down);
      switch (shortcut_of(e.key, down, e.alt, false, false)) {
        case Shortcut::ToggleDebug: ev.on_toggle_debug(); break;
        case Shortcut::ToggleFullscreen: ev.on_toggle_fullscreen(); break;
        default: break;
      }
      break;
    }
    case K::Move: move_pointer(ev, e.x, e.y); break;
    case K::ButtonDown:
    case K::ButtonUp: ev.on_button(e.button, e.kind == K::ButtonDown, e.double_click); break;
    case K::Wheel:
      if (e.notches != 0) ev.on_wheel(e.notches * 120);
      break;
    case K::Text: ev.on_text(e.text); break;
    case K::Focus:
      if (e.yes != g_focused) {
        g_focused = e.yes;
        ev.on_focus(e.yes);
      }
      break;
    case K::Close: ev.on_close_request(); break;
    case K::Answer:
      if (g_question_open) {
        g_question_open = false;
        ev.on_question_answered(e.yes);
      }
      break;
    case K::PadPlug:
    case K::PadUnplug:
    case K::PadAxis:
    case K::PadButton: joystick_inject(e); break;
  }
}

std::unique_ptr<Window> create(const WindowSpec& spec) {
  if (g_windows.empty()) {
    g_focused = true;
    g_question_open = false;
    g_pointer_x = g_pointer_y = 0;
    g_confine = {};
  }
  return std::make_unique<HeadlessWindow>(spec);
}

void pump(WindowEvents& events, int timeout_ms) {
  std::deque<Action> batch;
  bool woken;
  {
    std::unique_lock lock(g_mutex);
    g_cv.wait_for(lock, std::chrono::milliseconds(std::max(0, timeout_ms)),
                  [] { return g_woken || !g_queue.empty(); });
    woken = std::exchange(g_woken, false);
    batch.swap(g_queue);
  }
  for (Action& a : batch) a(events);
  if (woken) events.on_wake();
}

void wake() {
  std::lock_guard lock(g_mutex);
  g_woken = true;
  g_cv.notify_one();
}

void inject(const UserEvent& e) {
  post([e](WindowEvents& ev) { deliver(ev, e); });
}

}  // namespace
}  // namespace headless_window

const WindowBackend kHeadlessWindowBackend{
    [] { return kHeadlessScreen; },
    [] { return std::vector<WindowSize>{kHeadlessScreen}; },
    headless_window::create,
    headless_window::pump,
    headless_window::wake,
    headless_window::inject,
};

}  // namespace zelt::platform
