#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/socket.h"

namespace zelt::platform {
namespace {

thread_local int t_last_error = 0;

// errno values and the Winsock numbers of the same conditions. Where Winsock
// has no number of its own, the nearest one stands in (ENFILE as too many
// open files, ENOMEM as no buffers, EPIPE as a send after the shutdown).
constexpr std::pair<int, int> kErrnoToWinsock[] = {
    {EINTR, 10004},           {EBADF, 10009},          {EACCES, 10013},          {EPERM, 10013},
    {EFAULT, 10014},          {EINVAL, 10022},         {EMFILE, 10024},          {ENFILE, 10024},
    {EWOULDBLOCK, 10035},     {EAGAIN, 10035},         {EINPROGRESS, 10036},     {EALREADY, 10037},
    {ENOTSOCK, 10038},        {EDESTADDRREQ, 10039},   {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},     {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},
    {EPFNOSUPPORT, 10046},    {EAFNOSUPPORT, 10047},   {EADDRINUSE, 10048},      {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},        {ENETUNREACH, 10051},    {ENETRESET, 10052},       {ECONNABORTED, 10053},
    {ECONNRESET, 10054},      {ENOBUFS, 10055},        {ENOMEM, 10055},          {EISCONN, 10056},
    {ENOTCONN, 10057},        {ESHUTDOWN, 10058},      {EPIPE, 10058},           {ETOOMANYREFS, 10059},
    {ETIMEDOUT, 10060},       {ECONNREFUSED, 10061},   {ELOOP, 10062},           {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},       {EHOSTUNREACH, 10065},   {ENOTEMPTY, 10066},       {EUSERS, 10068},
    {EDQUOT, 10069},          {ESTALE, 10070},         {EREMOTE, 10071},
};

int fail_errno() {
  t_last_error = socket_error_from_errno(errno);
  return -1;
}

int fail(int code) {
  t_last_error = code;
  return -1;
}

int listen_on(int family, uint16_t port, int backlog) {
  const int s = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (s < 0) return fail_errno();
  const int on = 1, off = 0;
  sockaddr_storage address{};
  socklen_t length;
  if (family == AF_INET6) {
    // Both families on one socket; a system that refuses keeps IPv6 only,
    // which the caller does not want, so that counts as a failure.
    if (::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) != 0) {
      const int e = errno;
      ::close(s);
      return fail(socket_error_from_errno(e));
    }
    auto* a = reinterpret_cast<sockaddr_in6*>(&address);
    a->sin6_family = AF_INET6;
    a->sin6_addr = in6addr_any;
    a->sin6_port = htons(port);
    length = sizeof *a;
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&address);
    a->sin_family = AF_INET;
    a->sin_addr.s_addr = htonl(INADDR_ANY);
    a->sin_port = htons(port);
    length = sizeof *a;
  }
  if (::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      ::bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(s, backlog) != 0) {
    const int e = errno;
    ::close(s);
    return fail(socket_error_from_errno(e));
  }
  return s;
}

std::vector<SocketAddress> resolve(const std::string& host, uint16_t port, int flags) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = flags;
  addrinfo* list = nullptr;
  const int r = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
  std::vector<SocketAddress> found;
  if (r != 0) {
    t_last_error = r == EAI_SYSTEM ? socket_error_from_errno(errno) : socket_error_from_resolver(r);
    return found;
  }
  for (const addrinfo* a = list; a; a = a->ai_next) {
    if ((a->ai_family != AF_INET && a->ai_family != AF_INET6) || a->ai_addrlen > sizeof(SocketAddress::bytes))
      continue;
    SocketAddress address;
    std::memcpy(address.bytes, a->ai_addr, a->ai_addrlen);
    address.length = a->ai_addrlen;
    found.push_back(address);
  }
  ::freeaddrinfo(list);
  if (found.empty()) t_last_error = kSockHostNotFound;
  return found;
}

}  // namespace

int socket_last_error() { return t_last_error; }

int socket_error_from_errno(int e) {
  for (const auto& [from, to] : kErrnoToWinsock)
    if (from == e) return to;
  return e;
}

int socket_error_from_resolver(int gai_error) {
  switch (gai_error) {
    case EAI_NONAME: return 11001;  // WSAHOST_NOT_FOUND
    case EAI_AGAIN: return 11002;   // WSATRY_AGAIN
    case EAI_FAIL: return 11003;    // WSANO_RECOVERY
#ifdef EAI_NODATA
    case EAI_NODATA: return 11004;  // WSANO_DATA
#endif
    case EAI_FAMILY: return 10047;  // WSAEAFNOSUPPORT
    case EAI_SOCKTYPE: return 10044;
    case EAI_MEMORY: return 10055;
    default: return 10022;          // WSAEINVAL
  }
}

bool socket_is_address_literal(const std::string& host) {
  in_addr v4;
  in6_addr v6;
  return ::inet_pton(AF_INET, host.c_str(), &v4) == 1 || ::inet_pton(AF_INET6, host.c_str(), &v6) == 1;
}

std::vector<SocketAddress> socket_resolve(const std::string& host, uint16_t port) {
  if (host.find('\0') != std::string::npos) {
    t_last_error = kSockHostNotFound;
    return {};
  }
  std::vector<SocketAddress> found = resolve(host, port, AI_NUMERICHOST | AI_NUMERICSERV);
  if (!found.empty()) return found;
  return resolve(host, port, AI_NUMERICSERV);
}

int socket_listen(uint16_t port, int backlog) {
  const int s = listen_on(AF_INET6, port, backlog);
  if (s >= 0) return s;
  // No IPv6 on this system: IPv4 alone.
  const int e = t_last_error;
  if (e == 10047 || e == 10043 || e == 10046 || e == 10049 || e == 10042) return listen_on(AF_INET, port, backlog);
  return -1;
}

int socket_accept(int listener) {
  for (;;) {
    const int s = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (s >= 0) return s;
    // A connection that was reset while it waited is skipped.
    if (errno == EINTR || errno == ECONNABORTED) continue;
    return fail_errno();
  }
}

bool socket_set_linger_reset(int s) {
  const linger l{.l_onoff = 1, .l_linger = 0};
  if (::setsockopt(s, SOL_SOCKET, SO_LINGER, &l, sizeof l) == 0) return true;
  fail_errno();
  return false;
}

int socket_connect_start(const SocketAddress& address) {
  const auto* a = reinterpret_cast<const sockaddr*>(address.bytes);
  if (address.length < sizeof(sa_family_t)) return fail(kSockInvalid);
  const int s = ::socket(a->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (s < 0) return fail_errno();
  if (::connect(s, a, address.length) == 0 || errno == EINPROGRESS || errno == EINTR) return s;
  const int e = errno;
  ::close(s);
  return fail(socket_error_from_errno(e));
}

int socket_connect_error(int s) {
  int e = 0;
  socklen_t length = sizeof e;
  if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &e, &length) != 0) e = errno;
  t_last_error = e ? socket_error_from_errno(e) : 0;
  return t_last_error;
}

long socket_send(int s, const void* data, size_t n) {
  for (;;) {
    const ssize_t r = ::send(s, data, n, MSG_NOSIGNAL);
    if (r >= 0) return r;
    if (errno != EINTR) return fail_errno();
  }
}

long socket_recv(int s, void* buffer, size_t n) {
  for (;;) {
    const ssize_t r = ::recv(s, buffer, n, 0);
    if (r >= 0) return r;
    if (errno != EINTR) return fail_errno();
  }
}

void socket_close(int s) {
  if (s >= 0) ::close(s);
}

int socket_wait(std::span<SocketWait> entries, int timeout_ms) {
  pollfd fds[16];
  if (entries.size() > std::size(fds)) return fail(kSockInvalid);
  for (size_t i = 0; i < entries.size(); ++i) {
    SocketWait& e = entries[i];
    fds[i] = {.fd = e.fd, .events = static_cast<short>((e.want_read ? POLLIN : 0) | (e.want_write ? POLLOUT : 0)),
              .revents = 0};
    e.readable = e.writable = e.failed = false;
  }
  int r;
  do {
    r = ::poll(fds, entries.size(), timeout_ms);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return fail_errno();
  for (size_t i = 0; i < entries.size(); ++i) {
    SocketWait& e = entries[i];
    e.readable = fds[i].revents & POLLIN;
    e.writable = fds[i].revents & POLLOUT;
    e.failed = fds[i].revents & (POLLERR | POLLHUP | POLLNVAL);
  }
  return r;
}

WakeEvent::WakeEvent() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeEvent::~WakeEvent() {
  if (fd_ >= 0) ::close(fd_);
}

void WakeEvent::set() {
  const uint64_t one = 1;
  // A full counter (never reached) or an interrupted write still leaves the
  // event readable.
  [[maybe_unused]] const ssize_t r = ::write(fd_, &one, sizeof one);
}

void WakeEvent::clear() {
  uint64_t count;
  [[maybe_unused]] const ssize_t r = ::read(fd_, &count, sizeof count);
}

}  // namespace zelt::platform
