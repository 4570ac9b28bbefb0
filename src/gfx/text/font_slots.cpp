#include "gfx/text/font_slots.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "core/cp932.h"
#include "gfx/text/text_draw.h"

namespace zelt::gfx {
namespace {

struct FontSlot {
  FontDescription description = initial_font_description();
  FontDescription made_from = initial_font_description();
  std::unique_ptr<platform::Font> font;
};

FontSlot g_slots[kFontSlots];
uint64_t g_make_count = 0;

// The face list does not change while the program runs; fontconfig is asked once.
const std::vector<std::string>& face_names() {
  static const std::vector<std::string> names = platform::japanese_face_names();
  return names;
}

void release_fonts() {
  for (FontSlot& s : g_slots) s.font.reset();
  text_scratch_release();
}

void reset_slots() {
  release_fonts();
  for (FontSlot& s : g_slots) s.description = s.made_from = initial_font_description();
}

}  // namespace

FontDescription initial_font_description() {
  FontDescription d{};
  static constexpr char kFace[] = "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e";  // ＭＳ ゴシック
  std::memcpy(d.face, kFace, sizeof kFace);
  d.height = 16;
  return d;
}

int32_t font_weight(const FontDescription& d) {
  const int32_t weight = d.weight <= 0 ? 400 : d.weight;
  if (!(d.flags & kFontBold)) return weight;
  return std::min<int64_t>(int64_t{weight} + 300, 900);
}

platform::FontRequest font_request(const FontDescription& d) {
  platform::FontRequest r;
  const void* end = std::memchr(d.face, 0, sizeof d.face);
  r.face.assign(d.face, end ? static_cast<const char*>(end) : d.face + sizeof d.face);
  const int64_t height = int64_t{d.height} * (d.flags & kFontSmooth ? kSmoothScale : 1);
  r.height = static_cast<int>(std::clamp<int64_t>(height, INT32_MIN, INT32_MAX));
  r.escapement = d.angle;
  r.weight = font_weight(d);
  r.italic = d.flags & kFontItalic;
  r.underline = d.flags & kFontUnderline;
  r.strike_out = d.flags & kFontStrikeOut;
  return r;
}

int32_t font_set(uint32_t slot, const FontDescription& d) {
  if (slot >= kFontSlots) return 0;
  g_slots[slot].description = d;
  return 1;
}

int32_t font_get(uint32_t slot, FontDescription& d) {
  if (slot >= kFontSlots) return 0;
  d = g_slots[slot].description;
  return 1;
}

FontDescription& font_description(uint32_t slot) { return g_slots[slot].description; }

platform::Font* font_made(uint32_t slot) {
  FontSlot& s = g_slots[slot];
  if (s.font && s.description == s.made_from) return s.font.get();
  s.font.reset();
  s.font = platform::Font::make(font_request(s.description));
  if (!s.font) return nullptr;
  s.made_from = s.description;
  ++g_make_count;
  return s.font.get();
}

uint64_t font_make_count() { return g_make_count; }

int32_t font_list_count(int32_t max_count) {
  if (max_count <= 0) return 0;
  return static_cast<int32_t>(std::min<size_t>(face_names().size(), static_cast<size_t>(max_count)));
}

int32_t font_list(std::span<uint8_t> buffer, int32_t max_count) {
  const int32_t count = font_list_count(max_count);
  if (buffer.size() < size_t{32} * count) return 0;
  for (int32_t i = 0; i < count; ++i) {
    const std::string& name = face_names()[i];
    uint8_t* entry = buffer.data() + size_t{32} * i;
    const size_t n = cp932::cut_length(name, 31);
    std::memset(entry, 0, 32);
    std::memcpy(entry, name.data(), n);
  }
  return count;
}

const Subsystem kFontsSubsystem{
    .name = "fonts", .start = [] { reset_slots(); return true; }, .stop = release_fonts, .reset = reset_slots};

}  // namespace zelt::gfx
