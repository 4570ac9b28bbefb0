#include "files/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "files/fd_io.h"

namespace zelt::files {

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
  const size_t slash = target_.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
  std::string base = target_.substr(slash == std::string::npos ? 0 : slash + 1);
  if (base.size() > 200) base.resize(200);

  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_ = dir + "." + base + "." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1)) +
            ".tmp";
    // 0666 before the umask, as a newly created file gets.
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0 || errno != EEXIST) break;
  }
  if (fd_ < 0) {
    temp_.clear();
    return false;
  }
  if (exists && S_ISREG(st.st_mode)) (void)::fchmod(fd_, st.st_mode & 07777);
  return true;
}

bool AtomicFile::write(const void* data, size_t size) { return write_full(fd_, data, size) >= 0; }

bool AtomicFile::commit(bool durable) {
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  bool ok = !durable || ::fsync(fd_) == 0;
  int error = ok ? 0 : errno;
  if (::close(fd_) != 0 && ok) {
    ok = false;
    error = errno;
  }
  fd_ = -1;
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
