#include "input/input_devices.h"

#include <atomic>
#include <bitset>
#include <cstring>
#include <mutex>

#include "core/config.h"
#include "core/messages.h"
#include "core/script_memory.h"
#include "core/script_messages.h"
#include "input/pointer.h"
#include "platform/display.h"
#include "platform/joystick.h"
#include "platform/key_codes.h"

namespace zelt::input {
namespace {

// Written by the frame's events on the main thread; the keyboard and mouse
// state is read by script threads too, under g_mutex.
Backend g_backend = Backend::win32;  // set at start-up, before any script runs
std::atomic<bool> g_acquired{true};
std::mutex g_mutex;
std::bitset<512> g_keys_down;  // by scancode
std::array<uint8_t, 256> g_toggles{};  // virtual keys: bit 0 flips with each press
struct MouseDevice {
  int32_t dx = 0, dy = 0, dz = 0;  // since the last reading
  uint32_t buttons = 0;            // bit 0 left, 1 right, 2 middle, 3 fourth
} g_mouse;

void forget_held() {
  std::lock_guard lock(g_mutex);
  g_keys_down.reset();
  g_mouse = {};
}

// Message 1214: the 256-byte state into the buffer at wparam.
int32_t keyboard_message(intptr_t w, intptr_t) {
  const std::span<uint8_t> out = script_memory().span(static_cast<ScriptAddr>(w), 256);
  std::array<uint8_t, 256> keys;
  if (!out.data() || !read_keyboard(keys)) return 0;
  std::memcpy(out.data(), keys.data(), keys.size());
  return 1;
}

// Message 1215: joystick wparam into the record at lparam.
int32_t joystick_message(intptr_t w, intptr_t l) {
  std::array<int32_t, 3> rec;
  const std::span<uint8_t> out = script_memory().span(static_cast<ScriptAddr>(l), sizeof rec);
  if (!out.data() || !read_joystick(static_cast<int32_t>(w), rec)) return 0;
  std::memcpy(out.data(), rec.data(), sizeof rec);
  return 1;
}

// Message 1216: the mouse record at lparam.
int32_t mouse_message(intptr_t, intptr_t l) {
  std::array<int32_t, 4> rec;
  const std::span<uint8_t> out = script_memory().span(static_cast<ScriptAddr>(l), sizeof rec);
  if (!out.data() || !read_mouse(rec)) return 0;
  std::memcpy(out.data(), rec.data(), sizeof rec);
  return 1;
}

bool input_start() {
  g_backend = config().DirectInput ? Backend::directinput : Backend::win32;
  g_acquired = true;
  {
    std::lock_guard lock(g_mutex);
    g_toggles.fill(0);
  }
  forget_held();
  pointer_reset();
  // The keyboard and the mouse are the window's events and cannot fail;
  // the joysticks can.
  if (!platform::joysticks_open(platform::headless()) && g_backend == Backend::directinput)
    report(kLevelDevice, Msg::InputCreateDevice);
  script_message_register(ScriptMsg::getkey, keyboard_message);
  script_message_register(ScriptMsg::getjoy, joystick_message);
  script_message_register(ScriptMsg::getmouse, mouse_message);
  return true;
}

void input_stop() {
  script_message_register(ScriptMsg::getkey, nullptr);
  script_message_register(ScriptMsg::getjoy, nullptr);
  script_message_register(ScriptMsg::getmouse, nullptr);
  platform::joysticks_close();
  forget_held();
}

}  // namespace

Backend input_backend() { return g_backend; }

void input_key(int scancode, bool down) {
  if (scancode < 0 || scancode >= static_cast<int>(g_keys_down.size())) return;
  std::lock_guard lock(g_mutex);
  if (down && !g_keys_down[scancode])
    if (const platform::KeyCode* k = platform::key_code(scancode)) g_toggles[k->vk] ^= 1;
  g_keys_down[scancode] = down;
}

void input_mouse_moved(int x, int y, int dx, int dy) {
  pointer_moved(x, y);
  std::lock_guard lock(g_mutex);
  g_mouse.dx += dx;
  g_mouse.dy += dy;
}

void input_mouse_button(int button, bool down) {
  if (button < 0 || button > 3) return;
  std::lock_guard lock(g_mutex);
  if (down) g_mouse.buttons |= 1u << button;
  else g_mouse.buttons &= ~(1u << button);
}

void input_mouse_wheel(int32_t delta) {
  std::lock_guard lock(g_mutex);
  g_mouse.dz += delta;
}

void input_acquire() {
  if (g_acquired) return;
  g_acquired = true;
  forget_held();
}

void input_unacquire() {
  g_acquired = false;
  forget_held();
}

bool read_keyboard(std::array<uint8_t, 256>& keys) {
  keys.fill(0);
  std::lock_guard lock(g_mutex);
  if (!g_acquired) return false;
  const bool dinput = g_backend == Backend::directinput;
  for (const platform::KeyCode& k : platform::key_codes()) {
    if (!g_keys_down[k.scancode]) continue;
    if (dinput) keys[k.dik] = 0x80;
    else if (k.vk) keys[k.vk] = 0x80;
  }
  if (dinput) return true;
  // The virtual keys the system derives: either Shift, Ctrl or Alt, and
  // the mouse buttons.
  using namespace platform;
  keys[kVkShift] = keys[kVkLShift] | keys[kVkRShift];
  keys[kVkControl] = keys[kVkLControl] | keys[kVkRControl];
  keys[kVkMenu] = keys[kVkLMenu] | keys[kVkRMenu];
  const uint8_t button_vk[] = {kVkLButton, kVkRButton, kVkMButton, kVkXButton1};
  for (int b = 0; b < 4; ++b)
    if (g_mouse.buttons & (1u << b)) keys[button_vk[b]] = 0x80;
  for (int vk = 0; vk < 256; ++vk) keys[vk] |= g_toggles[vk];
  return true;
}

bool read_mouse(std::array<int32_t, 4>& rec) {
  rec.fill(0);
  std::lock_guard lock(g_mutex);
  if (g_backend == Backend::win32) {
    rec[3] = static_cast<int32_t>(g_mouse.buttons & 7);
    return true;
  }
  if (!g_acquired) return false;
  rec = {g_mouse.dx, g_mouse.dy, g_mouse.dz, static_cast<int32_t>(g_mouse.buttons & 15)};
  g_mouse.dx = g_mouse.dy = g_mouse.dz = 0;
  return true;
}

bool read_joystick(int32_t joy, std::array<int32_t, 3>& rec) {
  rec.fill(0);
  if (joy < 0 || joy >= platform::kJoystickSlots) return false;
  platform::JoystickReading r;
  if (!platform::joystick_read(joy, &r)) return false;
  if (g_backend == Backend::directinput) {
    if (!g_acquired) return false;
    rec = {dinput_axis(r.x), dinput_axis(r.y), static_cast<int32_t>(r.buttons)};
  } else {
    // The multimedia driver reports 0..65535.
    const auto p = [](int32_t raw) { return static_cast<uint32_t>(raw + 32768); };
    rec = {win32_axis(p(r.x), 0, 65535), win32_axis(p(r.y), 0, 65535), static_cast<int32_t>(r.buttons)};
  }
  return true;
}

int32_t dinput_axis(int32_t raw) {
  constexpr int64_t kTravel = 32767, kDeadZone = kTravel * 5000 / 10000;
  const int64_t a = std::min<int64_t>(raw < 0 ? -int64_t{raw} : raw, kTravel);
  if (a <= kDeadZone) return 0;
  const auto v = static_cast<int32_t>((a - kDeadZone) * 1000 / (kTravel - kDeadZone));
  return raw < 0 ? -v : v;
}

int32_t win32_axis(uint32_t p, uint32_t min, uint32_t max) {
  const uint32_t range = max - min;
  const int64_t h = range < 2 ? 1 : range >> 1;
  const int64_t c = int64_t{min} + h, d = h / 2, pos = p;
  // A half range below 2 has no dead zone to scale from: the direction only.
  if (d == 0) return pos < c ? -1000 : pos > c ? 1000 : 0;
  if (pos < c - d) return static_cast<int32_t>((pos - c + d) * 1000 / d);
  if (pos > c + d) return static_cast<int32_t>((pos - c - d) * 1000 / d);
  return 0;
}

const Subsystem kInputSubsystem{
    .name = "input",
    .start = input_start,
    .stop = input_stop,
    .runtime_start = pointer_runtime_start,
};

}  // namespace zelt::input
