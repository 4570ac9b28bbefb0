// Random filter and effect calls on small planes of every bit count, with
// random rectangles, quads, keys, amounts and angles, and random mesh bytes
// written where a script may write them. Nothing may be written outside the
// destination plane's pixels (row padding, the other planes and a guard
// block keep their fill), and no sample may come from outside a source:
// planes start with bytes below 0x80 and everything around their pixels is
// 0xFF, so a copying or averaging filter that shows a byte of 0x80 or more
// read memory it must not.
//
// Input: a settings byte (MultiThreading), then operations, each: a byte
// choosing the operation, a byte choosing destination and source planes,
// a fill byte, then the operation's arguments (Reader::coordinate and
// friends), and for meshes up to 64 bytes of points.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/config.h"
#include "core/script_memory.h"
#include "fuzz_input.h"
#include "gfx/effects/effects.h"
#include "gfx/effects/filters.h"
#include "gfx/planes/plane.h"
#include "gfx/raster/parallel_rows.h"

namespace {

using namespace zelt::gfx;
using zelt::fuzz::check;
using zelt::fuzz::Reader;

constexpr uint8_t kAround = 0xFF;
constexpr uint32_t kGuardSize = 256;
constexpr int kPlanes = 8;

struct Planes {
  uint32_t slots[kPlanes] = {1, 2, 3, 4, 5, 6, 7, 8};
  zelt::ScriptAddr guard = 0;
};

const Planes& planes() {
  static const Planes p = [] {
    zelt::config_defaults();
    set_pixels_per_thread_for_testing(1);
    Planes made;
    // Widths leave row padding where a format has any.
    const int32_t formats[kPlanes][3] = {{13, 9, 24}, {9, 17, 24}, {21, 11, 32}, {7, 5, 32},
                                         {11, 6, 8},  {10, 9, 16}, {11, 5, 1},   {7, 6, 4}};
    for (int i = 0; i < kPlanes; ++i) {
      Plane* plane = plane_create(formats[i][0], formats[i][1], formats[i][2]);
      check(plane != nullptr, "plane");
      plane_put(made.slots[i], plane);
    }
    made.guard = zelt::script_memory().allocate(kGuardSize);
    return made;
  }();
  return p;
}

size_t used_bytes(const Plane& p) { return (static_cast<size_t>(p.width) * static_cast<size_t>(p.bit_count) + 7) / 8; }

void fill(const Plane& p, uint8_t value) {
  const std::span<uint8_t> px = plane_pixels(p);
  std::memset(px.data(), kAround, px.size());
  for (int32_t y = 0; y < p.height; ++y) std::memset(px.data() + static_cast<size_t>(y) * p.pitch, value, used_bytes(p));
}

bool padding_kept(const Plane& p) {
  const std::span<uint8_t> px = plane_pixels(p);
  for (int32_t y = 0; y < p.height; ++y)
    for (size_t i = used_bytes(p); i < static_cast<size_t>(p.pitch); ++i)
      if (px[static_cast<size_t>(y) * p.pitch + i] != kAround) return false;
  return true;
}

bool all_below_0x80(const Plane& p) {
  const std::span<uint8_t> px = plane_pixels(p);
  for (int32_t y = 0; y < p.height; ++y)
    for (size_t i = 0; i < used_bytes(p); ++i)
      if (px[static_cast<size_t>(y) * p.pitch + i] >= 0x80) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Planes& p = planes();
  Reader in(data, size);
  zelt::config().MultiThreading = in.byte() & 1;
  std::memset(zelt::script_memory().span(p.guard, kGuardSize).data(), kAround, kGuardSize);
  effects_reset();
  for (int op = 0; op < 12 && !in.empty(); ++op) {
    const uint8_t what = in.byte(), which = in.byte(), value = in.byte() & 0x7F;
    const uint32_t d = p.slots[(which & 7) % kPlanes], s = p.slots[(which >> 3 & 7) % kPlanes];
    for (uint32_t slot : p.slots) {
      gclip(slot, nullptr);
      fill(*plane_get(slot), static_cast<uint8_t>(value ^ (slot * 5)) & 0x7F);
    }
    if (what & 0x80) {
      Rect clip = in.rect();
      gclip(d, &clip);
    }
    std::vector<std::vector<uint8_t>> before;
    for (uint32_t slot : p.slots) {
      const std::span<uint8_t> px = plane_pixels(*plane_get(slot));
      before.emplace_back(px.begin(), px.end());
    }
    Rect r1 = in.rect(), r2 = in.rect();
    const bool null1 = in.byte() & 1, null2 = in.byte() & 1;
    const Rect* a = null1 ? nullptr : &r1;
    const Rect* b = null2 ? nullptr : &r2;
    const int32_t x = in.coordinate(), y = in.coordinate(), k = in.coordinate(), m = in.coordinate();
    int32_t result = 0;
    bool copies = true;  // the destination's bytes come from the planes' bytes (copied or averaged)
    switch (what % 24) {
      case 0: {
        int32_t quad[8];
        for (int32_t& v : quad) v = in.byte() & 1 ? in.coordinate() : static_cast<int8_t>(in.byte()) % 40;
        result = freemap(d, in.byte() & 1 ? nullptr : quad, s, b, k);
        break;
      }
      case 1: result = rotate(d, a, s, b, x, k); break;
      case 2: result = tiled(d, a, s, b, x, y); break;
      case 3: result = smooth(d, a, s, b, k); copies = plane_get(s)->bit_count != 16; break;
      case 4: result = scroll(d, a, x, y); break;
      case 5: result = noise(d, a, x); copies = false; break;
      case 6: result = slice(d, a, x); break;
      case 7: result = gradation(d, x, y, s, b); copies = plane_get(s)->bit_count != 16; break;
      case 8: result = mosaic(d, x, y, s, b, k, m); copies = false; break;
      case 9: result = monotone(d, a, static_cast<uint32_t>(k), static_cast<uint32_t>(m)); copies = false; break;
      case 10: result = blur(d, x, y, s, b, k); copies = false; break;
      case 11: result = fire(d, a); break;
      default: {
        const uint32_t slot = what % 9;  // 8 is no slot
        result = ef_init(slot, d, a, s, b) != 0;
        if (in.byte() & 1) {
          int32_t info[3];
          if (ef_info(slot, info)) {
            const uint32_t bytes = static_cast<uint32_t>((info[0] + 1) * (info[1] + 1) * 8);
            const std::span<uint8_t> mesh = zelt::script_memory().span(static_cast<zelt::ScriptAddr>(info[2]), bytes);
            check(mesh.data() != nullptr, "mesh in script memory");
            for (size_t i = 0; i < mesh.size() && i < 64 && !in.empty(); ++i) mesh[(i * 37) % mesh.size()] = in.byte();
          }
        }
        switch (what % 24) {
          case 12: result = ef_copy(slot); break;
          case 13: result = ef_rotate(slot, x, y, k, m); break;
          case 14: result = ef_land(slot, x, y, k); break;
          case 15: result = ef_ball(slot, x, y, k); break;
          case 16: result = ef_whirl(slot, x); break;
          case 17: result = ef_raster(slot, x, y, k); break;
          case 18:
          case 19: ef_blob(slot, x, y, k % 200, m); result = ef_water(slot); break;
          case 20: result = ef_blob(slot, x, y, k, m) * 0; break;
          default: result = ef_copy(slot); break;
        }
        break;
      }
    }
    check(result == 0 || result == 1, "result");
    const Plane& dst = *plane_get(d);
    // Averages and moves of bytes below 0x80 stay below it; 16-bit channels
    // and sub-byte pixels mix bits across bytes, so only whole bytes count.
    if (copies && dst.bit_count >= 8 && dst.bit_count != 16) check(all_below_0x80(dst), "a sample from outside a source");
    for (int i = 0; i < kPlanes; ++i) {
      const Plane& plane = *plane_get(p.slots[i]);
      check(padding_kept(plane), "row padding untouched");
      if (p.slots[i] != d || result == 0) {
        const std::span<uint8_t> px = plane_pixels(plane);
        check(std::equal(px.begin(), px.end(), before[static_cast<size_t>(i)].begin()),
              "only the destination changes, and only when the result is 1");
      }
    }
    for (uint8_t byte : zelt::script_memory().span(p.guard, kGuardSize)) check(byte == kAround, "guard untouched");
  }
  effects_reset();
  return 0;
}
