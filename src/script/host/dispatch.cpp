#include "script/host/builtin_call.h"

#include <algorithm>

#include "core/config.h"
#include "core/messages.h"
#include "script/vm/interpreter.h"
#include "script/vm/opcodes.h"

namespace zelt {
namespace {

std::span<const BuiltinEntry> g_table;  // set at start-up, before any script thread

// Argument cells copied for a row: its own count, or as many as a variable
// argument list may use.
uint32_t cells_of(const BuiltinEntry& row) {
  return row.arg_count < 0 ? BuiltinArgs::kMaxCells : static_cast<uint32_t>(row.arg_count);
}

std::mutex g_lock;
ScriptContext* g_current = nullptr;

[[gnu::cold]] void bad_number(ScriptContext& context, uint16_t number) {
  report_message(kLevelDevice, msg_text(Msg::BuiltinBadNumber), static_cast<int>(number));
  vm_fault(context);
}

// The DebugMode check: the count the call passed against the row's. A
// mismatch stops every script and the handler is not called.
[[gnu::cold]] bool arg_count_matches(ScriptContext& context, uint16_t number) {
  const BuiltinEntry& row = g_table[number];
  if (row.arg_count < 0) return true;
  const int32_t passed = call_arg_count(context);
  if ((passed < 0 ? 0 : passed) == row.arg_count) return true;
  report_message(kLevelDevice, msg_text(Msg::BuiltinArgCount), row.name);
  vm_fault(context);
  return false;
}

}  // namespace

constexpr uint32_t kFixedCopy = 8;

BuiltinArgs::BuiltinArgs(ScriptAddr first, uint32_t cells) : count_(std::min(cells, kMaxCells)) {
  const ScriptMemory& mem = script_memory();
  if (!mem.valid(first, count_ * 4)) count_ = 0;
  // Fixed rows take at most 7 cells: a fixed-size copy of 8 (the extra ones
  // are never read) compiles to a few moves instead of a library call.
  const uint8_t* from = mem.host(first);
  if (count_ <= kFixedCopy && mem.valid(first, kFixedCopy * 4))
    std::memcpy(cells_, from, kFixedCopy * 4);
  else
    std::memcpy(cells_, from, count_ * 4);
}

BuiltinArgs BuiltinArgs::of(const ScriptContext& context, uint32_t wanted) {
  const uint64_t first = uint64_t{context.r[7]} + 4;
  const uint64_t bottom = context.stack_base;
  const uint64_t top = bottom + static_cast<uint64_t>(context.stack_size > 0 ? context.stack_size : 0);
  if (first < bottom || first > top) return {0, 0};
  return {static_cast<ScriptAddr>(first), std::min(static_cast<uint32_t>((top - first) / 4), wanted)};
}

int32_t call_arg_count(const ScriptContext& context) {
  const ScriptMemory& mem = script_memory();
  const uint32_t sp = context.r[7];
  if (!mem.valid(sp, 4)) return -1;
  uint32_t ret;
  std::memcpy(&ret, mem.host(sp), 4);
  if (!mem.valid(ret, 6)) return -1;
  uint16_t marker;
  std::memcpy(&marker, mem.host(ret), 2);
  if (marker != vm::kArgMarker) return -1;
  uint32_t bytes;
  std::memcpy(&bytes, mem.host(ret + 2), 4);
  return static_cast<int32_t>(bytes / 4);
}

std::mutex& builtin_lock() { return g_lock; }
ScriptContext* builtin_current() { return g_current; }
void set_builtin_current(ScriptContext* context) { g_current = context; }

void builtin_dispatch_install(std::span<const BuiltinEntry> table) {
  g_table = table;
  vm_set_trap_handler(builtin_dispatch);
}

void builtin_dispatch(ScriptContext& context, uint16_t number) {
  if (number >= g_table.size()) [[unlikely]] {
    bad_number(context, number);
    return;
  }
  if (config().DebugMode != 0) [[unlikely]] {
    if (!arg_count_matches(context, number)) return;
  }
  const BuiltinEntry& row = g_table[number];
  const BuiltinArgs args = BuiltinArgs::of(context, cells_of(row));
  std::lock_guard lock(g_lock);
  g_current = &context;
  const uint32_t result = row.handler(args);
  if (g_current) g_current->r[0] = result;
  g_current = nullptr;
}

}  // namespace zelt
