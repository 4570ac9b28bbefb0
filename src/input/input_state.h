// Mouse buttons, wheel and typed characters as the frame window records
// them (main thread) for the input built-ins to read (script threads). Each
// value is a single atomic word written only by the main thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string_view>

namespace zelt::input {

enum Button : int { kLeft = 0, kRight = 1, kMiddle = 2, kButtons = 3 };

inline constexpr int kCharRingSize = 512;

struct InputState {
  std::atomic<int32_t> focus{1};     // the program has the focus (the frame's focus flag)
  std::atomic<uint32_t> buttons{0};  // bit 0 left, bit 1 right, bit 2 middle while held
  std::array<std::atomic<int32_t>, kButtons> presses{};       // downs and double clicks
  std::array<std::atomic<int32_t>, kButtons> double_clicks{};
  std::atomic<int32_t> wheel{0};     // sum of deltas, 120 per notch
  std::atomic<bool> captured{false}; // the frame holds the mouse while a button is down
  std::array<std::atomic<uint8_t>, kCharRingSize> ring{};
  std::atomic<int32_t> ring_write{0}, ring_read{0};  // empty when equal
};

InputState& input_state();

// Main thread (the frame window).
void input_button_down(Button b, bool double_click);
void input_button_up(Button b);
void input_wheel(int32_t delta);
// Appends code page 932 bytes; when the ring is full the oldest byte goes.
void input_chars(std::string_view cp932);
// Start-up: everything back to zero, the focus back to 1.
void input_state_reset();
// Empties the character ring (key_init; the built-in lock serialises readers).
void input_chars_clear();

// Takes one byte from the ring; false when it is empty. One reader at a
// time (the built-ins run under the built-in lock).
bool input_char_take(uint8_t* byte);

}  // namespace zelt::input
