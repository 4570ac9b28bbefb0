#include "platform/key_codes.h"

#include <SDL_keyboard.h>
#include <SDL_scancode.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace zelt::platform {
namespace {

// DirectInput key codes are the keys' set-1 scan codes (extended keys with
// bit 7 set). On a 106-key keyboard the key left of 1 (半角/全角) is the US
// layout's grave key, ろ sits right of the slash and ¥ left of Backspace.
constexpr KeyCode kKeys[] = {
    {SDL_SCANCODE_A, 0x1E, 'A', nullptr},
    {SDL_SCANCODE_B, 0x30, 'B', nullptr},
    {SDL_SCANCODE_C, 0x2E, 'C', nullptr},
    {SDL_SCANCODE_D, 0x20, 'D', nullptr},
    {SDL_SCANCODE_E, 0x12, 'E', nullptr},
    {SDL_SCANCODE_F, 0x21, 'F', nullptr},
    {SDL_SCANCODE_G, 0x22, 'G', nullptr},
    {SDL_SCANCODE_H, 0x23, 'H', nullptr},
    {SDL_SCANCODE_I, 0x17, 'I', nullptr},
    {SDL_SCANCODE_J, 0x24, 'J', nullptr},
    {SDL_SCANCODE_K, 0x25, 'K', nullptr},
    {SDL_SCANCODE_L, 0x26, 'L', nullptr},
    {SDL_SCANCODE_M, 0x32, 'M', nullptr},
    {SDL_SCANCODE_N, 0x31, 'N', nullptr},
    {SDL_SCANCODE_O, 0x18, 'O', nullptr},
    {SDL_SCANCODE_P, 0x19, 'P', nullptr},
    {SDL_SCANCODE_Q, 0x10, 'Q', nullptr},
    {SDL_SCANCODE_R, 0x13, 'R', nullptr},
    {SDL_SCANCODE_S, 0x1F, 'S', nullptr},
    {SDL_SCANCODE_T, 0x14, 'T', nullptr},
    {SDL_SCANCODE_U, 0x16, 'U', nullptr},
    {SDL_SCANCODE_V, 0x2F, 'V', nullptr},
    {SDL_SCANCODE_W, 0x11, 'W', nullptr},
    {SDL_SCANCODE_X, 0x2D, 'X', nullptr},
    {SDL_SCANCODE_Y, 0x15, 'Y', nullptr},
    {SDL_SCANCODE_Z, 0x2C, 'Z', nullptr},
    {SDL_SCANCODE_1, 0x02, '1', nullptr},
    {SDL_SCANCODE_2, 0x03, '2', nullptr},
    {SDL_SCANCODE_3, 0x04, '3', nullptr},
    {SDL_SCANCODE_4, 0x05, '4', nullptr},
    {SDL_SCANCODE_5, 0x06, '5', nullptr},
    {SDL_SCANCODE_6, 0x07, '6', nullptr},
    {SDL_SCANCODE_7, 0x08, '7', nullptr},
    {SDL_SCANCODE_8, 0x09, '8', nullptr},
    {SDL_SCANCODE_9, 0x0A, '9', nullptr},
    {SDL_SCANCODE_0, 0x0B, '0', nullptr},
    {SDL_SCANCODE_RETURN, 0x1C, 0x0D, nullptr},
    {SDL_SCANCODE_ESCAPE, 0x01, 0x1B, nullptr},
    {SDL_SCANCODE_BACKSPACE, 0x0E, 0x08, nullptr},
    {SDL_SCANCODE_TAB, 0x0F, 0x09, nullptr},
    {SDL_SCANCODE_SPACE, 0x39, 0x20, nullptr},
    {SDL_SCANCODE_MINUS, 0x0C, 0xBD, nullptr},         // - =
    {SDL_SCANCODE_EQUALS, 0x0D, 0xDE, nullptr},        // ^ ~
    {SDL_SCANCODE_LEFTBRACKET, 0x1A, 0xC0, nullptr},   // @ `
    {SDL_SCANCODE_RIGHTBRACKET, 0x1B, 0xDB, nullptr},  // [ {
    {SDL_SCANCODE_BACKSLASH, 0x2B, 0xDD, nullptr},     // ] }
    {SDL_SCANCODE_SEMICOLON, 0x27, 0xBB, nullptr},     // ; +
    {SDL_SCANCODE_APOSTROPHE, 0x28, 0xBA, nullptr},    // : *
    {SDL_SCANCODE_GRAVE, 0x29, 0xF3, nullptr},         // 半角/全角
    {SDL_SCANCODE_COMMA, 0x33, 0xBC, nullptr},
    {SDL_SCANCODE_PERIOD, 0x34, 0xBE, nullptr},
    {SDL_SCANCODE_SLASH, 0x35, 0xBF, nullptr},
    {SDL_SCANCODE_CAPSLOCK, 0x3A, 0x14, nullptr},      // 英数
    {SDL_SCANCODE_F1, 0x3B, 0x70, nullptr},
    {SDL_SCANCODE_F2, 0x3C, 0x71, nullptr},
    {SDL_SCANCODE_F3, 0x3D, 0x72, nullptr},
    {SDL_SCANCODE_F4, 0x3E, 0x73, nullptr},
    {SDL_SCANCODE_F5, 0x3F, 0x74, nullptr},
    {SDL_SCANCODE_F6, 0x40, 0x75, nullptr},
    {SDL_SCANCODE_F7, 0x41, 0x76, nullptr},
    {SDL_SCANCODE_F8, 0x42, 0x77, nullptr},
    {SDL_SCANCODE_F9, 0x43, 0x78, nullptr},
    {SDL_SCANCODE_F10, 0x44, 0x79, nullptr},
    {SDL_SCANCODE_F11, 0x57, 0x7A, nullptr},
    {SDL_SCANCODE_F12, 0x58, 0x7B, nullptr},
    {SDL_SCANCODE_PRINTSCREEN, 0xB7, 0x2C, nullptr},
    {SDL_SCANCODE_SCROLLLOCK, 0x46, 0x91, nullptr},
    {SDL_SCANCODE_PAUSE, 0xC5, 0x13, nullptr},
    {SDL_SCANCODE_INSERT, 0xD2, 0x2D, nullptr},
    {SDL_SCANCODE_HOME, 0xC7, 0x24, nullptr},
    {SDL_SCANCODE_PAGEUP, 0xC9, 0x21, nullptr},
    {SDL_SCANCODE_DELETE, 0xD3, 0x2E, nullptr},
    {SDL_SCANCODE_END, 0xCF, 0x23, nullptr},
    {SDL_SCANCODE_PAGEDOWN, 0xD1, 0x22, nullptr},
    {SDL_SCANCODE_RIGHT, 0xCD, 0x27, nullptr},
    {SDL_SCANCODE_LEFT, 0xCB, 0x25, nullptr},
    {SDL_SCANCODE_DOWN, 0xD0, 0x28, nullptr},
    {SDL_SCANCODE_UP, 0xC8, 0x26, nullptr},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x45, 0x90, nullptr},
    {SDL_SCANCODE_KP_DIVIDE, 0xB5, 0x6F, nullptr},
    {SDL_SCANCODE_KP_MULTIPLY, 0x37, 0x6A, nullptr},
    {SDL_SCANCODE_KP_MINUS, 0x4A, 0x6D, nullptr},
    {SDL_SCANCODE_KP_PLUS, 0x4E, 0x6B, nullptr},
    {SDL_SCANCODE_KP_ENTER, 0x9C, 0x0D, nullptr},  // the same virtual key as Return
    {SDL_SCANCODE_KP_1, 0x4F, 0x61, nullptr},
    {SDL_SCANCODE_KP_2, 0x50, 0x62, nullptr},
    {SDL_SCANCODE_KP_3, 0x51, 0x63, nullptr},
    {SDL_SCANCODE_KP_4, 0x4B, 0x64, nullptr},
    {SDL_SCANCODE_KP_5, 0x4C, 0x65, nullptr},
    {SDL_SCANCODE_KP_6, 0x4D, 0x66, nullptr},
    {SDL_SCANCODE_KP_7, 0x47, 0x67, nullptr},
    {SDL_SCANCODE_KP_8, 0x48, 0x68, nullptr},
    {SDL_SCANCODE_KP_9, 0x49, 0x69, nullptr},
    {SDL_SCANCODE_KP_0, 0x52, 0x60, nullptr},
    {SDL_SCANCODE_KP_PERIOD, 0x53, 0x6E, nullptr},
    {SDL_SCANCODE_NONUSBACKSLASH, 0x56, 0xE2, "NonUSBackslash"},  // the ISO key; the same virtual key as ろ
    {SDL_SCANCODE_APPLICATION, 0xDD, 0x5D, nullptr},
    {SDL_SCANCODE_POWER, 0xDE, 0x00, nullptr},
    {SDL_SCANCODE_KP_EQUALS, 0x8D, 0x92, nullptr},
    {SDL_SCANCODE_F13, 0x64, 0x7C, nullptr},
    {SDL_SCANCODE_F14, 0x65, 0x7D, nullptr},
    {SDL_SCANCODE_F15, 0x66, 0x7E, nullptr},
    {SDL_SCANCODE_STOP, 0x95, 0x00, nullptr},
    {SDL_SCANCODE_MUTE, 0xA0, 0xAD, nullptr},
    {SDL_SCANCODE_VOLUMEUP, 0xB0, 0xAF, nullptr},
    {SDL_SCANCODE_VOLUMEDOWN, 0xAE, 0xAE, nullptr},
    {SDL_SCANCODE_KP_COMMA, 0xB3, 0x6C, nullptr},
    {SDL_SCANCODE_INTERNATIONAL1, 0x73, 0xE2, "Ro"},                 // ろ (\ _)
    {SDL_SCANCODE_INTERNATIONAL2, 0x70, 0xF2, "Katakana/Hiragana"},  // カタカナ/ひらがな
    {SDL_SCANCODE_INTERNATIONAL3, 0x7D, 0xDC, "Yen"},                // ¥ |
    {SDL_SCANCODE_INTERNATIONAL4, 0x79, 0x1C, "Henkan"},             // 変換
    {SDL_SCANCODE_INTERNATIONAL5, 0x7B, 0x1D, "Muhenkan"},           // 無変換
    {SDL_SCANCODE_LCTRL, 0x1D, kVkLControl, nullptr},
    {SDL_SCANCODE_LSHIFT, 0x2A, kVkLShift, nullptr},
    {SDL_SCANCODE_LALT, 0x38, kVkLMenu, nullptr},
    {SDL_SCANCODE_LGUI, 0xDB, 0x5B, nullptr},
    {SDL_SCANCODE_RCTRL, 0x9D, kVkRControl, nullptr},
    {SDL_SCANCODE_RSHIFT, 0x36, kVkRShift, nullptr},
    {SDL_SCANCODE_RALT, 0xB8, kVkRMenu, nullptr},
    {SDL_SCANCODE_RGUI, 0xDC, 0x5C, nullptr},
    {SDL_SCANCODE_AUDIONEXT, 0x99, 0xB0, nullptr},
    {SDL_SCANCODE_AUDIOPREV, 0x90, 0xB1, nullptr},
    {SDL_SCANCODE_AUDIOSTOP, 0xA4, 0xB2, nullptr},
    {SDL_SCANCODE_AUDIOPLAY, 0xA2, 0xB3, nullptr},
    {SDL_SCANCODE_CALCULATOR, 0xA1, 0xB7, nullptr},
    {SDL_SCANCODE_AC_HOME, 0xB2, 0xAC, nullptr},
    {SDL_SCANCODE_SLEEP, 0xDF, 0x5F, nullptr},
};

// Further spellings of the Japanese keys in input-events files.
struct Alias {
  const char* name;
  int scancode;
};
constexpr Alias kAliases[] = {
    {"Hankaku/Zenkaku", SDL_SCANCODE_GRAVE},
    {"\xE5\x8D\x8A\xE8\xA7\x92/\xE5\x85\xA8\xE8\xA7\x92", SDL_SCANCODE_GRAVE},  // 半角/全角
    {"\xE3\x82\x8D", SDL_SCANCODE_INTERNATIONAL1},                              // ろ
    {"\xE3\x82\xAB\xE3\x82\xBF\xE3\x82\xAB\xE3\x83\x8A/\xE3\x81\xB2\xE3\x82\x89\xE3\x81\x8C\xE3\x81\xAA",
     SDL_SCANCODE_INTERNATIONAL2},                                  // カタカナ/ひらがな
    {"\xC2\xA5", SDL_SCANCODE_INTERNATIONAL3},                      // ¥
    {"\xE5\xA4\x89\xE6\x8F\x9B", SDL_SCANCODE_INTERNATIONAL4},      // 変換
    {"\xE7\x84\xA1\xE5\xA4\x89\xE6\x8F\x9B", SDL_SCANCODE_INTERNATIONAL5},  // 無変換
};

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// Rows by scancode.
const std::array<int16_t, SDL_NUM_SCANCODES>& row_index() {
  static const std::array<int16_t, SDL_NUM_SCANCODES> index = [] {
    std::array<int16_t, SDL_NUM_SCANCODES> ix;
    ix.fill(-1);
    for (size_t i = 0; i < std::size(kKeys); ++i) ix[kKeys[i].scancode] = static_cast<int16_t>(i);
    return ix;
  }();
  return index;
}

}  // namespace

std::span<const KeyCode> key_codes() { return kKeys; }

const KeyCode* key_code(int scancode) {
  if (scancode < 0 || scancode >= SDL_NUM_SCANCODES) return nullptr;
  const int16_t row = row_index()[scancode];
  return row < 0 ? nullptr : &kKeys[row];
}

int key_scancode(const std::string& name) {
  if (name.empty()) return -1;
  for (const KeyCode& k : kKeys)
    if (k.name && same_name(k.name, name)) return k.scancode;
  for (const Alias& a : kAliases)
    if (same_name(a.name, name)) return a.scancode;
  // SDL's scancode names need no keyboard layout (headless runs have none);
  // key names ("a" for the A key) go through the layout.
  const SDL_Scancode s = SDL_GetScancodeFromName(name.c_str());
  if (s != SDL_SCANCODE_UNKNOWN) return s;
  const SDL_Keycode k = SDL_GetKeyFromName(name.c_str());
  if (k == SDLK_UNKNOWN) return -1;
  const SDL_Scancode from_key = SDL_GetScancodeFromKey(k);
  return from_key == SDL_SCANCODE_UNKNOWN ? -1 : from_key;
}

}  // namespace zelt::platform
