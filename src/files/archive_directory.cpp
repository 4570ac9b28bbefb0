#include "files/archive_directory.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>
#include <new>

#include "core/cp932.h"
#include "files/fd_io.h"
#include "files/file_stamp.h"

namespace zelt::files::archive {

const DirEntry* Directory::find(std::string_view member) const {
  int64_t lo = 0, hi = static_cast<int64_t>(entries.size()) - 1;
  const std::string_view table = names;
  while (lo <= hi) {
    const int64_t mid = (lo + hi) / 2;
    const DirEntry& e = entries[static_cast<size_t>(mid)];
    std::string_view name;
    if (!name_at(table, e.name_offset, name)) return nullptr;
    const int c = cp932::compare_nocase(member, name);
    if (c < 0) {
      hi = mid - 1;
    } else if (c > 0) {
      lo = mid + 1;
    } else {
      if (uint64_t{e.data_offset} + e.size > file_size) return nullptr;
      return &e;
    }
  }
  return nullptr;
}

namespace {

bool read_at(int fd, void* buffer, size_t count, uint64_t offset) {
  return read_full_at(fd, buffer, count, offset) == static_cast<ssize_t>(count);
}

// ---- the cache ----

struct CacheEntry {
  FileStamp stamp;
  std::array<uint8_t, kHeaderSize> header{};
  std::shared_ptr<const Directory> directory;
  uint64_t last_use = 0;
};

constexpr size_t kMaxCachedArchives = 16;
constexpr size_t kMaxCachedBytes = size_t{64} << 20;

std::mutex cache_mutex;
std::vector<CacheEntry> cache;  // at most kMaxCachedArchives
uint64_t use_clock = 0;
std::atomic<uint64_t> reads{0};
std::atomic<int> racy_margin_seconds{2};

size_t directory_bytes(const Directory& d) { return d.entries.size() * sizeof(DirEntry) + d.names.size(); }

bool matches(const CacheEntry& c, const struct stat& st, const uint8_t* header) {
  return c.stamp.matches(st) && std::equal(c.header.begin(), c.header.end(), header);
}

std::shared_ptr<const Directory> cache_find(const struct stat& st, const uint8_t* header) {
  std::lock_guard lock(cache_mutex);
  for (CacheEntry& c : cache) {
    if (matches(c, st, header)) {
      c.last_use = ++use_clock;
      return c.directory;
    }
  }
  return nullptr;
}

void cache_insert(const struct stat& st, const uint8_t* header, std::shared_ptr<const Directory> directory) {
  const size_t bytes = directory_bytes(*directory);
  if (bytes > kMaxCachedBytes) return;
  if (changed_recently(st, racy_margin_seconds.load())) return;

  std::lock_guard lock(cache_mutex);
  // One entry per file: an older directory of the same file is replaced.
  std::erase_if(cache, [&](const CacheEntry& c) { return c.stamp.same_file(st); });
  size_t total = bytes;
  for (const CacheEntry& c : cache) total += directory_bytes(*c.directory);
  while (!cache.empty() && (cache.size() >= kMaxCachedArchives || total > kMaxCachedBytes)) {
    auto oldest = std::min_element(cache.begin(), cache.end(),
                                   [](const CacheEntry& a, const CacheEntry& b) { return a.last_use < b.last_use; });
    total -= directory_bytes(*oldest->directory);
    cache.erase(oldest);
  }
  CacheEntry& c = cache.emplace_back();
  c.stamp = FileStamp::of(st);
  std::copy(header, header + kHeaderSize, c.header.begin());
  c.directory = std::move(directory);
  c.last_use = ++use_clock;
}

}  // namespace

LoadStatus load_directory(int fd, const struct stat& st, const uint8_t* header,
                          std::shared_ptr<const Directory>& out) {
  if (auto cached = cache_find(st, header)) {
    out = std::move(cached);
    return LoadStatus::kOk;
  }

  const Header h = decode_header(header);
  const uint64_t dir_bytes = uint64_t{h.count} * kEntrySize;
  const uint64_t file_size = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
  // What does not fit in the file cannot be read; checking first keeps a
  // scrambled count of four billion from allocating anything.
  if (kHeaderSize + dir_bytes + h.names_size > file_size) return LoadStatus::kReadFailed;

  auto directory = std::shared_ptr<Directory>(new (std::nothrow) Directory);
  if (!directory) return LoadStatus::kNoMemory;
  std::vector<uint8_t> raw;
  try {
    raw.resize(static_cast<size_t>(dir_bytes));
    directory->entries.resize(h.count);
    directory->names.resize(h.names_size);
  } catch (const std::bad_alloc&) {
    return LoadStatus::kNoMemory;
  }
  if (!read_at(fd, raw.data(), raw.size(), kHeaderSize) ||
      !read_at(fd, directory->names.data(), directory->names.size(), kHeaderSize + dir_bytes)) {
    return LoadStatus::kReadFailed;
  }
  ++reads;
  decode_directory(raw.data(), h.count, h.seed, directory->entries.data());
  directory->file_size = file_size;
  cache_insert(st, header, directory);
  out = std::move(directory);
  return LoadStatus::kOk;
}

void clear_directory_cache() {
  std::lock_guard lock(cache_mutex);
  cache.clear();
}

uint64_t directory_reads_for_testing() { return reads.load(); }

void set_directory_cache_racy_margin_for_testing(int seconds) { racy_margin_seconds = seconds; }

}  // namespace zelt::files::archive
