// Random primitives (gclear, gfill, gline, gpoly) with random coordinates,
// colours and clip rectangles onto small planes of every bit count. Nothing
// may be written outside the drawn plane's pixels (its row padding, the
// other planes and a guard block keep their fill), fills and polygons keep
// to the clip rectangle, planes of 1 and 4 bits are never drawn into, and a
// primitive that reports 0 changed nothing.
//
// Input: a sequence of operations, each: a byte choosing plane (bits 0-2),
// primitive (bits 3-5) and whether a clip rectangle follows (bit 6); the
// clip rectangle; a fill byte for the plane; the colour; then the
// coordinates (see Reader::coordinate) and for gpoly a point count.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/config.h"
#include "fuzz_input.h"
#include "core/script_memory.h"
#include "gfx/planes/plane.h"
#include "gfx/raster/primitives.h"

namespace {

using namespace zelt::gfx;
using zelt::fuzz::check;
using zelt::fuzz::outside_clip_unchanged;
using zelt::fuzz::Reader;

constexpr uint8_t kFill = 0xA5;
constexpr uint32_t kGuardSize = 256;
constexpr int kPlanes = 6;

struct Planes {
  uint32_t slots[kPlanes] = {1, 2, 3, 4, 5, 6};
  zelt::ScriptAddr guard = 0;
};

const Planes& planes() {
  static const Planes p = [] {
    zelt::config_defaults();  // rows through the worker threads
    Planes made;
    const int32_t formats[kPlanes][3] = {{15, 9, 24}, {9, 7, 8}, {5, 4, 32}, {6, 3, 16}, {11, 5, 1}, {7, 6, 4}};
    for (int i = 0; i < kPlanes; ++i) {
      Plane* plane = plane_create(formats[i][0], formats[i][1], formats[i][2]);
      check(plane != nullptr, "plane");
      plane_put(made.slots[i], plane);
    }
    made.guard = zelt::script_memory().allocate(kGuardSize);
    std::memset(zelt::script_memory().span(made.guard, kGuardSize).data(), kFill, kGuardSize);
    return made;
  }();
  return p;
}


// The bytes of each row past its last pixel.
bool padding_is(const Plane& plane, uint8_t value) {
  const std::span<uint8_t> pixels = plane_pixels(plane);
  const uint32_t used = (static_cast<uint32_t>(plane.width) * static_cast<uint32_t>(plane.bit_count) + 7) / 8;
  for (int32_t y = 0; y < plane.height; ++y)
    for (uint32_t i = used; i < static_cast<uint32_t>(plane.pitch); ++i)
      if (pixels[static_cast<size_t>(y) * plane.pitch + i] != value) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Planes& p = planes();
  for (uint32_t s : p.slots) {
    gclip(s, nullptr);
    for (uint8_t& b : plane_pixels(*plane_get(s))) b = kFill;
  }
  Reader in(data, size);
  for (int op = 0; op < 16 && !in.empty(); ++op) {
    const uint8_t choice = in.byte();
    const uint32_t slot = p.slots[(choice & 7) % kPlanes];
    Plane& plane = *plane_get(slot);
    if (choice & 0x40) {
      Rect clip;
      clip.left = static_cast<int8_t>(in.byte());
      clip.top = static_cast<int8_t>(in.byte());
      clip.right = static_cast<int8_t>(in.byte());
      clip.bottom = static_cast<int8_t>(in.byte());
      gclip(slot, &clip);
    }
    // Pixels (row padding excluded) start from a fill of the input's choice,
    // so the blends meet varied destinations.
    const uint8_t fill = in.byte();
    const std::span<uint8_t> pixels = plane_pixels(plane);
    const size_t used = (static_cast<size_t>(plane.width) * static_cast<size_t>(plane.bit_count) + 7) / 8;
    for (int32_t y = 0; y < plane.height; ++y)
      std::memset(pixels.data() + static_cast<size_t>(y) * plane.pitch, fill, used);
    const std::vector<uint8_t> before(pixels.begin(), pixels.end());
    const uint32_t colour = in.u32();

    int32_t result = 1;
    bool keeps_to_clip = true;
    switch ((choice >> 3) & 7) {
      case 0: {
        const Rect rect{in.coordinate(), in.coordinate(), in.coordinate(), in.coordinate()};
        result = gclear(slot, &rect, colour);
        break;
      }
      case 1:
        result = gclear(slot, nullptr, colour);
        break;
      case 2:
      case 3: {
        const int32_t x = in.coordinate(), y = in.coordinate(), w = in.coordinate(), h = in.coordinate();
        result = gfill(slot, x, y, w, h, colour);
        if (colour >> 24 == 0) check(std::vector<uint8_t>(pixels.begin(), pixels.end()) == before, "alpha 0");
        break;
      }
      case 4:
      case 5: {
        const int32_t x0 = in.coordinate(), y0 = in.coordinate(), x1 = in.coordinate(), y1 = in.coordinate();
        result = gline(slot, x0, y0, x1, y1, colour);
        keeps_to_clip = false;
        break;
      }
      default: {
        std::vector<int32_t> points(static_cast<size_t>(in.byte() % 48) * 2);
        for (int32_t& v : points) v = in.coordinate();
        result = gpoly(slot, points, colour);
        break;
      }
    }
    check(result == 0 || result == 1, "result");
    if (result == 0 || plane.bit_count < 8)
      check(std::vector<uint8_t>(pixels.begin(), pixels.end()) == before, "a primitive that reports 0 draws nothing");
    if (keeps_to_clip && plane.bit_count >= 8) check(outside_clip_unchanged(plane, before), "clip rectangle kept");
    check(padding_is(plane, kFill), "row padding untouched");
    for (uint32_t s : p.slots)
      if (s != slot)
        for (uint8_t b : plane_pixels(*plane_get(s))) check(b == kFill, "other planes untouched");
    for (uint8_t b : zelt::script_memory().span(p.guard, kGuardSize)) check(b == kFill, "guard untouched");
    // Reset this plane's pixels to the common fill for the next checks of
    // the other planes.
    for (int32_t y = 0; y < plane.height; ++y)
      std::memset(pixels.data() + static_cast<size_t>(y) * plane.pitch, kFill, used);
  }
  for (uint32_t s : p.slots)
    for (uint8_t b : plane_pixels(*plane_get(s))) check(b == kFill, "planes left as filled");
  return 0;
}
