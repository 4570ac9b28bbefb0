#include "platform/signals.h"

#include <signal.h>

#include <atomic>

namespace zelt::platform {
namespace {

std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

void note_signal(int signo) {
  int none = 0;
  g_signal.compare_exchange_strong(none, signo);
}

}  // namespace

void termination_signals_install() {
  struct sigaction action {};
  action.sa_handler = note_signal;
  sigemptyset(&action.sa_mask);
  // The default action returns for the second signal: an impatient user
  // still gets the program to end.
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  for (const int signo : {SIGTERM, SIGINT, SIGHUP}) sigaction(signo, &action, nullptr);
  // A write to a pipe or FIFO whose reader has gone fails with EPIPE, like
  // any other failed write, instead of ending the program.
  signal(SIGPIPE, SIG_IGN);
}

int termination_signal() { return g_signal.load(); }

}  // namespace zelt::platform
