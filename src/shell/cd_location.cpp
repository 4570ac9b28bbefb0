#include "shell/cd_location.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/app.h"
#include "core/cp932.h"
#include "files/host_path.h"

namespace zelt {
namespace {

bool is_dir(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The mount table escapes blanks, tabs, newlines and backslashes as \ooo.
std::string unescape_mount_field(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '7' &&
        s[i + 2] >= '0' && s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
      out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string last_component(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

CdSearchPlaces default_cd_search_places() {
  CdSearchPlaces places;
  std::string user;
  if (const char* u = std::getenv("USER"); u && *u) user = u;
  else if (const passwd* pw = ::getpwuid(::getuid())) user = pw->pw_name;
  if (!user.empty()) {
    places.media_roots.push_back("/media/" + user);
    places.media_roots.push_back("/run/media/" + user);
  }
  places.media_roots.push_back("/mnt");
  return places;
}

std::string find_cd_mount(const std::string& label_utf8, const CdSearchPlaces& places) {
  // A label naming a path could reach any folder; a real volume label cannot.
  if (label_utf8.find('/') != std::string::npos || label_utf8 == "." || label_utf8 == "..")
    return "";
  if (!label_utf8.empty()) {
    for (const std::string& root : places.media_roots) {
      const std::string candidate = root + "/" + label_utf8;
      if (is_dir(candidate)) return candidate;
    }
  }
  std::ifstream table(places.mount_table);
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string device, mount_point, fs_type;
    if (!(fields >> device >> mount_point >> fs_type)) continue;
    mount_point = unescape_mount_field(mount_point);
    const bool matches = label_utf8.empty() ? (fs_type == "iso9660" || fs_type == "udf")
                                            : last_component(mount_point) == label_utf8;
    if (matches && is_dir(mount_point)) return mount_point;
  }
  return "";
}

int find_cd_drive(const std::string& label) {
  AppState& a = app();
  a.cd_root.clear();
  a.cd_host_dir.clear();
  files::set_drive_mapping(kCdDrive, "");
  const std::string dir = find_cd_mount(cp932::to_utf8(label), default_cd_search_places());
  if (dir.empty()) return 0;
  a.cd_root = kCdDrive;
  a.cd_host_dir = dir;
  files::set_drive_mapping(kCdDrive, dir);
  return 1;
}

}  // namespace zelt
