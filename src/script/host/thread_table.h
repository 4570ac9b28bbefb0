// The script-thread table, shared by the thread procedure (threads.cpp) and
// the control built-ins. Not part of the host's public interface.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "script/host/host.h"

namespace zelt::host {

struct ThreadSlot {
  // Written under the built-in lock (thread_start, thd_end) or with no
  // script thread left (script_threads_stop).
  std::thread thread;
  std::atomic<bool> occupied{false};   // holds a thread that has not been reaped
  std::atomic<uint32_t> generation{0}; // counts starts, so waiters notice reuse
  // Shared with other threads.
  std::atomic<int32_t> run{0};         // 1 while the thread should keep running
  std::atomic<int32_t> pause{0};       // slices run only while <= 0
  std::atomic<bool> gate{false};       // false: started suspended, not released yet
  std::atomic<bool> finished{false};   // the procedure is done with the slot
  std::atomic<uint8_t> font{0};
  // Touched only by the slot's own thread once it runs (and by the handlers
  // it calls).
  uint32_t wake = 0;                   // tick before which nothing executes; 0 none
  int32_t top = 0;
  ScriptContext* stack[kContextDepth] = {};
};

ThreadSlot& slot(int index);

// The slot whose running context is `context`, or -1: the caller of a
// built-in that acts on its own thread.
int caller_slot(const ScriptContext& context);

// Script threads running slices (not resting, waiting or ended); a thread
// yields after a slice only when another one is runnable.
extern std::atomic<int32_t> g_runnable;

// Waiting for changes of other threads' state: every writer of run, pause,
// gate, finished or stop_all calls notify() afterwards; waiters re-check
// their condition under the wait mutex.
std::mutex& wait_mutex();
std::condition_variable& wait_cv();
void notify();

template <class Pred>
void wait_for_change(Pred pred) {
  std::unique_lock lock(wait_mutex());
  wait_cv().wait(lock, pred);
}

template <class Pred>
void wait_for_change_until(std::chrono::steady_clock::time_point until, Pred pred) {
  std::unique_lock lock(wait_mutex());
  wait_cv().wait_until(lock, until, pred);
}

}  // namespace zelt::host
