// The configuration values read from and written back to the title's ini
// files.
#pragma once

#include <string>

namespace zelt {

// Reads every key from one existing file (host path) over the current values.
void config_read(const std::string& host_path);
// Writes FullScreen (the state current at exit), Smoothing, GlobalFocus,
// GlobalSound as "1"/"0", then the four window bounds ("0" each when
// RestoreBounds is 0). Returns false when the file could not be written.
bool config_write_back(const std::string& host_path, bool fullscreen_now);

}  // namespace zelt
