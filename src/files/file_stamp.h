// Telling whether a file or folder is still the one that was read: the caches
// of folder listings (host_path) and archive directories keep the stamp of
// what they read and trust it only while the stamp still matches.
#pragma once

#include <sys/stat.h>
#include <time.h>

namespace zelt::files {

struct FileStamp {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{}, ctime{};

  static FileStamp of(const struct stat& st);
  // The same file (device and inode), whatever its contents.
  bool same_file(const struct stat& st) const;
  // The same file, with the same size and modification and change times. The
  // change time also catches a modification time set back by hand (as archive
  // extractors do); the inode a path that now names another file.
  bool matches(const struct stat& st) const;
};

// Whether the file changed less than margin_seconds ago. File systems stamp
// times with a coarse clock (a few ms; 2 s on FAT), so a second change made
// that soon may leave the times as they were: what was read then is not to
// be trusted by its stamp alone.
bool changed_recently(const struct stat& st, int margin_seconds);

}  // namespace zelt::files
