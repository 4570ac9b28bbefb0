#include "files/fd_io.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "support/temp_dir.h"

namespace zelt::test {
namespace {

using files::read_full;
using files::read_full_at;
using files::read_to_end;
using files::write_full;

struct Pipe {
  int fds[2] = {-1, -1};
  Pipe() { EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0); }
  ~Pipe() {
    close_end(0);
    close_end(1);
  }
  int read_end() const { return fds[0]; }
  int write_end() const { return fds[1]; }
  void close_end(int i) {
    if (fds[i] >= 0) ::close(fds[i]);
    fds[i] = -1;
  }
};

// SIGUSR2 without SA_RESTART while it lives: a read or write blocked when
// the signal arrives returns EINTR, or a short count when it had moved some
// bytes already.
class Interrupts {
 public:
  Interrupts() {
    struct sigaction sa {};
    sa.sa_handler = [](int) { ++count; };
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;
    ::sigaction(SIGUSR2, &sa, &old_);
  }
  ~Interrupts() { ::sigaction(SIGUSR2, &old_, nullptr); }
  static void send(std::thread& t) { ::pthread_kill(t.native_handle(), SIGUSR2); }

  static inline std::atomic<int> count{0};

 private:
  struct sigaction old_ {};
};

void pause_briefly() { std::this_thread::sleep_for(std::chrono::milliseconds(5)); }

TEST(FdIo, ReadFullWaitsThroughInterruptsForEveryByte) {
  Pipe p;
  Interrupts interrupts;
  const int signals_before = Interrupts::count;
  std::string got(10, '.');
  ssize_t n = -2;
  std::thread reader([&] { n = read_full(p.read_end(), got.data(), got.size()); });
  // The reader waits on the pipe while signals arrive and the bytes come in pieces.
  for (const std::string piece : {"012", "3456", "789"}) {
    for (int i = 0; i < 3; ++i) {
      pause_briefly();
      Interrupts::send(reader);
    }
    ASSERT_EQ(::write(p.write_end(), piece.data(), piece.size()), static_cast<ssize_t>(piece.size()));
  }
  reader.join();
  EXPECT_EQ(n, 10);
  EXPECT_EQ(got, "0123456789");
  EXPECT_GT(Interrupts::count, signals_before);

  // At the end of the input a read comes back short, then empty.
  ASSERT_EQ(::write(p.write_end(), "ab", 2), 2);
  p.close_end(1);
  EXPECT_EQ(read_full(p.read_end(), got.data(), got.size()), 2);
  EXPECT_EQ(got.substr(0, 2), "ab");
  EXPECT_EQ(read_full(p.read_end(), got.data(), got.size()), 0);
}

TEST(FdIo, WriteFullCompletesShortAndInterruptedWrites) {
  Pipe p;
  Interrupts interrupts;
  std::string data(1 << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 251);
  std::atomic<bool> writing{true};
  ssize_t n = -2;
  std::thread writer([&] {
    n = write_full(p.write_end(), data.data(), data.size());
    writing = false;
    p.close_end(1);
  });
  // Slow reads keep the pipe full, so the writer is blocked when a signal
  // arrives and its write returns short.
  std::string received;
  char buffer[8192];
  for (int i = 0;; ++i) {
    if (i % 8 == 0 && writing) Interrupts::send(writer);
    const ssize_t k = ::read(p.read_end(), buffer, sizeof buffer);
    if (k <= 0) break;
    received.append(buffer, static_cast<size_t>(k));
  }
  writer.join();
  EXPECT_EQ(n, static_cast<ssize_t>(data.size()));
  EXPECT_TRUE(received == data) << received.size() << " bytes received";
}

TEST(FdIo, FailuresReportMinusOneAndTheError) {
  TempDir dir;
  dir.write("f", "abcdef");
  const int read_only = ::open((dir / "f").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(read_only, 0);
  Pipe full;
  ASSERT_EQ(::fcntl(full.write_end(), F_SETFL, O_NONBLOCK), 0);
  const std::string big(1 << 20, 'x');  // more than the pipe holds
  char buffer[4];

  struct Case {
    const char* what;
    std::function<ssize_t()> call;
    int error;
  } cases[] = {
      {"read from a bad descriptor", [&] { return read_full(-1, buffer, 4); }, EBADF},
      {"positioned read from a pipe", [&] { return read_full_at(full.read_end(), buffer, 4, 0); }, ESPIPE},
      {"write to a file open for reading", [&] { return write_full(read_only, "ab", 2); }, EBADF},
      {"write past what a non-blocking pipe takes",
       [&] { return write_full(full.write_end(), big.data(), big.size()); }, EAGAIN},
  };
  for (const Case& c : cases) {
    errno = 0;
    EXPECT_EQ(c.call(), -1) << c.what;
    EXPECT_EQ(errno, c.error) << c.what;
  }
  ::close(read_only);
}

TEST(FdIo, PositionedReadsAndReadToEnd) {
  TempDir dir;
  std::string data(65536 * 2 + 100, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);
  dir.write("f", data);
  const int fd = ::open((dir / "f").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);

  char buffer[8] = {};
  EXPECT_EQ(read_full_at(fd, buffer, 3, 2), 3);
  EXPECT_EQ(std::string(buffer, 3), "cde");
  EXPECT_EQ(read_full_at(fd, buffer, 8, data.size() - 2), 2);  // short at the end
  EXPECT_EQ(read_full_at(fd, buffer, 8, data.size() + 10), 0);
  // Positioned reads leave the file position where it was.
  EXPECT_EQ(read_full(fd, buffer, 2), 2);
  EXPECT_EQ(std::string(buffer, 2), "ab");

  std::string out = "kept";
  ASSERT_TRUE(read_to_end(fd, out));
  EXPECT_TRUE(out == "kept" + data.substr(2)) << out.size();
  ::close(fd);

  // A whole number of chunks, and nothing.
  for (size_t size : {size_t{0}, size_t{65536} * 2}) {
    dir.write("g", data.substr(0, size));
    const int g = ::open((dir / "g").c_str(), O_RDONLY | O_CLOEXEC);
    out.clear();
    EXPECT_TRUE(read_to_end(g, out)) << size;
    EXPECT_EQ(out.size(), size);
    ::close(g);
  }
  out.clear();
  EXPECT_FALSE(read_to_end(-1, out));
}

}  // namespace
}  // namespace zelt::test
