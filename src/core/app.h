// Process-wide start-up state besides the configuration values.
#pragma once

#include <string>

namespace zelt {

struct AppState {
  std::string program_path;    // host path of the program ("<folder>/<base>")
  std::string program_folder;  // host folder of the title, ending in "/"; the current directory
  std::string base_name;       // program base name: --name, else the executable's name
  std::string active_config;   // host path of the configuration file written back at exit
  std::string script_folder;   // code page 932 prefix of every script source, "" or ending in "\"
  std::string cd_root;         // "Q:" while the title's CD is mapped, else ""
  std::string cd_host_dir;     // host folder of the CD
  bool fullscreen = false;     // current full-screen state
};

AppState& app();

}  // namespace zelt
