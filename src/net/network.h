// Script sockets: a TCP server for up to five clients, or a TCP client of
// one server. Scripts never touch a socket: one service thread per mode
// connects, accepts, sends and receives, and exchanges bytes with scripts
// through 8192-byte rings (ring.h), so send and recv never block.
//
// The service thread sleeps in one wait on its sockets and a wake-up event;
// a script that queues bytes into an empty send ring, frees room in a full
// receive ring, or closes the mode sets the event, so nothing waits for a
// polling period.
//
// The public operations are called by one thread at a time (the built-in
// lock serialises scripts); the rings and connection flags they share with
// the service thread are kept under the network lock.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>

#include "net/ring.h"
#include "platform/socket.h"

namespace zelt::net {

inline constexpr int32_t kClientSlots = 5;
inline constexpr int kListenBacklog = 5;

enum Mode : int32_t { kIdle = 0, kServer = 1, kClient = 2 };

// States a client reports.
inline constexpr int32_t kStateDown = 0;
inline constexpr int32_t kStateConnected = 1;
inline constexpr int32_t kStateConnecting = 2;

// How a service thread waits between rounds. kFixedWaits is the classic
// design: a 5 ms sleep every round and a short select (1 ms for the server,
// none for the client), with no wake-ups; benchmarks compare it with the
// wake-up design.
enum class Waiting { kWakeUps, kFixedWaits };

// Sockets start at start-up when [System] Net is set: the server needs it
// (without, it fails silently), a client reports WSANOTINITIALISED.
bool net_startup();
void net_cleanup();
bool net_started();

class Network {
 public:
  Network() = default;
  ~Network() { close(); }
  Network(const Network&) = delete;
  Network& operator=(const Network&) = delete;

  // Both stop the current mode first (unless the port is outside 0..65535,
  // which is reported as WSAEINVAL and changes nothing). True when the
  // service thread was started.
  bool open_client(std::string_view host, int32_t port);
  bool open_server(int32_t port);
  // Stops the current mode and waits for its service thread to end.
  void close();

  // Copies min(data.size(), room) bytes into the connection's send ring:
  // the count, or -1 when there is no such connection (server: a slot
  // 0..4 in use; client: connected; the slot is ignored).
  int32_t send(int32_t slot, std::span<const uint8_t> data);
  // Copies min(out.size(), held) bytes out of the receive ring; -1 likewise.
  int32_t recv(int32_t slot, std::span<uint8_t> out);
  // Room in the send ring and bytes held in the receive ring, -1 likewise.
  // Both can only grow until the script's next send or recv.
  int32_t send_room(int32_t slot);
  int32_t recv_held(int32_t slot);

  // Server: 1 while the server runs. Client: 1 connected, 2 connecting,
  // else 0. Idle: 0.
  int32_t state();
  Mode mode() const { return mode_; }

  void set_waiting(Waiting waiting) { waiting_ = waiting; }

 private:
  struct Connection {
    int fd = platform::kNoSocket;
    bool in_use = false;
    bool ended = false;  // the peer's stream ended: nothing more to receive
    Ring send;
    Ring recv;
  };

  bool start_thread(void (Network::*main)());
  Connection* connection(int32_t slot);
  void wake();

  // Service threads.
  void client_main();
  void server_main();
  int client_connect();
  bool pump(Connection& c);
  void close_connection(Connection& c);
  void accept_pending();
  bool fixed_sleep();

  Mode mode_ = kIdle;
  Waiting waiting_ = Waiting::kWakeUps;
  std::thread thread_;
  std::unique_ptr<platform::WakeEvent> wake_;
  std::atomic<bool> run_{false};
  std::atomic<bool> thread_running_{false};

  std::mutex lock_;  // the network lock
  Connection client_;
  bool connected_ = false;
  Connection slots_[kClientSlots];

  // Owned by the service thread while it runs.
  std::string host_;
  uint16_t port_ = 0;
  int listener_ = platform::kNoSocket;
  std::chrono::steady_clock::time_point accept_pause_until_{};
};

}  // namespace zelt::net
