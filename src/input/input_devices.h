// The keyboard, mouse and joystick devices as scripts read them, through
// one of two back-ends chosen at start-up by [System] DirectInput:
//   DirectInput: a 256-byte state indexed by DirectInput key codes, the
//     mouse's movement and wheel since the last reading with four buttons,
//     joystick axes of -1000..1000 with a dead zone of half the travel;
//   Win32: a 256-byte state indexed by virtual-key codes (bit 0 toggles
//     with each press), the mouse's three buttons only, joystick axes by the
//     multimedia joystick rules (half ranges and centres).
// Both are fed by the frame's events on the main thread. Joystick readings
// (message 1215) run there too; the keyboard and mouse state is kept under
// a lock, so their readings (messages 1214 and 1216, or a script thread
// directly) cost no trip to the main thread.
#pragma once

#include <array>
#include <cstdint>

#include "core/subsystem.h"

namespace zelt::input {

enum class Backend { directinput, win32 };
Backend input_backend();

// Main thread, from the frame window.
void input_key(int scancode, bool down);
void input_mouse_moved(int x, int y, int dx, int dy);
void input_mouse_button(int button, bool down);  // 0 left, 1 right, 2 middle, 3 fourth
void input_mouse_wheel(int32_t delta);
// Window activation: the devices are taken into use again. On losing the
// focus they let go: nothing stays held, no movement is kept.
void input_acquire();
void input_unacquire();

// Readings (keyboard and mouse: any thread; joystick: main thread); false
// when the reading fails. The records are
// the scripts' layouts.
bool read_keyboard(std::array<uint8_t, 256>& keys);
bool read_mouse(std::array<int32_t, 4>& rec);            // x, y, z, buttons
bool read_joystick(int32_t joy, std::array<int32_t, 3>& rec);  // x, y, buttons

// Joystick axis rules on a raw position. DirectInput: raw -32768..32767
// onto -1000..1000, 0 within half the travel around the centre. Win32: a
// position p of a device reporting min..max.
int32_t dinput_axis(int32_t raw);
int32_t win32_axis(uint32_t p, uint32_t min, uint32_t max);

// input_start, input_stop and input_acquire as start-up, shutdown and the
// frame's activation see them; the start registers the handlers of the
// keyboard, joystick and mouse messages.
extern const Subsystem kInputSubsystem;

}  // namespace zelt::input
