// Test archives and compressed streams written bit by bit from the format's
// description, independently of the code under test.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zelt::test {

inline uint32_t fixture_keystream_step(uint32_t s) {
  const uint32_t t = s ^ 0x3A7C5E91u;
  return t ^ (((t >> 1) ^ t) >> 3) ^ (((t << 1) ^ t) << 3);
}

inline void put_u32le(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
}

// An archive from raw parts: the header's count and name table size, the
// directory words (unscrambled; they are scrambled here), the name table
// and what follows it. Lets tests describe malformed archives.
inline std::string raw_archive(uint32_t seed, uint32_t count, uint32_t names_size, const std::vector<uint32_t>& words,
                               const std::string& names, const std::string& tail) {
  std::string out = "KEP-ARC2";
  put_u32le(out, seed);
  uint32_t s = fixture_keystream_step(seed);
  put_u32le(out, count ^ s);
  s = fixture_keystream_step(s);
  put_u32le(out, names_size ^ s);
  for (uint32_t w : words) {
    s = fixture_keystream_step(s);
    put_u32le(out, w ^ s);
  }
  return out + names + tail;
}

struct FixtureMember {
  std::string name;  // code page 932
  std::string data;
};

// A well-formed archive holding the members in the order given (tests list
// them sorted by the lookup's comparison), data right after the names.
inline std::string make_archive(const std::vector<FixtureMember>& members, uint32_t seed = 0x12345678) {
  std::string names, data;
  for (const FixtureMember& m : members) names += m.name + '\0';
  const uint32_t data_start = static_cast<uint32_t>(20 + 12 * members.size() + names.size());
  std::vector<uint32_t> words;
  uint32_t name_offset = 0;
  for (const FixtureMember& m : members) {
    words.push_back(name_offset);
    words.push_back(data_start + static_cast<uint32_t>(data.size()));
    words.push_back(static_cast<uint32_t>(m.data.size()));
    name_offset += static_cast<uint32_t>(m.name.size() + 1);
    data += m.data;
  }
  return raw_archive(seed, static_cast<uint32_t>(members.size()), static_cast<uint32_t>(names.size()), words, names,
                     data);
}

// Writes codes most significant bit first, as a compressed file holds them.
class CodeWriter {
 public:
  void put(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      if (used_ % 8 == 0) bytes_ += '\0';
      if ((value >> i) & 1) bytes_.back() = static_cast<char>(bytes_.back() | (0x80 >> (used_ % 8)));
      ++used_;
    }
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
  size_t used_ = 0;
};

// A compressed file: magic, big-endian size, then the codes (value, width).
inline std::string compressed_file(uint32_t size, const std::vector<std::pair<uint32_t, int>>& codes) {
  std::string out("zlt\0", 4);
  for (int i = 3; i >= 0; --i) out += static_cast<char>(size >> (8 * i));
  CodeWriter w;
  for (const auto& [value, width] : codes) w.put(value, width);
  return out + w.bytes();
}

}  // namespace zelt::test
