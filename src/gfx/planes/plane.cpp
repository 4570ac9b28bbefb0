#include "gfx/planes/plane.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/config.h"
#include "core/messages.h"
#include "gfx/planes/palette.h"

namespace zelt::gfx {
namespace {

struct PlaneSlot {
  Plane* plane = nullptr;
  int32_t attached = -1;  // the mask slot, or -1
};

std::array<PlaneSlot, kPlaneSlots> g_slots;
uint32_t g_view_page = 0;
uint32_t g_active_page = 0;

bool valid_bit_count(int32_t bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

void put_u32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
void put_u16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }

// The 40-byte bitmap info header as a new plane carries it.
void write_info_header(uint8_t* h, const Plane& p) {
  std::memset(h, 0, kInfoHeaderSize);
  put_u32(h + 0, kInfoHeaderSize);
  put_u32(h + 4, static_cast<uint32_t>(p.width));
  put_u32(h + 8, static_cast<uint32_t>(p.height));
  put_u16(h + 12, 1);
  put_u16(h + 14, static_cast<uint16_t>(p.bit_count));
  put_u32(h + 20, static_cast<uint32_t>(p.pitch) * static_cast<uint32_t>(p.height));
  put_u32(h + 32, p.colour_count);
  put_u32(h + 36, p.colour_count);
}

void destroy_slot(uint32_t slot) {
  plane_destroy(g_slots[slot].plane);
  g_slots[slot].plane = nullptr;
}

bool is_page(uint32_t slot) { return slot == g_view_page || slot == g_active_page; }

// Makes the slot a page: a slot number above 1023 is reported, an empty
// slot refused silently.
int32_t set_page(uint32_t& page, uint32_t handle, Msg out_of_range) {
  if (handle >= kPlaneSlots) {
    report(kLevelDevice, out_of_range);
    return 0;
  }
  if (!g_slots[handle].plane) return 0;
  page = handle;
  return 1;
}

}  // namespace

int64_t plane_pitch(int64_t width, int64_t bit_count) {
  const int64_t pitch = (width * bit_count + 31) / 32 * 4;
  return pitch > INT32_MAX ? -1 : pitch;
}

uint32_t default_colour_count(int32_t bit_count) {
  return bit_count == 1 ? 2 : bit_count == 4 ? 16 : bit_count == 8 ? 256 : 0;
}

uint32_t default_colour(int32_t bit_count, uint32_t i) {
  auto rgb = [](uint32_t r, uint32_t g, uint32_t b) { return r << 16 | g << 8 | b; };
  switch (bit_count) {
    case 1:
      return i == 0 ? 0 : i == 1 ? 0xFFFFFF : 0;
    case 4: {
      if (i >= 16) return 0;
      // Bit 3 is intensity, bits 2..0 red, green, blue: a channel that is on
      // is 127 when dim and 255 when bright.
      const uint32_t on = (i & 8) ? 255 : 127;
      auto level = [&](uint32_t bit) -> uint32_t { return (i & bit) ? on : 0; };
      return rgb(level(4), level(2), level(1));
    }
    case 8:
      if (i >= 256) return 0;
      return rgb(((i >> 5) & 7) * 255 / 7, ((i >> 2) & 7) * 255 / 7, (i & 3) * 85);
    default:
      return 0;
  }
}

Plane* plane_create(int32_t width, int32_t height, int32_t bit_count, int32_t colour_count) {
  if (!valid_bit_count(bit_count) || width < 0 || height < 0 || width > kMaxPlaneSide ||
      height > kMaxPlaneSide)
    return nullptr;
  const int64_t pitch = plane_pitch(width, bit_count);
  const int64_t pixel_bytes = pitch * height;
  if (pitch < 0 || pixel_bytes > kMaxPlaneBytes) return nullptr;
  const uint32_t colours =
      colour_count < 0 ? default_colour_count(bit_count) : static_cast<uint32_t>(colour_count);
  if (colours > kPaletteEntries) return nullptr;
  const uint32_t table = std::max(colours, default_colour_count(bit_count));
  const uint32_t header_bytes = (kInfoHeaderSize + 4 * table + 15) / 16 * 16;

  ScriptMemory& memory = script_memory();
  const ScriptAddr block =
      memory.allocate_owned(header_bytes + static_cast<uint32_t>(std::max<int64_t>(pixel_bytes, 1)));
  if (block == 0) return nullptr;
  Plane* plane = new Plane;
  plane->info = block;
  plane->bits = block + header_bytes;
  plane->width = width;
  plane->height = height;
  plane->bit_count = bit_count;
  plane->pitch = static_cast<int32_t>(pitch);
  plane->colour_count = colours;
  plane->table_entries = table;
  plane->clip = {0, 0, width, height};
  write_info_header(memory.span(block, kInfoHeaderSize).data(), *plane);
  std::span<uint32_t> entries = plane_colour_table(*plane);
  for (uint32_t i = 0; i < entries.size(); ++i) entries[i] = default_colour(bit_count, i);
  return plane;
}

void plane_destroy(Plane* plane) {
  if (!plane) return;
  script_memory().free_owned(plane->info);
  delete plane;
}

std::span<uint8_t> plane_pixels(const Plane& plane) {
  return script_memory().span(plane.bits, static_cast<uint32_t>(plane.pitch) * static_cast<uint32_t>(plane.height));
}

std::span<uint32_t> plane_colour_table(const Plane& plane) {
  const std::span<uint8_t> bytes = script_memory().span(plane.info + kInfoHeaderSize, 4 * plane.table_entries);
  if (!bytes.data()) return {};
  return {reinterpret_cast<uint32_t*>(bytes.data()), plane.table_entries};
}

uint8_t* plane_pixel_address(const Plane* plane, int32_t x, int32_t y) {
  if (!plane || static_cast<uint32_t>(x) >= static_cast<uint32_t>(plane->width) ||
      static_cast<uint32_t>(y) >= static_cast<uint32_t>(plane->height))
    return nullptr;
  const std::span<uint8_t> pixels = plane_pixels(*plane);
  if (!pixels.data()) return nullptr;
  const size_t row = static_cast<size_t>(plane->height - 1 - y) * static_cast<size_t>(plane->pitch);
  return pixels.data() + row + static_cast<size_t>(x) * static_cast<size_t>(plane->bit_count) / 8;
}

int32_t plane_width(const Plane* plane) { return plane ? plane->width : 0; }
int32_t plane_height(const Plane* plane) { return plane ? plane->height : 0; }
int32_t plane_bit_count(const Plane* plane) { return plane ? plane->bit_count : 0; }

Plane* plane_get(uint32_t handle) { return handle < kPlaneSlots ? g_slots[handle].plane : nullptr; }

Plane* plane_mask(uint32_t handle) {
  if (handle >= kPlaneSlots || g_slots[handle].attached < 0) return nullptr;
  return g_slots[static_cast<uint32_t>(g_slots[handle].attached)].plane;
}

void plane_put(uint32_t slot, Plane* plane) {
  if (slot >= kPlaneSlots) {
    plane_destroy(plane);
    return;
  }
  destroy_slot(slot);
  g_slots[slot].plane = plane;
}

int32_t plane_target_slot(uint32_t target) {
  if (target < kPlaneSlots) {
    destroy_slot(target);
    return static_cast<int32_t>(target);
  }
  const std::span<uint8_t> out = script_memory().span(target, 4);
  if (!out.data()) return -1;
  int32_t slot = kPlaneSlots - 1;
  while (slot >= 0 && g_slots[static_cast<uint32_t>(slot)].plane) --slot;
  std::memcpy(out.data(), &slot, 4);
  return slot;
}

uint32_t view_page() { return g_view_page; }
uint32_t active_page() { return g_active_page; }

int32_t galloc(uint32_t target, int32_t width, int32_t height, int32_t bit_count) {
  const int32_t slot = plane_target_slot(target);
  if (slot < 0) return 0;
  Plane* plane = plane_create(width, height, bit_count);
  if (!plane) {
    report(kLevelDevice, Msg::CreatePlaneFailed);
    return 0;
  }
  g_slots[static_cast<uint32_t>(slot)].plane = plane;
  return 1;
}

int32_t gfree(uint32_t handle) {
  if (handle >= kPlaneSlots) return 0;
  if (!is_page(handle)) destroy_slot(handle);
  g_slots[handle].attached = -1;
  return 1;
}

int32_t ginit() {
  for (uint32_t slot = 0; slot < kPlaneSlots; ++slot) gfree(slot);
  return 1;
}

int32_t gattach(uint32_t handle, uint32_t mask) {
  if (handle >= kPlaneSlots || mask >= kPlaneSlots) return 0;
  g_slots[handle].attached = static_cast<int32_t>(mask);
  return 1;
}

int32_t gdetach(uint32_t handle) {
  if (handle >= kPlaneSlots) return 0;
  g_slots[handle].attached = -1;
  return 1;
}

void ginfo(uint32_t handle, int32_t info[6]) {
  std::fill(info, info + 6, 0);
  const Plane* plane = plane_get(handle);
  if (!plane) return;
  info[0] = plane->width;
  info[1] = plane->height;
  info[2] = plane->bit_count;
  if (plane->width > 0 && plane->height > 0)
    info[3] = static_cast<int32_t>(plane->bits + static_cast<uint32_t>(plane->height - 1) * static_cast<uint32_t>(plane->pitch));
  info[4] = -plane->pitch;
  info[5] = static_cast<int32_t>(plane->info + kInfoHeaderSize);
}

int32_t gclip(uint32_t handle, const Rect* rect) {
  Plane* plane = plane_get(handle);
  if (!plane) return 0;
  if (!rect) {
    plane->clip = {0, 0, plane->width, plane->height};
    return 1;
  }
  Rect r = *rect;
  if (r.right < r.left) std::swap(r.left, r.right);
  if (r.bottom < r.top) std::swap(r.top, r.bottom);
  r.left = std::max(r.left, 0);
  r.top = std::max(r.top, 0);
  r.right = std::min(r.right, plane->width);
  r.bottom = std::min(r.bottom, plane->height);
  plane->clip = r;
  return 1;
}

int32_t getpixel(uint32_t handle, int32_t x, int32_t y) {
  const Plane* plane = plane_get(handle);
  const uint8_t* p = plane_pixel_address(plane, x, y);
  if (!p) return 0;
  auto table_entry = [&](uint32_t index) -> int32_t {
    const std::span<uint32_t> table = plane_colour_table(*plane);
    return index < table.size() ? static_cast<int32_t>(table[index] & 0xFFFFFF) : 0;
  };
  switch (plane->bit_count) {
    case 1:
      return table_entry((*p >> (7 - (x & 7))) & 1);
    case 4:
      return table_entry((x & 1) ? (*p & 15) : (*p >> 4));
    case 8:
      return table_entry(*p);
    case 16: {
      const uint32_t v = static_cast<uint32_t>(p[0] | p[1] << 8);
      auto expand = [](uint32_t c) { return (c << 3) | (c >> 2); };
      return static_cast<int32_t>(expand((v >> 10) & 31) << 16 | expand((v >> 5) & 31) << 8 | expand(v & 31));
    }
    case 24:
    case 32:
      return p[2] << 16 | p[1] << 8 | p[0];
    default:
      return 0;
  }
}

int32_t vpage(uint32_t handle) { return set_page(g_view_page, handle, Msg::SetViewPageRange); }
int32_t apage(uint32_t handle) { return set_page(g_active_page, handle, Msg::SetActivePageRange); }

int32_t plane_palette_copy_count(int32_t handle, uint32_t first, int32_t count) {
  if (first > 255 || count <= 0) return 0;
  if (handle == -1) return std::min<int32_t>(count, static_cast<int32_t>(kPaletteEntries - first));
  const Plane* plane = plane_get(static_cast<uint32_t>(handle));
  if (!plane || plane->bit_count > 8 || first >= plane->colour_count) return 0;
  return std::min<int32_t>(count, static_cast<int32_t>(plane->colour_count - first));
}

int32_t ggetpal(int32_t handle, uint32_t first, int32_t count, uint32_t* buffer) {
  const int32_t n = plane_palette_copy_count(handle, first, count);
  if (n == 0) return 0;
  const uint32_t* from = handle == -1 ? working_palette().data() : plane_colour_table(*plane_get(static_cast<uint32_t>(handle))).data();
  std::memcpy(buffer, from + first, 4 * static_cast<size_t>(n));
  return n;
}

int32_t gsetpal(int32_t handle, uint32_t first, int32_t count, const uint32_t* buffer) {
  const int32_t n = plane_palette_copy_count(handle, first, count);
  if (n == 0) return 0;
  uint32_t* to = handle == -1 ? working_palette().data() : plane_colour_table(*plane_get(static_cast<uint32_t>(handle))).data();
  std::memmove(to + first, buffer, 4 * static_cast<size_t>(n));
  return n;
}

void planes_reset() {
  for (uint32_t slot = 0; slot < kPlaneSlots; ++slot) {
    destroy_slot(slot);
    g_slots[slot].attached = -1;
  }
  g_view_page = g_active_page = 0;
}

void planes_runtime_start() {
  palettes_reset();
  g_view_page = g_active_page = 0;
  const Config& c = config();
  // New planes are zero, which is colour value 0 in every format.
  Plane* screen = plane_create(c.Width, c.Height, c.Depth);
  if (!screen) {
    report(kLevelDevice, Msg::CreatePlaneFailed);
    return;
  }
  plane_put(0, screen);
}

const Subsystem kPlanesSubsystem{.name = "planes", .reset = planes_reset, .runtime_start = planes_runtime_start};

}  // namespace zelt::gfx
