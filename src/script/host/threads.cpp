// The script threads: the slot table, thread_start, the thread procedure
// that drives the interpreter in time slices, and stopping them all.
//
// Nothing here waits with the built-in lock held, and every wait ends when
// what it waits for changes: a resting thread (asleep, paused, or started
// suspended) waits on the host's condition variable, which every change of
// run flag, pause count, gate or stop_all notifies.
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "core/close_request.h"
#include "core/config.h"
#include "core/messages.h"
#include "script/compiler/extern_functions.h"
#include "script/host/builtin_call.h"
#include "script/host/thread_table.h"
#include "script/vm/interpreter.h"

namespace zelt {
namespace host {

std::atomic<int32_t> g_runnable{0};

namespace {

ThreadSlot g_slots[kThreadSlots];
std::atomic<int32_t> g_live{0};      // started and not yet ended
std::atomic<int32_t> g_starting{0};  // thread_start calls in progress
std::atomic<int32_t> g_active{1};
std::mutex g_wait_mutex;
std::condition_variable g_wait_cv;

bool stopping() { return stop_all.load(std::memory_order_relaxed) != 0; }

// Script threads run one step of niceness below the thread that reset the
// host (the UI thread); Linux applies niceness per thread. Taken from there,
// not from the creating thread, which may itself be a script thread.
std::atomic<int> g_script_nice{1};

void lower_priority() {
#ifdef __linux__
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), g_script_nice.load());
#endif
}

// Pauses between slices: the thread stops counting as runnable while it
// waits, so the others skip their yields.
template <class Pred>
void rest(Pred pred) {
  g_runnable.fetch_sub(1, std::memory_order_relaxed);
  wait_for_change(pred);
  g_runnable.fetch_add(1, std::memory_order_relaxed);
}
template <class Pred>
void rest_until(std::chrono::steady_clock::time_point until, Pred pred) {
  g_runnable.fetch_sub(1, std::memory_order_relaxed);
  wait_for_change_until(until, pred);
  g_runnable.fetch_add(1, std::memory_order_relaxed);
}

// After every slice: give the processor to another script thread when one
// is runnable; rest 1 ms while the application is inactive.
void yield_after_slice() {
  if (g_active.load(std::memory_order_relaxed) == 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  else if (g_runnable.load(std::memory_order_relaxed) > 1)
    std::this_thread::yield();
}

// Closes the program: a fault or `exit`. No question is asked.
void close_program() {
  {
    std::lock_guard lock(builtin_lock());
    config().Confirmation = 0;
  }
  stop_all.store(1);
  notify();
  post_close_request();
}

bool faulted(const ScriptContext& context) {
  return context.status != ContextStatus::Running && context.status != ContextStatus::Ended;
}

// Runs the slot's contexts until the base context ends, the thread is ended
// or every script stops. A faulted context (a fault or `exit`) closes the
// program; a fault has usually set stop_all already, which ends the loop
// before the status is seen, so it is checked once more on the way out.
void run_contexts(ThreadSlot& s) {
  while (!stopping() && s.run.load(std::memory_order_relaxed) != 0) {
    ScriptContext* context = s.stack[s.top];
    if (context->status == ContextStatus::Running) {
      if (s.wake != 0) {
        const auto left = static_cast<int32_t>(s.wake - host_tick());
        if (left > 0) {
          rest_until(std::chrono::steady_clock::now() + std::chrono::milliseconds(left),
                     [&] { return stopping() || s.run.load() == 0; });
          continue;
        }
        s.wake = 0;
      }
      if (s.pause.load(std::memory_order_relaxed) > 0) {
        rest([&] { return stopping() || s.run.load() == 0 || s.pause.load() <= 0; });
        continue;
      }
      stop_on_fault(vm_run_slice(*context));
      yield_after_slice();
    } else if (context->status == ContextStatus::Ended) {
      if (s.top == 0) return;
      // A called script ended: its r0 is the result of the caller's `call`.
      const uint32_t result = context->r[0];
      {
        std::lock_guard lock(builtin_lock());
        context_free(context);
      }
      s.stack[s.top--] = nullptr;
      s.stack[s.top]->r[0] = result;
    } else {
      break;
    }
  }
  if (faulted(*s.stack[s.top])) close_program();
}

void thread_procedure(int index) {
  ThreadSlot& s = g_slots[index];
  lower_priority();
  wait_for_change([&] { return s.gate.load() || s.run.load() == 0 || stopping(); });
  if (s.stack[s.top]) {
    std::this_thread::yield();
    g_runnable.fetch_add(1, std::memory_order_relaxed);
    run_contexts(s);
    g_runnable.fetch_sub(1, std::memory_order_relaxed);
  }
  {
    std::lock_guard lock(builtin_lock());
    for (int i = s.top; i >= 0; --i) {
      context_free(s.stack[i]);
      s.stack[i] = nullptr;
    }
  }
  // The slot may be reaped and reused from here on.
  s.finished.store(true);
  g_live.fetch_sub(1);
  notify();
  wake_main_loop();
}

// Joins a thread whose procedure is done and frees its slot. Under the
// built-in lock (or with no script thread left).
void reap(ThreadSlot& s) {
  if (s.thread.joinable()) s.thread.join();
  s.occupied.store(false);
}

void clear_slot(ThreadSlot& s) {
  s.run.store(0);
  s.pause.store(0);
  s.gate.store(false);
  s.finished.store(false);
  s.font.store(0);
  s.wake = 0;
  s.top = 0;
  for (ScriptContext*& c : s.stack) c = nullptr;
}

}  // namespace

ThreadSlot& slot(int index) { return g_slots[index]; }

int caller_slot(const ScriptContext& context) {
  const int32_t index = context.thread_slot;
  if (index < 0 || index >= kThreadSlots) return -1;
  const ThreadSlot& s = g_slots[index];
  if (!s.occupied.load() || s.stack[s.top] != &context) return -1;
  return index;
}

std::mutex& wait_mutex() { return g_wait_mutex; }
std::condition_variable& wait_cv() { return g_wait_cv; }

void notify() {
  { std::lock_guard lock(g_wait_mutex); }
  g_wait_cv.notify_all();
}

}  // namespace host

using host::g_slots;
using host::ThreadSlot;

int thread_start(ScriptContext* context, bool suspended) {
  // Counted before stop_all is tested, so script_threads_stop either sees
  // this start in progress or this start sees stop_all.
  host::g_starting.fetch_add(1);
  struct Done {
    ~Done() {
      host::g_starting.fetch_sub(1);
      host::notify();
    }
  } done;
  if (stop_all.load() != 0 || !context) return -1;

  for (ThreadSlot& s : g_slots)
    if (s.occupied.load() && s.finished.load()) host::reap(s);
  int index = 0;
  while (index < kThreadSlots && g_slots[index].occupied.load()) ++index;
  if (index == kThreadSlots) return -1;

  ThreadSlot& s = g_slots[index];
  host::clear_slot(s);
  context->thread_slot = index;
  s.stack[0] = context;
  s.run.store(1);
  s.gate.store(!suspended);
  s.generation.fetch_add(1);
  s.occupied.store(true);
  host::g_live.fetch_add(1);
  try {
    s.thread = std::thread(host::thread_procedure, index);
  } catch (...) {
    host::g_live.fetch_sub(1);
    host::clear_slot(s);
    s.occupied.store(false);
    return -1;
  }
  return index;
}

void script_thread_release(int index) {
  if (index < 0 || index >= kThreadSlots) return;
  g_slots[index].gate.store(true);
  host::notify();
}

namespace {

// Every thread is told to end; suspended ones are let go so that they can.
void ask_all_to_end() {
  stop_all.store(1);
  for (ThreadSlot& s : g_slots) s.gate.store(true);
  host::notify();
}

bool all_ended() { return host::g_live.load() == 0 && host::g_starting.load() == 0; }

}  // namespace

void script_threads_stop() {
  ask_all_to_end();
  host::wait_for_change(all_ended);
  for (ThreadSlot& s : g_slots) {
    host::reap(s);
    host::clear_slot(s);
  }
  stop_all.store(0);
}

bool script_threads_end_by(std::chrono::steady_clock::time_point until) {
  ask_all_to_end();
  host::wait_for_change_until(until, all_ended);
  return all_ended();
}

void script_threads_reset() {
#ifdef __linux__
  errno = 0;
  const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
  if (errno == 0) host::g_script_nice.store(nice + 1);
#endif
  bool any = host::g_live.load() != 0;
  for (ThreadSlot& s : g_slots) any = any || s.thread.joinable();
  if (any) script_threads_stop();
  for (ThreadSlot& s : g_slots) host::clear_slot(s);
  stop_all.store(0);
  clear_close_request();
}

int script_threads_running() { return host::g_live.load(); }

void script_threads_pause_all() {
  if (stop_all.load() != 0) return;
  for (ThreadSlot& s : g_slots)
    if (s.occupied.load()) s.pause.fetch_add(1);
}

void script_threads_resume_all() {
  if (stop_all.load() != 0) return;
  for (ThreadSlot& s : g_slots) {
    if (!s.occupied.load()) continue;
    int32_t n = s.pause.load();
    while (n > 0 && !s.pause.compare_exchange_weak(n, n - 1)) {
    }
  }
  host::notify();
}

void script_host_set_active(bool active) {
  host::g_active.store(active ? 1 : 0);
  host::notify();
}

void stop_on_fault(Fault fault) {
  static constexpr Msg kMessages[kFaultCount] = {
      Msg::DivideByZero, Msg::FaultProgramArea, Msg::FaultStackArea, Msg::FaultInvalidOpcode,
      Msg::FaultBadAddress,
  };
  if (fault == Fault::None) return;
  const auto code = static_cast<size_t>(fault);
  report(kLevelDevice, code < kFaultCount ? kMessages[code] : Msg::FaultInvalidOpcode);
  stop_all.store(1);
  host::notify();
}

const Subsystem kScriptThreadsSubsystem{
    .name = "script threads",
    .pause = script_threads_pause_all,
    .resume = script_threads_resume_all,
};

namespace {
int current_slot() {
  const ScriptContext* caller = builtin_current();
  return caller ? host::caller_slot(*caller) : -1;
}
}  // namespace

uint8_t current_thread_font() {
  const int index = current_slot();
  return index >= 0 && index < kThreadSlots ? g_slots[index].font.load() : 0;
}

void set_current_thread_font(uint8_t font) {
  const int index = current_slot();
  if (index >= 0 && index < kThreadSlots) g_slots[index].font.store(font);
}

uint32_t host_tick() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void extern_function_table_clear() { extern_functions_clear(); }

bool script_start_entry() {
  const Config& c = config();
  if (c.Load.empty()) return false;
  // No script thread runs yet, so the UI thread may take the lock here.
  std::lock_guard lock(builtin_lock());
  ScriptContext* context = compile_script_file(c.Load, c.ProgramSize, c.StackSize);
  if (!context) return false;
  if (thread_start(context, false) < 0) {
    context_free(context);
    return false;
  }
  return true;
}

}  // namespace zelt
