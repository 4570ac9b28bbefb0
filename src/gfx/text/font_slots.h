// The 32 font slots scripts draw text with. A slot holds a 48-byte font
// description (face, height, angle, style flags, weight) that font_set and
// font_get exchange with scripts; the font itself is made from it when the
// slot is next drawn with after a change, and kept while the description
// stays the same.
//
// No lock: built-ins reach the slots under the built-in lock.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "core/subsystem.h"
#include "platform/font_face.h"

namespace zelt::gfx {

inline constexpr uint32_t kFontSlots = 32;

inline constexpr uint32_t kFontBold = 1u << 0;
inline constexpr uint32_t kFontItalic = 1u << 1;
inline constexpr uint32_t kFontUnderline = 1u << 2;
inline constexpr uint32_t kFontStrikeOut = 1u << 3;
inline constexpr uint32_t kFontSmooth = 1u << 4;

// Smooth text is rendered at this many times the slot's height.
inline constexpr int32_t kSmoothScale = 8;

// The layout scripts pass to font_set.
struct FontDescription {
  char face[32];   // code page 932, zero-terminated (an unterminated name is all 32 bytes)
  int32_t height;  // negative: em height; positive: cell height
  int32_t angle;   // tenths of a degree, counter-clockwise
  uint32_t flags;  // kFontBold ...
  int32_t weight;  // <= 0: 400

  bool operator==(const FontDescription& other) const { return std::memcmp(this, &other, sizeof *this) == 0; }
};
static_assert(sizeof(FontDescription) == 48);

// The description every slot starts with: "ＭＳ ゴシック", height 16.
FontDescription initial_font_description();

// The font's weight: weight <= 0 counts as 400; bold adds 300, up to 900.
int32_t font_weight(const FontDescription& d);
// What the platform is asked for; smooth slots are made eight times higher.
platform::FontRequest font_request(const FontDescription& d);

// font_set / font_get: 0 for a slot above 31.
int32_t font_set(uint32_t slot, const FontDescription& d);
int32_t font_get(uint32_t slot, FontDescription& d);
// The slot's description (slot below 32).
FontDescription& font_description(uint32_t slot);

// The slot's font, made now when its description differs from the one it
// was made from; null when no font can be made. The slot is below 32.
platform::Font* font_made(uint32_t slot);
// Fonts made since start-up (a description change costs one).
uint64_t font_make_count();

// font_list: the installed faces fit for Japanese text, as 32-byte entries
// (names cut at a character boundary to 31 bytes) into buffer, at most
// max_count of them; returns how many were written. The caller checks that
// buffer holds font_list_count(max_count) entries.
int32_t font_list_count(int32_t max_count);
int32_t font_list(std::span<uint8_t> buffer, int32_t max_count);

// Start-up resets every slot; shutdown and the runtime reset release the
// fonts and the smooth-text scratch picture.
extern const Subsystem kFontsSubsystem;

}  // namespace zelt::gfx
