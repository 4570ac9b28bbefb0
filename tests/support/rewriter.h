// A racing script thread, reduced to what matters: on its own thread, it
// stores one value and then another into the same script memory location,
// over and over, until it is destroyed. Tests run host code that reads the
// location meanwhile and check that it never uses two different values.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

#include "core/script_memory.h"

namespace zelt::test {

template <typename T>
class Rewriter {
 public:
  Rewriter(ScriptAddr a, T first, T second)
      : thread_([this, a, first, second] {
          std::atomic_ref<T> cell(*reinterpret_cast<T*>(script_memory().host(a)));
          while (!stop_.load(std::memory_order_relaxed)) {
            cell.store(first, std::memory_order_relaxed);
            cell.store(second, std::memory_order_relaxed);
          }
        }) {}
  ~Rewriter() {
    stop_.store(true);
    thread_.join();
  }
  Rewriter(const Rewriter&) = delete;
  Rewriter& operator=(const Rewriter&) = delete;

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Runs `step` repeatedly for `duration` of wall time.
template <typename Step>
void repeat_for(std::chrono::milliseconds duration, Step step) {
  const auto until = std::chrono::steady_clock::now() + duration;
  do {
    for (int i = 0; i < 256; ++i) step();
  } while (std::chrono::steady_clock::now() < until);
}

}  // namespace zelt::test
