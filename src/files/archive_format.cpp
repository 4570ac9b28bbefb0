#include "files/archive_format.h"

namespace zelt::files::archive {

Header decode_header(const uint8_t* bytes) {
  Header h;
  h.seed = load_u32le(bytes + 8);
  Keystream ks(h.seed);
  h.count = load_u32le(bytes + 12) ^ ks.next();
  h.names_size = load_u32le(bytes + 16) ^ ks.next();
  return h;
}

void decode_directory(const uint8_t* bytes, uint32_t count, uint32_t seed, DirEntry* out) {
  Keystream ks(seed);
  ks.next();  // s1 and s2 scramble the header fields
  ks.next();
  for (uint32_t i = 0; i < count; ++i, bytes += kEntrySize) {
    out[i].name_offset = load_u32le(bytes) ^ ks.next();
    out[i].data_offset = load_u32le(bytes + 4) ^ ks.next();
    out[i].size = load_u32le(bytes + 8) ^ ks.next();
  }
}

std::vector<uint8_t> encode_head(uint32_t seed, std::span<const DirEntry> entries, std::string_view names) {
  std::vector<uint8_t> out(kHeaderSize + kEntrySize * entries.size() + names.size());
  uint8_t* p = out.data();
  std::memcpy(p, kMagic, sizeof kMagic);
  store_u32le(p + 8, seed);
  Keystream ks(seed);
  store_u32le(p + 12, static_cast<uint32_t>(entries.size()) ^ ks.next());
  store_u32le(p + 16, static_cast<uint32_t>(names.size()) ^ ks.next());
  p += kHeaderSize;
  for (const DirEntry& e : entries) {
    store_u32le(p, e.name_offset ^ ks.next());
    store_u32le(p + 4, e.data_offset ^ ks.next());
    store_u32le(p + 8, e.size ^ ks.next());
    p += kEntrySize;
  }
  if (!names.empty()) std::memcpy(p, names.data(), names.size());
  return out;
}

bool name_at(std::string_view names, uint32_t offset, std::string_view& name) {
  if (offset >= names.size()) return false;
  const std::string_view rest = names.substr(offset);
  const size_t end = rest.find('\0');
  if (end == std::string_view::npos) return false;
  name = rest.substr(0, end);
  return true;
}

}  // namespace zelt::files::archive
