#include "files/bmp_file.h"

#include <cerrno>
#include <vector>

#include "files/atomic_file.h"

namespace zelt::files {
namespace {

void put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  put16(b, at, v);
  put16(b, at + 2, v >> 16);
}

}  // namespace

bool write_bmp24(const std::string& path, const uint32_t* xrgb, int w, int h) {
  if (w <= 0 || h <= 0 || w > 32768 || h > 32768) {
    errno = EINVAL;
    return false;
  }
  constexpr uint32_t kHeader = 14 + 40;
  const uint32_t stride = (static_cast<uint32_t>(w) * 3 + 3) & ~3u;
  const uint32_t image = stride * static_cast<uint32_t>(h);
  std::vector<uint8_t> b(kHeader + image, 0);
  b[0] = 'B';
  b[1] = 'M';
  put32(b, 2, kHeader + image);
  put32(b, 10, kHeader);
  put32(b, 14, 40);
  put32(b, 18, static_cast<uint32_t>(w));
  put32(b, 22, static_cast<uint32_t>(h));
  put16(b, 26, 1);
  put16(b, 28, 24);
  put32(b, 34, image);
  put32(b, 38, 2835);  // 72 dpi
  put32(b, 42, 2835);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = &b[kHeader + static_cast<size_t>(h - 1 - y) * stride];
    const uint32_t* src = xrgb + static_cast<size_t>(y) * w;
    for (int x = 0; x < w; ++x) {
      row[3 * x] = static_cast<uint8_t>(src[x]);
      row[3 * x + 1] = static_cast<uint8_t>(src[x] >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(src[x] >> 16);
    }
  }
  AtomicFile f;
  return f.open(path) && f.write(b.data(), b.size()) && f.commit(false);
}

}  // namespace zelt::files
