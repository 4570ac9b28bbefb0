// Input-events files (--input EVENTS): a user's actions, each at a time in
// milliseconds after the entry script starts, replayed through the frame
// window as if the user made them. One event a line, times never
// decreasing; blank lines and lines starting with '#' are skipped:
//
//   0    key down Alt+Return      key down|up [Alt+][Ctrl+][Shift+]NAME
//   10   move 100 50              pointer position in the client area
//   20   button down left double  button down|up left|right|middle [double]
//   30   wheel -2                 notches, positive away from the user
//   40   text こんにちは          the rest of the line, UTF-8
//   50   focus lost               focus lost|gained
//   60   close                    the window's close button
//   70   answer cancel            answer ok|cancel to the open question
//   80   pad 0 axis x -32768      a virtual game pad (0..3): axis x|y|rightx|righty|
//                                 lefttrigger|righttrigger VALUE (-32768..32767),
//   90   pad 0 button a down      button a|b|x|y|back|guide|start|leftstick|rightstick|
//                                 leftshoulder|rightshoulder|up|down|left|right down|up,
//   99   pad 0 unplug             plug|unplug (the first line of a pad plugs it in)
//
// With a file, questions are not shown (the file answers them), the pointer
// moves only as the file moves it, and once the file has changed the focus,
// the window system's focus changes no longer count.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window.h"

namespace zelt::input {

struct TimedEvent {
  uint32_t at_ms = 0;
  platform::UserEvent event;
};

// Parses a whole file's text; on failure returns false with "line N: why".
bool parse_input_events(std::string_view text, std::vector<TimedEvent>* events, std::string* error);
// Reads and parses a file; the error names the file.
bool load_input_events(const std::string& path, std::vector<TimedEvent>* events, std::string* error);

// Replays events through platform::window_inject (main thread).
class InputEventPlayer {
 public:
  using Clock = std::chrono::steady_clock;
  explicit InputEventPlayer(std::vector<TimedEvent> events) : events_(std::move(events)) {}
  // The moment that time 0 stands for.
  void start(Clock::time_point t0) { t0_ = t0; }
  // Injects every event due at `now`.
  void inject_due(Clock::time_point now);
  // When the next event is due; time_point::max() when none is left.
  Clock::time_point next_due() const;

 private:
  std::vector<TimedEvent> events_;
  size_t next_ = 0;
  Clock::time_point t0_{};
};

}  // namespace zelt::input
