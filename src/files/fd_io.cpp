#include "files/fd_io.h"

#include <unistd.h>

#include <cerrno>

namespace zelt::files {

namespace {

// Calls io(done) until count bytes are moved; io moves bytes from offset done
// on and returns what read, pread, write or pwrite return. Stops early when io
// returns 0.
template <typename Io>
ssize_t transfer(size_t count, Io io) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = io(done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

}  // namespace

ssize_t read_full(int fd, void* buffer, size_t count) {
  auto* p = static_cast<char*>(buffer);
  return transfer(count, [&](size_t done) { return ::read(fd, p + done, count - done); });
}

ssize_t read_full_at(int fd, void* buffer, size_t count, uint64_t offset) {
  auto* p = static_cast<char*>(buffer);
  return transfer(count, [&](size_t done) {
    return ::pread(fd, p + done, count - done, static_cast<off_t>(offset + done));
  });
}

ssize_t write_full(int fd, const void* data, size_t count) {
  const auto* p = static_cast<const char*>(data);
  const ssize_t n = transfer(count, [&](size_t done) { return ::write(fd, p + done, count - done); });
  if (n >= 0 && static_cast<size_t>(n) < count) {
    errno = EIO;
    return -1;
  }
  return n;
}

bool read_to_end(int fd, std::string& out) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = read_full(fd, buffer, sizeof buffer);
    if (n < 0) return false;
    out.append(buffer, static_cast<size_t>(n));
    if (static_cast<size_t>(n) < sizeof buffer) return true;
  }
}

}  // namespace zelt::files
