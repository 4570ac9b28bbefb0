// The frame window: the program's one top-level window. FrameLogic holds
// its rules (sizing with a fixed aspect ratio, full screen, focus, the close
// confirmation, mouse and character input) against the platform's Window
// interface; the free functions below run the real one.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "input/input_state.h"
#include "platform/window.h"
#include "shell/frame_logic.h"

struct ZeltRuntimeInfo;

namespace zelt::input {
class InputEventPlayer;
}

namespace zelt {

// Values script threads read without a lock.
struct FrameShared {
  std::atomic<int32_t> active{1};  // the activation state last acted upon
  std::atomic<int32_t>& focus = input::input_state().focus;  // the program has the focus (input built-ins)
};
FrameShared& frame_shared();

// Pause and resume everything that runs in real time (losing the focus,
// the unscaled full-screen switch). Pauses nest.
void app_pause();
void app_resume();

class FrameLogic final : public platform::WindowEvents {
 public:
  // debug may be null (no debug output window).
  FrameLogic(platform::Window& frame, platform::Window* debug, FrameSize client);

  // Switches full screen; true on success or when nothing had to change.
  bool set_fullscreen(bool on);
  // True once a close has been accepted: the loop ends and shutdown follows.
  bool closed() const { return closed_; }
  bool closing() const { return closing_; }
  FrameSize client() const { return client_; }

  void on_close_request() override;
  void on_moved(int x, int y) override;
  void on_resized(int w, int h) override;
  void on_minimized() override {}
  void on_maximize_request() override { set_fullscreen(true); }
  void on_focus(bool gained) override;
  void on_toggle_debug() override;
  void on_toggle_fullscreen() override;
  void on_button(platform::MouseButton b, bool down, bool double_click) override;
  void on_wheel(int32_t delta) override;
  void on_key(int scancode, bool down) override;
  void on_mouse_move(int x, int y, int dx, int dy) override;
  void on_text(std::string_view utf8) override;
  void on_question_answered(bool ok) override;
  void on_wake() override;
  void on_expose() override;
  void on_render_reset() override;
  void on_debug_click(int x, int y) override;
  void on_debug_access_key(char letter) override;
  void on_debug_wheel(int dx, int dy) override;
  void on_debug_expose() override;

 private:
  void finish_close();
  void apply_cursor_requests();

  platform::Window& frame_;
  platform::Window* debug_;
  FrameSize client_;
  std::optional<FrameSize> expected_;       // a size this frame asked for itself
  std::optional<FrameSize> corrected_from_; // the user size last corrected
  FrameSize window_client_;                 // the client size before full screen
  std::optional<FrameSize> fullscreen_size_;  // the client size seen in full screen
  bool leaving_fullscreen_ = false;         // full-screen sizes may still arrive
  bool closing_ = false;
  bool closed_ = false;
  bool exit_pending_ = false;  // exit or a fault asked to close while the question was open
};

// The running frame and its windows (null before frame_create; the debug
// window also without DebugMode and when headless).
FrameLogic* frame_logic();
platform::Window* frame_window();
platform::Window* frame_debug_window();

// Creates and shows the frame (and the hidden debug output window with
// [General] DebugMode, unless headless). false when the window cannot be
// created.
bool frame_create();
// Full-screen switch of the running frame; before frame_create the state
// is only recorded. Returns false when the switch failed.
bool frame_set_fullscreen(bool on);
struct FrameRunOptions {
  std::chrono::steady_clock::time_point until = std::chrono::steady_clock::time_point::max();
  input::InputEventPlayer* replay = nullptr;  // injects its events from the script's start on
  std::string screenshot;                      // BMP of what the frame shows when the loop ends
};
struct FrameRunEnd {
  bool time_up = false;          // ended because `until` passed
  int signal = 0;                // ended by this termination signal
  bool stuck = false;            // a script thread did not end: the process must end now
  std::string screenshot_error;  // why the screenshot could not be written
};
// The main loop: starts the entry script, then handles events and
// script-thread messages until the frame closes, `until` passes or (headless)
// no script thread is left; then runs the shutdown and removes the windows.
FrameRunEnd frame_run(const FrameRunOptions& options);

// Fills the record that native code asks for (main thread).
void frame_runtime_info(ZeltRuntimeInfo* info);
// Registers the frame's script-message handlers (full screen, runtime
// information); frame_create does it too.
void frame_messages_register();

}  // namespace zelt
