#include "shell/frame.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "core/app.h"
#include "core/close_request.h"
#include "core/config.h"
#include "core/cp932.h"
#include "core/messages.h"
#include "core/script_messages.h"
#include "files/bmp_file.h"
#include "input/input_devices.h"
#include "input/input_events.h"
#include "input/pointer.h"
#include "input/input_state.h"
#include "input/script_clock.h"
#include "platform/display.h"
#include "platform/signals.h"
#include "script/host/host.h"
#include "script/vm/interpreter.h"
#include "shell/debug_window.h"
#include "shell/presenter.h"
#include "shell/single_instance.h"
#include "shell/startup.h"
#include "shell/subsystem_list.h"
#include "zelt_plugin.h"

namespace zelt {
namespace {

std::unique_ptr<platform::Window> g_window;
std::unique_ptr<platform::Window> g_debug_window;
std::unique_ptr<FrameLogic> g_frame;

// A second instance's raise request is a signal flag; the loop looks at it
// at least this often.
constexpr int kPollMs = 250;

int to_input(platform::MouseButton b) {
  switch (b) {
    case platform::MouseButton::Right: return input::kRight;
    case platform::MouseButton::Middle: return input::kMiddle;
    case platform::MouseButton::Fourth: return 3;
    default: return input::kLeft;
  }
}

int32_t fullscreen_handler(intptr_t w, intptr_t) { return frame_set_fullscreen(w != 0) ? 1 : 0; }

int32_t runtime_info_handler(intptr_t w, intptr_t) {
  if (w != 0) frame_runtime_info(reinterpret_cast<ZeltRuntimeInfo*>(w));
  return 0;
}

// The client sizes a user may drag a resizable frame to; in full screen
// the whole desktop, since window managers keep a full-screen window within
// the limits too.
void apply_size_limits(platform::Window& window, bool fullscreen) {
  const platform::WindowSize screen = platform::screen_size();
  if (fullscreen) {
    window.set_size_limits({1, 1}, screen);
    return;
  }
  const platform::WindowSize border = platform::window_border();
  const FrameLimits l = frame_tracking_limits(config(), {screen.w, screen.h}, {border.w, border.h});
  window.set_size_limits({l.min.w - border.w, l.min.h - border.h}, {l.max.w - border.w, l.max.h - border.h});
}

}  // namespace

void frame_messages_register() {
  script_message_register(ScriptMsg::setsystem_fullscreen, fullscreen_handler);
  script_message_register(ScriptMsg::runtime_info, runtime_info_handler);
}

FrameShared& frame_shared() {
  static FrameShared shared;
  return shared;
}

void app_pause() { subsystems_pause_all(runtime_subsystems()); }
void app_resume() { subsystems_resume_all(runtime_subsystems()); }

FrameLogic::FrameLogic(platform::Window& frame, platform::Window* debug, FrameSize client)
    : frame_(frame), debug_(debug), client_(client) {}

bool FrameLogic::set_fullscreen(bool on) {
  AppState& a = app();
  if (a.fullscreen == on) return true;
  const Config& c = config();
  bool ok;
  if (c.Direct3D) {
    const bool resizable = c.Resize != 0;
    if (resizable && on) apply_size_limits(frame_, true);
    ok = frame_.set_fullscreen(on, false, c.Width, c.Height);
    if (resizable && (on ? !ok : ok)) apply_size_limits(frame_, false);
  } else {
    // The smallest display mode that holds the screen; none: no full screen.
    const platform::WindowSize mode = fullscreen_mode(platform::display_modes(), c.Width, c.Height);
    if (on && mode.w == 0) return false;
    // The exclusive display-mode switch pauses everything around it.
    app_pause();
    ok = frame_.set_fullscreen(on, true, mode.w, mode.h);
    app_resume();
  }
  if (!ok) return false;
  a.fullscreen = on;
  expected_.reset();
  corrected_from_.reset();
  if (on) {
    window_client_ = client_;
    fullscreen_size_.reset();
    leaving_fullscreen_ = false;
  } else {
    // Back to the window's own size; size reports from full screen that
    // are still on their way are not taken for a user's resize.
    leaving_fullscreen_ = true;
    frame_.set_client_size(window_client_.w, window_client_.h);
  }
  return true;
}

void FrameLogic::on_close_request() {
  if (closing_) return;
  closing_ = true;
  if (config().Confirmation) {
    frame_shared().focus.store(0);
    frame_.ask_ok_cancel(cp932::to_utf8(msg_text(Msg::CloseCaption)),
                         cp932::to_utf8(msg_text(Msg::CloseQuestion)));
    return;
  }
  finish_close();
}

void FrameLogic::on_question_answered(bool ok) {
  if (!closing_ || closed_) return;
  frame_shared().focus.store(1);
  // An exit that arrived while the question was open still closes.
  if (!ok && !exit_pending_) {
    closing_ = false;
    return;
  }
  finish_close();
}

void FrameLogic::finish_close() {
  closing_ = true;
  closed_ = true;
}

void FrameLogic::on_moved(int x, int y) {
  if (app().fullscreen) return;
  config().WindowLeft = x;
  config().WindowTop = y;
}

void FrameLogic::on_resized(int w, int h) {
  const FrameSize n{w, h};
  if (w <= 0 || h <= 0) return;
  if (app().fullscreen) {
    client_ = fullscreen_size_.emplace(n);
    presenter_resized();
    return;
  }
  if (leaving_fullscreen_) {
    if (fullscreen_size_ && *fullscreen_size_ == n) return;
    leaving_fullscreen_ = false;
    client_ = window_client_;
  }
  if (expected_ && *expected_ == n) {
    // The answer to this frame's own correction: taken as it is.
    expected_.reset();
    client_ = n;
  } else {
    const FrameSize old = client_;
    client_ = n;
    // A size the window system keeps forcing after a correction (or one
    // that did not change) is taken as it is, so that the two never bounce
    // sizes back and forth.
    const bool bounced = (corrected_from_ && *corrected_from_ == n) || n == old;
    const FrameSize c = bounced ? n : frame_aspect_correct(config(), old, n);
    corrected_from_.reset();
    client_ = c;
    if (!(c == n)) {
      corrected_from_ = n;
      expected_ = c;
      frame_.set_client_size(c.w, c.h);
    }
  }
  config().WindowWidth = client_.w;
  config().WindowHeight = client_.h;
  presenter_resized();
}

void FrameLogic::on_focus(bool gained) {
  FrameShared& s = frame_shared();
  const int32_t active = gained ? 1 : 0;
  if (!config().GlobalFocus && active != s.active.load()) {
    if (active) app_resume();
    else app_pause();
    s.active.store(active);
    script_host_set_active(active != 0);
  }
  s.focus.store(active);
  if (gained) input::input_acquire();
  else input::input_unacquire();
}

void FrameLogic::on_toggle_debug() {
  if (!debug_) return;
  debug_->show(!debug_->shown());
  debug_window_refresh(true);
}

void FrameLogic::on_debug_click(int x, int y) { debug_window_click(x, y); }
void FrameLogic::on_debug_access_key(char letter) { debug_window_access_key(letter); }
void FrameLogic::on_debug_wheel(int dx, int dy) { debug_window_wheel(dx, dy); }
void FrameLogic::on_debug_expose() { debug_window_refresh(true); }

void FrameLogic::on_toggle_fullscreen() { set_fullscreen(!app().fullscreen); }

void FrameLogic::on_button(platform::MouseButton b, bool down, bool double_click) {
  const int button = to_input(b);
  input::input_mouse_button(button, down);
  if (button >= input::kButtons) return;  // the fourth button: only the mouse device sees it
  const bool held = input::input_state().captured.load();
  if (down) input::input_button_down(static_cast<input::Button>(button), double_click);
  else input::input_button_up(static_cast<input::Button>(button));
  const bool now = input::input_state().captured.load();
  if (now != held) frame_.capture_mouse(now);
}

void FrameLogic::on_wheel(int32_t delta) {
  input::input_wheel(delta);
  input::input_mouse_wheel(delta);
}

void FrameLogic::on_key(int scancode, bool down) { input::input_key(scancode, down); }

void FrameLogic::on_mouse_move(int x, int y, int dx, int dy) { input::input_mouse_moved(x, y, dx, dy); }

// What script threads asked of the cursor: its shape, its confinement and
// its position.
void FrameLogic::apply_cursor_requests() {
  const input::CursorRequests r = input::cursor_take_requests();
  if (r.visible) frame_.show_cursor(*r.visible);
  if (r.clip) frame_.confine_mouse(r.clip->x, r.clip->y, r.clip->w, r.clip->h);
  if (r.position) frame_.warp_mouse(r.position->first, r.position->second);
}

void FrameLogic::on_text(std::string_view utf8) { input::input_chars(cp932::from_utf8(utf8)); }

void FrameLogic::on_expose() { presenter_show(true); }
void FrameLogic::on_render_reset() { presenter_render_reset(); }

void FrameLogic::on_wake() {
  script_messages_process();
  apply_cursor_requests();
  presenter_show(false);
  debug_window_refresh(false);
  if (single_instance_take_raise_request()) frame_.raise();
  if (close_requested()) {
    // exit or a fault: no question. While one is open, close once it is answered.
    clear_close_request();
    if (closing_) exit_pending_ = true;
    else finish_close();
  }
}

FrameLogic* frame_logic() { return g_frame.get(); }
platform::Window* frame_window() { return g_window.get(); }
platform::Window* frame_debug_window() { return g_debug_window.get(); }

bool frame_create() {
  Config& c = config();
  const platform::WindowSize screen = platform::screen_size();
  const platform::WindowSize border = platform::window_border();
  const FramePlacement p = frame_placement(c, {screen.w, screen.h}, {border.w, border.h});
  platform::WindowSpec spec;
  spec.title_utf8 = cp932::to_utf8(c.Title);
  spec.x = p.x;
  spec.y = p.y;
  spec.w = p.client_w;
  spec.h = p.client_h;
  spec.resizable = c.Direct3D && c.Resize;
  g_window = platform::window_create(spec);
  if (!g_window) return false;
  frame_messages_register();
  if (spec.resizable) apply_size_limits(*g_window, false);
  if (c.DebugMode && !platform::headless()) g_debug_window = debug_window_create();
  g_frame = std::make_unique<FrameLogic>(*g_window, g_debug_window.get(),
                                         FrameSize{p.client_w, p.client_h});
  frame_shared().active.store(1);
  frame_shared().focus.store(1);
  input::input_state_reset();
  input::script_clock_reset();
  set_main_loop_waker(platform::window_wake);
  // The accelerated path draws through a renderer made at start-up; a
  // window surface made before it would stand in its way.
  if (!c.Direct3D) g_window->paint_black();
  return true;
}

bool frame_set_fullscreen(bool on) {
  if (g_frame) return g_frame->set_fullscreen(on);
  app().fullscreen = on;
  return true;
}

FrameRunEnd frame_run(const FrameRunOptions& options) {
  using Clock = std::chrono::steady_clock;
  FrameLogic& f = *g_frame;
  input::InputEventPlayer* replay = options.replay;
  const bool headless = platform::headless();
  FrameRunEnd end;
  // The entry script starts once the window is up and has handled what is
  // already queued; a script that does not compile leaves the window open.
  platform::window_pump(f, 0);
  if (replay) {
    platform::window_questions_from_input();
    replay->start(Clock::now());
  }
  script_start_entry();
  while (!f.closed()) {
    if (headless && script_threads_running() == 0) break;
    if ((end.signal = platform::termination_signal()) != 0) break;
    const Clock::time_point now = Clock::now();
    if (now >= options.until) {
      end.time_up = true;
      break;
    }
    if (replay) replay->inject_due(now);
    const Clock::time_point wake_at = std::min({options.until, now + std::chrono::milliseconds(kPollMs),
                                                replay ? replay->next_due() : Clock::time_point::max()});
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(wake_at - now).count();
    platform::window_pump(f, static_cast<int>(std::max<long long>(0, left)));
    f.on_wake();
  }
  if (!options.screenshot.empty()) presenter_screenshot(options.screenshot, &end.screenshot_error);
  if (!subsystems_stop()) {
    end.stuck = true;
    return end;
  }
  set_main_loop_waker(nullptr);
  g_frame.reset();
  debug_window_destroy();
  g_debug_window.reset();
  g_window.reset();
  return end;
}

void frame_runtime_info(ZeltRuntimeInfo* info) {
  const Config& c = config();
  info->stop_flag = reinterpret_cast<const volatile int32_t*>(&stop_all);
  info->active = reinterpret_cast<const volatile int32_t*>(&frame_shared().active);
  info->instance = nullptr;
  info->frame_window = g_window.get();
  info->width = c.Width;
  info->height = c.Height;
  info->depth = c.Depth;
}

}  // namespace zelt

extern "C" int32_t zelt_runtime_info(ZeltRuntimeInfo* info) {
  if (!info) return 0;
  return zelt::script_message_send(zelt::ScriptMsg::runtime_info, reinterpret_cast<intptr_t>(info), 0);
}
