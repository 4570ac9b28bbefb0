#include "platform/joystick.h"

#include <SDL.h>

#include <algorithm>
#include <array>

#include "platform/window.h"

namespace zelt::platform {
namespace {

struct Slot {
  SDL_Joystick* joystick = nullptr;
  SDL_GameController* controller = nullptr;  // also set when the device is a game controller
  SDL_JoystickID id = -1;
};

bool g_open = false;
bool g_virtual_only = false;
std::array<Slot, kJoystickSlots> g_slots;
// The virtual pads: instance id (-1: not plugged in) and the pad's own
// handle, through which its axes and buttons are set.
std::array<SDL_JoystickID, kJoystickSlots> g_virtual{-1, -1, -1, -1};
std::array<SDL_Joystick*, kJoystickSlots> g_virtual_handle{};

void release(Slot& s) {
  if (s.controller) SDL_GameControllerClose(s.controller);
  else if (s.joystick) SDL_JoystickClose(s.joystick);
  s = Slot{};
}

bool in_slots(SDL_JoystickID id) {
  for (const Slot& s : g_slots)
    if (s.joystick && s.id == id) return true;
  return false;
}

// Frees the slots of devices that went and gives new devices free slots.
void notice_changes() {
  SDL_JoystickUpdate();
  for (Slot& s : g_slots)
    if (s.joystick && !SDL_JoystickGetAttached(s.joystick)) release(s);
  const int n = SDL_NumJoysticks();
  for (int i = 0; i < n; ++i) {
    const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(i);
    if (id < 0 || in_slots(id) || (g_virtual_only && !SDL_JoystickIsVirtual(i))) continue;
    Slot* free_slot = nullptr;
    for (Slot& s : g_slots)
      if (!s.joystick) {
        free_slot = &s;
        break;
      }
    if (!free_slot) return;
    Slot s;
    if (SDL_IsGameController(i) && (s.controller = SDL_GameControllerOpen(i)) != nullptr) {
      s.joystick = SDL_GameControllerGetJoystick(s.controller);
    } else {
      s.joystick = SDL_JoystickOpen(i);
    }
    if (!s.joystick) continue;  // not usable: the next one
    s.id = SDL_JoystickInstanceID(s.joystick);
    *free_slot = s;
  }
}

// A game controller's buttons in the order a DirectInput pad reports them.
constexpr SDL_GameControllerButton kPadOrder[] = {
    SDL_CONTROLLER_BUTTON_A,         SDL_CONTROLLER_BUTTON_B,         SDL_CONTROLLER_BUTTON_X,
    SDL_CONTROLLER_BUTTON_Y,         SDL_CONTROLLER_BUTTON_LEFTSHOULDER, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
    SDL_CONTROLLER_BUTTON_BACK,      SDL_CONTROLLER_BUTTON_START,     SDL_CONTROLLER_BUTTON_LEFTSTICK,
    SDL_CONTROLLER_BUTTON_RIGHTSTICK, SDL_CONTROLLER_BUTTON_GUIDE,
};

void read_controller(SDL_GameController* c, JoystickReading* r) {
  r->x = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTX);
  r->y = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTY);
  if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_LEFT)) r->x = -32768;
  if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_RIGHT)) r->x = 32767;
  if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_UP)) r->y = -32768;
  if (SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_DOWN)) r->y = 32767;
  for (size_t i = 0; i < std::size(kPadOrder); ++i)
    if (SDL_GameControllerGetButton(c, kPadOrder[i])) r->buttons |= 1u << i;
}

void read_joystick(SDL_Joystick* j, JoystickReading* r) {
  if (SDL_JoystickNumAxes(j) > 0) r->x = SDL_JoystickGetAxis(j, 0);
  if (SDL_JoystickNumAxes(j) > 1) r->y = SDL_JoystickGetAxis(j, 1);
  if (SDL_JoystickNumHats(j) > 0) {
    const Uint8 hat = SDL_JoystickGetHat(j, 0);
    if (hat & SDL_HAT_LEFT) r->x = -32768;
    if (hat & SDL_HAT_RIGHT) r->x = 32767;
    if (hat & SDL_HAT_UP) r->y = -32768;
    if (hat & SDL_HAT_DOWN) r->y = 32767;
  }
  const int buttons = std::min(32, SDL_JoystickNumButtons(j));
  for (int i = 0; i < buttons; ++i)
    if (SDL_JoystickGetButton(j, i)) r->buttons |= 1u << i;
}

void unplug(int n) {
  if (g_virtual[n] < 0) return;
  for (int i = 0, count = SDL_NumJoysticks(); i < count; ++i)
    if (SDL_JoystickIsVirtual(i) && SDL_JoystickGetDeviceInstanceID(i) == g_virtual[n]) {
      SDL_JoystickDetachVirtual(i);
      break;
    }
  // A slot holding the device notices the loss at its next reading.
  if (g_virtual_handle[n]) SDL_JoystickClose(g_virtual_handle[n]);
  g_virtual[n] = -1;
  g_virtual_handle[n] = nullptr;
}

// Virtual pad n, plugged in when it is not yet; null when that fails.
SDL_Joystick* plugged(int n) {
  if (g_virtual_handle[n]) return g_virtual_handle[n];
  const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX,
                                              SDL_CONTROLLER_BUTTON_MAX, 0);
  if (index < 0) return nullptr;
  g_virtual[n] = SDL_JoystickGetDeviceInstanceID(index);
  g_virtual_handle[n] = SDL_JoystickOpen(index);
  if (!g_virtual_handle[n]) unplug(n);
  return g_virtual_handle[n];
}

}  // namespace

bool joysticks_open(bool virtual_only) {
  if (g_open) return true;
  if (SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) != 0) return false;
  // Read by polling on the main thread, never through the event queue
  // (which a headless run does not drain).
  SDL_JoystickEventState(SDL_IGNORE);
  SDL_GameControllerEventState(SDL_IGNORE);
  g_open = true;
  g_virtual_only = virtual_only;
  notice_changes();
  return true;
}

void joysticks_close() {
  if (!g_open) return;
  for (Slot& s : g_slots) release(s);
  for (int n = 0; n < kJoystickSlots; ++n) unplug(n);
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
  g_open = false;
}

int joystick_count() {
  if (!g_open) return 0;
  notice_changes();
  int n = 0;
  for (const Slot& s : g_slots) n += s.joystick != nullptr;
  return n;
}

bool joystick_read(int slot, JoystickReading* out) {
  *out = {};
  if (!g_open || slot < 0 || slot >= kJoystickSlots) return false;
  notice_changes();
  const Slot& s = g_slots[slot];
  if (!s.joystick) return false;
  if (s.controller) read_controller(s.controller, out);
  else read_joystick(s.joystick, out);
  return true;
}

void joystick_inject(const UserEvent& e) {
  using K = UserEvent::Kind;
  if (!g_open || e.pad < 0 || e.pad >= kJoystickSlots) return;
  if (e.kind == K::PadUnplug) return unplug(e.pad);
  SDL_Joystick* j = plugged(e.pad);
  if (!j) return;
  if (e.kind == K::PadAxis) SDL_JoystickSetVirtualAxis(j, e.index, static_cast<Sint16>(e.value));
  else if (e.kind == K::PadButton) SDL_JoystickSetVirtualButton(j, e.index, e.yes ? 1 : 0);
}

}  // namespace zelt::platform
