// The archive file format ("KEP-ARC2"), shared by the reader (OpenFastFile)
// and the pack/unpack tools. All numbers are little-endian:
//   0   8   magic "KEP-ARC2"
//   8   4   seed
//   12  4   entry count XOR s1
//   16  4   name table size XOR s2
//   20  12 × count   directory, word j stored XOR s(j+3)
//   then the name table (zero-terminated code page 932 names, not scrambled)
//   and the member data anywhere after it.
// Directory entries are {name offset into the name table, data offset from
// the start of the file, data size}, sorted by cp932::compare_nocase of the
// names so that a bisection finds them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zelt::files::archive {

inline constexpr char kMagic[8] = {'K', 'E', 'P', '-', 'A', 'R', 'C', '2'};
inline constexpr uint32_t kHeaderSize = 20;
inline constexpr uint32_t kEntrySize = 12;

// One step of the keystream: s(k+1) = keystream_step(s(k)), s0 = seed.
constexpr uint32_t keystream_step(uint32_t s) {
  const uint32_t t = s ^ 0x3A7C5E91u;
  return t ^ (((t >> 1) ^ t) >> 3) ^ (((t << 1) ^ t) << 3);
}

class Keystream {
 public:
  explicit constexpr Keystream(uint32_t seed) : s_(seed) {}
  // The next value: s1 on the first call.
  constexpr uint32_t next() { return s_ = keystream_step(s_); }

 private:
  uint32_t s_;
};

struct DirEntry {
  uint32_t name_offset;
  uint32_t data_offset;
  uint32_t size;
};

inline uint32_t load_u32le(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline void store_u32le(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

// The header, unscrambled.
struct Header {
  uint32_t seed = 0;
  uint32_t count = 0;
  uint32_t names_size = 0;
};

inline bool has_magic(const uint8_t* header) { return std::memcmp(header, kMagic, sizeof kMagic) == 0; }

// Reads seed, count and name table size from the 20 header bytes (the magic
// is checked separately).
Header decode_header(const uint8_t* bytes);

// Unscrambles `count` directory entries read from the file (12 × count bytes
// following the header) into out.
void decode_directory(const uint8_t* bytes, uint32_t count, uint32_t seed, DirEntry* out);

// Header, scrambled directory and name table, ready to be followed by the
// member data: the exact bytes of an archive's head.
std::vector<uint8_t> encode_head(uint32_t seed, std::span<const DirEntry> entries, std::string_view names);

// The name that starts at `offset` of the name table, up to its terminator;
// false when the offset is outside the table or the name is not terminated
// inside it.
bool name_at(std::string_view names, uint32_t offset, std::string_view& name);

}  // namespace zelt::files::archive
