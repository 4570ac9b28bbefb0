#include "platform/key_codes.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace zelt::platform {
namespace {

TEST(KeyCodes, EachScancodeAndEachDirectInputCodeOnce) {
  std::set<int> scancodes;
  std::map<int, int> dik_rows;
  std::map<int, int> vk_rows;
  for (const KeyCode& k : key_codes()) {
    EXPECT_TRUE(scancodes.insert(k.scancode).second) << "scancode " << k.scancode << " twice";
    EXPECT_NE(k.dik, 0) << "scancode " << k.scancode << " without a DirectInput code";
    EXPECT_EQ(++dik_rows[k.dik], 1) << "DirectInput code " << int{k.dik} << " twice";
    if (k.vk) ++vk_rows[k.vk];
    EXPECT_EQ(key_code(k.scancode), &k);
  }
  // Shared virtual keys: Return and Keypad Enter; ろ and the ISO key.
  for (const auto& [vk, rows] : vk_rows)
    EXPECT_EQ(rows, vk == 0x0D || vk == 0xE2 ? 2 : 1) << "virtual key " << vk;
  EXPECT_EQ(key_code(0), nullptr);
  EXPECT_EQ(key_code(-1), nullptr);
  EXPECT_EQ(key_code(100000), nullptr);
}

// The keys of the 101/106-key layouts by name, with both codes.
TEST(KeyCodes, TheLayoutsKeysByName) {
  struct Case {
    const char* name;
    int dik, vk;
  };
  const Case cases[] = {
      {"Escape", 0x01, 0x1B},      {"A", 0x1E, 0x41},          {"z", 0x2C, 0x5A},
      {"1", 0x02, 0x31},           {"0", 0x0B, 0x30},          {"Return", 0x1C, 0x0D},
      {"Space", 0x39, 0x20},       {"Backspace", 0x0E, 0x08},  {"Tab", 0x0F, 0x09},
      {"Left Shift", 0x2A, 0xA0},  {"Right Shift", 0x36, 0xA1}, {"Left Ctrl", 0x1D, 0xA2},
      {"Right Ctrl", 0x9D, 0xA3},  {"Left Alt", 0x38, 0xA4},   {"Right Alt", 0xB8, 0xA5},
      {"Left GUI", 0xDB, 0x5B},    {"CapsLock", 0x3A, 0x14},   {"F1", 0x3B, 0x70},
      {"F10", 0x44, 0x79},         {"F11", 0x57, 0x7A},        {"F12", 0x58, 0x7B},
      {"Up", 0xC8, 0x26},          {"Down", 0xD0, 0x28},       {"Left", 0xCB, 0x25},
      {"Right", 0xCD, 0x27},       {"Insert", 0xD2, 0x2D},     {"Delete", 0xD3, 0x2E},
      {"Home", 0xC7, 0x24},        {"End", 0xCF, 0x23},        {"PageUp", 0xC9, 0x21},
      {"PageDown", 0xD1, 0x22},    {"PrintScreen", 0xB7, 0x2C}, {"ScrollLock", 0x46, 0x91},
      {"Pause", 0xC5, 0x13},       {"Numlock", 0x45, 0x90},    {"Keypad 0", 0x52, 0x60},
      {"Keypad 7", 0x47, 0x67},    {"Keypad /", 0xB5, 0x6F},   {"Keypad Enter", 0x9C, 0x0D},
      {"Application", 0xDD, 0x5D},
      // The 106-key layout: its own keys and its own virtual keys for the signs.
      {"Hankaku/Zenkaku", 0x29, 0xF3},
      {"\xE5\x8D\x8A\xE8\xA7\x92/\xE5\x85\xA8\xE8\xA7\x92", 0x29, 0xF3},  // 半角/全角
      {"Henkan", 0x79, 0x1C},      {"\xE5\xA4\x89\xE6\x8F\x9B", 0x79, 0x1C},  // 変換
      {"Muhenkan", 0x7B, 0x1D},    {"\xE7\x84\xA1\xE5\xA4\x89\xE6\x8F\x9B", 0x7B, 0x1D},  // 無変換
      {"Katakana/Hiragana", 0x70, 0xF2},
      {"Yen", 0x7D, 0xDC},         {"\xC2\xA5", 0x7D, 0xDC},   // ¥
      {"Ro", 0x73, 0xE2},          {"\xE3\x82\x8D", 0x73, 0xE2},  // ろ
      {"[", 0x1A, 0xC0},           {"=", 0x0D, 0xDE},          {";", 0x27, 0xBB},
      {"'", 0x28, 0xBA},           {"]", 0x1B, 0xDB},          {"\\", 0x2B, 0xDD},
  };
  for (const Case& c : cases) {
    const KeyCode* k = key_code(key_scancode(c.name));
    ASSERT_NE(k, nullptr) << c.name;
    EXPECT_EQ(k->dik, c.dik) << c.name;
    EXPECT_EQ(k->vk, c.vk) << c.name;
  }
  EXPECT_EQ(key_scancode("no such key"), -1);
  EXPECT_EQ(key_scancode(""), -1);
  EXPECT_EQ(key_scancode("henkan"), key_scancode("Henkan"));
}

}  // namespace
}  // namespace zelt::platform
