// Parses arbitrary bytes as an ini file: the unmodified document must
// serialize to the input, queries must not crash, and a written key must read
// back as written, also after the result is parsed again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "files/ini.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  zelt::IniFile ini = zelt::IniFile::parse(bytes);
  check(ini.serialize() == bytes);

  // Names taken from the input itself hit its sections and keys now and then.
  const std::string_view section = bytes.substr(size / 3, 3);
  const std::string_view key = bytes.substr(size / 2, 2);
  std::string value;
  ini.find(section, key, value);
  ini.get_int(section, key, 7);
  ini.get_int("A", "x", 7);
  for (size_t buffer : {0, 1, 2, 3, 260}) ini.get_string(section, key, "d\x82\xA0", buffer);

  struct Write {
    std::string_view section, key, value;
  };
  const Write writes[] = {{section, key, "v1"}, {"A", "x", "12"}, {"New", "k", "\x83\x5D"},
                          {section, "k2", ""}};
  for (const Write& w : writes) {
    if (!ini.set(w.section, w.key, w.value)) continue;
    check(ini.find(w.section, w.key, value) && value == w.value);
    const std::string out = ini.serialize();
    const zelt::IniFile again = zelt::IniFile::parse(out);
    check(again.serialize() == out);
    check(again.find(w.section, w.key, value) && value == w.value);
  }
  return 0;
}
