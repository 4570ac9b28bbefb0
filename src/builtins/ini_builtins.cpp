// Built-in adapters of the ini keys of the active configuration file. Every
// call reads (and a write rewrites) the file through the ini module, so a
// value written is read back at once, survives a restart, and the rest of
// the file keeps its bytes.
#include <cstdio>
#include <cstring>

#include "builtins/handlers.h"
#include "core/app.h"
#include "files/ini.h"

namespace zelt {
namespace {

// Section and key names longer than this are refused (no real title needs
// more; it bounds the scan of a wild string).
constexpr uint32_t kMaxName = 4096;
constexpr uint32_t kMaxValue = 1u << 20;

bool write_value(const BuiltinArgs& a, std::string_view value) {
  std::string_view section, key;
  if (!a.str(0, section, kMaxName) || !a.str(1, key, kMaxName)) return false;
  const std::string& path = app().active_config;
  if (path.empty()) return false;
  IniFile ini;
  if (!IniFile::load_for_update(path, ini)) return false;
  return ini.set(section, key, value) && ini.save(path);
}

}  // namespace

uint32_t bi_ini_seti(const BuiltinArgs& a) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", a.i32(2));
  return write_value(a, text) ? 1 : 0;
}

uint32_t bi_ini_sets(const BuiltinArgs& a) {
  std::string_view value;
  if (!a.str(2, value, kMaxValue)) return 0;  // no value: nothing to write
  return write_value(a, value) ? 1 : 0;
}

uint32_t bi_ini_geti(const BuiltinArgs& a) {
  const int32_t def = a.i32(2);
  std::string_view section, key;
  if (!a.str(0, section, kMaxName) || !a.str(1, key, kMaxName)) return int_result(def);
  return int_result(ini_read_int(app().active_config, section, key, def));
}

uint32_t bi_ini_gets(const BuiltinArgs& a) {
  const int32_t size = a.i32(4);
  if (size <= 0) return 0;
  const std::span<uint8_t> buffer = a.span(3, static_cast<uint32_t>(size));
  if (buffer.data() == nullptr) return 0;
  std::string_view def;
  if (!a.str(2, def, kMaxValue)) def = {};  // a null default reads as ""
  std::string value;
  std::string_view section, key;
  if (a.str(0, section, kMaxName) && a.str(1, key, kMaxName)) {
    value = ini_read_string(app().active_config, section, key, def, buffer.size());
  } else {
    value = IniFile().get_string("", "", def, buffer.size());  // the default, cut alike
  }
  std::memcpy(buffer.data(), value.data(), value.size());
  buffer[value.size()] = 0;
  return static_cast<uint32_t>(value.size());
}

}  // namespace zelt
