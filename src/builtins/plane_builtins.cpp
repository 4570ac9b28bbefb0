// Built-in adapters of planes, palettes and image files: decode the
// argument cells, check every script address, call the planes layer.
#include <cstring>

#include "builtins/gfx_args.h"
#include "builtins/handlers.h"
#include "gfx/planes/image_files.h"
#include "gfx/planes/palette.h"
#include "gfx/planes/plane.h"

namespace zelt {
namespace {

// The rectangle of a difference file's header goes to the script's record.
uint32_t diff_result(const BuiltinArgs& a, uint32_t k, const gfx::DiffResult& result) {
  const std::span<uint8_t> out = a.span(k, sizeof(gfx::Rect));
  if (result.has_bounds && out.data()) std::memcpy(out.data(), &result.bounds, sizeof result.bounds);
  return int_result(result.applied);
}

// Everything from the address in cell k to the end of usable script memory.
std::span<const uint8_t> rest_of_memory(const BuiltinArgs& a, uint32_t k) {
  const ScriptMemory& memory = script_memory();
  const ScriptAddr at = a.addr(k);
  if (!memory.valid(at, 0)) return {};
  return memory.span(at, memory.end() - at);
}

}  // namespace

uint32_t bi_galloc(const BuiltinArgs& a) { return int_result(gfx::galloc(a.u32(0), a.i32(1), a.i32(2), a.i32(3))); }
uint32_t bi_gfree(const BuiltinArgs& a) { return int_result(gfx::gfree(a.u32(0))); }
uint32_t bi_ginit(const BuiltinArgs&) { return int_result(gfx::ginit()); }
uint32_t bi_gattach(const BuiltinArgs& a) { return int_result(gfx::gattach(a.u32(0), a.u32(1))); }
uint32_t bi_gdetach(const BuiltinArgs& a) { return int_result(gfx::gdetach(a.u32(0))); }

// A null record writes nothing; an unusable one fails.
uint32_t bi_ginfo(const BuiltinArgs& a) {
  if (a.addr(1) == 0) return 1;
  const std::span<uint8_t> out = a.span(1, 24);
  if (!out.data()) return 0;
  int32_t info[6];
  gfx::ginfo(a.u32(0), info);
  std::memcpy(out.data(), info, sizeof info);
  return 1;
}

uint32_t bi_gclip(const BuiltinArgs& a) {
  gfx::Rect storage, *rect;
  if (!rect_arg(a, 1, storage, rect)) return 0;
  return int_result(gfx::gclip(a.u32(0), rect));
}

uint32_t bi_getpixel(const BuiltinArgs& a) { return int_result(gfx::getpixel(a.u32(0), a.i32(1), a.i32(2))); }
uint32_t bi_vpage(const BuiltinArgs& a) { return int_result(gfx::vpage(a.u32(0))); }
uint32_t bi_apage(const BuiltinArgs& a) { return int_result(gfx::apage(a.u32(0))); }

// Only the entries that will be copied must be usable script memory.
uint32_t bi_ggetpal(const BuiltinArgs& a) {
  const int32_t n = gfx::plane_palette_copy_count(a.i32(0), a.u32(1), a.i32(2));
  const std::span<uint8_t> buffer = a.span(3, 4 * static_cast<uint32_t>(n));
  if (n == 0 || !buffer.data()) return 0;
  uint32_t entries[gfx::kPaletteEntries];
  const int32_t copied = gfx::ggetpal(a.i32(0), a.u32(1), n, entries);
  std::memcpy(buffer.data(), entries, 4 * static_cast<size_t>(copied));
  return int_result(copied);
}

uint32_t bi_gsetpal(const BuiltinArgs& a) {
  const int32_t n = gfx::plane_palette_copy_count(a.i32(0), a.u32(1), a.i32(2));
  const std::span<uint8_t> buffer = a.span(3, 4 * static_cast<uint32_t>(n));
  if (n == 0 || !buffer.data()) return 0;
  uint32_t entries[gfx::kPaletteEntries];
  std::memcpy(entries, buffer.data(), 4 * static_cast<size_t>(n));
  return int_result(gfx::gsetpal(a.i32(0), a.u32(1), n, entries));
}

uint32_t bi_pal_set(const BuiltinArgs& a) { return int_result(gfx::pal_set(a.u32(0), a.u32(1))); }
uint32_t bi_pal_get(const BuiltinArgs& a) { return gfx::pal_get(a.u32(0)); }

uint32_t bi_pal_sets(const BuiltinArgs& a) {
  const uint32_t first = a.u32(0);
  const int32_t n = gfx::palette_span_count(first, a.i32(1));
  const std::span<uint8_t> source = a.span(2, 4 * static_cast<uint32_t>(n));
  if (n == 0 || !source.data()) return 0;
  std::memcpy(gfx::working_palette().data() + first, source.data(), 4 * static_cast<size_t>(n));
  return 1;
}

uint32_t bi_pal_gets(const BuiltinArgs& a) {
  const uint32_t first = a.u32(0);
  const int32_t n = gfx::palette_span_count(first, a.i32(1));
  const std::span<uint8_t> destination = a.span(2, 4 * static_cast<uint32_t>(n));
  if (n == 0 || !destination.data()) return 0;
  std::memcpy(destination.data(), gfx::working_palette().data() + first, 4 * static_cast<size_t>(n));
  return 1;
}

uint32_t bi_pal_load(const BuiltinArgs& a) { return int_result(gfx::pal_load(a.u32(0), a.u32(1), a.u32(2), a.i32(3))); }
uint32_t bi_pal_change(const BuiltinArgs&) { return int_result(gfx::pal_change()); }

uint32_t bi_pal_map(const BuiltinArgs& a) {
  const std::span<uint8_t> source = a.span(0, sizeof(gfx::Palette));
  if (!source.data()) return 0;
  gfx::Palette palette;
  std::memcpy(palette.data(), source.data(), sizeof palette);
  gfx::pal_map(palette);
  return 1;
}

uint32_t bi_rgbtohsv(const BuiltinArgs& a) { return gfx::rgbtohsv(a.u32(0)); }
uint32_t bi_hsvtorgb(const BuiltinArgs& a) { return gfx::hsvtorgb(a.u32(0)); }

uint32_t bi_gload(const BuiltinArgs& a) {
  std::string_view name;
  return a.str(1, name) ? int_result(gfx::gload(a.u32(0), name)) : 0;
}

uint32_t bi_gsave(const BuiltinArgs& a) {
  std::string_view name;
  gfx::Rect storage, *rect;
  if (!a.str(0, name) || !rect_arg(a, 2, storage, rect)) return 0;
  return int_result(gfx::gsave(name, a.u32(1), rect));
}

uint32_t bi_dload(const BuiltinArgs& a) {
  std::string_view name;
  if (!a.str(3, name)) return 0;
  return diff_result(a, 4, gfx::dload(a.u32(0), a.i32(1), a.i32(2), name));
}

uint32_t bi_dcopy(const BuiltinArgs& a) {
  const std::span<const uint8_t> data = rest_of_memory(a, 3);
  if (!data.data()) return 0;
  return diff_result(a, 4, gfx::dcopy(a.u32(0), a.i32(1), a.i32(2), data));
}

}  // namespace zelt
