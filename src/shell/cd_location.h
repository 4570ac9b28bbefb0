// Locating the title's CD: a mounted volume whose mount folder is named after
// the disc's volume label.
#pragma once

#include <string>
#include <vector>

namespace zelt {

// The drive name under which the CD appears to scripts and the file layer.
inline constexpr const char* kCdDrive = "Q:";

struct CdSearchPlaces {
  std::string mount_table = "/proc/self/mounts";
  // Folders whose subfolder named after the label is a mounted disc
  // (/media/<user>, /run/media/<user>, /mnt).
  std::vector<std::string> media_roots;
};
CdSearchPlaces default_cd_search_places();

// The host folder of the mounted volume labelled `label_utf8` (compared with
// case), or "" when none is found. An empty label finds the first mounted
// optical disc (iso9660 or udf) of the mount table.
std::string find_cd_mount(const std::string& label_utf8, const CdSearchPlaces& places);

// Sets the CD root to kCdDrive mapped to the found folder and returns 1, or
// clears it and returns 0. The label is code page 932.
int find_cd_drive(const std::string& label);

}  // namespace zelt
