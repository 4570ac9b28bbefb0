// Top-level windows and the main thread's event loop. Plain C++: the shell
// drives a Window through this interface and receives what the user did
// through WindowEvents, so its logic runs against a fake in tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zelt::platform {

struct WindowSize {
  int w = 0, h = 0;
};

// The desktop that headless windows live on.
inline constexpr WindowSize kHeadlessScreen{1920, 1080};

// Fourth: the first side button, which only the mouse device reads.
enum class MouseButton { Left, Right, Middle, Fourth };

// Everything the event loop reports, on the main thread. Sizes are client
// sizes; positions are the client area's top-left corner on the desktop.
class WindowEvents {
 public:
  virtual ~WindowEvents() = default;
  virtual void on_close_request() = 0;        // the close button (or the session ends)
  virtual void on_moved(int x, int y) = 0;
  virtual void on_resized(int w, int h) = 0;
  virtual void on_minimized() = 0;
  virtual void on_maximize_request() = 0;     // the maximise button
  virtual void on_focus(bool gained) = 0;     // the application gained or lost the focus
  virtual void on_toggle_debug() = 0;         // F8, in any of the program's windows
  virtual void on_toggle_fullscreen() = 0;    // Alt+Enter
  virtual void on_button(MouseButton b, bool down, bool double_click) = 0;
  virtual void on_wheel(int32_t delta) = 0;   // 120 per notch, positive away from the user
  // A key (SDL scancode) went down or up; auto-repeats are not reported.
  virtual void on_key(int scancode, bool down) {}
  // The pointer moved to (x, y) of the client area, by (dx, dy).
  virtual void on_mouse_move(int x, int y, int dx, int dy) {}
  virtual void on_text(std::string_view utf8) = 0;
  virtual void on_question_answered(bool ok) = 0;  // answer to ask_ok_cancel
  virtual void on_wake() = 0;                 // wake() was called: check queues and requests
  virtual void on_expose() = 0;               // the client area needs painting
  virtual void on_render_reset() {}           // a renderer's textures were lost: restore and redraw
  // The second window (the debug window): a click, the wheel (notches;
  // dx from a horizontal wheel or Shift), and a repaint request.
  virtual void on_debug_click(int x, int y) {}
  virtual void on_debug_access_key(char letter) {}  // Alt+letter, letter in upper case
  virtual void on_debug_wheel(int dx, int dy) {}
  virtual void on_debug_expose() {}
};

// The accelerated presentation's drawing surface on a window: one
// streaming texture of 0x00RRGGBB texels drawn scaled, with linear
// filtering, into a rectangle of the client area. Main thread.
class ScreenRenderer {
 public:
  virtual ~ScreenRenderer() = default;
  // Copies w x h texels (rows `pitch` texels apart) to (x, y) of the texture.
  virtual void update(int x, int y, int w, int h, const uint32_t* texels, int pitch) = 0;
  // Clears the client area to black, draws the texture into (x, y, w, h)
  // and shows the result.
  virtual void draw(int x, int y, int w, int h) = 0;
  // After the window system lost the renderer's textures (a device reset):
  // makes the texture again; false when that failed. Its content is then
  // undefined until updated.
  virtual bool restore() = 0;
  // "gpu" or "software": what draws.
  virtual const char* kind() const = 0;
};

// Why no renderer could be made: the renderer itself, or its texture.
enum class RendererFailure { none, renderer, texture };

struct WindowSpec {
  std::string title_utf8;
  int x = 0, y = 0, w = 0, h = 0;
  bool resizable = false;
  bool hidden = false;
};

class Window {
 public:
  virtual ~Window() = default;
  virtual WindowSize client_size() = 0;
  virtual void set_client_size(int w, int h) = 0;
  virtual void position(int* x, int* y) = 0;
  // Limits on the client size the user may drag to.
  virtual void set_size_limits(WindowSize min, WindowSize max) = 0;
  // Full screen: borderless over the desktop, or (exclusive) the smallest
  // display mode that holds w x h. false when the switch failed.
  virtual bool set_fullscreen(bool on, bool exclusive, int w, int h) = 0;
  virtual void raise() = 0;
  virtual void capture_mouse(bool on) = 0;
  // Shows a modal OK/Cancel question without blocking the event loop; the
  // answer arrives as on_question_answered.
  virtual void ask_ok_cancel(const std::string& caption_utf8, const std::string& text_utf8) = 0;
  virtual void paint_black() = 0;
  // Shows a picture of 0x00RRGGBB pixels at (x, y) of the client area.
  virtual void present_pixels(const uint32_t* xrgb, int w, int h, int x = 0, int y = 0) = 0;
  // A renderer with a texture of w x h on this window (GPU preferred,
  // software otherwise); null with the reason on failure. While it exists
  // the window shows only what it draws.
  virtual std::unique_ptr<ScreenRenderer> create_renderer(int w, int h, RendererFailure* failure) = 0;
  // What the client area shows now, as 0x00RRGGBB rows; false when it
  // cannot be read.
  virtual bool read_pixels(std::vector<uint32_t>& xrgb, WindowSize& size) = 0;
  virtual void show(bool visible) = 0;
  virtual bool shown() = 0;
  // The pointer over the client area: the standard arrow, or none.
  virtual void show_cursor(bool visible) = 0;
  // Keeps the pointer inside (x, y, w, h) of the client area; w or h <= 0
  // lets it go anywhere again.
  virtual void confine_mouse(int x, int y, int w, int h) = 0;
  // Moves the pointer to (x, y) of the client area.
  virtual void warp_mouse(int x, int y) = 0;
};

// A user's action replayed from an input-events file (--input), given to
// the frame window as if the user had made it.
struct UserEvent {
  enum class Kind {
    KeyDown, KeyUp, Move, ButtonDown, ButtonUp, Wheel, Text, Focus, Close, Answer,
    PadPlug, PadUnplug, PadAxis, PadButton,  // a virtual game pad (joystick.h)
  };
  Kind kind = Kind::Close;
  std::string key;      // KeyDown/KeyUp: key name as key_name() spells it
  int scancode = -1;    // KeyDown/KeyUp: the key (key_scancode of the name)
  bool alt = false, ctrl = false, shift = false;  // KeyDown/KeyUp: modifiers held
  int x = 0, y = 0;     // Move: client position
  MouseButton button = MouseButton::Left;
  bool double_click = false;  // ButtonDown
  int notches = 0;      // Wheel: positive away from the user
  std::string text;     // Text: UTF-8
  bool yes = false;     // Focus: gained; Answer: OK; PadButton: down
  int pad = 0;          // Pad*: virtual pad 0..3
  int index = 0;        // PadAxis: game controller axis 0..5; PadButton: button 0..14
  int value = 0;        // PadAxis: -32768..32767
};

// The desktop's size (the primary display); headless: kHeadlessScreen.
WindowSize screen_size();
// The primary display's modes in the system's order; headless: the desktop's.
std::vector<WindowSize> display_modes();
// The frame the window manager draws around a client area (0 x 0 when it
// cannot be told before a window exists).
WindowSize window_border();

// A window, nullptr on failure: a real one, or in headless runs one that
// only keeps its state and pixels. The first one created becomes the owner
// of message boxes.
std::unique_ptr<Window> window_create(const WindowSpec& spec);

// Waits up to timeout_ms for events (0: only what is queued) and reports
// them to `events`. A window other than the first (the debug window) only
// hides on its close button; F8 in it is reported as in the frame. Main thread.
void window_pump(WindowEvents& events, int timeout_ms);

// The standard arrow over the program's windows.
void cursor_set_arrow();

// Any thread: makes a waiting window_pump return soon (reported as on_wake).
void window_wake();

// Main thread: queues a user's action for the frame window; the next
// window_pump reports it.
void window_inject(const UserEvent& e);
// Main thread: from now on questions are not shown; Answer events answer
// them (runs driven by an input-events file).
void window_questions_from_input();
// The spelling KeyDown/KeyUp events carry for a key name, any case
// ("return" -> "Return", "f8" -> "F8"); empty for an unknown name.
std::string key_name(const std::string& name);

}  // namespace zelt::platform
