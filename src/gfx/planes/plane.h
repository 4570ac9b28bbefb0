// Planes: the off-screen images that scripts draw into and blit between,
// named by slot numbers 0..1023 of one global table. A plane's header block
// (the 40-byte bitmap info header and its colour table) and its pixels live
// in one script-memory block, so scripts may read and write them through the
// addresses ginfo hands out. Rows are stored bottom-up, each padded to four
// bytes.
//
// The host keeps its own copy of the geometry (width, height, bit count,
// pitch): a script that rewrites the header in script memory changes what
// it reads back, never how far the host reads or writes.
//
// No lock: built-ins reach the table under the built-in lock.
#pragma once

#include <cstdint>
#include <span>

#include "core/script_memory.h"
#include "core/subsystem.h"

namespace zelt::gfx {

inline constexpr uint32_t kPlaneSlots = 1024;
inline constexpr uint32_t kInfoHeaderSize = 40;
// Largest width or height of a plane: pixel coordinates stay below 2^15, so
// the 16.16 fixed-point positions of the blit engine cannot overflow.
inline constexpr int32_t kMaxPlaneSide = 32767;
// Largest pixel memory of one plane: a quarter of the script address space,
// so that no single image file can exhaust it.
inline constexpr uint32_t kMaxPlaneBytes = uint32_t{1} << 30;

struct Rect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool empty() const { return right <= left || bottom <= top; }
  bool operator==(const Rect&) const = default;
};

// The common part of two rectangles (empty when they do not meet).
inline Rect rect_intersection(const Rect& a, const Rect& b) {
  return {a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
          a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
}

// The smallest rectangle holding both; an empty one is ignored, and two
// empty ones give the all-zero rectangle.
inline Rect rect_union(const Rect& a, const Rect& b) {
  if (a.empty()) return b.empty() ? Rect{} : b;
  if (b.empty()) return a;
  return {a.left < b.left ? a.left : b.left, a.top < b.top ? a.top : b.top,
          a.right > b.right ? a.right : b.right, a.bottom > b.bottom ? a.bottom : b.bottom};
}

struct Plane {
  ScriptAddr info = 0;          // header block: 40-byte header, colour table right after it
  ScriptAddr bits = 0;          // pixel memory, pitch × height bytes
  int32_t width = 0, height = 0, bit_count = 0, pitch = 0;
  uint32_t colour_count = 0;    // entries the header announces
  uint32_t table_entries = 0;   // entries allocated: at least 2^bits for 1, 4 and 8 bits,
                                // so that every pixel index falls inside the table
  Rect clip;
};

// Bytes per row of a plane: ((width × bits + 31) / 32) × 4; -1 when it does
// not fit in 31 bits.
int64_t plane_pitch(int64_t width, int64_t bit_count);
// The colour count of the header for a bit count: 2, 16, 256 or 0.
uint32_t default_colour_count(int32_t bit_count);
// The default colour table entry i (0x00RRGGBB) of a plane of that bit count.
uint32_t default_colour(int32_t bit_count, uint32_t i);

// A new plane, or null (bad size or bit count, script memory exhausted).
// colour_count < 0 takes the default of the bit count; a larger table
// (a 24-bit file with a palette, say) is kept up to 256 entries. The colour
// table is the default one (zeros past the defaults); pixels are zero.
Plane* plane_create(int32_t width, int32_t height, int32_t bit_count, int32_t colour_count = -1);
void plane_destroy(Plane* plane);

// The pixel memory (pitch × height bytes) and the colour table entries
// (table_entries of them, as 0x00RRGGBB in colour-table layout) of a live
// plane, checked against script memory.
std::span<uint8_t> plane_pixels(const Plane& plane);
std::span<uint32_t> plane_colour_table(const Plane& plane);
// The first byte of pixel (x, y), or null when x or y, taken as unsigned, is
// not below the width or height.
uint8_t* plane_pixel_address(const Plane* plane, int32_t x, int32_t y);
int32_t plane_width(const Plane* plane);
int32_t plane_height(const Plane* plane);
int32_t plane_bit_count(const Plane* plane);

// The slot's plane, or null (empty slot, handle above 1023).
Plane* plane_get(uint32_t handle);
// The plane in the slot that the handle's attachment names, or null.
Plane* plane_mask(uint32_t handle);
// Puts plane into slot (below 1024), destroying what was there.
void plane_put(uint32_t slot, Plane* plane);
// The slot that a galloc/gload target names, emptied: a number 0..1023
// itself, otherwise the address of a 32-bit integer that receives the
// highest empty slot (-1 when none). -1 when no slot is to be filled.
int32_t plane_target_slot(uint32_t target);

uint32_t view_page();
uint32_t active_page();

// Built-in operations; arguments as scripts pass them.
int32_t galloc(uint32_t target, int32_t width, int32_t height, int32_t bit_count);
int32_t gfree(uint32_t handle);
int32_t ginit();
int32_t gattach(uint32_t handle, uint32_t mask);
int32_t gdetach(uint32_t handle);
// info: the six fields width, height, bits, top-row address, row step,
// colour-table address.
void ginfo(uint32_t handle, int32_t info[6]);
// rect null: the whole plane.
int32_t gclip(uint32_t handle, const Rect* rect);
int32_t getpixel(uint32_t handle, int32_t x, int32_t y);
int32_t vpage(uint32_t handle);
int32_t apage(uint32_t handle);
// buffer: count entries of script memory (checked by the caller for the
// entries that will be copied, see palette_copy_count).
int32_t ggetpal(int32_t handle, uint32_t first, int32_t count, uint32_t* buffer);
int32_t gsetpal(int32_t handle, uint32_t first, int32_t count, const uint32_t* buffer);
// How many entries ggetpal/gsetpal would copy; 0 when they copy nothing.
int32_t plane_palette_copy_count(int32_t handle, uint32_t first, int32_t count);

// Destroys every plane and clears every attachment; both pages become 0.
void planes_reset();
// The state a script starts with: both pages 0, slot 0 holding the cleared
// [Screen] Width × Height × Depth plane.
void planes_runtime_start();

extern const Subsystem kPlanesSubsystem;

}  // namespace zelt::gfx
