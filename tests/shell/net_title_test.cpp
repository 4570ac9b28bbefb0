// Two titles talking through 127.0.0.1, each in its own zelt process: a
// server that echoes every slot, and a client that sends 20000 bytes in
// ring-sized pieces and checks every byte of the echo, then meets a refused
// connection and a name that does not resolve, and exits while a connection
// attempt is still pending.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <future>
#include <string>
#include <vector>

#include "core/cp932.h"
#include "net/test_peer.h"
#include "support/run_zelt.h"
#include "support/temp_dir.h"

namespace zelt {
namespace {

using namespace nettest;

const char* kServer = R"(
char buf[512];
int main() {
  int port; int s; int n; int k; int total; int used;
  port = ini_geti("Test", "Port", 0);
  n = net_open(0, port);
  log_out("server open %d state %d", n, net_state());
  total = 0;
  while (1) {
    used = 0;
    for (s = 0; s < 5; s = s + 1) {
      n = net_recv(s, buf, 512);
      if (n >= 0) used = used + 1;
      k = 0;
      while (k < n) { k = k + net_send(s, buf + k, n - k); if (k < n) sleep(1); }
      if (n > 0) total = total + n;
    }
    if (total >= 20000 && used == 0) break;
    sleep(1);
  }
  log_out("server echoed %d", total);
  net_close();
  exit();
}
)";

const char* kClient = R"(
char out[20000];
char in[20000];
int main() {
  int port; int sent; int got; int n; int bad; int i;
  port = ini_geti("Test", "Port", 0);
  for (i = 0; i < 20000; i = i + 1) out[i] = i * 7 + i / 256;
  net_open("127.0.0.1", port);
  while (net_state() == 2) sleep(1);
  log_out("client state %d", net_state());
  sent = 0; got = 0;
  while (got < 20000) {
    if (sent < 20000) sent = sent + net_send(0, out + sent, 20000 - sent);
    n = net_recv(0, in + got, 20000 - got);
    if (n < 0) break;
    got = got + n;
    sleep(1);
  }
  bad = 0;
  for (i = 0; i < 20000; i = i + 1) if (in[i] != out[i]) bad = bad + 1;
  log_out("client got %d bad %d", got, bad);
  net_close();
  log_out("client closed state %d", net_state());

  net_open("127.0.0.1", ini_geti("Test", "Refused", 0));
  while (net_state() == 2) sleep(1);
  net_open("no-such-host.invalid", port);
  while (net_state() == 2) sleep(1);
  log_out("client failures state %d", net_state());

  net_open("127.0.0.1", ini_geti("Test", "Stalled", 0));
  sleep(100);
  exit();
}
)";

// The lines a title logged and the messages it showed, without the notes
// zelt itself prints (a sanitizer build, say).
std::string title_lines(const std::string& output) {
  std::string kept;
  size_t at = 0;
  while (at < output.size()) {
    size_t end = output.find('\n', at);
    if (end == std::string::npos) end = output.size();
    const std::string line = output.substr(at, end - at);
    if (!line.starts_with("zelt:")) kept += line + "\n";
    at = end + 1;
  }
  return kept;
}

TEST(NetTitle, TwoProcessesEchoThroughTheLoopback) {
  test::TempDir dir;
  const uint16_t port = unused_port(), refused = unused_port();
  // A listener whose queue is full: connection attempts to it stay pending.
  uint16_t stalled;
  Fd full = listen_local(&stalled, 0);
  std::vector<Fd> fillers;
  for (int i = 0; i < 4; ++i) {
    fillers.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(stalled);
    ::connect(fillers.back().get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
  }
  const std::string config = "[General]\nDebugMode=1\nInheritance=0\n[System]\nNet=1\n[Test]\nPort=" + std::to_string(port) +
                             "\nRefused=" + std::to_string(refused) + "\nStalled=" + std::to_string(stalled) + "\n";
  const std::string header = test::TempDir::read_file(std::string(ZELT_SOURCE_DIR) + "/include/zelt.h");
  for (const char* name : {"server", "client"}) dir.write(std::string("title/") + name + ".cfg", config);
  dir.write("title/server/main.c", header + kServer);
  dir.write("title/client/main.c", header + kClient);
  const std::string env = "XDG_CONFIG_HOME=" + (dir / "home");

  auto server = std::async(std::launch::async, [&] {
    return test::run_zelt("--headless --timeout 30 --name server " + (dir / "title"), env);
  });
  // The server listens once a probe gets through (the probe's slot frees
  // again when it leaves).
  ASSERT_TRUE(wait_until([&] { return connect_local(port).ok(); })) << server.get().output;
  const test::RunResult client = test::run_zelt("--headless --timeout 30 --name client " + (dir / "title"), env);
  const test::RunResult served = server.get();

  EXPECT_EQ(served.code, 0);
  EXPECT_EQ(title_lines(served.output), "server open 1 state 1\nserver echoed 20000\n");
  EXPECT_EQ(client.code, 0);
  EXPECT_EQ(title_lines(client.output),
            "client state 1\n"
            "client got 20000 bad 0\n"
            "client closed state 0\n"
            "WSAECONNREFUSED 接続が拒否されました\n"
            "サーバーに接続できません\n"
            "client failures state 0\n");
}

}  // namespace
}  // namespace zelt
