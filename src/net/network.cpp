#include "net/network.h"

#include <chrono>
#include <system_error>
#include <vector>

#include "net/socket_messages.h"

namespace zelt::net {
namespace {

using platform::SocketWait;

std::atomic<bool> g_started{false};

// After an accept fails for a reason other than an empty queue (out of
// descriptors, say), the listener rests this long so that the pending
// connection does not wake the thread again at once.
constexpr int kAcceptPauseMs = 100;

// The classic design's waits.
constexpr int kFixedSleepMs = 5;
constexpr int kFixedServerSelectMs = 1;

// What a connection waits for: data to receive while there is room for it,
// room in the socket while there is something to send.
SocketWait wait_entry(int fd, bool ended, const Ring& send, const Ring& recv) {
  SocketWait w;
  w.want_read = !ended && recv.space() > 0;
  w.want_write = !send.empty();
  w.fd = w.want_read || w.want_write ? fd : platform::kNoSocket;
  return w;
}

bool port_ok(int32_t port) { return port >= 0 && port <= 0xFFFF; }

// A name look-up that the client thread can walk away from: it runs on a
// thread of its own, which finishes in its own time and frees this state
// when neither side holds it any more.
struct Lookup {
  std::mutex mutex;
  bool done = false;
  std::vector<platform::SocketAddress> found;
  platform::WakeEvent finished;
};

}  // namespace

bool net_startup() {
  g_started = true;
  return true;
}

void net_cleanup() { g_started = false; }

bool net_started() { return g_started; }

bool Network::start_thread(void (Network::*main)()) {
  wake_ = std::make_unique<platform::WakeEvent>();
  if (!wake_->ok()) {
    wake_.reset();
    return false;
  }
  run_ = true;
  thread_running_ = true;
  try {
    thread_ = std::thread(main, this);
  } catch (const std::system_error&) {
    run_ = false;
    thread_running_ = false;
    wake_.reset();
    return false;
  }
  return true;
}

bool Network::open_client(std::string_view host, int32_t port) {
  if (!port_ok(port)) {
    report_socket_error(platform::kSockInvalid);
    return false;
  }
  close();
  {
    std::lock_guard guard(lock_);
    client_ = {};
    connected_ = false;
  }
  host_.assign(host);
  port_ = static_cast<uint16_t>(port);
  if (!start_thread(&Network::client_main)) return false;
  mode_ = kClient;
  return true;
}

bool Network::open_server(int32_t port) {
  if (!port_ok(port)) {
    report_socket_error(platform::kSockInvalid);
    return false;
  }
  close();
  if (!net_started()) return false;
  {
    std::lock_guard guard(lock_);
    for (Connection& c : slots_) c = {};
  }
  accept_pause_until_ = {};
  listener_ = platform::socket_listen(static_cast<uint16_t>(port), kListenBacklog);
  if (listener_ < 0) {
    report_socket_error(platform::socket_last_error());
    return false;
  }
  if (!start_thread(&Network::server_main)) {
    platform::socket_close(listener_);
    listener_ = platform::kNoSocket;
    return false;
  }
  mode_ = kServer;
  return true;
}

void Network::close() {
  if (thread_.joinable()) {
    run_ = false;
    wake_->set();
    thread_.join();
  }
  wake_.reset();
  mode_ = kIdle;
}

Network::Connection* Network::connection(int32_t slot) {
  if (mode_ == kServer) return slot >= 0 && slot < kClientSlots && slots_[slot].in_use ? &slots_[slot] : nullptr;
  if (mode_ == kClient) return connected_ ? &client_ : nullptr;
  return nullptr;
}

void Network::wake() {
  if (waiting_ == Waiting::kWakeUps && wake_) wake_->set();
}

int32_t Network::send(int32_t slot, std::span<const uint8_t> data) {
  std::lock_guard guard(lock_);
  Connection* c = connection(slot);
  if (!c) return -1;
  const bool was_empty = c->send.empty();
  const uint32_t n = c->send.put(data);
  if (n > 0 && was_empty) wake();
  return static_cast<int32_t>(n);
}

int32_t Network::recv(int32_t slot, std::span<uint8_t> out) {
  std::lock_guard guard(lock_);
  Connection* c = connection(slot);
  if (!c) return -1;
  const bool was_full = c->recv.space() == 0;
  const uint32_t n = c->recv.take(out);
  // The thread waits for room to receive into, or, once the peer's stream
  // has ended, for the script to have read everything.
  if (n > 0 && (was_full || (c->ended && c->recv.empty()))) wake();
  return static_cast<int32_t>(n);
}

int32_t Network::send_room(int32_t slot) {
  std::lock_guard guard(lock_);
  const Connection* c = connection(slot);
  return c ? static_cast<int32_t>(c->send.space()) : -1;
}

int32_t Network::recv_held(int32_t slot) {
  std::lock_guard guard(lock_);
  const Connection* c = connection(slot);
  return c ? static_cast<int32_t>(c->recv.filled()) : -1;
}

int32_t Network::state() {
  if (mode_ == kServer) return thread_running_ ? 1 : 0;
  if (mode_ != kClient) return 0;
  std::lock_guard guard(lock_);
  if (connected_) return kStateConnected;
  return thread_running_ ? kStateConnecting : kStateDown;
}

// --- Service threads ---

// Under the network lock: sends what the send ring holds and receives what
// the receive ring has room for, as far as the socket takes and gives
// without waiting. False when the connection is over: a send or receive
// failed, or the peer's stream ended and the script has read everything.
bool Network::pump(Connection& c) {
  while (!c.send.empty()) {
    const std::span<const uint8_t> piece = c.send.filled_piece();
    const long n = platform::socket_send(c.fd, piece.data(), piece.size());
    if (n < 0) {
      if (platform::socket_last_error() == platform::kSockWouldBlock) break;
      return false;
    }
    c.send.consumed(static_cast<uint32_t>(n));
  }
  while (!c.ended && c.recv.space() > 0) {
    const std::span<uint8_t> piece = c.recv.space_piece();
    const long n = platform::socket_recv(c.fd, piece.data(), piece.size());
    if (n < 0) {
      if (platform::socket_last_error() == platform::kSockWouldBlock) break;
      return false;
    }
    if (n == 0) {
      c.ended = true;
      break;
    }
    c.recv.produced(static_cast<uint32_t>(n));
  }
  return !(c.ended && c.recv.empty());
}

// Under the network lock.
void Network::close_connection(Connection& c) {
  platform::socket_close(c.fd);
  c.fd = platform::kNoSocket;
  c.in_use = false;
  c.ended = false;
  c.send.clear();
  c.recv.clear();
}

// The classic design's 5 ms sleep, cut short only by a stop. False when
// the thread is to stop.
bool Network::fixed_sleep() {
  if (waiting_ != Waiting::kFixedWaits) return run_;
  SocketWait w{.fd = wake_->fd(), .want_read = true};
  platform::socket_wait({&w, 1}, kFixedSleepMs);
  return run_;
}

int Network::client_connect() {
  if (!net_started()) {
    report_socket_error(platform::kSockNotInitialised);
    return platform::kNoSocket;
  }
  std::vector<platform::SocketAddress> addresses;
  if (platform::socket_is_address_literal(host_)) {
    addresses = platform::socket_resolve(host_, port_);
  } else {
    // Looked up on a thread of its own, so that a stop never waits for the
    // system's resolver.
    auto lookup = std::make_shared<Lookup>();
    bool started = lookup->finished.ok();
    if (started) {
      try {
        std::thread([lookup, host = host_, port = port_] {
          std::vector<platform::SocketAddress> found = platform::socket_resolve(host, port);
          std::lock_guard guard(lookup->mutex);
          lookup->found = std::move(found);
          lookup->done = true;
          lookup->finished.set();
        }).detach();
      } catch (const std::system_error&) {
        started = false;
      }
    }
    if (started) {
      for (;;) {
        SocketWait w[2] = {{.fd = wake_->fd(), .want_read = true}, {.fd = lookup->finished.fd(), .want_read = true}};
        platform::socket_wait(w, -1);
        if (w[0].readable) wake_->clear();
        if (!run_) return platform::kNoSocket;
        std::lock_guard guard(lookup->mutex);
        if (lookup->done) {
          addresses = std::move(lookup->found);
          break;
        }
      }
    } else {
      addresses = platform::socket_resolve(host_, port_);
    }
  }
  if (addresses.empty()) {
    if (run_) report(kLevelDevice, Msg::NetConnect);
    return platform::kNoSocket;
  }
  // Every address of the name in turn; the error of the last one is shown.
  int error = 0;
  for (const platform::SocketAddress& address : addresses) {
    const int s = platform::socket_connect_start(address);
    if (s < 0) {
      error = platform::socket_last_error();
      continue;
    }
    SocketWait w[2] = {{.fd = wake_->fd(), .want_read = true}, {.fd = s, .want_write = true}};
    while (run_ && !w[1].writable && !w[1].failed) {
      platform::socket_wait(w, -1);
      if (w[0].readable) wake_->clear();
    }
    if (!run_) {
      platform::socket_close(s);
      return platform::kNoSocket;
    }
    error = platform::socket_connect_error(s);
    if (error == 0) return s;
    platform::socket_close(s);
  }
  report_socket_error(error);
  return platform::kNoSocket;
}

void Network::client_main() {
  const int s = client_connect();
  if (s >= 0) {
    {
      std::lock_guard guard(lock_);
      client_.fd = s;
      connected_ = true;
    }
    const bool fixed = waiting_ == Waiting::kFixedWaits;
    while (fixed_sleep()) {
      SocketWait w[2] = {{.fd = wake_->fd(), .want_read = true}};
      {
        std::lock_guard guard(lock_);
        if (!pump(client_)) break;
        w[1] = wait_entry(client_.fd, client_.ended, client_.send, client_.recv);
      }
      platform::socket_wait(w, fixed ? 0 : -1);
      if (w[0].readable) wake_->clear();
      if (fixed && run_) {
        std::lock_guard guard(lock_);
        if (!pump(client_)) break;
      }
    }
  }
  {
    std::lock_guard guard(lock_);
    close_connection(client_);
    connected_ = false;
  }
  thread_running_ = false;
}

void Network::accept_pending() {
  for (;;) {
    const int s = platform::socket_accept(listener_);
    if (s < 0) {
      const int error = platform::socket_last_error();
      if (error == platform::kSockWouldBlock) return;
      report_socket_error(error);
      accept_pause_until_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAcceptPauseMs);
      return;
    }
    // Closing an accepted socket resets its connection at once.
    if (!platform::socket_set_linger_reset(s)) {
      report_socket_error(platform::socket_last_error());
      platform::socket_close(s);
      continue;
    }
    bool placed = false;
    {
      std::lock_guard guard(lock_);
      for (Connection& c : slots_) {
        if (c.in_use) continue;
        close_connection(c);
        c.fd = s;
        c.in_use = true;
        placed = true;
        break;
      }
    }
    if (!placed) {
      report(kLevelDevice, Msg::NetTooManyClients);
      platform::socket_close(s);
    }
  }
}

void Network::server_main() {
  const bool fixed = waiting_ == Waiting::kFixedWaits;
  const auto pump_slots = [this] {
    for (Connection& c : slots_)
      if (c.in_use && !pump(c)) close_connection(c);
  };
  while (fixed_sleep()) {
    SocketWait w[2 + kClientSlots] = {{.fd = wake_->fd(), .want_read = true}};
    int timeout = fixed ? kFixedServerSelectMs : -1;
    const auto now = std::chrono::steady_clock::now();
    if (now >= accept_pause_until_) {
      w[1] = {.fd = listener_, .want_read = true};
    } else if (!fixed) {
      timeout = static_cast<int>(
          std::chrono::ceil<std::chrono::milliseconds>(accept_pause_until_ - now).count());
    }
    {
      std::lock_guard guard(lock_);
      pump_slots();
      for (int i = 0; i < kClientSlots; ++i) {
        const Connection& c = slots_[i];
        if (c.in_use) w[2 + i] = wait_entry(c.fd, c.ended, c.send, c.recv);
      }
    }
    platform::socket_wait(w, timeout);
    if (w[0].readable) wake_->clear();
    if (!run_) break;
    if (w[1].readable || w[1].failed) accept_pending();
    if (fixed) {
      std::lock_guard guard(lock_);
      pump_slots();
    }
  }
  std::lock_guard guard(lock_);
  platform::socket_close(listener_);
  listener_ = platform::kNoSocket;
  for (Connection& c : slots_) close_connection(c);
  thread_running_ = false;
}

}  // namespace zelt::net
