#include "core/close_request.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace zelt {
namespace {

std::atomic<bool> g_close{false};
std::mutex g_mutex;
std::condition_variable g_cv;
bool g_woken = false;  // under g_mutex
std::atomic<void (*)()> g_waker{nullptr};

}  // namespace

void post_close_request() {
  g_close.store(true);
  wake_main_loop();
}

bool close_requested() { return g_close.load(); }
void clear_close_request() { g_close.store(false); }

void wake_main_loop() {
  {
    std::lock_guard lock(g_mutex);
    g_woken = true;
  }
  g_cv.notify_all();
  if (void (*waker)() = g_waker.load()) waker();
}

void set_main_loop_waker(void (*waker)()) { g_waker.store(waker); }

void wait_main_loop(std::chrono::steady_clock::time_point until) {
  std::unique_lock lock(g_mutex);
  g_cv.wait_until(lock, until, [] { return g_woken; });
  g_woken = false;
}

}  // namespace zelt
