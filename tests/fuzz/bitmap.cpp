// Arbitrary bytes as a bitmap file decoded from memory: the decoder must
// refuse or produce a plane whose pixels all came from the data, never
// read past it, and never take more plane memory than the data can fill.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "gfx/planes/image_files.h"
#include "fuzz_check.h"

using zelt::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zelt::gfx;
  Plane* plane = decode_bitmap({data, size});
  if (!plane) return 0;
  check(plane->width >= 0 && plane->height >= 0 && plane->width <= kMaxPlaneSide &&
            plane->height <= kMaxPlaneSide,
        "plane size");
  const std::span<uint8_t> pixels = plane_pixels(*plane);
  check(pixels.data() != nullptr, "pixels usable");
  check(pixels.size() <= size, "pixels come from the data");
  check(plane->colour_count <= 256 && plane_colour_table(*plane).size() >= plane->colour_count,
        "colour table");
  // Touch every byte, so a short read would show as uninitialised memory
  // under MSan and as a wrong span under ASan.
  unsigned sum = 0;
  for (uint8_t b : pixels) sum += b;
  for (uint32_t c : plane_colour_table(*plane)) sum += c;
  (void)sum;
  plane_destroy(plane);
  return 0;
}
