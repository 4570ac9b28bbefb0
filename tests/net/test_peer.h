// The other end of the network tests: plain blocking loopback sockets with
// time limits, so that a fault in the code under test fails a test instead
// of hanging it. Also the helpers the tests share: waiting for a condition,
// counting open descriptors, a message sink that records.
#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/cp932.h"
#include "core/messages.h"

namespace zelt::nettest {

using Clock = std::chrono::steady_clock;
inline constexpr auto kPatience = std::chrono::seconds(20);

// Polls pred every millisecond until it holds or the patience runs out.
template <typename Pred>
bool wait_until(Pred pred, Clock::duration limit = kPatience) {
  const auto end = Clock::now() + limit;
  while (!pred()) {
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

inline int open_descriptors() {
  int n = 0;
  if (DIR* d = ::opendir("/proc/self/fd")) {
    while (::readdir(d)) ++n;
    ::closedir(d);
  }
  return n;
}

// Messages shown while a test runs, as UTF-8.
struct MessageLog {
  static std::mutex& mutex() {
    static std::mutex m;
    return m;
  }
  static std::vector<std::string>& lines() {
    static std::vector<std::string> l;
    return l;
  }
  static int sink(std::string_view text, std::string_view) {
    std::lock_guard guard(mutex());
    lines().push_back(cp932::to_utf8(text));
    return kIdOk;
  }
  static std::vector<std::string> take() {
    std::lock_guard guard(mutex());
    std::vector<std::string> l;
    l.swap(lines());
    return l;
  }
};

// An owned descriptor.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
  Fd& operator=(Fd&& o) noexcept {
    reset();
    fd_ = o.fd_;
    o.fd_ = -1;
    return *this;
  }
  ~Fd() { reset(); }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

inline uint16_t local_port(int fd) {
  sockaddr_in a{};
  socklen_t n = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
  return ntohs(a.sin_port);
}

// A listener on 127.0.0.1 at a port the system picks.
inline Fd listen_local(uint16_t* port, int backlog = 8) {
  Fd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s.get(), backlog) != 0) return Fd();
  *port = local_port(s.get());
  return s;
}

// A port on 127.0.0.1 where nothing listens (picked and released at once).
inline uint16_t unused_port() {
  Fd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
  return local_port(s.get());
}

inline bool wait_fd(int fd, short events, Clock::duration limit = kPatience) {
  pollfd p{.fd = fd, .events = events, .revents = 0};
  const int ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(limit).count());
  return ::poll(&p, 1, ms) > 0;
}

inline Fd accept_one(int listener) {
  if (!wait_fd(listener, POLLIN)) return Fd();
  return Fd(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
}

inline Fd connect_local(uint16_t port) {
  Fd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  if (::connect(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return Fd();
  return s;
}

inline bool send_all(int fd, const void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (n > 0) {
    if (!wait_fd(fd, POLLOUT)) return false;
    const ssize_t r = ::send(fd, p, n, MSG_NOSIGNAL);
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}
inline bool send_all(int fd, const std::string& s) { return send_all(fd, s.data(), s.size()); }

// Exactly n bytes; fewer when the stream ends, fails or stays silent.
inline std::string recv_exact(int fd, size_t n) {
  std::string out;
  char buf[65536];
  while (out.size() < n) {
    if (!wait_fd(fd, POLLIN)) break;
    const ssize_t r = ::recv(fd, buf, std::min(sizeof buf, n - out.size()), 0);
    if (r <= 0) break;
    out.append(buf, static_cast<size_t>(r));
  }
  return out;
}

// True when the peer ends the stream (orderly or by a reset) within the limit.
inline bool stream_ends(int fd, Clock::duration limit = kPatience) {
  char c;
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    if (!wait_fd(fd, POLLIN, end - Clock::now())) return false;
    const ssize_t r = ::recv(fd, &c, 1, 0);
    if (r <= 0) return true;
  }
  return false;
}

// A byte pattern that differs for every position and stream: any byte lost,
// doubled or reordered breaks it.
inline uint8_t pattern_byte(uint64_t i, uint32_t seed) {
  uint64_t x = (i + 1) * 0x9E3779B97F4A7C15ull ^ seed;
  x ^= x >> 29;
  return static_cast<uint8_t>(x ^ (x >> 8));
}

inline std::string pattern(size_t n, uint32_t seed, uint64_t from = 0) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(pattern_byte(from + i, seed));
  return s;
}

}  // namespace zelt::nettest
