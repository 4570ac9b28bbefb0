// Built-in adapters of the font slots and text drawing.
#include <cstring>

#include "builtins/format.h"
#include "builtins/handlers.h"
#include "builtins/system.h"
#include "core/cp932.h"
#include "gfx/text/font_slots.h"
#include "gfx/text/text_draw.h"
#include "script/host/host.h"

namespace zelt {
namespace {

// Formatted text is cut to what a 1024-byte buffer holds.
constexpr size_t kFormattedTextMax = 1023;

uint32_t draw_text(const BuiltinArgs& a, std::string_view text) {
  return int_result(gfx::gtext(a.u32(0), a.i32(1), a.i32(2), a.u32(3), text, current_thread_font(), sys::kOsPlatform));
}

}  // namespace

// Nothing is written unless every entry to be filled can be.
uint32_t bi_font_list(const BuiltinArgs& a) {
  const int32_t count = gfx::font_list_count(a.i32(1));
  if (count == 0) return 0;
  const std::span<uint8_t> buffer = a.span(0, static_cast<uint32_t>(count) * 32);
  if (!buffer.data()) return 0;
  return int_result(gfx::font_list(buffer, a.i32(1)));
}

uint32_t bi_font_use(const BuiltinArgs& a) {
  set_current_thread_font(static_cast<uint8_t>(a.u32(0)));
  return 1;
}

uint32_t bi_font_set(const BuiltinArgs& a) {
  const std::span<uint8_t> in = a.span(1, sizeof(gfx::FontDescription));
  if (a.u32(0) >= gfx::kFontSlots || !in.data()) return 0;
  gfx::FontDescription d;
  std::memcpy(&d, in.data(), sizeof d);
  return int_result(gfx::font_set(a.u32(0), d));
}

uint32_t bi_font_get(const BuiltinArgs& a) {
  const std::span<uint8_t> out = a.span(1, sizeof(gfx::FontDescription));
  gfx::FontDescription d;
  if (!out.data() || !gfx::font_get(a.u32(0), d)) return 0;
  std::memcpy(out.data(), &d, sizeof d);
  return 1;
}

uint32_t bi_gtext(const BuiltinArgs& a) {
  std::string_view text;
  if (!a.str(4, text)) return 0;
  return draw_text(a, text);
}

// A result beyond the buffer is cut (never in the middle of a character).
uint32_t bi_gtextf(const BuiltinArgs& a) {
  std::string_view format;
  if (!a.str(4, format)) return 0;
  std::string text;
  format_cells(format, a, 5, size_t{1} << 20, text);
  text.resize(cp932::cut_length(text, kFormattedTextMax));
  return draw_text(a, text);
}

}  // namespace zelt
