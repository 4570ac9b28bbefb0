// The keyboard's keys as titles know them: each SDL scancode (a physical
// key) with its DirectInput key code and its Windows virtual-key code, for
// the full 101/106-key layout. Keys whose virtual-key code depends on the
// layout take the Japanese 106-key one (the layout titles were made with).
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace zelt::platform {

struct KeyCode {
  int scancode;       // SDL scancode (the USB usage of the key)
  uint8_t dik;        // DirectInput key code
  uint8_t vk;         // virtual-key code
  const char* name;   // the key's name in input-events files when SDL has none, else null
};

// Every key, one row each, in scancode order.
std::span<const KeyCode> key_codes();
// The row of a scancode; null for a key without codes.
const KeyCode* key_code(int scancode);

// Virtual-key codes the keyboard state also carries besides the keys' own.
inline constexpr uint8_t kVkLButton = 0x01, kVkRButton = 0x02, kVkMButton = 0x04, kVkXButton1 = 0x05;
inline constexpr uint8_t kVkShift = 0x10, kVkControl = 0x11, kVkMenu = 0x12;
inline constexpr uint8_t kVkLShift = 0xA0, kVkRShift = 0xA1, kVkLControl = 0xA2, kVkRControl = 0xA3;
inline constexpr uint8_t kVkLMenu = 0xA4, kVkRMenu = 0xA5;

// The scancode of a key name ("Left Shift", "a", "F8", "Henkan", "変換"),
// any case; -1 for an unknown name.
int key_scancode(const std::string& name);

}  // namespace zelt::platform
