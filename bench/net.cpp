// Script to script through the loopback: a server network and a client
// network in one process, each side's "script" a thread calling send and
// recv. Throughput (bytes per second) and the round trip of a 100-byte
// message, with service threads that wake on events and with the classic
// fixed 5 ms sleeps and short selects.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "net/network.h"

namespace zelt {
namespace {

using net::Network;
using net::Waiting;

uint16_t free_port() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t n = sizeof a;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  ::close(s);
  return ntohs(a.sin_port);
}

// A server with one client connected to it, both waiting the same way.
struct Pair {
  Network server, client;

  explicit Pair(Waiting waiting) {
    net::net_startup();
    server.set_waiting(waiting);
    client.set_waiting(waiting);
    const uint16_t port = free_port();
    if (!server.open_server(port) || !client.open_client("127.0.0.1", port)) std::abort();
    while (client.state() != net::kStateConnected || server.send_room(0) < 0) std::this_thread::yield();
  }
};

// The server's script: echoes slot 0 until told to stop.
std::thread echo(Pair& p, std::atomic<bool>& stop) {
  return std::thread([&p, &stop] {
    std::vector<uint8_t> buf(8192);
    while (!stop) {
      const int32_t n = p.server.recv(0, buf);
      for (int32_t k = 0; k < n;) {
        const int32_t r = p.server.send(0, std::span(buf).subspan(k, n - k));
        if (r < 0) return;
        k += r;
        if (k < n) std::this_thread::yield();
      }
      if (n <= 0) std::this_thread::yield();
    }
  });
}

void BM_RoundTrip100(benchmark::State& state, Waiting waiting) {
  Pair p(waiting);
  std::atomic<bool> stop{false};
  std::thread server = echo(p, stop);
  std::vector<uint8_t> message(100, 0x5A), back(100);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    p.client.send(0, message);
    for (int32_t got = 0; got < 100;) {
      const int32_t r = p.client.recv(0, std::span(back).subspan(got));
      if (r < 0) std::abort();
      got += r;
      if (r == 0) std::this_thread::yield();
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  stop = true;
  server.join();
  state.counters["round_trip_us"] = seconds * 1e6 / static_cast<double>(state.iterations());
}

// The client's script sends, the server's script reads and discards.
void BM_Throughput(benchmark::State& state, Waiting waiting) {
  Pair p(waiting);
  std::atomic<bool> stop{false};
  std::atomic<int64_t> received{0};
  std::thread reader([&] {
    std::vector<uint8_t> buf(8192);
    while (!stop) {
      const int32_t n = p.server.recv(0, buf);
      if (n > 0) received += n;
      else std::this_thread::yield();
    }
  });
  std::vector<uint8_t> chunk(8192, 0xA5);
  const int64_t before = received;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    const int32_t n = p.client.send(0, chunk);
    if (n <= 0) std::this_thread::yield();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  stop = true;
  reader.join();
  state.counters["bytes_per_second"] = static_cast<double>(received - before) / seconds;
}

BENCHMARK_CAPTURE(BM_RoundTrip100, wake_ups, Waiting::kWakeUps)->UseRealTime()->MinTime(1.0);
BENCHMARK_CAPTURE(BM_RoundTrip100, fixed_waits, Waiting::kFixedWaits)->UseRealTime()->MinTime(1.0);
BENCHMARK_CAPTURE(BM_Throughput, wake_ups, Waiting::kWakeUps)->UseRealTime()->MinTime(1.0);
BENCHMARK_CAPTURE(BM_Throughput, fixed_waits, Waiting::kFixedWaits)->UseRealTime()->MinTime(1.0);

}  // namespace
}  // namespace zelt
