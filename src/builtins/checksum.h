// Checksums of byte strings.
#pragma once

#include <cstdint>
#include <span>

namespace zelt {

// Adler-32 with the first sum starting at 0: b * 65536 + a.
uint32_t checksum_hash32(std::span<const uint8_t> data);
// CRC-16/GENIBUS in the low 16 bits (poly 0x1021, init 0xFFFF, not reflected,
// complemented); the high 16 bits are all ones.
uint32_t checksum_crc16(std::span<const uint8_t> data);
// CRC-32/BZIP2 (poly 0x04C11DB7, init 0xFFFFFFFF, not reflected, complemented).
uint32_t checksum_crc32(std::span<const uint8_t> data);

}  // namespace zelt
