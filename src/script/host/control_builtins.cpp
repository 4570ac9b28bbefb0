// The control built-ins: jump, call, exit, setjmp, longjmp, thd_begin,
// thd_end, thd_suspend, thd_resume and sleep (control_builtins.h). They run under the built-in
// lock, on the calling script thread, and act on its context stack.
#include <cstring>

#include "core/config.h"
#include "script/host/control_builtins.h"
#include "script/host/thread_table.h"
#include "script/vm/interpreter.h"
#include "script/vm/opcodes.h"

namespace zelt {
namespace {

using host::caller_slot;
using host::slot;
using host::ThreadSlot;

constexpr int32_t kMinThreadStack = 1024;

bool stopping() { return stop_all.load() != 0; }

// The caller's own slot, or -1 when its context is not the running one of
// a script thread.
int own_slot() {
  const ScriptContext* caller = builtin_current();
  return caller ? caller_slot(*caller) : -1;
}

// A slot number naming a thread that has not been reaped, or nullptr.
ThreadSlot* thread_slot_arg(int32_t index) {
  if (index < 0 || index >= kThreadSlots || stopping()) return nullptr;
  ThreadSlot& s = slot(index);
  return s.occupied.load() ? &s : nullptr;
}

// Compiles the script named in cell 0 with the configured sizes.
ScriptContext* compile_named(const BuiltinArgs& a) {
  std::string_view name;
  if (!a.str(0, name, kScriptNameLimit)) return nullptr;
  const Config& c = config();
  return compile_script_file(name, c.ProgramSize, c.StackSize);
}

bool read_u32(ScriptAddr a, uint32_t& out) {
  const auto bytes = script_memory().span(a, 4);
  if (!bytes.data()) return false;
  std::memcpy(&out, bytes.data(), 4);
  return true;
}

}  // namespace

// The new script replaces the caller on its thread.
uint32_t bi_jump(const BuiltinArgs& a) {
  ScriptContext* next = compile_named(a);
  if (!next) return 0;
  const int self = own_slot();
  if (stopping() || self < 0) {
    context_free(next);
    return 0;
  }
  ThreadSlot& s = slot(self);
  next->thread_slot = self;
  context_free(s.stack[s.top]);
  s.stack[s.top] = next;
  set_builtin_current(next);
  return 1;
}

// The new script runs on top of the caller, which resumes with its r0.
uint32_t bi_call(const BuiltinArgs& a) {
  ScriptContext* next = compile_named(a);
  if (!next) return 0;
  const int self = own_slot();
  if (stopping() || self < 0 || slot(self).top >= kContextDepth - 1) {
    context_free(next);
    return 0;
  }
  ThreadSlot& s = slot(self);
  next->thread_slot = self;
  s.stack[++s.top] = next;
  set_builtin_current(next);
  return 0;
}

// The thread procedure closes the program as for a fault, without a message.
uint32_t bi_exit(const BuiltinArgs&) {
  ScriptContext* caller = builtin_current();
  if (caller && caller->status == ContextStatus::Running) caller->status = ContextStatus::Faulted;
  return 0;
}

// The buffer gets the caller's record as it will be after the setjmp call
// returns: pc at the return address, r7 above it, and the context-stack
// index in the r0 field.
uint32_t bi_setjmp(const BuiltinArgs& a) {
  const ScriptContext* caller = builtin_current();
  const auto buffer = a.span(0, sizeof(ScriptContext));
  uint32_t ret;
  if (!caller || !buffer.data() || !read_u32(caller->r[7], ret)) return 0;
  const int self = own_slot();
  ScriptContext saved = *caller;
  saved.pc = ret;
  saved.r[0] = static_cast<uint32_t>(self >= 0 ? slot(self).top : 0);
  saved.r[7] = caller->r[7] + 4;
  std::memcpy(buffer.data(), &saved, sizeof saved);
  return 0;
}

// Returns into the setjmp call whose frame the buffer describes, if it is
// still live on the caller's thread; 0 otherwise.
uint32_t bi_longjmp(const BuiltinArgs& a) {
  const auto buffer = a.span(0, sizeof(ScriptContext));
  const int self = own_slot();
  if (!buffer.data() || self < 0) return 0;
  ScriptContext saved;
  std::memcpy(&saved, buffer.data(), sizeof saved);
  ThreadSlot& s = slot(self);
  const auto level = static_cast<int32_t>(saved.r[0]);
  if (saved.thread_slot != self || level < 0 || level > s.top) return 0;
  ScriptContext* target = s.stack[level];
  if (target->image_base != saved.image_base || target->stack_base != saved.stack_base ||
      target->r[7] > saved.r[7])
    return 0;
  for (; s.top > level; --s.top) {
    context_free(s.stack[s.top]);
    s.stack[s.top] = nullptr;
  }
  // The buffer is script memory: the fields the host relies on are kept
  // from the context, so a rewritten buffer cannot move it to another
  // thread, mark it ended or change its image and stack sizes.
  saved.thread_slot = target->thread_slot;
  saved.status = ContextStatus::Running;
  saved.image_count = target->image_count;
  saved.image_size = target->image_size;
  saved.stack_size = target->stack_size;
  *target = saved;
  set_builtin_current(target);
  const uint32_t value = a.u32(1);
  return value != 0 ? value : 1;
}

// A new thread on the caller's image, entering `entry` with the argument on
// its stack and the return address that ends the thread.
uint32_t bi_thd_begin(const BuiltinArgs& a) {
  const ScriptContext* caller = builtin_current();
  if (!caller || stopping()) return int_result(-1);
  int32_t size = a.i32(3);
  if (size <= 0) size = caller->stack_size;
  // Also when the caller's own stack is smaller: the entry frame needs room.
  if (size < kMinThreadStack) size = kMinThreadStack;
  ScriptContext* child = context_create_child(*caller, size);
  if (!child) return int_result(-1);
  const ScriptAddr top = child->stack_base + static_cast<uint32_t>(child->stack_size);
  const uint32_t frame[2] = {vm::kThreadReturn, a.u32(1)};
  std::memcpy(script_memory().host(top - 8), frame, 8);
  child->r[7] = top - 8;
  child->pc = a.addr(0);
  const int index = thread_start(child, true);
  if (index < 0) {
    context_free(child);
    return int_result(-1);
  }
  slot(index).pause.store(a.i32(2) != 0 ? 1 : 0);
  script_thread_release(index);
  return int_result(index);
}

// Ends another thread and waits, with the built-in lock released, until it
// has. A thread waiting this way gives up when it is ended itself or every
// script stops, so two threads ending each other both end. A thread that
// ends its own slot stops after the current slice.
uint32_t bi_thd_end(const BuiltinArgs& a) {
  const int32_t index = a.i32(0);
  ThreadSlot* target = thread_slot_arg(index);
  if (!target) return 0;
  target->run.store(0);
  target->gate.store(true);
  host::notify();
  const int self = own_slot();
  if (index == self) return 1;

  const uint32_t generation = target->generation.load();
  auto gone = [&] { return target->finished.load() || target->generation.load() != generation; };
  {
    BuiltinLockReleased unlocked;
    if (self >= 0) host::g_runnable.fetch_sub(1);
    host::wait_for_change([&] {
      return gone() || stopping() || (self >= 0 && slot(self).run.load() == 0);
    });
    if (self >= 0) host::g_runnable.fetch_add(1);
  }
  if (!gone()) return 0;
  // Reap it unless a thread_start did so while the lock was released.
  if (target->generation.load() == generation && target->occupied.load()) {
    if (target->thread.joinable()) target->thread.join();
    target->occupied.store(false);
  }
  return 1;
}

uint32_t bi_thd_suspend(const BuiltinArgs& a) {
  ThreadSlot* s = thread_slot_arg(a.i32(0));
  if (!s) return int_result(-1);
  return int_result(s->pause.fetch_add(1) + 1);
}

uint32_t bi_thd_resume(const BuiltinArgs& a) {
  ThreadSlot* s = thread_slot_arg(a.i32(0));
  if (!s) return int_result(-1);
  int32_t n = s->pause.load();
  while (n > 0 && !s->pause.compare_exchange_weak(n, n - 1)) {
  }
  host::notify();
  return int_result(n > 0 ? n - 1 : 0);
}

// The thread executes again once the tick count reaches the wake time; the
// call itself ends the slice, so sleep(0) only gives up the rest of it.
uint32_t bi_sleep(const BuiltinArgs& a) {
  const int self = own_slot();
  if (self < 0) return 0;
  const int32_t ms = a.i32(0);
  uint32_t wake = host_tick() + static_cast<uint32_t>(ms);
  if (wake == 0 && ms > 0) wake = 1;  // 0 means no wake time
  slot(self).wake = wake;
  return 1;
}

}  // namespace zelt
