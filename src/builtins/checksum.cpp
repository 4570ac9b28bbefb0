#include "builtins/checksum.h"

#include <algorithm>
#include <array>

namespace zelt {

namespace {

// Table of a most-significant-bit-first CRC of `width` bits.
template <typename T, int width>
constexpr std::array<T, 256> crc_table(T poly) {
  std::array<T, 256> t{};
  for (unsigned i = 0; i < 256; ++i) {
    T c = static_cast<T>(i << (width - 8));
    for (int b = 0; b < 8; ++b) {
      c = (c & (T{1} << (width - 1))) ? static_cast<T>((c << 1) ^ poly) : static_cast<T>(c << 1);
    }
    t[i] = c;
  }
  return t;
}

constexpr auto kCrc16 = crc_table<uint16_t, 16>(0x1021);
constexpr auto kCrc32 = crc_table<uint32_t, 32>(0x04C11DB7u);

}  // namespace

uint32_t checksum_hash32(std::span<const uint8_t> data) {
  constexpr uint32_t kMod = 65521;
  uint32_t a = 0, b = 0;
  // 5552 bytes is the longest run whose sums cannot overflow 32 bits.
  while (!data.empty()) {
    const size_t n = std::min<size_t>(data.size(), 5552);
    for (size_t i = 0; i < n; ++i) {
      a += data[i];
      b += a;
    }
    a %= kMod;
    b %= kMod;
    data = data.subspan(n);
  }
  return (b << 16) | a;
}

uint32_t checksum_crc16(std::span<const uint8_t> data) {
  if (data.empty()) return 0xFFFF0000u;
  uint16_t c = 0xFFFF;
  for (const uint8_t byte : data) c = static_cast<uint16_t>((c << 8) ^ kCrc16[((c >> 8) ^ byte) & 0xFF]);
  return 0xFFFF0000u | static_cast<uint16_t>(~c);
}

uint32_t checksum_crc32(std::span<const uint8_t> data) {
  if (data.empty()) return 0;
  uint32_t c = 0xFFFFFFFFu;
  for (const uint8_t byte : data) c = (c << 8) ^ kCrc32[((c >> 24) ^ byte) & 0xFF];
  return ~c;
}

}  // namespace zelt
