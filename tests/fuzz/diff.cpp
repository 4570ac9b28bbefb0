// Arbitrary difference data applied to small planes: nothing is written
// outside a plane's pixels (the row padding, the other planes and a guard
// block after them keep their fill), and nothing is read past the data.
//
// Input: byte 0 picks the plane (bits 0-1) and whether a valid header for
// that plane is put in front of the rest (bit 2); bytes 1 and 2 are the
// placement point (signed); the rest is the data or, with a made header,
// the opcode stream.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/script_memory.h"
#include "gfx/planes/image_files.h"
#include "fuzz_check.h"

namespace {

using namespace zelt::gfx;

constexpr uint8_t kFill = 0xA5;
constexpr uint32_t kGuardSize = 256;

struct Planes {
  uint32_t slots[4] = {1, 2, 3, 4};
  zelt::ScriptAddr guard = 0;
};

using zelt::fuzz::check;

const Planes& planes() {
  static const Planes p = [] {
    Planes made;
    const int32_t formats[4][3] = {{15, 9, 24}, {9, 7, 8}, {5, 4, 32}, {6, 3, 16}};
    for (int i = 0; i < 4; ++i) {
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
  const uint32_t used = static_cast<uint32_t>(plane.width) * static_cast<uint32_t>(plane.bit_count) / 8;
  for (int32_t y = 0; y < plane.height; ++y)
    for (uint32_t i = used; i < static_cast<uint32_t>(plane.pitch); ++i)
      if (pixels[static_cast<size_t>(y) * plane.pitch + i] != value) return false;
  return true;
}

void put_i32(std::vector<uint8_t>& out, int32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Planes& p = planes();
  if (size < 3) return 0;
  const uint32_t slot = p.slots[data[0] & 3];
  const Plane& plane = *plane_get(slot);
  for (uint32_t s : p.slots)
    for (uint8_t& b : plane_pixels(*plane_get(s))) b = kFill;
  const int32_t x = static_cast<int8_t>(data[1]), y = static_cast<int8_t>(data[2]);

  std::vector<uint8_t> bytes;
  if (data[0] & 4) {
    const char magic[] = "DIFF\0\0\0\0\0\0\0\0";
    bytes.assign(magic, magic + 12);
    put_i32(bytes, plane.bit_count);
    for (int32_t v : {0, 0, 1, 1}) put_i32(bytes, v);
  }
  bytes.insert(bytes.end(), data + 3, data + size);
  // An exact-size heap copy: the address sanitizer sees any read past it.
  std::vector<uint8_t> exact(bytes);
  exact.shrink_to_fit();
  const DiffResult r = dcopy(slot, x, y, {exact.data(), exact.size()});
  check(r.applied == 0 || r.has_bounds, "applied data has a rectangle");
  check(padding_is(plane, kFill), "row padding untouched");
  for (uint32_t s : p.slots)
    if (s != slot)
      for (uint8_t b : plane_pixels(*plane_get(s))) check(b == kFill, "other planes untouched");
  for (uint8_t b : zelt::script_memory().span(p.guard, kGuardSize)) check(b == kFill, "guard untouched");
  return 0;
}
