#include "files/file_stamp.h"

#include <algorithm>

namespace zelt::files {

namespace {

bool same_time(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

}  // namespace

FileStamp FileStamp::of(const struct stat& st) { return {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim}; }

bool FileStamp::same_file(const struct stat& st) const { return dev == st.st_dev && ino == st.st_ino; }

bool FileStamp::matches(const struct stat& st) const {
  return same_file(st) && size == st.st_size && same_time(mtime, st.st_mtim) && same_time(ctime, st.st_ctim);
}

bool changed_recently(const struct stat& st, int margin_seconds) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec - std::max(st.st_mtim.tv_sec, st.st_ctim.tv_sec) < margin_seconds;
}

}  // namespace zelt::files
