// Arbitrary bytes as a JPEG file. Images are capped at 4 megapixels so that
// each input decodes in bounded time and memory. A plane that comes back
// must have the layout its header promises, with the row padding untouched
// (the loader writes inside each row, never past it).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "gfx/planes/image_files.h"
#include "fuzz_check.h"

namespace {

namespace gfx = zelt::gfx;

constexpr uint64_t kMaxPixels = uint64_t{4} << 20;

using zelt::fuzz::check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  gfx::Plane* plane = gfx::decode_jpeg(std::span<const uint8_t>(data, size), kMaxPixels);
  if (!plane) return 0;
  check(plane->width > 0 && plane->height > 0, "non-empty");
  check(uint64_t(plane->width) * uint64_t(plane->height) <= kMaxPixels, "size cap");
  check(plane->bit_count == 8 || plane->bit_count == 24, "bit count");
  const std::span<uint8_t> pixels = gfx::plane_pixels(*plane);
  check(pixels.size() == size_t(plane->pitch) * size_t(plane->height), "pixel memory");
  const size_t used = size_t(plane->width) * size_t(plane->bit_count / 8);
  for (int32_t y = 0; y < plane->height; ++y) {
    const uint8_t* row = gfx::plane_pixel_address(plane, 0, y);
    for (size_t i = used; i < size_t(plane->pitch); ++i) check(row[i] == 0, "row padding stays zero");
  }
  if (plane->bit_count == 8) {
    const std::span<uint32_t> table = gfx::plane_colour_table(*plane);
    for (uint32_t i = 0; i < 256; ++i) check(table[i] == i * 0x010101u, "grey ramp");
  }
  gfx::plane_destroy(plane);
  return 0;
}
