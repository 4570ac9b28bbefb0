#include "shell/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <string>

namespace zelt {
namespace {

std::atomic<bool> g_raise_requested{false};

void on_raise_signal(int) { g_raise_requested.store(true); }

}  // namespace

std::string single_instance_lock_dir() {
  if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run) return run;
  if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp) return tmp;
  return "/tmp";
}

bool single_instance_acquire(const std::string& name, const std::string& dir) {
  const std::string path = dir + "/" + name + ".lock";
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return true;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    // First instance: keep fd open for the life of the process.
    struct sigaction sa = {};
    sa.sa_handler = on_raise_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGUSR1, &sa, nullptr);
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
      // Without the id a second instance just cannot raise the window.
    }
    return true;
  }
  // Held by a living process: the holder wrote its id after taking the lock.
  char buf[32] = {};
  const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
  ::close(fd);
  if (n > 0) {
    const long pid = std::strtol(buf, nullptr, 10);
    if (pid > 0 && pid != ::getpid()) ::kill(static_cast<pid_t>(pid), SIGUSR1);
  }
  return false;
}

bool single_instance_take_raise_request() { return g_raise_requested.exchange(false); }

}  // namespace zelt
