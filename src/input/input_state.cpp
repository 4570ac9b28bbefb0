#include "input/input_state.h"

namespace zelt::input {

InputState& input_state() {
  static InputState state;
  return state;
}

void input_button_down(Button b, bool double_click) {
  InputState& s = input_state();
  if (double_click) s.double_clicks[b].fetch_add(1);
  s.presses[b].fetch_add(1);
  s.buttons.fetch_or(1u << b);
  s.captured.store(true);
}

void input_button_up(Button b) {
  InputState& s = input_state();
  const uint32_t left = s.buttons.fetch_and(~(1u << b)) & ~(1u << b);
  if (left == 0) s.captured.store(false);
}

void input_wheel(int32_t delta) { input_state().wheel.fetch_add(delta); }

void input_chars(std::string_view cp932) {
  InputState& s = input_state();
  for (const char ch : cp932) {
    int32_t w = s.ring_write.load();
    s.ring[w].store(static_cast<uint8_t>(ch));
    w = (w + 1) % kCharRingSize;
    s.ring_write.store(w);
    if (w == s.ring_read.load()) s.ring_read.store((w + 1) % kCharRingSize);
  }
}

void input_state_reset() {
  InputState& s = input_state();
  s.focus = 1;
  s.buttons = 0;
  for (auto& p : s.presses) p = 0;
  for (auto& d : s.double_clicks) d = 0;
  s.wheel = 0;
  s.captured = false;
  s.ring_write = 0;
  s.ring_read = 0;
}

void input_chars_clear() {
  InputState& s = input_state();
  s.ring_read.store(s.ring_write.load());
}

bool input_char_take(uint8_t* byte) {
  InputState& s = input_state();
  const int32_t r = s.ring_read.load();
  if (r == s.ring_write.load()) return false;
  *byte = s.ring[r].load();
  s.ring_read.store((r + 1) % kCharRingSize);
  return true;
}

}  // namespace zelt::input
