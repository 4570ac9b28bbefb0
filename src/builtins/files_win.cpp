#include "builtins/files_win.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <optional>
#include <vector>

#include "core/cp932.h"
#include "core/slot_table.h"
#include "files/host_path.h"

namespace zelt::winfile {
namespace {

// ---- Streams ----------------------------------------------------------------

// Stream and search handles are generational slot handles: never 0, never
// negative (so never the search failure -1), and a closed handle stays
// refused when its slot is reused. Streams are bounded by the host's open
// files long before 4096; searches hold no open file.
struct Stream {
  FILE* file = nullptr;
  bool text = true;
};

SlotTable<Stream, 4096>& streams() {
  static SlotTable<Stream, 4096> table;
  return table;
}

bool is_directory(const std::string& host) {
  struct stat st;
  return ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

uint32_t stream_open(std::string_view name, std::string_view mode) {
  if (name.empty() || mode.empty()) return 0;
  char access = mode[0];
  if (access != 'r' && access != 'w' && access != 'a') return 0;
  bool plus = false, text = true, seen_bt = false;
  for (const char c : mode.substr(1)) {
    if (c == '+' && !plus) {
      plus = true;
    } else if ((c == 'b' || c == 't') && !seen_bt) {
      text = c == 't';
      seen_bt = true;
    } else if (std::strchr("cnSRTD", c) == nullptr) {
      return 0;  // the runtime's hint letters (commit, caching, temporary) are accepted and ignored
    }
  }
  const std::string host = files::host_path(name);
  if (is_directory(host)) return 0;
  // The host stream is always binary; text mode is translated here.
  char host_mode[4] = {access, 'b', plus ? '+' : '\0', '\0'};
  FILE* f = std::fopen(host.c_str(), host_mode);
  if (!f) return 0;
  if (access != 'r') files::clear_path_cache();
  const std::optional<uint32_t> handle = streams().insert({f, text});
  if (!handle) std::fclose(f);
  return handle.value_or(0);
}

int32_t stream_close(uint32_t handle) {
  const std::optional<Stream> s = streams().close(handle);
  return s && std::fclose(s->file) == 0 ? 0 : -1;
}

int64_t stream_read(uint32_t handle, std::span<uint8_t> out) {
  Stream* s = streams().lookup(handle);
  if (!s) return -1;
  if (!s->text) return static_cast<int64_t>(std::fread(out.data(), 1, out.size(), s->file));
  size_t n = 0;
  while (n < out.size()) {
    int c = std::getc(s->file);
    if (c == EOF) break;
    if (c == '\r') {
      const int d = std::getc(s->file);
      if (d == '\n') c = '\n';
      else if (d != EOF) std::ungetc(d, s->file);
    }
    out[n++] = static_cast<uint8_t>(c);
  }
  return static_cast<int64_t>(n);
}

int64_t stream_write(uint32_t handle, std::span<const uint8_t> in) {
  Stream* s = streams().lookup(handle);
  if (!s) return -1;
  if (!s->text) return static_cast<int64_t>(std::fwrite(in.data(), 1, in.size(), s->file));
  size_t n = 0;
  for (; n < in.size(); ++n) {
    if (in[n] == '\n' && std::putc('\r', s->file) == EOF) break;
    if (std::putc(in[n], s->file) == EOF) break;
  }
  return static_cast<int64_t>(n);
}

int32_t stream_seek(uint32_t handle, int32_t offset, int32_t origin) {
  Stream* s = streams().lookup(handle);
  if (!s || origin < 0 || origin > 2) return -1;
  static constexpr int kWhence[3] = {SEEK_SET, SEEK_CUR, SEEK_END};
  return std::fseek(s->file, offset, kWhence[origin]) == 0 ? 0 : -1;
}

int32_t stream_tell(uint32_t handle) {
  Stream* s = streams().lookup(handle);
  if (!s) return -1;
  const long pos = std::ftell(s->file);
  return pos < 0 || pos > INT32_MAX ? -1 : static_cast<int32_t>(pos);
}

bool stream_gets(uint32_t handle, std::span<uint8_t> out) {
  Stream* s = streams().lookup(handle);
  if (!s || out.empty()) return false;
  size_t n = 0;
  while (n + 1 < out.size()) {
    uint8_t c;
    if (stream_read(handle, std::span<uint8_t>(&c, 1)) != 1) break;
    out[n++] = c;
    if (c == '\n') break;
  }
  if (n == 0 && out.size() > 1) return false;
  out[n] = 0;
  return true;
}

void streams_close_all() {
  streams().for_each([](uint32_t handle, Stream& s) {
    std::fclose(s.file);
    streams().close(handle);
  });
}

// ---- Wildcards and the find record --------------------------------------------

namespace {

constexpr int64_t kUnixEpochAsFileTime = 116444736000000000;  // 1970 in 100 ns units since 1601

uint64_t file_time(const struct timespec& t) {
  return static_cast<uint64_t>(kUnixEpochAsFileTime + int64_t{t.tv_sec} * 10000000 + t.tv_nsec / 100);
}

struct Entry {
  std::string name;  // code page 932
  struct stat st;
};

struct Search {
  std::vector<Entry> entries;
  size_t next = 0;
};

SlotTable<Search, 65536>& searches() {
  static SlotTable<Search, 65536> table;
  return table;
}

void put32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

uint32_t attributes_of(std::string_view name, const struct stat& st) {
  uint32_t a = 0;
  if (S_ISDIR(st.st_mode)) a |= kAttrDirectory;
  if (!(st.st_mode & S_IWUSR)) a |= kAttrReadOnly;
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") a |= kAttrHidden;
  if (S_ISREG(st.st_mode)) a |= kAttrArchive;
  return a != 0 ? a : kAttrNormal;
}

void fill_record(const Entry& e, std::span<uint8_t, kFindRecordSize> r) {
  std::memset(r.data(), 0, r.size());
  put32(&r[0], attributes_of(e.name, e.st));
  const uint64_t times[3] = {file_time(e.st.st_ctim), file_time(e.st.st_atim), file_time(e.st.st_mtim)};
  for (int k = 0; k < 3; ++k) {
    put32(&r[4 + 8 * k], static_cast<uint32_t>(times[k]));
    put32(&r[8 + 8 * k], static_cast<uint32_t>(times[k] >> 32));
  }
  const uint64_t size = S_ISDIR(e.st.st_mode) ? 0 : static_cast<uint64_t>(e.st.st_size);
  put32(&r[28], static_cast<uint32_t>(size >> 32));
  put32(&r[32], static_cast<uint32_t>(size));
  const size_t n = cp932::cut_length(e.name, kFindNameSize - 1);
  std::memcpy(&r[kFindNameOffset], e.name.data(), n);
}

// Splits a script path at its last separator: the folder part (with its
// separator, may be "") and the name part.
void split_path(std::string_view path, std::string_view& folder, std::string_view& name) {
  size_t cut = 0;
  for (size_t i = 0; i < path.size(); i += cp932::char_length(path, i)) {
    if (path[i] == '\\' || path[i] == '/' || (i == 1 && path[i] == ':')) cut = i + 1;
  }
  folder = path.substr(0, cut);
  name = path.substr(cut);
}

// Every entry of the folder matching the pattern, in directory order with
// "." and ".." first, as the platform's search lists them.
std::vector<Entry> list_matches(std::string_view pattern) {
  std::vector<Entry> out;
  std::string_view folder, name;
  split_path(pattern, folder, name);
  if (name.empty()) return out;
  // Entry names come from from_utf8, which spells a character with two codes
  // (NEC and IBM extensions) always the same way; the pattern is spelled so
  // too. A pattern that is not valid code page 932 names nothing.
  const std::optional<std::string> utf8_name = cp932::to_utf8_strict(name);
  if (!utf8_name) return out;
  std::string pattern_name = cp932::from_utf8(*utf8_name);
  // "*.*" names every entry, also those without a dot.
  if (pattern_name == "*.*") pattern_name = "*";
  const std::string host_folder = folder.empty() ? std::string(".") : files::host_path(folder);
  DIR* dir = ::opendir(host_folder.c_str());
  if (!dir) return out;
  std::vector<Entry> dots;
  while (const dirent* d = ::readdir(dir)) {
    Entry e;
    e.name = cp932::from_utf8(d->d_name);
    if (!cp932::wildcard_match(pattern_name, e.name)) continue;
    const std::string host = host_folder + "/" + d->d_name;
    if (::lstat(host.c_str(), &e.st) != 0) continue;
    if (S_ISLNK(e.st.st_mode) && ::stat(host.c_str(), &e.st) != 0) continue;
    (e.name == "." || e.name == ".." ? dots : out).push_back(std::move(e));
  }
  ::closedir(dir);
  if (!dots.empty()) {
    std::sort(dots.begin(), dots.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    out.insert(out.begin(), dots.begin(), dots.end());
  }
  return out;
}

bool host_stat(std::string_view name, struct stat& st) {
  return !name.empty() && ::stat(files::host_path(name).c_str(), &st) == 0;
}

}  // namespace

int32_t find_first(std::string_view pattern, std::span<uint8_t, kFindRecordSize> record) {
  Search search{list_matches(pattern), 1};
  if (search.entries.empty()) return -1;
  const std::optional<uint32_t> handle = searches().insert(std::move(search));
  if (!handle) return -1;
  fill_record(searches().lookup(*handle)->entries[0], record);
  return static_cast<int32_t>(*handle);
}

bool find_next(int32_t handle, std::span<uint8_t, kFindRecordSize> record) {
  Search* s = searches().lookup(static_cast<uint32_t>(handle));
  if (!s || s->next >= s->entries.size()) return false;
  fill_record(s->entries[s->next++], record);
  return true;
}

bool find_close(int32_t handle) { return searches().close(static_cast<uint32_t>(handle)).has_value(); }

// ---- Whole files --------------------------------------------------------------

bool file_exists(std::string_view name) { return !list_matches(name).empty(); }

uint32_t file_size_low(std::string_view name) {
  const std::vector<Entry> found = list_matches(name);
  if (found.empty() || S_ISDIR(found[0].st.st_mode)) return 0;
  return static_cast<uint32_t>(found[0].st.st_size);
}

bool file_copy(std::string_view from, std::string_view to, bool fail_if_exists) {
  if (from.empty() || to.empty()) return false;
  const std::string src = files::host_path(from), dst = files::host_path(to);
  struct stat st, dst_st;
  if (::stat(src.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const bool dst_exists = ::stat(dst.c_str(), &dst_st) == 0;
  if (dst_exists && (fail_if_exists || !S_ISREG(dst_st.st_mode) || !(dst_st.st_mode & S_IWUSR))) return false;
  if (dst_exists && dst_st.st_dev == st.st_dev && dst_st.st_ino == st.st_ino) return false;
  FILE* in = std::fopen(src.c_str(), "rb");
  if (!in) return false;
  FILE* out = std::fopen(dst.c_str(), "wb");
  if (!out) {
    std::fclose(in);
    return false;
  }
  bool ok = true;
  char buf[65536];
  for (size_t n; ok && (n = std::fread(buf, 1, sizeof buf, in)) > 0;) ok = std::fwrite(buf, 1, n, out) == n;
  ok = !std::ferror(in) && ok;
  std::fclose(in);
  ok = std::fclose(out) == 0 && ok;
  files::clear_path_cache();
  if (ok) ::chmod(dst.c_str(), st.st_mode & 07777);
  return ok;
}

bool file_move(std::string_view from, std::string_view to) {
  if (from.empty() || to.empty()) return false;
  const std::string src = files::host_path(from), dst = files::host_path(to);
  struct stat st;
  if (::lstat(src.c_str(), &st) != 0) return false;
  // The platform's move never replaces an existing target.
  if (::renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) != 0) {
    if (errno != EINVAL && errno != ENOSYS) return false;
    if (::lstat(dst.c_str(), &st) == 0 || ::rename(src.c_str(), dst.c_str()) != 0) return false;
  }
  files::clear_path_cache();
  return true;
}

bool file_delete(std::string_view name) {
  struct stat st;
  if (!host_stat(name, st) || S_ISDIR(st.st_mode)) return false;
  if (!(st.st_mode & S_IWUSR)) return false;  // read-only files are kept, as on the platform
  const bool ok = ::unlink(files::host_path(name).c_str()) == 0;
  files::clear_path_cache();
  return ok;
}

int32_t file_get_attributes(std::string_view name) {
  struct stat st;
  if (!host_stat(name, st)) return -1;
  std::string_view folder, base;
  split_path(name, folder, base);
  return static_cast<int32_t>(attributes_of(base, st));
}

bool file_set_attributes(std::string_view name, uint32_t attributes) {
  struct stat st;
  if (!host_stat(name, st)) return false;
  mode_t mode = st.st_mode & 07777;
  mode = (attributes & kAttrReadOnly) ? mode & ~mode_t{0222} : mode | S_IWUSR;
  return ::chmod(files::host_path(name).c_str(), mode) == 0;
}

// ---- Times ----------------------------------------------------------------------

namespace {

void to_record(const struct timespec& t, TimeRecord& r) {
  struct tm tm {};
  const time_t secs = t.tv_sec;
  localtime_r(&secs, &tm);
  r.year = static_cast<uint16_t>(tm.tm_year + 1900);
  r.month = static_cast<uint16_t>(tm.tm_mon + 1);
  r.day_of_week = static_cast<uint16_t>(tm.tm_wday);
  r.day = static_cast<uint16_t>(tm.tm_mday);
  r.hour = static_cast<uint16_t>(tm.tm_hour);
  r.minute = static_cast<uint16_t>(tm.tm_min);
  r.second = static_cast<uint16_t>(tm.tm_sec);
  r.milliseconds = static_cast<uint16_t>(t.tv_nsec / 1000000);
}

// False for fields the platform's conversion rejects. The record is script
// memory that another script thread may rewrite, so it is copied once before
// any field is checked: the month that indexes kDays is the month checked.
bool from_record(const TimeRecord* record, struct timespec& t) {
  static constexpr int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  TimeRecord r;
  std::memcpy(&r, record, sizeof r);
  if (r.year < 1601 || r.year > 30827 || r.month < 1 || r.month > 12 || r.day < 1 ||
      r.day > kDays[r.month - 1] || r.hour > 23 || r.minute > 59 || r.second > 59 || r.milliseconds > 999) {
    return false;
  }
  struct tm tm {};
  tm.tm_year = r.year - 1900;
  tm.tm_mon = r.month - 1;
  tm.tm_mday = r.day;
  tm.tm_hour = r.hour;
  tm.tm_min = r.minute;
  tm.tm_sec = r.second;
  tm.tm_isdst = -1;
  const time_t secs = std::mktime(&tm);
  if (tm.tm_mday != r.day) return false;  // 29 February of a common year
  t.tv_sec = secs;
  t.tv_nsec = long{r.milliseconds} * 1000000;
  return true;
}

}  // namespace

bool file_get_times(std::string_view name, TimeRecord* times[3]) {
  if (name.empty()) return false;
  const int fd = ::open(files::host_path(name).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  const bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
  ::close(fd);
  if (!ok) return false;
  const struct timespec* sources[3] = {&st.st_ctim, &st.st_atim, &st.st_mtim};
  for (int k = 0; k < 3; ++k) {
    if (times[k]) to_record(*sources[k], *times[k]);
  }
  return true;
}

bool file_set_times(std::string_view name, const TimeRecord* const times[3]) {
  if (name.empty()) return false;
  struct timespec ts[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};  // access, write
  for (int k = 1; k < 3; ++k) {
    if (times[k] && !from_record(times[k], ts[k - 1])) return false;
  }
  // The creation time cannot be set on the host; a valid one is accepted.
  struct timespec creation;
  if (times[0] && !from_record(times[0], creation)) return false;
  const int fd = ::open(files::host_path(name).c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::futimens(fd, ts) == 0;
  ::close(fd);
  return ok;
}

// ---- Directories ----------------------------------------------------------------

namespace {

// A host folder as scripts see it: code page 932, "\" separators, final "\".
std::string script_folder_path(const std::string& host) {
  std::string s = cp932::from_utf8(host);
  for (size_t i = 0; i < s.size(); i += cp932::char_length(s, i)) {
    if (s[i] == '/') s[i] = '\\';
  }
  if (s.empty() || s.back() != '\\') s += '\\';
  return s;
}

std::string env_or(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v && *v == '/' ? std::string(v) : fallback;
}

// The XDG user folder named key (e.g. "DOCUMENTS") from user-dirs.dirs,
// else $HOME/<fallback>.
std::string xdg_user_dir(const std::string& home, const std::string& config, const char* key,
                         const char* fallback) {
  std::ifstream in(config + "/user-dirs.dirs");
  const std::string prefix = std::string("XDG_") + key + "_DIR=\"";
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, prefix.size(), prefix) != 0 || line.size() < prefix.size() + 1) continue;
    std::string v = line.substr(prefix.size());
    if (!v.empty() && v.back() == '"') v.pop_back();
    if (v.compare(0, 5, "$HOME") == 0) v = home + v.substr(5);
    if (!v.empty() && v[0] == '/') return v;
  }
  return home + "/" + fallback;
}

}  // namespace

std::string dir_current() {
  char buf[4096];
  if (!::getcwd(buf, sizeof buf)) return {};
  std::string s = script_folder_path(buf);
  return s.size() > 260 ? std::string() : s;  // at most 259 bytes before the "\"
}

bool dir_set_current(std::string_view path) {
  if (path.empty() || ::chdir(files::host_path(path).c_str()) != 0) return false;
  files::clear_path_cache();
  return true;
}

bool dir_create(std::string_view path) {
  if (path.empty() || ::mkdir(files::host_path(path).c_str(), 0777) != 0) return false;
  files::clear_path_cache();
  return true;
}

bool dir_delete(std::string_view path) {
  if (path.empty() || ::rmdir(files::host_path(path).c_str()) != 0) return false;
  files::clear_path_cache();
  return true;
}

std::string dir_special(int32_t folder_id) {
  const char* home_env = std::getenv("HOME");
  if (!home_env || *home_env != '/') return {};
  const std::string home = home_env;
  const std::string config = env_or("XDG_CONFIG_HOME", home + "/.config");
  std::string host;
  switch (folder_id) {
    case 0x00:  // desktop
    case 0x10:  // desktop directory
      host = xdg_user_dir(home, config, "DESKTOP", "Desktop");
      break;
    case 0x05:  // documents
      host = xdg_user_dir(home, config, "DOCUMENTS", "Documents");
      break;
    case 0x0D:  // music
      host = xdg_user_dir(home, config, "MUSIC", "Music");
      break;
    case 0x0E:  // videos
      host = xdg_user_dir(home, config, "VIDEOS", "Videos");
      break;
    case 0x27:  // pictures
      host = xdg_user_dir(home, config, "PICTURES", "Pictures");
      break;
    case 0x1A:  // application data
      host = config;
      break;
    case 0x1C:  // local application data
      host = env_or("XDG_DATA_HOME", home + "/.local/share");
      break;
    case 0x28:  // the user's profile
      host = home;
      break;
    default:  // the Windows and system folders and everything else
      return {};
  }
  if (!is_directory(host)) return {};
  std::string s = script_folder_path(host);
  return s.size() > 260 ? std::string() : s;
}

}  // namespace zelt::winfile
