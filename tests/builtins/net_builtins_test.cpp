// The net_* built-ins from scripts: results without a connection, and a
// client of a test peer given wild buffers and lengths, which fail without
// touching memory outside the buffer.
#include "builtins/general_builtins_test_util.h"
#include "net/net.h"
#include "net/test_peer.h"

namespace zelt::hosttest {
namespace {

using namespace nettest;

class NetBuiltins : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    net::net_startup();
  }
  void TearDown() override {
    net::net_stop();
    net::net_cleanup();
    HostTest::TearDown();
  }
};

TEST_F(NetBuiltins, WithoutAConnection) {
  ASSERT_TRUE(run("char b[8];\n"
                  "int main() {\n"
                  "  out(net_state()); out(net_send(0, b, 4)); out(net_recv(0, b, 4)); out(net_close());\n"
                  "  out(net_open(16, 80));\n"  // an unusable host address starts nothing
                  "  out(net_state());\n"
                  "  return 0; }\n"));
  EXPECT_EQ(outputs(), (Lines{"0", "-1", "-1", "1", "0", "0"}));
  EXPECT_TRUE(messages().empty());
}

TEST_F(NetBuiltins, ClientWithWildBuffersAndLengths) {
  uint16_t port = 0;
  Fd listener = listen_local(&port);
  std::string peer_got;
  std::thread peer([&] {
    Fd s = accept_one(listener.get());
    send_all(s.get(), pattern(100, 7));
    peer_got = recv_exact(s.get(), 8191);
    send_all(s.get(), "k");
  });
  add("port.h", "#define PORT " + std::to_string(port) + "\n");
  ASSERT_TRUE(run("#include \"port.h\"\n"
                  "int main() {\n"
                  "  char *block; char *big; int i; int n; int guard;\n"
                  "  out(net_open(\"127.0.0.1\", PORT));\n"
                  "  while (net_state() == 2) sleep(1);\n"
                  "  out(net_state());\n"
                  // 16 bytes between guards of 0x55.
                  "  block = malloc(48);\n"
                  "  for (i = 0; i < 48; i = i + 1) block[i] = 0x55;\n"
                  "  n = 0;\n"
                  "  while (n == 0) { n = net_recv(0, block + 16, 16); sleep(1); }\n"
                  "  out(n);\n"
                  "  guard = 0;\n"
                  "  for (i = 0; i < 16; i = i + 1) guard = guard + (block[i] != 0x55) + (block[32 + i] != 0x55);\n"
                  "  out(guard);\n"
                  "  out(net_recv(0, 16, 50));\n"           // an unusable buffer while bytes are held
                  "  out(net_recv(0, block + 16, -1));\n"   // a negative length
                  "  out(net_recv(0, block + 16, 84));\n"   // the rest, less than asked for
                  "  out(net_recv(0, 0, 100));\n"           // nothing held: nothing to check
                  "  out(net_send(0, 16, 10));\n"
                  "  out(net_send(0, block, -5));\n"
                  "  out(net_send(0, 0, 0));\n"
                  "  big = malloc(10000);\n"
                  "  for (i = 0; i < 10000; i = i + 1) big[i] = i;\n"
                  "  out(net_send(0, big, 10000));\n"
                  "  while (net_recv(0, block, 1) == 0) sleep(1);\n"  // the peer has it all
                  "  free(big); free(block);\n"
                  "  out(net_close()); out(net_state());\n"
                  "  return 0; }\n"));
  peer.join();
  EXPECT_EQ(outputs(), (Lines{"1", "1", "16", "0", "-1", "-1", "84", "0", "-1", "-1", "0", "8191", "1", "0"}));
  std::string sent(8191, '\0');
  for (int i = 0; i < 8191; ++i) sent[i] = static_cast<char>(i);
  EXPECT_TRUE(peer_got == sent) << "the peer got " << peer_got.size() << " bytes";
  EXPECT_TRUE(messages().empty());
}

}  // namespace
}  // namespace zelt::hosttest
