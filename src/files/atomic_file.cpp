#include "files/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string_view>

#include "files/fd_io.h"

namespace zelt::files {

namespace {

// A temporary file is ".<base>.<pid>.<n>.tmp" beside the target: hidden, and
// naming the process that writes it.
constexpr std::string_view kTempSuffix = ".tmp";
// A leftover temporary file is removed only when its process is gone and it
// has not been written for this long: a process of another pid namespace
// sharing the folder looks gone, but one that is still writing keeps its
// file fresh.
constexpr time_t kStaleSeconds = 10;

// Takes "<digits>." from the front of text; false when it does not start so.
bool parse_number(std::string_view& text, long long& value) {
  const size_t dot = text.find('.');
  if (dot == 0 || dot == std::string_view::npos || dot > 10) return false;
  value = 0;
  for (char c : text.substr(0, dot)) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  text.remove_prefix(dot + 1);
  return true;
}

// The pid in `name` when it is one of our temporary files for `prefix`
// (".<base>."), else 0.
pid_t temp_file_pid(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix) || !name.ends_with(kTempSuffix)) return 0;
  // "<pid>.<n>." (the last dot is the suffix's).
  std::string_view rest = name.substr(prefix.size(), name.size() - prefix.size() - kTempSuffix.size() + 1);
  long long pid = 0, counter = 0;
  if (!parse_number(rest, pid) || !parse_number(rest, counter) || !rest.empty() || pid > INT32_MAX) return 0;
  return static_cast<pid_t>(pid);
}

// Removes temporary files for `prefix` that a killed process left in dir.
void remove_stale_temps(const std::string& dir, std::string_view prefix) {
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return;
  const time_t now = std::time(nullptr);
  while (const dirent* entry = ::readdir(d)) {
    const pid_t pid = temp_file_pid(entry->d_name, prefix);
    if (pid <= 0 || pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
    struct stat st {};
    if (::fstatat(::dirfd(d), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
        now - st.st_mtime >= kStaleSeconds)
      ::unlinkat(::dirfd(d), entry->d_name, 0);
  }
  ::closedir(d);
}

// Whether an existing regular file may be replaced. Replacing needs only
// the folder's permission, which would let a save overwrite a file its user
// may not write; so the file's own permission decides. root may write any
// file, so for root the mode bits decide instead: a file that nobody may
// write (such as 0444) is kept for root as for everyone else.
bool may_replace(const std::string& path, const struct stat& st) {
  if (::geteuid() == 0) return (st.st_mode & 0222) != 0;
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

}  // namespace

bool AtomicFile::open(const std::string& target) {
  discard();
  if (target.empty()) {
    errno = ENOENT;
    return false;
  }
  target_ = target;
  struct stat st {};
  if (::lstat(target_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(target_.c_str(), nullptr)) {
      target_ = real;
      std::free(real);
    }
  }
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return false;
  }
  if (exists && !S_ISREG(st.st_mode)) {
    // A FIFO or device stays what it is: replacing it would put a regular
    // file in its place. No O_CREAT or O_TRUNC, so nothing else is created.
    fd_ = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    in_place_ = fd_ >= 0;
    return in_place_;
  }
  if (exists && !may_replace(target_, st)) {
    errno = EACCES;
    return false;
  }
  const size_t slash = target_.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
  std::string base = target_.substr(slash == std::string::npos ? 0 : slash + 1);
  if (base.size() > 200) base.resize(200);
  const std::string prefix = "." + base + ".";
  remove_stale_temps(dir, prefix);

  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_ = dir + prefix + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1)) +
            std::string(kTempSuffix);
    // 0666 before the umask, as a newly created file gets.
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0 || errno != EEXIST) break;
  }
  if (fd_ < 0) {
    temp_.clear();
    return false;
  }
  if (exists) {
    // The owner first: changing it may clear set-id bits that fchmod restores.
    // Only root may give a file away, and only a member set its group; what
    // we may not set stays ours.
    if (st.st_uid != ::geteuid()) (void)::fchown(fd_, st.st_uid, static_cast<gid_t>(-1));
    if (st.st_gid != ::getegid()) (void)::fchown(fd_, static_cast<uid_t>(-1), st.st_gid);
    (void)::fchmod(fd_, st.st_mode & 07777);
  }
  return true;
}

bool AtomicFile::write(const void* data, size_t size) { return write_full(fd_, data, size) >= 0; }

bool AtomicFile::commit(bool durable) {
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  // A FIFO or device has taken the bytes already; fsync means nothing there.
  bool ok = !durable || in_place_ || ::fsync(fd_) == 0;
  int error = ok ? 0 : errno;
  if (::close(fd_) != 0 && ok) {
    ok = false;
    error = errno;
  }
  fd_ = -1;
  if (in_place_) {
    in_place_ = false;
    errno = error;
    return ok;
  }
  if (ok && ::rename(temp_.c_str(), target_.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(temp_.c_str());
    temp_.clear();
    errno = error;
    return false;
  }
  temp_.clear();
  if (durable) {
    const size_t slash = target_.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : target_.substr(0, slash + 1);
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
      ::fsync(dfd);
      ::close(dfd);
    }
  }
  return true;
}

void AtomicFile::discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  in_place_ = false;
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    temp_.clear();
  }
}

bool same_file(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

}  // namespace zelt::files
