#include "shell/config_file.h"

#include "core/config.h"
#include "files/ini.h"

namespace zelt {

void config_read(const std::string& host_path) {
  const IniFile ini = IniFile::load(host_path);
  Config& c = config();
  for (const ConfigKey& k : config_keys()) {
    if (k.int_value)
      c.*k.int_value = ini.get_int(k.section, k.key, c.*k.int_value);
    else
      c.*k.str_value = ini.get_string(k.section, k.key, c.*k.str_value, k.buffer);
  }
}

bool config_write_back(const std::string& host_path, bool fullscreen_now) {
  IniFile ini;
  if (!IniFile::load_for_update(host_path, ini)) return false;
  const Config& c = config();
  auto flag = [](int32_t v) { return v ? "1" : "0"; };
  ini.set("Screen", "FullScreen", flag(fullscreen_now));
  ini.set("Screen", "Smoothing", flag(c.Smoothing));
  ini.set("Option", "GlobalFocus", flag(c.GlobalFocus));
  ini.set("Option", "GlobalSound", flag(c.GlobalSound));
  const bool keep = c.RestoreBounds != 0;
  ini.set("Window", "WindowLeft", std::to_string(keep ? c.WindowLeft : 0));
  ini.set("Window", "WindowTop", std::to_string(keep ? c.WindowTop : 0));
  ini.set("Window", "WindowWidth", std::to_string(keep ? c.WindowWidth : 0));
  ini.set("Window", "WindowHeight", std::to_string(keep ? c.WindowHeight : 0));
  return ini.save(host_path);
}

}  // namespace zelt
