// Joysticks and game controllers through SDL's joystick API, in four slots
// that titles number 0 to 3. A device plugged in takes the lowest free slot
// (those present at the start in the system's order); one unplugged frees
// its slot. Main thread.
#pragma once

#include <cstdint>

namespace zelt::platform {

struct UserEvent;

inline constexpr int kJoystickSlots = 4;

// One reading. x and y are the device's raw position, -32768 (left, up) to
// 32767: a game controller's left stick, overridden by its direction pad
// while that is pressed. Bit i of buttons is set while button i is down; a
// game controller numbers them as a DirectInput pad of its kind does: A, B,
// X, Y, left and right shoulder, back, start, left and right stick, guide.
struct JoystickReading {
  int32_t x = 0, y = 0;
  uint32_t buttons = 0;
};

// Starts SDL's joystick subsystem; false when it cannot be started. With
// virtual_only, only virtual devices (input-events files) are seen, so a
// headless run reads the same whatever is plugged into the machine.
bool joysticks_open(bool virtual_only);
void joysticks_close();
// Devices in slots now (after noticing plugs and unplugs).
int joystick_count();
// Reads the device in a slot; false when the slot is empty or the device
// has gone.
bool joystick_read(int slot, JoystickReading* out);

// The virtual game pads of input-events files (PadPlug, PadUnplug, PadAxis,
// PadButton): pad numbers 0 to 3, each a virtual game controller, plugged
// in by its first line. Ignored while the subsystem is not started.
void joystick_inject(const UserEvent& e);

}  // namespace zelt::platform
