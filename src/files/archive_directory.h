// Reading an archive's directory for member lookup, with a cache: opening
// many members of one unchanged archive reads and unscrambles its directory
// once. The cache is keyed by the archive file's identity (device, inode),
// size, modification and change times and header bytes, so a replaced or
// rewritten archive is read afresh; lookups behave exactly as without it.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files/archive_format.h"

namespace zelt::files::archive {

struct Directory {
  std::vector<DirEntry> entries;
  std::string names;     // the name table
  uint64_t file_size = 0;  // of the archive the directory was read from

  // Bisection over the sorted entries with cp932::compare_nocase. Null when
  // the member is absent, when the search meets an entry whose name does not
  // lie inside the name table, or when the member's data does not lie inside
  // the archive file: a malformed directory never leads outside its buffers
  // or its file.
  const DirEntry* find(std::string_view member) const;
};

enum class LoadStatus { kOk, kReadFailed, kNoMemory };

// The directory of the open archive `fd` (st: its fstat) whose 20 header
// bytes are given, magic already checked. A directory and name table that do
// not fit inside the file cannot be read (kReadFailed) and allocate nothing.
LoadStatus load_directory(int fd, const struct stat& st, const uint8_t* header,
                          std::shared_ptr<const Directory>& out);

void clear_directory_cache();
// Directories read from the file (not served from the cache) so far.
uint64_t directory_reads_for_testing();
// A directory read within this many seconds of the archive's last change is
// not kept (the file system's timestamps may not show a second change that
// soon); default 2. Tests and benchmarks that open archives they just wrote
// set 0.
void set_directory_cache_racy_margin_for_testing(int seconds);

}  // namespace zelt::files::archive
