// Random blits between small planes of every bit count: gcopy, gblit and
// gblita by slot (masks attached to the source slot) and the scaled and
// rotated operations on planes directly, with random descriptors,
// rectangles anywhere in 32 bits, angles, clip rectangles, colour mapping,
// the same plane as source and destination, and plane headers overwritten
// in script memory. Nothing may be written outside the destination's
// pixels (row padding, other planes, masks and a guard block keep their
// bytes), pixels outside the destination's clip rectangle stay, planes of
// 1 and 4 bits are never written, a blit that reports 0 changed nothing,
// and MultiThreading 0 and 1 give the same bytes (between separate planes).
//
// Input: a sequence of operations, each: a byte choosing the destination
// (bits 0-2), the source (bits 3-5) and whether a clip rectangle follows
// (bit 6) and whether the source gets a mask (bit 7); a byte choosing the
// operation and the switches; fills of both planes; the descriptor's 12
// bytes; the rectangles (see Reader::coordinate); the angle.
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
#include "gfx/planes/palette.h"
#include "gfx/planes/plane.h"
#include "gfx/raster/blit.h"
#include "gfx/raster/parallel_rows.h"

namespace {

using namespace zelt::gfx;
using zelt::fuzz::check;
using zelt::fuzz::outside_clip_unchanged;
using zelt::fuzz::Reader;

constexpr uint8_t kGuardFill = 0xA5;
constexpr uint32_t kGuardSize = 256;
constexpr int kPlanes = 8, kMasks = 2;
constexpr uint32_t kMaskSlots[kMasks] = {20, 21};

struct Planes {
  uint32_t slots[kPlanes] = {1, 2, 3, 4, 5, 6, 7, 8};
  zelt::ScriptAddr guard = 0;
};

const Planes& planes() {
  static const Planes p = [] {
    zelt::config_defaults();
    set_pixels_per_thread_for_testing(1);  // small pictures through the workers too
    Planes made;
    const int32_t formats[kPlanes][3] = {{13, 9, 32}, {9, 7, 24}, {11, 6, 16}, {7, 10, 8},
                                         {12, 5, 32}, {6, 4, 8},  {9, 3, 1},   {5, 6, 4}};
    for (int i = 0; i < kPlanes; ++i) {
      Plane* plane = plane_create(formats[i][0], formats[i][1], formats[i][2]);
      check(plane != nullptr, "plane");
      plane_put(made.slots[i], plane);
    }
    const int32_t masks[kMasks][3] = {{10, 8, 8}, {5, 12, 16}};
    for (int i = 0; i < kMasks; ++i) {
      Plane* mask = plane_create(masks[i][0], masks[i][1], masks[i][2]);
      check(mask != nullptr, "mask");
      plane_put(kMaskSlots[i], mask);
      const std::span<uint8_t> px = plane_pixels(*mask);
      for (size_t k = 0; k < px.size(); ++k) px[k] = static_cast<uint8_t>(k * 37 + i);
    }
    made.guard = zelt::script_memory().allocate(kGuardSize);
    std::memset(zelt::script_memory().span(made.guard, kGuardSize).data(), kGuardFill, kGuardSize);
    Palette ramp;
    for (uint32_t i = 0; i < kPaletteEntries; ++i) ramp[i] = i * 0x010101u ^ (i << 16);
    pal_map(ramp);
    return made;
  }();
  return p;
}


size_t used_bytes(const Plane& p) {
  return (static_cast<size_t>(p.width) * static_cast<size_t>(p.bit_count) + 7) / 8;
}

// Pixels from a seed, padding left as it is.
void fill(Plane& p, uint8_t seed) {
  const std::span<uint8_t> px = plane_pixels(p);
  const size_t used = used_bytes(p);
  for (int32_t y = 0; y < p.height; ++y)
    for (size_t i = 0; i < used; ++i) px[static_cast<size_t>(y) * p.pitch + i] = static_cast<uint8_t>(seed * (i + 3 * y) + seed);
}

std::vector<uint8_t> bytes(const Plane& p) {
  const std::span<uint8_t> px = plane_pixels(p);
  return {px.begin(), px.end()};
}

bool padding_unchanged(const Plane& plane, const std::vector<uint8_t>& before) {
  const std::span<uint8_t> pixels = plane_pixels(plane);
  for (int32_t y = 0; y < plane.height; ++y)
    for (size_t i = used_bytes(plane); i < static_cast<size_t>(plane.pitch); ++i) {
      const size_t at = static_cast<size_t>(y) * plane.pitch + i;
      if (pixels[at] != before[at]) return false;
    }
  return true;
}

struct Blit {
  int operation = 0;
  uint32_t destination = 0, source = 0;
  Rect destination_rect, source_rect;
  bool whole_source = false;
  BlitMode mode;
  int32_t angle = 0;
};

int32_t run(const Blit& b) {
  const Rect* sr = b.whole_source ? nullptr : &b.source_rect;
  switch (b.operation) {
    case 0: return gcopy(b.destination, b.destination_rect.left, b.destination_rect.top, b.source, sr, &b.mode);
    case 1: return gblit(b.destination, &b.destination_rect, b.source, sr, &b.mode, b.angle);
    case 2: return gblita(b.destination, &b.destination_rect, b.source, sr, &b.mode, b.angle);
    case 3: return gblit(b.destination, nullptr, b.source, nullptr, nullptr, b.angle);
    default: {
      // The internal operations, with the source's mask as the built-ins pass it.
      Plane* d = plane_get(b.destination);
      Plane* s = plane_get(b.source);
      if (!d || !s) return 0;
      const Rect whole{0, 0, s->width, s->height};
      const Rect& from = b.whole_source ? whole : b.source_rect;
      switch (b.operation) {
        case 4: return blit_scaled(d, b.destination_rect, s, from, plane_mask(b.source), b.mode);
        case 5: return blit_rotated(d, b.destination_rect, s, from, plane_mask(b.source), b.mode, b.angle);
        default: return blit_rotated_smooth(d, b.destination_rect, s, from, plane_mask(b.source), b.mode, b.angle);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Planes& p = planes();
  Reader in(data, size);
  for (int op = 0; op < 8 && !in.empty(); ++op) {
    const uint8_t choice = in.byte(), how = in.byte();
    Blit b;
    b.destination = p.slots[(choice & 7) % kPlanes];
    b.source = p.slots[((choice >> 3) & 7) % kPlanes];
    if (how & 0x80) b.destination = 999;  // names nothing
    Plane& destination = *plane_get(p.slots[(choice & 7) % kPlanes]);
    Plane& source = *plane_get(b.source);
    gclip(p.slots[(choice & 7) % kPlanes], nullptr);
    if (choice & 0x40) {
      const Rect clip{static_cast<int8_t>(in.byte()), static_cast<int8_t>(in.byte()), static_cast<int8_t>(in.byte()),
                      static_cast<int8_t>(in.byte())};
      gclip(p.slots[(choice & 7) % kPlanes], &clip);
    }
    if (choice & 0x80) gattach(b.source, kMaskSlots[how & 1]);
    else gdetach(b.source);
    b.operation = (how >> 1) % 7;
    set_color_mapping((how >> 4) & 1);
    b.whole_source = (how >> 5) & 1;
    fill(source, in.byte());
    fill(destination, in.byte());
    uint8_t descriptor[sizeof(BlitMode)];
    for (uint8_t& v : descriptor) v = in.byte();
    std::memcpy(&b.mode, descriptor, sizeof descriptor);
    b.mode.mode %= 40;  // mostly real modes, a few past the last
    b.destination_rect = in.rect();
    b.source_rect = in.rect();
    b.angle = static_cast<int32_t>(in.u32());
    // A script may have written anything over the header.
    if (how & 0x40) {
      const std::span<uint8_t> header = zelt::script_memory().span(source.info, 40);
      for (uint8_t& v : header) v = in.byte();
    }

    std::vector<std::vector<uint8_t>> others;
    for (uint32_t s : p.slots) others.push_back(bytes(*plane_get(s)));

    // The same blit with and without the worker threads.
    const std::vector<uint8_t> before = bytes(destination), source_before = bytes(source);
    zelt::config().MultiThreading = 0;
    const int32_t alone = run(b);
    const std::vector<uint8_t> after = bytes(destination);
    std::memcpy(plane_pixels(destination).data(), before.data(), before.size());
    if (&source != &destination) std::memcpy(plane_pixels(source).data(), source_before.data(), source_before.size());
    zelt::config().MultiThreading = 1;
    const int32_t threaded = run(b);
    check(alone == threaded, "the same result with threads");
    // A plane blitted onto itself may read rows another thread has already
    // written: only separate planes must match.
    if (&source != &destination) check(bytes(destination) == after, "the same bytes with threads");

    check(alone == 0 || alone == 1, "result");
    if (alone == 0 || destination.bit_count < 8) check(after == before, "a blit that reports 0 (or onto 1/4 bits) draws nothing");
    check(outside_clip_unchanged(destination, before), "clip rectangle kept");
    check(padding_unchanged(destination, before), "row padding untouched");
    if (&source != &destination) check(bytes(source) == source_before, "source untouched");
    for (int i = 0; i < kPlanes; ++i) {
      const Plane& other = *plane_get(p.slots[i]);
      if (&other != &destination) check(bytes(other) == others[static_cast<size_t>(i)], "other planes untouched");
    }
    for (int i = 0; i < kMasks; ++i) {
      const std::span<uint8_t> px = plane_pixels(*plane_get(kMaskSlots[i]));
      for (size_t k = 0; k < px.size(); ++k) check(px[k] == static_cast<uint8_t>(k * 37 + i), "mask untouched");
    }
    for (uint8_t v : zelt::script_memory().span(p.guard, kGuardSize)) check(v == kGuardFill, "guard untouched");
  }
  return 0;
}
