// Reading the screenshots zelt writes (--screenshot): 24-bit bottom-up BMP
// files of the screen size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelt::test {

// The pixels of a width x height 24-bit BMP as 0xRRGGBB, rows top to
// bottom; empty when the file is not one.
inline std::vector<uint32_t> read_screenshot(const std::string& bmp, int width, int height) {
  const auto u32 = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bmp[at]) | static_cast<uint8_t>(bmp[at + 1]) << 8 |
                                 static_cast<uint8_t>(bmp[at + 2]) << 16 | static_cast<uint8_t>(bmp[at + 3]) << 24);
  };
  if (bmp.size() < 54 || bmp[0] != 'B' || bmp[1] != 'M' || u32(18) != static_cast<uint32_t>(width) ||
      u32(22) != static_cast<uint32_t>(height))
    return {};
  const size_t offset = u32(10), pitch = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
  if (bmp.size() < offset + pitch * height) return {};
  std::vector<uint32_t> p;
  p.reserve(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const size_t i = offset + (height - 1 - y) * pitch + x * 3;
      p.push_back(static_cast<uint32_t>(static_cast<uint8_t>(bmp[i + 2]) << 16 |
                                        static_cast<uint8_t>(bmp[i + 1]) << 8 | static_cast<uint8_t>(bmp[i])));
    }
  return p;
}

}  // namespace zelt::test
