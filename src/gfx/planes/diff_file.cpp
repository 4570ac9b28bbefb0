// Difference files: runs of changed pixels patched into a plane.
//
// Layout: "DIFF", 8 bytes not read, the bits per pixel, the bounding
// rectangle of the changes relative to the placement point, then the opcode
// stream: n (1..255) skips n pixels; 0 0 goes to the placement column of the
// next row; 0 1 ends; 0 m (m >= 2) copies the m - 1 pixels that follow.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "files/exp_file.h"
#include "gfx/planes/image_files.h"

namespace zelt::gfx {
namespace {

constexpr size_t kHeaderSize = 32;

int32_t get_i32(const uint8_t* p) {
  return static_cast<int32_t>(uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                              uint32_t{p[3]} << 24);
}

// Copies a run of count pixels to the cursor (cx, cy), clipped to the plane.
// The data may lie in the plane's own memory (both are script memory).
void copy_run(const Plane& plane, int64_t cx, int64_t cy, uint32_t count, const uint8_t* from,
              uint32_t pixel_bytes) {
  if (cy >= plane.height || cx >= plane.width) return;
  const int64_t n = std::min<int64_t>(count, plane.width - cx);
  uint8_t* to = plane_pixel_address(&plane, static_cast<int32_t>(cx), static_cast<int32_t>(cy));
  if (to) std::memmove(to, from, static_cast<size_t>(n) * pixel_bytes);
}

// Runs the opcode stream after the header with the cursor starting at
// (x, y) (both >= 0, so the cursor never goes left of or above the plane).
// With plane null it only checks the stream. False when the stream runs
// past the data before its end opcode; nothing is read beyond the data.
bool run_stream(std::span<const uint8_t> data, const Plane* plane, int32_t x, int32_t y,
                uint32_t pixel_bytes) {
  size_t at = kHeaderSize;
  int64_t cx = x, cy = y;  // 64 bits: a long stream of skips cannot overflow
  while (at < data.size()) {
    const uint8_t op = data[at++];
    if (op != 0) {
      cx += op;
      continue;
    }
    if (at == data.size()) return false;
    const uint8_t m = data[at++];
    if (m == 1) return true;
    if (m == 0) {
      cx = x;
      ++cy;
      continue;
    }
    const uint32_t count = m - 1u;
    const size_t bytes = size_t{count} * pixel_bytes;
    if (data.size() - at < bytes) return false;
    if (plane) copy_run(*plane, cx, cy, count, data.data() + at, pixel_bytes);
    at += bytes;
    cx += count;
  }
  return false;
}

}  // namespace

DiffResult dcopy(uint32_t handle, int32_t x, int32_t y, std::span<const uint8_t> data) {
  DiffResult result;
  const Plane* plane = plane_get(handle);
  if (!data.data() || !plane || x < 0 || y < 0 || data.size() < kHeaderSize) return result;
  const uint8_t* h = data.data();
  result.has_bounds = true;
  result.bounds = {get_i32(h + 16), get_i32(h + 20), get_i32(h + 24), get_i32(h + 28)};
  const Rect& b = result.bounds;
  if (std::memcmp(h, "DIFF", 4) != 0 || get_i32(h + 12) != plane->bit_count || b.empty() ||
      int64_t{x} + b.left < 0 || int64_t{x} + b.right > plane->width || int64_t{y} + b.top < 0 ||
      int64_t{y} + b.bottom > plane->height)
    return result;
  // The whole stream is checked first, so malformed data changes nothing.
  // The stream may lie in the plane's memory; the second run checks again.
  const uint32_t pixel_bytes = static_cast<uint32_t>(plane->bit_count) / 8;
  if (!run_stream(data, nullptr, x, y, pixel_bytes)) return result;
  result.applied = run_stream(data, plane, x, y, pixel_bytes) ? 1 : 0;
  return result;
}

DiffResult dload(uint32_t handle, int32_t x, int32_t y, std::string_view name) {
  if (!plane_get(handle) || x < 0 || y < 0) return {};
  files::ExpFile* file = files::OpenExpFile(name);
  if (!file) return {};
  const int32_t size = files::exp_size(file);
  std::unique_ptr<uint8_t[]> buffer(size >= 0 ? new (std::nothrow) uint8_t[static_cast<size_t>(size) + 1]
                                              : nullptr);
  uint32_t done = 0;
  while (buffer && done < static_cast<uint32_t>(size)) {
    uint32_t got = 0;
    if (!files::exp_read(file, buffer.get() + done, static_cast<uint32_t>(size) - done, &got) || got == 0)
      break;
    done += got;
  }
  files::exp_close(file);
  if (!buffer || done != static_cast<uint32_t>(size)) return {};
  return dcopy(handle, x, y, {buffer.get(), done});
}

}  // namespace zelt::gfx
