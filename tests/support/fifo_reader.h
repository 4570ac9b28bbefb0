// Reads everything a writer puts into a FIFO, on a thread of its own.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace zelt::test {

class FifoReader {
 public:
  explicit FifoReader(std::string path) : path_(std::move(path)), thread_([this] { run(); }) {}
  ~FifoReader() { (void)take(); }
  FifoReader(const FifoReader&) = delete;
  FifoReader& operator=(const FifoReader&) = delete;

  // What was written, once the writer closed the FIFO.
  std::string take() {
    // A writer that never came would leave the thread waiting in open():
    // come as a writer that writes nothing.
    while (!done_) {
      const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) ::close(fd);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (thread_.joinable()) thread_.join();
    return data_;
  }

 private:
  void run() {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      char buffer[65536];
      ssize_t n;
      while ((n = ::read(fd, buffer, sizeof buffer)) > 0) data_.append(buffer, static_cast<size_t>(n));
      ::close(fd);
    }
    done_ = true;
  }

  std::string path_;
  std::string data_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace zelt::test
