// Image files: Windows bitmaps and JPEG files loaded into new planes
// (through the file layer, so from archives and compressed files too),
// planes saved as bitmap files, and difference files patched into planes.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "gfx/planes/plane.h"

namespace zelt::gfx {

// A new plane holding the image of the file at a script path, or null.
Plane* load_bitmap(std::string_view path);
Plane* load_jpeg(std::string_view path);
// The same from bytes in memory.
Plane* decode_bitmap(std::span<const uint8_t> data);
Plane* decode_jpeg(std::span<const uint8_t> data);
// decode_jpeg that refuses an image of more than max_pixels (width × height)
// before it takes any memory for it; bounds the work of fuzzing.
Plane* decode_jpeg(std::span<const uint8_t> data, uint64_t max_pixels);

// Built-in operations. rect: null for none.
int32_t gload(uint32_t target, std::string_view name);
int32_t gsave(std::string_view name, uint32_t handle, const Rect* rect);
// What applying a difference file did: applied is the built-in's result;
// bounds is the rectangle of the file's header, when the data held one (it
// is reported whether or not the data then applied).
struct DiffResult {
  int32_t applied = 0;
  bool has_bounds = false;
  Rect bounds;
};
// Applies the difference data (everything from its first byte to the end of
// what may be read) to the plane in slot handle at (x, y).
DiffResult dcopy(uint32_t handle, int32_t x, int32_t y, std::span<const uint8_t> data);
DiffResult dload(uint32_t handle, int32_t x, int32_t y, std::string_view name);

}  // namespace zelt::gfx
