// The built-in call interface: the virtual machine's trap handler. It checks
// the built-in number (and, with [General] DebugMode, the caller's argument
// count), then runs the row's handler inside the one process-wide built-in
// lock and stores the result in r0 of the context that is current when the
// handler returns. The table of handlers is installed at start-up by the
// layer that defines them.
//
// A handler reads its arguments through BuiltinArgs and returns one 32-bit
// cell; it may use the shared state of every subsystem without further
// locking, since at most one handler runs at a time.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <span>
#include <string_view>

#include "core/script_memory.h"
#include "script/vm/context.h"

namespace zelt {

// The argument cells of one call, copied into host memory before the handler
// runs: another script thread, or the caller's own, may rewrite its stack
// during the call, and a handler must see one value per cell (a count
// checked against a span is the count used with it). Cell k is the 32-bit
// value that was at first + 4k. Only cells inside the caller's stack block are
// copied, at most kMaxCells; the others read as 0, so a call with fewer
// arguments than the row expects never reads outside the block. Addresses
// taken from cells are checked through script memory before anything is read
// or written there.
class BuiltinArgs {
 public:
  // Cells copied for a variable argument list. The widest fixed row takes 7;
  // a formatter or native call with more than 250 arguments reads the rest as
  // 0 (dll_call refuses it).
  static constexpr uint32_t kMaxCells = 256;

  // Copies min(cells, kMaxCells) cells from first on; none when they are not
  // all usable.
  BuiltinArgs(ScriptAddr first, uint32_t cells);
  // The arguments of a context stopped at a trap: up to `wanted` cells from
  // argument 0 at r7 + 4, up to the top of its stack block.
  static BuiltinArgs of(const ScriptContext& context, uint32_t wanted = kMaxCells);
  BuiltinArgs(const BuiltinArgs&) = delete;
  BuiltinArgs& operator=(const BuiltinArgs&) = delete;

  uint32_t cells() const { return count_; }

  uint32_t u32(uint32_t k) const {
    if (count_ > kMaxCells) __builtin_unreachable();  // tells the compiler k stays in the buffer
    return k < count_ ? cells_[k] : 0;
  }
  int32_t i32(uint32_t k) const { return static_cast<int32_t>(u32(k)); }
  float f32(uint32_t k) const { return std::bit_cast<float>(u32(k)); }
  ScriptAddr addr(uint32_t k) const { return u32(k); }

  // The zero-terminated string whose address is in cell k, without its
  // terminator; false when no terminator lies within max_len bytes of
  // usable script memory.
  bool str(uint32_t k, std::string_view& out, uint32_t max_len = UINT32_MAX) const {
    return script_memory().string(addr(k), out, max_len);
  }
  // The n bytes at the address in cell k; an empty span with a null data
  // pointer when they are not all usable.
  std::span<uint8_t> span(uint32_t k, uint32_t n) const { return script_memory().span(addr(k), n); }

 private:
  uint32_t count_;
  uint32_t cells_[kMaxCells];  // only the first count_ are set
};

using BuiltinHandler = uint32_t (*)(const BuiltinArgs& args);

// Results: integers as they are, floats as their bit pattern.
inline uint32_t int_result(int32_t v) { return static_cast<uint32_t>(v); }
inline uint32_t float_result(float f) { return std::bit_cast<uint32_t>(f); }

// One row of the handler table, indexed by built-in number.
struct BuiltinEntry {
  BuiltinHandler handler;
  const char* name;
  int8_t arg_count;  // -1: variable, never checked
};

// Installs the handler table (which must outlive the run) and makes the
// dispatcher the virtual machine's trap handler.
void builtin_dispatch_install(std::span<const BuiltinEntry> table);

// The trap handler: numbers outside the installed table are refused.
void builtin_dispatch(ScriptContext& context, uint16_t number);

// Cells the caller passed, read from the `add r7, $4n` marker at the return
// address on top of its stack; -1 when no marker follows the call.
int32_t call_arg_count(const ScriptContext& context);

// The built-in lock. Handlers run with it held; the host takes it for the
// few things it does outside a handler on shared state (freeing contexts,
// starting the entry script).
std::mutex& builtin_lock();

// The context whose built-in is running (valid under the built-in lock
// inside a handler). A handler that replaces its caller (jump, call,
// longjmp) makes the replacement current so the result lands there.
ScriptContext* builtin_current();
void set_builtin_current(ScriptContext* context);

// Releases the built-in lock for the lifetime of the object, inside a
// handler that must wait for another script thread, and takes it back
// afterwards with the current context restored.
class BuiltinLockReleased {
 public:
  BuiltinLockReleased() : current_(builtin_current()) { builtin_lock().unlock(); }
  ~BuiltinLockReleased() {
    builtin_lock().lock();
    set_builtin_current(current_);
  }
  BuiltinLockReleased(const BuiltinLockReleased&) = delete;
  BuiltinLockReleased& operator=(const BuiltinLockReleased&) = delete;

 private:
  ScriptContext* current_;
};

}  // namespace zelt
