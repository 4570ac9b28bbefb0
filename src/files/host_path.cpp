#include "files/host_path.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "core/cp932.h"
#include "files/file_stamp.h"

namespace zelt::files {

namespace {

// ---- drive mappings ----

std::mutex drive_mutex;
std::array<std::string, 26> drive_dirs;  // by letter; empty = unmapped

int drive_index(std::string_view p) {
  if (p.size() < 2 || p[1] != ':') return -1;
  char c = p[0];
  if (c >= 'a' && c <= 'z') return c - 'a';
  if (c >= 'A' && c <= 'Z') return c - 'A';
  return -1;
}

// ---- directory listings ----

// The entries of one directory, keyed by their code page 932 names folded
// (cp932::fold_case), each giving the host name that a case-insensitive
// lookup resolves to.
struct Listing {
  FileStamp stamp;
  bool racy = false;  // read too soon after a change to trust the mtime
  std::unordered_map<std::string, std::string> by_folded_name;
};

// A directory's mtime changes whenever an entry is added, removed or renamed,
// so an unchanged stamp means the listing is current (the inode also catches
// a relative key that now names another directory). A listing read within
// this margin of the directory's last change is re-read at its next use.
std::atomic<int> racy_margin_seconds{2};

// More directories than this and the cache starts afresh.
constexpr size_t max_cached_dirs = 4096;

std::mutex cache_mutex;
std::unordered_map<std::string, std::shared_ptr<const Listing>> cache;

size_t count_question_marks(std::string_view s) { return std::count(s.begin(), s.end(), '?'); }

std::shared_ptr<const Listing> read_listing(const std::string& dir, const struct stat& st) {
  auto listing = std::make_shared<Listing>();
  listing->stamp = FileStamp::of(st);
  listing->racy = changed_recently(st, racy_margin_seconds.load());

  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string_view name = e->d_name;
      if (name != "." && name != "..") names.emplace_back(name);
    }
    closedir(d);
  }
  // Sorted, so that of several names equal but for case the same one wins
  // on every run whatever order the file system lists them in.
  std::sort(names.begin(), names.end());
  for (std::string& name : names) {
    std::string cp = cp932::from_utf8(name);
    // A name with characters that code page 932 cannot spell (they come out
    // as '?', which is never a trail byte) cannot be named by a script; it
    // must not match a script's literal '?' either.
    if (count_question_marks(cp) != count_question_marks(name)) continue;
    listing->by_folded_name.emplace(cp932::fold_case(cp), std::move(name));
  }
  return listing;
}

// Host name of the entry of dir (a host path, "" for the current directory)
// that equals the code page 932 name without regard to case; "" if none.
std::string find_nocase(const std::string& dir, std::string_view name) {
  std::string key = dir.empty() ? std::string(".") : dir;
  struct stat st {};
  if (stat(key.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};

  std::shared_ptr<const Listing> listing;
  {
    std::lock_guard lock(cache_mutex);
    auto it = cache.find(key);
    if (it != cache.end() && !it->second->racy && it->second->stamp.matches(st)) listing = it->second;
  }
  if (!listing) {
    // Read without the lock: another thread may read the same directory at
    // the same time, and the later insert simply wins.
    listing = read_listing(key, st);
    std::lock_guard lock(cache_mutex);
    if (cache.size() >= max_cached_dirs) cache.clear();
    cache.insert_or_assign(key, listing);
  }
  auto found = listing->by_folded_name.find(cp932::fold_case(name));
  return found == listing->by_folded_name.end() ? std::string() : found->second;
}

bool exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

bool is_separator(char c) { return c == '\\' || c == '/'; }

}  // namespace

void set_drive_mapping(std::string_view drive, std::string host_dir) {
  int index = drive_index(drive);
  if (index < 0) return;
  std::lock_guard lock(drive_mutex);
  drive_dirs[static_cast<size_t>(index)] = std::move(host_dir);
}

// The empty path names nothing and resolves to "" (opening it fails, as it
// does on the original platform) rather than to the current directory.
// So does a path that is not valid code page 932: a file made under it
// would get a host name that converts back to other bytes, and no search or
// lookup would find it again under the name the script gave.
std::string host_path(std::string_view script_path) {
  // Script strings end at their first NUL.
  script_path = script_path.substr(0, script_path.find('\0'));
  if (script_path.empty()) return {};

  // The resolved prefix; "" stands for the current directory.
  std::string result;
  std::string_view rest = script_path;
  if (int index = drive_index(rest); index >= 0) {
    rest.remove_prefix(2);
    {
      std::lock_guard lock(drive_mutex);
      result = drive_dirs[static_cast<size_t>(index)];
    }
    // With a mapped drive the rest is below its folder, with or without a
    // leading separator; an unmapped drive is dropped and the rest is
    // absolute, as it was on that drive.
    if (result.empty()) result.assign(1, '/');
  } else if (is_separator(rest.front())) {
    result.assign(1, '/');
  }

  // Split on code page 932 character boundaries, so that the trail byte 0x5C
  // of a character such as 0x95 0x5C is never taken for a separator. Empty
  // components (doubled separators) are dropped.
  std::vector<std::string_view> components;
  size_t start = 0;
  bool trailing_separator = false;  // the path names a folder
  for (size_t i = 0; i < rest.size(); i += cp932::char_length(rest, i)) {
    trailing_separator = cp932::char_length(rest, i) == 1 && is_separator(rest[i]);
    if (trailing_separator) {
      if (i > start) components.push_back(rest.substr(start, i - start));
      start = i + 1;
    }
  }
  if (start < rest.size()) components.push_back(rest.substr(start));

  bool resolving = true;
  for (std::string_view component : components) {
    std::optional<std::string> utf8 = cp932::to_utf8_strict(component);
    if (!utf8) return {};
    std::string name = std::move(*utf8);
    std::string dir = result;
    if (!result.empty() && result.back() != '/') result += '/';
    // "." and ".." pass through: the directory they name is the one the
    // following components are looked up in.
    if (resolving && component != "." && component != ".." && !exists(result + name)) {
      // Listings hold names as from_utf8 spells them, which for a character
      // with two codes (NEC and IBM extensions) is always the same one.
      std::string match = find_nocase(dir, cp932::from_utf8(name));
      if (match.empty()) resolving = false;  // this and everything after it are kept as written
      else name = std::move(match);
    }
    result += name;
  }
  if (trailing_separator && (result.empty() || result.back() != '/')) result += '/';
  return result;
}

void clear_path_cache() {
  std::lock_guard lock(cache_mutex);
  cache.clear();
}

void set_racy_margin_for_testing(int seconds) { racy_margin_seconds = seconds; }

}  // namespace zelt::files
