// TCP sockets for the network service threads: non-blocking stream sockets,
// waiting on several of them at once, a wake-up event, name resolution.
// Failures leave their error number in socket_last_error(), in the Winsock
// numbering that the runtime's socket messages are keyed by (ECONNREFUSED
// is 10061 and so on); other system errors keep their errno value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zelt::platform {

// Error numbers the service threads act on.
inline constexpr int kSockInterrupted = 10004;      // WSAEINTR
inline constexpr int kSockInvalid = 10022;          // WSAEINVAL
inline constexpr int kSockWouldBlock = 10035;       // WSAEWOULDBLOCK
inline constexpr int kSockNotInitialised = 10093;   // WSANOTINITIALISED
inline constexpr int kSockHostNotFound = 11001;     // WSAHOST_NOT_FOUND

// The error of the last failed call on this thread.
int socket_last_error();
// The Winsock number of an errno value (unmapped values are returned as
// they are), and of a getaddrinfo result.
int socket_error_from_errno(int e);
int socket_error_from_resolver(int gai_error);

inline constexpr int kNoSocket = -1;

// One resolved address (IPv4 or IPv6) with its port.
struct SocketAddress {
  alignas(8) unsigned char bytes[128];
  uint32_t length = 0;
};

// The addresses of host:port, in the resolver's order. A literal IPv4 or
// IPv6 address is taken as it is; anything else is looked up, which may
// take as long as the system's resolver does. Empty on failure.
std::vector<SocketAddress> socket_resolve(const std::string& host, uint16_t port);
// True when host is an address literal (no look-up needed).
bool socket_is_address_literal(const std::string& host);

// A non-blocking listening socket on every local address at port (IPv6 and
// IPv4 together where the system has IPv6, else IPv4), with SO_REUSEADDR.
int socket_listen(uint16_t port, int backlog);
// The next pending connection as a non-blocking socket, kNoSocket when none
// is pending (kSockWouldBlock) or on an error.
int socket_accept(int listener);
// Closing the socket resets the connection at once (SO_LINGER on, time 0).
bool socket_set_linger_reset(int s);
// Starts connecting a new non-blocking socket to address; the connection
// completes when the socket becomes writable (see socket_connect_error).
int socket_connect_start(const SocketAddress& address);
// After the socket became writable: 0 when connected, else the error.
int socket_connect_error(int s);
// Moves up to n bytes without waiting: the count moved, or -1 with the error
// (kSockWouldBlock when nothing can be moved now). A receive of 0 is the end
// of the peer's stream. Sends never raise SIGPIPE.
long socket_send(int s, const void* data, size_t n);
long socket_recv(int s, void* buffer, size_t n);
void socket_close(int s);

// One entry of socket_wait: what to wait for on fd (kNoSocket: skipped),
// and what was found. `failed` is an error or hang-up on the socket, which
// the next send or receive reports.
struct SocketWait {
  int fd = kNoSocket;
  bool want_read = false;
  bool want_write = false;
  bool readable = false;
  bool writable = false;
  bool failed = false;
};
// Waits until one of the entries is ready or timeout_ms pass (-1: no limit).
// The number of ready entries, 0 on timeout, -1 on an error.
int socket_wait(std::span<SocketWait> entries, int timeout_ms);

// A wake-up event that another thread sets to end a socket_wait on its fd.
class WakeEvent {
 public:
  WakeEvent();
  ~WakeEvent();
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;

  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void set();
  void clear();

 private:
  int fd_;
};

}  // namespace zelt::platform
