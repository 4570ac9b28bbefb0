// The debug output window ([General] DebugMode): a list of the lines that
// scripts write with log_out, newest visible, with the buttons "クリア(&C)"
// and "閉じる(&X)"; F8 shows and hides it. Script threads append under the
// list's lock and wake the main thread, which draws.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window.h"

namespace zelt {

// The list apart from any window: code page 932 lines, newest last, each
// with its width in pixels once measured (-1 before), and the widest one.
class DebugLines {
 public:
  void append(std::string_view cp932_line);
  void clear();
  size_t size() const { return lines_.size(); }
  const std::string& line(size_t i) const { return lines_[i]; }
  // Measures the lines not measured yet; returns the widest width.
  template <class Measure>
  int measure(Measure m) {
    for (; measured_ < lines_.size(); ++measured_) widest_ = std::max(widest_, m(lines_[measured_]));
    return widest_;
  }
  int widest() const { return widest_; }
  // The first line shown when `rows` fit and the view is `back` lines up
  // from the end: 0 shows the newest line last.
  size_t top_index(size_t rows, size_t back) const;

 private:
  std::vector<std::string> lines_;
  size_t measured_ = 0;
  int widest_ = 0;
};

// Where things are in the window (pixels).
struct DebugLayout {
  struct Box {
    int x, y, w, h;
    bool contains(int px, int py) const { return px >= x && py >= y && px < x + w && py < y + h; }
  };
  static constexpr int kWidth = 297, kHeight = 195;  // 198 x 130 dialog units
  static constexpr Box kList{7, 7, 280, 145};
  static constexpr Box kClear{153, 162, 60, 22};
  static constexpr Box kClose{225, 162, 60, 22};
};

// Main thread: the hidden window at frame creation, and its removal.
std::unique_ptr<platform::Window> debug_window_create();
void debug_window_destroy();
// Main thread: a click, an access key (Alt+C clears, Alt+X hides), the
// wheel, and a repaint (when something changed, or always with force) of
// the window made by debug_window_create.
void debug_window_click(int x, int y);
void debug_window_access_key(char letter);
void debug_window_wheel(int dx, int dy);
void debug_window_refresh(bool force);

// Whether the debug output exists (DebugMode, windowed or headless).
bool debug_output_enabled();
// Start-up: with `headless` the lines also go to stderr.
void debug_output_start(bool enabled, bool headless);

}  // namespace zelt
