#include "script/vm/interpreter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

#include "script/vm/opcodes.h"

namespace zelt {

std::atomic<int32_t> stop_all{0};

namespace {

using vm::Op;
using vm::kOpCount;
using vm::kThreadReturn;
using vm::has_reg_byte;
using vm::op_size;
using vm::operand_offset;
using vm::reg_mask;

constexpr uint32_t kFirst = ScriptMemory::kFirstUsable;
constexpr int kSliceBudget = 255;
constexpr uint32_t kMaxInsn = 6;     // longest instruction (form RI)
constexpr uint32_t kMaxAccess = 24;  // widest access: the six registers of enter/leave

std::atomic<TrapHandler> g_trap_handler{nullptr};

inline uint32_t load16(const uint8_t* m, uint32_t a) {
  uint16_t v;
  std::memcpy(&v, m + a, 2);
  return v;
}
inline uint32_t load32(const uint8_t* m, uint32_t a) {
  uint32_t v;
  std::memcpy(&v, m + a, 4);
  return v;
}
inline void store16(uint8_t* m, uint32_t a, uint32_t v) {
  const uint16_t w = static_cast<uint16_t>(v);
  std::memcpy(m + a, &w, 2);
}
inline void store32(uint8_t* m, uint32_t a, uint32_t v) { std::memcpy(m + a, &v, 4); }

inline uint32_t sext8(uint32_t v) { return static_cast<uint32_t>(static_cast<int8_t>(v)); }
inline uint32_t sext16(uint32_t v) { return static_cast<uint32_t>(static_cast<int16_t>(v)); }
inline float as_float(uint32_t v) { return std::bit_cast<float>(v); }
inline uint32_t as_bits(float f) { return std::bit_cast<uint32_t>(f); }

// Truncates toward zero; NaN and values outside the 32-bit range give INT32_MIN.
inline uint32_t float_to_int(float f) {
  if (f >= -2147483648.0f && f < 2147483648.0f) return static_cast<uint32_t>(static_cast<int32_t>(f));
  return 0x80000000u;
}

inline void compare(uint32_t a, uint32_t b, bool& zf, bool& lf, bool& bf) {
  zf = a == b;
  lf = static_cast<int32_t>(a) < static_cast<int32_t>(b);
  bf = a < b;
}

// Exact fetch check, for a pc whose next six bytes are not all usable: the
// operation byte and every byte of its form must be. Returns the operation
// byte, read once (another script thread may rewrite it meanwhile, and the
// operation run must be the one whose length was checked), or kFetchFault.
constexpr uint32_t kFetchFault = 0x100;
[[gnu::noinline]] uint32_t fetch_usable(const uint8_t* m, uint32_t pc, uint32_t span) {
  const uint32_t off = pc - kFirst;
  if (off >= span) return kFetchFault;
  const uint32_t op = __atomic_load_n(m + pc, __ATOMIC_RELAXED);
  const uint32_t size = op < kOpCount ? op_size(static_cast<Op>(op)) : 1;
  return off <= span - size ? op : kFetchFault;
}

inline void save_state(ScriptContext& ctx, uint32_t pc, const uint32_t (&r)[8], bool zf, bool lf, bool bf) {
  ctx.pc = pc;
  std::memcpy(ctx.r, r, sizeof r);
  ctx.zero = zf;
  ctx.less = lf;
  ctx.below = bf;
}

// The production build: computed goto where the compiler has it (GCC and
// Clang) unless ZELT_VM_SWITCH asks for the switch. GCC is told not to merge
// the handlers' dispatch jumps back into one shared jump.
#if defined(__GNUC__) && !defined(ZELT_VM_SWITCH)
#define ZELT_VM_USE_SWITCH 0
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"  // labels as values
#else
#define ZELT_VM_USE_SWITCH 1
#endif
#if !ZELT_VM_USE_SWITCH && !defined(__clang__)
#define ZELT_VM_ATTRS __attribute__((optimize("no-crossjumping", "no-gcse")))
#else
#define ZELT_VM_ATTRS
#endif
#define ZELT_VM_RUN run_slice_main
#include "script/vm/interpreter_loop.inc"
#if !ZELT_VM_USE_SWITCH
#pragma GCC diagnostic pop
#endif
#undef ZELT_VM_RUN
#undef ZELT_VM_ATTRS
#undef ZELT_VM_USE_SWITCH

// The switch build, always present for tests.
#define ZELT_VM_USE_SWITCH 1
#define ZELT_VM_ATTRS
#define ZELT_VM_RUN run_slice_switch
#include "script/vm/interpreter_loop.inc"
#undef ZELT_VM_RUN
#undef ZELT_VM_ATTRS
#undef ZELT_VM_USE_SWITCH

}  // namespace

void vm_fault(ScriptContext& context) {
  if (context.status == ContextStatus::Running) context.status = ContextStatus::Faulted;
  stop_all.store(1);
}

void vm_set_trap_handler(TrapHandler handler) { g_trap_handler.store(handler, std::memory_order_release); }

Fault vm_run_slice(ScriptContext& context) { return run_slice_main(context); }
Fault vm_run_slice_switch(ScriptContext& context) { return run_slice_switch(context); }

}  // namespace zelt
