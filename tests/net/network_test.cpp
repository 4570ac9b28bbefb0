// The network against real loopback peers: client and server modes, the
// ring limits seen through send and recv, the end-of-connection rules, the
// reported errors, and what peers can do wrong. Every test ends with as
// many open descriptors as it started with.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "net/network.h"
#include "net/socket_messages.h"
#include "net/test_peer.h"
#include "platform/socket.h"

namespace zelt::net {
namespace {

using namespace nettest;

std::span<const uint8_t> bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

class NetworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MessageLog::take();
    set_message_sink(MessageLog::sink);
    net_startup();
    descriptors_ = open_descriptors();
  }
  void TearDown() override {
    net_.close();
    net_cleanup();
    set_message_sink(nullptr);
    // A name look-up thread may close its event just after it answered.
    EXPECT_TRUE(wait_until([&] { return open_descriptors() <= descriptors_; }, std::chrono::seconds(2)))
        << open_descriptors() - descriptors_ << " descriptors left open";
  }

  // Everything the connection (slot) receives until n bytes have come or
  // the patience runs out.
  std::string recv_n(int32_t slot, size_t n) {
    std::string got;
    std::vector<uint8_t> buf(4096);
    wait_until([&] {
      const int32_t r = net_.recv(slot, buf);
      if (r > 0) got.append(reinterpret_cast<char*>(buf.data()), static_cast<size_t>(r));
      return got.size() >= n || r < 0;
    });
    return got;
  }

  // Queues all of data, as fast as the ring takes it.
  bool send_all_through(int32_t slot, const std::string& data) {
    size_t sent = 0;
    return wait_until([&] {
      const int32_t r = net_.send(slot, bytes(data).subspan(sent));
      if (r > 0) sent += static_cast<size_t>(r);
      return sent == data.size() || r < 0;
    }) && sent == data.size();
  }

  bool connect_client(uint16_t port) {
    return net_.open_client("127.0.0.1", port) && wait_until([&] { return net_.state() == kStateConnected; });
  }

  Network net_;
  int descriptors_ = 0;
};

TEST_F(NetworkTest, ClientExchangesWithAServer) {
  uint16_t port = 0;
  Fd listener = listen_local(&port);
  EXPECT_EQ(net_.state(), 0);
  ASSERT_TRUE(connect_client(port));
  EXPECT_EQ(net_.mode(), kClient);
  Fd peer = accept_one(listener.get());
  ASSERT_TRUE(peer.ok());

  std::vector<uint8_t> buf(64);
  EXPECT_EQ(net_.recv(3, buf), 0) << "nothing received yet is 0, not -1";
  EXPECT_EQ(net_.send(3, bytes("hello")), 5) << "the slot is ignored in client mode";
  EXPECT_EQ(recv_exact(peer.get(), 5), "hello");
  ASSERT_TRUE(send_all(peer.get(), "world!"));
  EXPECT_EQ(recv_n(0, 6), "world!");

  // The server closes: the client stays connected until everything it
  // received has been read, then its thread ends and the state drops.
  ASSERT_TRUE(send_all(peer.get(), "bye"));
  peer.reset();
  ASSERT_TRUE(wait_until([&] { return net_.recv_held(0) == 3; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(net_.state(), kStateConnected);
  EXPECT_EQ(recv_n(0, 3), "bye");
  EXPECT_TRUE(wait_until([&] { return net_.state() == kStateDown; }));
  EXPECT_EQ(net_.mode(), kClient) << "the mode stays until the next open or close";
  EXPECT_EQ(net_.send(0, bytes("x")), -1);
  EXPECT_EQ(net_.recv(0, buf), -1);
  EXPECT_TRUE(MessageLog::take().empty());
}

TEST_F(NetworkTest, RingsHoldAtMost8191BytesAndSendsReturnPartialCounts) {
  uint16_t port = 0;
  Fd listener = listen_local(&port);
  ASSERT_TRUE(connect_client(port));
  Fd peer = accept_one(listener.get());

  const std::string data = pattern(10000, 1);
  EXPECT_EQ(net_.send(0, bytes(data)), 8191);
  EXPECT_EQ(recv_exact(peer.get(), 8191), data.substr(0, 8191));
  ASSERT_TRUE(wait_until([&] { return net_.send_room(0) == 8191; }));
  EXPECT_EQ(net_.send(0, bytes(data).subspan(8191)), 1809);
  EXPECT_EQ(recv_exact(peer.get(), 1809), data.substr(8191));

  // The peer sends more than the receive ring holds: 8191 wait there, the
  // rest waits in the system until the script makes room.
  ASSERT_TRUE(send_all(peer.get(), data));
  ASSERT_TRUE(wait_until([&] { return net_.recv_held(0) == 8191; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(net_.recv_held(0), 8191);
  EXPECT_EQ(recv_n(0, data.size()), data);
}

TEST_F(NetworkTest, ClientFailuresAreReportedAndEndTheThread) {
  struct Case {
    const char* name;
    std::string host;
    bool started;
    const char* message;
  };
  const uint16_t closed = unused_port();
  const Case cases[] = {
      {"refused", "127.0.0.1", true, "WSAECONNREFUSED 接続が拒否されました"},
      {"refused, by name", "localhost", true, "WSAECONNREFUSED 接続が拒否されました"},
      {"unresolvable name", "no-such-host.invalid", true, "サーバーに接続できません"},
      {"sockets not started", "127.0.0.1", false, "WSANOTINITIALISED Winsockが初期化されていません"},
  };
  for (const Case& c : cases) {
    if (!c.started) net_cleanup();
    EXPECT_TRUE(net_.open_client(c.host, closed)) << c.name;
    EXPECT_TRUE(wait_until([&] { return net_.state() == kStateDown; })) << c.name;
    EXPECT_EQ(MessageLog::take(), std::vector<std::string>{c.message}) << c.name;
    EXPECT_EQ(net_.send(0, bytes("x")), -1) << c.name;
    net_startup();
  }
}

TEST_F(NetworkTest, PortsOutsideTheRangeAreRefusedWithoutStoppingTheMode) {
  uint16_t port = 0;
  Fd listener = listen_local(&port);
  ASSERT_TRUE(connect_client(port));
  EXPECT_FALSE(net_.open_client("127.0.0.1", 65536));
  EXPECT_FALSE(net_.open_server(-1));
  EXPECT_EQ(MessageLog::take(), (std::vector<std::string>(2, "WSAEINVAL パラメータが解釈できません")));
  EXPECT_EQ(net_.state(), kStateConnected);
}

// A connection that cannot complete (the listener's queue is full, so the
// system drops the attempts): the client reports 2 while it tries, and a
// close ends the attempt at once.
TEST_F(NetworkTest, CloseEndsAConnectionAttemptAtOnce) {
  uint16_t port = 0;
  Fd listener = listen_local(&port, 0);
  std::vector<Fd> fillers;
  for (int i = 0; i < 4; ++i) {
    Fd s(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    ::connect(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    fillers.push_back(std::move(s));
  }
  ASSERT_TRUE(net_.open_client("127.0.0.1", port));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  if (net_.state() != kStateConnecting) GTEST_SKIP() << "this system completed or refused the connection";
  const auto start = Clock::now();
  net_.close();
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(net_.state(), 0);
  EXPECT_TRUE(MessageLog::take().empty());
}

TEST_F(NetworkTest, LongTransfersBothWaysKeepEveryByteInOrder) {
  uint16_t port = 0;
  Fd listener = listen_local(&port);
  ASSERT_TRUE(connect_client(port));
  Fd peer = accept_one(listener.get());
  constexpr size_t kSize = 4 << 20;
  const std::string up = pattern(kSize, 11), down = pattern(kSize, 12);
  std::string peer_got;
  std::thread peer_thread([&] {
    std::thread writer([&] { send_all(peer.get(), down); });
    peer_got = recv_exact(peer.get(), kSize);
    writer.join();
  });
  std::string got;
  std::vector<uint8_t> buf(3000);
  size_t sent = 0;
  // One script thread both sends and receives, in uneven pieces.
  wait_until([&] {
    if (sent < kSize) {
      const int32_t r = net_.send(0, bytes(up).subspan(sent, std::min<size_t>(kSize - sent, 5000)));
      if (r > 0) sent += static_cast<size_t>(r);
    }
    const int32_t r = net_.recv(0, buf);
    if (r > 0) got.append(reinterpret_cast<char*>(buf.data()), static_cast<size_t>(r));
    return (sent == kSize && got.size() == kSize) || r < 0;
  }, std::chrono::seconds(60));
  peer_thread.join();
  EXPECT_EQ(got.size(), kSize);
  EXPECT_TRUE(got == down) << "received bytes differ";
  EXPECT_EQ(peer_got.size(), kSize);
  EXPECT_TRUE(peer_got == up) << "sent bytes differ";
}

// A server that resets the connection in the middle of a transfer ends the
// client silently; a peer that never reads leaves the sender's ring full
// without blocking anything; close returns at once in both cases.
TEST_F(NetworkTest, PeersThatResetOrStopReadingBlockNothing) {
  uint16_t port = 0;
  Fd listener = listen_local(&port);
  {
    ASSERT_TRUE(connect_client(port));
    Fd peer = accept_one(listener.get());
    const std::string chunk = pattern(100000, 3);
    ASSERT_TRUE(send_all(peer.get(), chunk));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const linger l{1, 0};
    ::setsockopt(peer.get(), SOL_SOCKET, SO_LINGER, &l, sizeof l);
    peer.reset();
    std::vector<uint8_t> buf(8192);
    EXPECT_TRUE(wait_until([&] {
      net_.send(0, bytes(chunk).subspan(0, 8192));
      return net_.recv(0, buf) < 0;
    }));
    EXPECT_EQ(net_.state(), kStateDown);
  }
  {
    ASSERT_TRUE(connect_client(port));
    Fd peer = accept_one(listener.get());
    const std::string chunk = pattern(8192, 4);
    // The system's buffers fill up, then the ring: sends return 0.
    EXPECT_TRUE(wait_until([&] { return net_.send(0, bytes(chunk)) == 0 && net_.send_room(0) == 0; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(net_.state(), kStateConnected);
    const auto start = Clock::now();
    net_.close();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
  }
  EXPECT_TRUE(MessageLog::take().empty());
}

TEST_F(NetworkTest, ServerTakesFiveClientsAndRefusesTheSixth) {
  const uint16_t port = unused_port();
  ASSERT_TRUE(net_.open_server(port));
  EXPECT_EQ(net_.mode(), kServer);
  EXPECT_EQ(net_.state(), 1);
  std::vector<Fd> clients;
  for (int i = 0; i < kClientSlots; ++i) {
    clients.push_back(connect_local(port));
    ASSERT_TRUE(clients.back().ok());
    // Each lands in the lowest free slot.
    ASSERT_TRUE(wait_until([&] { return net_.send_room(i) >= 0; })) << i;
  }
  Fd sixth = connect_local(port);
  ASSERT_TRUE(sixth.ok());
  EXPECT_TRUE(stream_ends(sixth.get())) << "the sixth connection is closed by the server";
  EXPECT_EQ(MessageLog::take(), std::vector<std::string>{"クライアントの接続数が最大数を超えました"});

  // The five go on, each with its own data, echoed through its slot.
  for (int i = 0; i < kClientSlots; ++i) ASSERT_TRUE(send_all(clients[i].get(), pattern(5000, 100 + i)));
  for (int i = 0; i < kClientSlots; ++i) {
    const std::string got = recv_n(i, 5000);
    EXPECT_EQ(got, pattern(5000, 100 + i)) << i;
    ASSERT_TRUE(send_all_through(i, got));
  }
  for (int i = 0; i < kClientSlots; ++i) EXPECT_EQ(recv_exact(clients[i].get(), 5000), pattern(5000, 100 + i)) << i;
  EXPECT_EQ(net_.send(5, bytes("x")), -1);
  EXPECT_EQ(net_.send(-1, bytes("x")), -1);

  // A client that leaves frees its slot for the next.
  clients[2].reset();
  ASSERT_TRUE(wait_until([&] { return net_.send_room(2) < 0; }));
  Fd again = connect_local(port);
  EXPECT_TRUE(wait_until([&] { return net_.send_room(2) >= 0; }));
  EXPECT_TRUE(MessageLog::take().empty());
}

// A client that half-closes after sending keeps its slot until the script
// has read everything, and still receives what the script sends meanwhile.
TEST_F(NetworkTest, HalfClosedClientKeepsItsSlotUntilEverythingIsRead) {
  const uint16_t port = unused_port();
  ASSERT_TRUE(net_.open_server(port));
  Fd client = connect_local(port);
  ASSERT_TRUE(send_all(client.get(), "question"));
  ::shutdown(client.get(), SHUT_WR);
  ASSERT_TRUE(wait_until([&] { return net_.recv_held(0) == 8; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(net_.send(0, bytes("answer")), 6);
  EXPECT_EQ(recv_exact(client.get(), 6), "answer");
  EXPECT_EQ(recv_n(0, 8), "question");
  EXPECT_TRUE(wait_until([&] { return net_.send(0, bytes("late")) == -1; }));
  EXPECT_TRUE(stream_ends(client.get()));
}

// Clients that connect and vanish, a hundred in a row, some after sending a
// little, some with a reset: each one's slot is freed once what it sent
// has been read, and the server still serves the next client.
TEST_F(NetworkTest, ServerSurvivesClientsThatConnectAndVanish) {
  const uint16_t port = unused_port();
  ASSERT_TRUE(net_.open_server(port));
  const auto slots_in_use = [&] {
    std::vector<uint8_t> buf(64);
    int used = 0;
    for (int s = 0; s < kClientSlots; ++s) used += net_.recv(s, buf) >= 0;
    return used;
  };
  for (int i = 0; i < 100; ++i) {
    Fd c = connect_local(port);
    ASSERT_TRUE(c.ok()) << i;
    if (i % 3 == 0) send_all(c.get(), "junk");
    ASSERT_TRUE(wait_until([&] { return slots_in_use() == 1; })) << i;
    if (i % 5 == 0) {
      const linger l{1, 0};
      ::setsockopt(c.get(), SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    c.reset();
    ASSERT_TRUE(wait_until([&] { return slots_in_use() == 0; })) << i;
  }
  Fd last = connect_local(port);
  ASSERT_TRUE(wait_until([&] { return net_.send_room(0) >= 0; }));
  EXPECT_EQ(net_.send(0, bytes("ok")), 2);
  EXPECT_EQ(recv_exact(last.get(), 2), "ok");
  EXPECT_TRUE(MessageLog::take().empty());
}

TEST_F(NetworkTest, ServerFailures) {
  uint16_t port = 0;
  Fd taken = listen_local(&port);
  EXPECT_FALSE(net_.open_server(port));
  EXPECT_EQ(MessageLog::take(), std::vector<std::string>{"WSAEADDRINUSE アドレスがすでに使用中です"});
  EXPECT_EQ(net_.state(), 0);

  net_cleanup();
  EXPECT_FALSE(net_.open_server(unused_port()));
  EXPECT_TRUE(MessageLog::take().empty()) << "without sockets started, a server fails silently";
}

// Opening stops the current mode first: the same port can be opened again,
// and a client started while a server runs replaces it.
TEST_F(NetworkTest, OpenStopsTheCurrentMode) {
  const uint16_t port = unused_port();
  ASSERT_TRUE(net_.open_server(port));
  Fd c = connect_local(port);
  ASSERT_TRUE(wait_until([&] { return net_.send_room(0) >= 0; }));
  ASSERT_TRUE(net_.open_server(port));
  EXPECT_TRUE(stream_ends(c.get())) << "the old server's clients are gone";
  EXPECT_EQ(net_.send_room(0), -1);

  uint16_t other;
  Fd listener = listen_local(&other);
  ASSERT_TRUE(connect_client(other));
  EXPECT_EQ(net_.mode(), kClient);
  EXPECT_FALSE(connect_local(port).ok()) << "the server was stopped";
  net_.close();
  EXPECT_EQ(net_.mode(), kIdle);
  EXPECT_EQ(net_.state(), 0);
  EXPECT_TRUE(MessageLog::take().empty());
}

TEST(SocketErrors, ErrnoValuesMapOntoTheirMessages) {
  const std::pair<int, const char*> cases[] = {
      {ECONNREFUSED, "WSAECONNREFUSED 接続が拒否されました"},
      {EADDRINUSE, "WSAEADDRINUSE アドレスがすでに使用中です"},
      {ECONNRESET, "WSAECONNRESET ピア側での接続がリセットされました"},
      {ETIMEDOUT, "WSAETIMEDOUT 接続タイムアウトが発生しました"},
      {EWOULDBLOCK, "WSAEWOULDBLOCK 操作がブロックされます"},
      {EIO, "未定義エラー"},
  };
  for (const auto& [e, text] : cases)
    EXPECT_STREQ(msg_text_utf8(socket_error_message(platform::socket_error_from_errno(e))), text) << e;
  EXPECT_EQ(platform::socket_error_from_errno(ECONNREFUSED), 10061);
  EXPECT_EQ(socket_error_message(11001), Msg::WSAHOST_NOT_FOUND);
  EXPECT_EQ(socket_error_message(12345), Msg::NetUndefinedError);
}

}  // namespace
}  // namespace zelt::net
