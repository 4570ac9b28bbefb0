#include "script/compiler/emit.h"

#include <cstring>
#include <utility>

#include "core/script_memory.h"
#include "script/compiler/types.h"

namespace zelt::compiler {
namespace {

// The measuring pass has no capacity; it stops at the largest image a
// script can sensibly get.
constexpr uint32_t kMaxImage = 256u << 20;

void ensure_room(Compiler& cs, uint32_t n) {
  const uint64_t need = uint64_t{cs.code_size} + cs.data_size + n;
  if (need > (cs.out ? cs.capacity : kMaxImage)) fatal(cs, Msg::CompileProgramSize);
}

void write_u32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// The value an operand that refers to `label` at image offset `at` holds:
// the address once placed, else the previous link of the label's chain.
uint32_t link(Compiler& cs, int label, uint32_t at) {
  Label& l = cs.labels[label];
  if (l.placed) return l.value;
  const uint32_t prev = l.value;
  l.value = at;
  return prev;
}

// ---- loads and stores by type ----

Op load_abs(int32_t t) {
  switch (t) {
    case TY_CHAR: return Op::LoadSByteAbs;
    case TY_UCHAR: return Op::LoadByteAbs;
    case TY_SHORT: return Op::LoadSWordAbs;
    case TY_USHORT: return Op::LoadWordAbs;
    default: return Op::LoadAbs;
  }
}
Op load_local(int32_t t) {
  switch (t) {
    case TY_CHAR: return Op::LoadSByteLocal;
    case TY_UCHAR: return Op::LoadByteLocal;
    case TY_SHORT: return Op::LoadSWordLocal;
    case TY_USHORT: return Op::LoadWordLocal;
    default: return Op::LoadLocal;
  }
}
Op load_ind(int32_t t) {
  switch (t) {
    case TY_CHAR: return Op::LoadSByteInd;
    case TY_UCHAR: return Op::LoadByteInd;
    case TY_SHORT: return Op::LoadSWordInd;
    case TY_USHORT: return Op::LoadWordInd;
    default: return Op::LoadInd;
  }
}
int store_width(int32_t t) {
  if (t == TY_CHAR || t == TY_UCHAR) return 1;
  if (t == TY_SHORT || t == TY_USHORT) return 2;
  return 4;
}
Op store_abs(int32_t t) {
  const int w = store_width(t);
  return w == 1 ? Op::StoreByteAbs : w == 2 ? Op::StoreWordAbs : Op::StoreAbs;
}
Op store_local(int32_t t) {
  const int w = store_width(t);
  return w == 1 ? Op::StoreByteLocal : w == 2 ? Op::StoreWordLocal : Op::StoreLocal;
}
Op store_ind(int32_t t) {
  const int w = store_width(t);
  return w == 1 ? Op::StoreByteInd : w == 2 ? Op::StoreWordInd : Op::StoreInd;
}

// Every (operation, register byte) encoded once by the instruction encoders
// with a zero operand. Emitting copies the bytes and stores the operand at
// the operation's operand offset, as label fix-ups do: cheaper than building
// each instruction anew.
struct EncodingTable {
  vm::Insn insn[vm::kOpCount][256];
  constexpr EncodingTable() : insn{} {
    for (int op = 0; op < vm::kOpCount; ++op)
      for (int regs = 0; regs < 256; ++regs)
        insn[op][regs] = vm::encode(static_cast<Op>(op), static_cast<uint8_t>(regs), 0);
  }
};
constexpr EncodingTable kEncodings;

// Appends operation op with registers low/high and a 32-bit operand (ignored
// by forms without one).
[[gnu::always_inline]] inline void put(Compiler& cs, Op op, int low, int high, uint32_t operand) {
  const vm::Insn& e = kEncodings.insn[static_cast<uint8_t>(op)][vm::reg_byte(low, high)];
  ensure_room(cs, e.size);
  if (cs.out) {
    uint8_t* dst = cs.out + cs.code_size;
    // A fixed-size copy is cheaper; bytes past the instruction land in the
    // free gap and are overwritten by the next one (data_alloc clears what
    // becomes data).
    if (uint64_t{cs.code_size} + sizeof e.bytes + cs.data_size <= cs.capacity)
      std::memcpy(dst, e.bytes, sizeof e.bytes);
    else
      std::memcpy(dst, e.bytes, e.size);
    if (const uint32_t at = vm::operand_offset(op)) {
      const uint8_t le[4] = {static_cast<uint8_t>(operand), static_cast<uint8_t>(operand >> 8),
                             static_cast<uint8_t>(operand >> 16), static_cast<uint8_t>(operand >> 24)};
      std::memcpy(dst + at, le, 4);
    }
  }
  cs.code_size += e.size;
}

// ---- register allocator ----

// Makes a free slot the new A, remembering the old one; with none free the
// value goes to the machine stack.
void reg_save(Compiler& cs) {
  if (cs.nspill == kNodeCells) fatal(cs, Msg::CompileHeapOverflow);
  for (int i = 0; i < 6; ++i) {
    if (!cs.slot_used[i]) {
      cs.spill[cs.nspill++] = cs.slot_a;
      cs.slot_a = i;
      cs.slot_used[i] = true;
      return;
    }
  }
  put(cs, Op::PushReg, 7, reg_a(cs), 0);
  cs.spill[cs.nspill++] = -1;
}

// Takes the last saved value as B.
void reg_restore(Compiler& cs) {
  const int e = cs.spill[--cs.nspill];
  if (e < 0) {
    put(cs, Op::Pop, cs.slot_reg[cs.slot_b], 7, 0);
  } else {
    cs.slot_used[cs.slot_b] = false;
    cs.slot_b = e;
  }
}

inline int ra(const Compiler& cs) { return cs.slot_reg[cs.slot_a]; }
inline int rb(const Compiler& cs) { return cs.slot_reg[cs.slot_b]; }

// Inlined so that the encoder folds for the constant operations of most calls.
[[gnu::always_inline]] inline void emit_a(Compiler& cs, Op op) { put(cs, op, ra(cs), ra(cs), 0); }
[[gnu::always_inline]] inline void emit_a(Compiler& cs, Op op, uint32_t operand) {
  put(cs, op, ra(cs), ra(cs), operand);
}

ScriptAddr emit_string(Compiler& cs, int32_t n) {
  const uint32_t len = static_cast<uint32_t>(node_arg(cs, n, 1));
  const ScriptAddr at = data_alloc(cs, len);
  data_write(cs, at, cs.text + node_arg(cs, n, 0), len);
  return at + static_cast<uint32_t>(node_arg(cs, n, 2));
}

// Emits the address of an object (variable or dereference) into A.
void emit_address(Compiler& cs, int32_t n) {
  switch (node_op(cs, n)) {
    case E_GVAR: emit_a(cs, Op::MovAddr, static_cast<uint32_t>(node_arg(cs, n, 0))); break;
    case E_LVAR: emit_a(cs, Op::Lea, static_cast<uint32_t>(node_arg(cs, n, 0))); break;
    default: emit_value(cs, node_arg(cs, n, 0)); break;  // E_DEREF
  }
}

// Stores B through the address in A; A then holds the stored value.
void store_through_a(Compiler& cs, int32_t type) {
  put(cs, store_ind(type), ra(cs), rb(cs), 0);
  std::swap(cs.slot_a, cs.slot_b);
}

void emit_assign(Compiler& cs, int32_t n) {
  const int32_t target = node_arg(cs, n, 0);
  const int32_t t = node_type(cs, target);
  emit_value(cs, node_arg(cs, n, 1));
  switch (node_op(cs, target)) {
    case E_GVAR: emit_a(cs, store_abs(t), static_cast<uint32_t>(node_arg(cs, target, 0))); break;
    case E_LVAR: emit_a(cs, store_local(t), static_cast<uint32_t>(node_arg(cs, target, 0))); break;
    default:
      reg_save(cs);
      emit_value(cs, node_arg(cs, target, 0));
      reg_restore(cs);
      store_through_a(cs, t);
      break;
  }
}

void emit_op_assign(Compiler& cs, int32_t n) {
  const Op op = static_cast<Op>(node_arg(cs, n, 0));
  const int32_t target = node_arg(cs, n, 1);
  const int32_t t = node_type(cs, target);
  const int32_t flags = node_arg(cs, n, 3);
  emit_value(cs, node_arg(cs, n, 2));
  reg_save(cs);
  emit_address(cs, target);
  reg_restore(cs);
  emit_a(cs, load_ind(t));
  if (flags & OA_ITOF_TARGET) emit_a(cs, Op::Itof);
  put(cs, op, ra(cs), rb(cs), 0);
  if (flags & OA_FTOI_RESULT) emit_a(cs, Op::Ftoi);
  reg_save(cs);
  emit_address(cs, target);
  reg_restore(cs);
  store_through_a(cs, t);
}

void emit_inc_dec(Compiler& cs, int32_t n) {
  const int32_t target = node_arg(cs, n, 0);
  const bool prefix = node_arg(cs, n, 1) != 0;
  const int32_t step = node_arg(cs, n, 2);
  emit_address(cs, target);
  switch (store_width(node_type(cs, target))) {
    case 1:
      emit_a(cs, step > 0 ? (prefix ? Op::PreIncByte : Op::PostIncByte)
                          : (prefix ? Op::PreDecByte : Op::PostDecByte));
      break;
    case 2:
      emit_a(cs, step > 0 ? (prefix ? Op::PreIncWord : Op::PostIncWord)
                          : (prefix ? Op::PreDecWord : Op::PostDecWord));
      break;
    default:
      emit_a(cs, prefix ? Op::PreOp : Op::PostOp, static_cast<uint32_t>(step));
      break;
  }
}

void emit_call(Compiler& cs, int32_t n) {
  const int32_t callee = node_arg(cs, n, 0);
  const int32_t count = node_arg(cs, n, 2);
  // The list holds the last argument first: arguments are pushed from last
  // to first, each right after it is computed.
  for (int32_t arg = node_arg(cs, n, 1); arg >= 0; arg = node_arg(cs, arg, 1)) {
    const int32_t e = node_arg(cs, arg, 0);
    if (node_op(cs, e) == E_CONST) {
      put(cs, Op::PushImm, 0, 0, static_cast<uint32_t>(node_arg(cs, e, 0)));
      continue;
    }
    if (node_op(cs, e) == E_FADDR)
      emit_to_label(cs, Op::MovAddr, ra(cs), ra(cs), cs.globals[node_arg(cs, e, 0)].value);
    else
      emit_value(cs, e);
    put(cs, Op::PushReg, 7, ra(cs), 0);
  }
  if (node_op(cs, callee) == E_FUNC) {
    reg_move_a(cs, 0);
    emit_to_label(cs, Op::Call, 0, 0, cs.globals[node_arg(cs, callee, 0)].value);
  } else {
    emit_value(cs, callee);
    reg_move_a(cs, 0);
    put(cs, Op::CallReg, 0, 0, 0);
  }
  if (count > 0) put(cs, Op::AddImm, 7, 7, static_cast<uint32_t>(4 * count));
}

// The jump after `sub`/`fsub` of x and y.
Op relation_jump(int32_t rel, bool is_unsigned, bool when_true) {
  static constexpr Op kSigned[6][2] = {
      {Op::Jge, Op::Jl}, {Op::Jg, Op::Jle}, {Op::Jle, Op::Jg},
      {Op::Jl, Op::Jge}, {Op::Jne, Op::Je}, {Op::Je, Op::Jne}};
  static constexpr Op kUnsigned[6][2] = {
      {Op::Jae, Op::Jb}, {Op::Ja, Op::Jbe}, {Op::Jbe, Op::Ja},
      {Op::Jb, Op::Jae}, {Op::Jne, Op::Je}, {Op::Je, Op::Jne}};
  // Rows in Relation order (R_LT, R_LE, R_GT, R_GE, R_EQ, R_NE); column 1 jumps on true.
  return (is_unsigned ? kUnsigned : kSigned)[rel][when_true ? 1 : 0];
}

}  // namespace

// ---- output ----

void emit(Compiler& cs, const vm::Insn& insn) {
  ensure_room(cs, insn.size);
  if (cs.out) std::memcpy(cs.out + cs.code_size, insn.bytes, insn.size);
  cs.code_size += insn.size;
}

void emit_op(Compiler& cs, Op op, int low, int high, uint32_t operand) { put(cs, op, low, high, operand); }

void emit_to_label(Compiler& cs, Op op, int low, int high, int label) {
  put(cs, op, low, high, link(cs, label, cs.code_size + vm::operand_offset(op)));
}

void emit_jump(Compiler& cs, Op op, int label) {
  emit_to_label(cs, op, 0, 0, label);
  if (op == Op::Jmp) cs.reachable = false;
}

ScriptAddr data_alloc(Compiler& cs, uint32_t n) {
  ensure_room(cs, n);
  cs.data_size += n;
  // Zero it: the fixed-size copies of emit() may have left bytes here.
  if (cs.out && n) std::memset(cs.out + cs.capacity - cs.data_size, 0, n);
  return cs.image + cs.capacity - cs.data_size;
}

void data_write(Compiler& cs, ScriptAddr at, const void* bytes, uint32_t n) {
  if (cs.out && n) std::memcpy(cs.out + (at - cs.image), bytes, n);
}

void data_write_label(Compiler& cs, ScriptAddr at, int label) {
  const uint32_t v = link(cs, label, at - cs.image);
  if (cs.out) write_u32(cs.out + (at - cs.image), v);
}

// ---- labels ----

int label_new(Compiler& cs) {
  cs.labels.push_back(Label{});
  return static_cast<int>(cs.labels.size() - 1);
}

void label_place_at(Compiler& cs, int label, ScriptAddr address) {
  Label& l = cs.labels[label];
  if (cs.out) {
    uint32_t at = l.value;
    while (at != 0 && at <= cs.capacity - 4) {
      uint32_t next;
      std::memcpy(&next, cs.out + at, 4);
      write_u32(cs.out + at, address);
      at = next;
    }
  }
  l.value = address;
  l.placed = true;
}

void label_place(Compiler& cs, int label) {
  label_place_at(cs, label, code_address(cs));
  cs.reachable = true;
}

// ---- registers ----

void reg_reset(Compiler& cs) {
  for (int i = 0; i < 6; ++i) {
    cs.slot_reg[i] = i;
    cs.slot_used[i] = false;
  }
  cs.slot_a = 0;
  cs.slot_b = 1;
  cs.slot_used[0] = cs.slot_used[1] = true;
  cs.nspill = 0;
}

void reg_move_a(Compiler& cs, int r) {
  if (ra(cs) == r) return;
  int s = 0;
  while (cs.slot_reg[s] != r) ++s;
  put(cs, cs.slot_used[s] ? Op::Xchg : Op::MovRR, r, ra(cs), 0);
  std::swap(cs.slot_reg[s], cs.slot_reg[cs.slot_a]);
}

// ---- trees ----

void emit_value(Compiler& cs, int32_t n) {
  switch (node_op(cs, n)) {
    case E_CONST:
      emit_a(cs, Op::MovImm, static_cast<uint32_t>(node_arg(cs, n, 0)));
      return;
    case E_STR:
      emit_a(cs, Op::MovAddr, emit_string(cs, n));
      return;
    case E_GADDR:
      emit_a(cs, Op::MovAddr, static_cast<uint32_t>(node_arg(cs, n, 0)));
      return;
    case E_FADDR:
    case E_FUNC:
      emit_to_label(cs, Op::MovAddr, ra(cs), ra(cs), cs.globals[node_arg(cs, n, 0)].value);
      return;
    case E_GVAR:
      emit_a(cs, load_abs(node_type(cs, n)), static_cast<uint32_t>(node_arg(cs, n, 0)));
      return;
    case E_LADDR:
      emit_a(cs, Op::Lea, static_cast<uint32_t>(node_arg(cs, n, 0)));
      return;
    case E_LVAR:
      emit_a(cs, load_local(node_type(cs, n)), static_cast<uint32_t>(node_arg(cs, n, 0)));
      return;
    case E_DEREF:
      emit_value(cs, node_arg(cs, n, 0));
      emit_a(cs, load_ind(node_type(cs, n)));
      return;
    case E_BIN:
      // Right operand first, then the left one.
      emit_value(cs, node_arg(cs, n, 2));
      reg_save(cs);
      emit_value(cs, node_arg(cs, n, 1));
      reg_restore(cs);
      put(cs, static_cast<Op>(node_arg(cs, n, 0)), ra(cs), rb(cs), 0);
      return;
    case E_UNARY:
      emit_value(cs, node_arg(cs, n, 1));
      emit_a(cs, static_cast<Op>(node_arg(cs, n, 0)));
      return;
    case E_RETYPE:
      emit_value(cs, node_arg(cs, n, 0));
      return;
    case E_CMP:
    case E_LAND:
    case E_LOR: {
      const int t = label_new(cs), e = label_new(cs);
      emit_cond_jump(cs, n, true, t);
      emit_a(cs, Op::MovImm, 0);
      emit_jump(cs, Op::Jmp, e);
      label_place(cs, t);
      emit_a(cs, Op::MovImm, 1);
      label_place(cs, e);
      return;
    }
    case E_COND: {
      const int f = label_new(cs);
      emit_cond_jump(cs, node_arg(cs, n, 0), false, f);
      emit_value(cs, node_arg(cs, n, 1));
      const int r = ra(cs);
      const int e = label_new(cs);
      emit_jump(cs, Op::Jmp, e);
      label_place(cs, f);
      emit_value(cs, node_arg(cs, n, 2));
      reg_move_a(cs, r);
      label_place(cs, e);
      return;
    }
    case E_COMMA:
      emit_value(cs, node_arg(cs, n, 0));
      emit_value(cs, node_arg(cs, n, 1));
      return;
    case E_ASSIGN:
      emit_assign(cs, n);
      return;
    case E_OPASSIGN:
      emit_op_assign(cs, n);
      return;
    case E_INCDEC:
      emit_inc_dec(cs, n);
      return;
    case E_CALL:
      emit_call(cs, n);
      return;
    default:
      fatal(cs, Msg::CompileInternal);
  }
}

void emit_cond_jump(Compiler& cs, int32_t n, bool when_true, int label) {
  const Op on_zero = when_true ? Op::Jne : Op::Je;
  switch (node_op(cs, n)) {
    case E_GVAR:
    case E_LVAR: {
      const int w = store_width(node_type(cs, n));
      const bool global = node_op(cs, n) == E_GVAR;
      const Op test = w == 1 ? (global ? Op::ZeroByteAbs : Op::ZeroByteLocal)
                    : w == 2 ? (global ? Op::ZeroWordAbs : Op::ZeroWordLocal)
                             : (global ? Op::ZeroAbs : Op::ZeroLocal);
      put(cs, test, 0, 0, static_cast<uint32_t>(node_arg(cs, n, 0)));
      emit_jump(cs, on_zero, label);
      return;
    }
    case E_CONST:
      if ((node_arg(cs, n, 0) != 0) == when_true) emit_jump(cs, Op::Jmp, label);
      return;
    case E_UNARY:
      if (node_arg(cs, n, 0) == static_cast<int32_t>(Op::Set)) {
        emit_cond_jump(cs, node_arg(cs, n, 1), !when_true, label);
        return;
      }
      break;
    case E_CMP: {
      const int32_t rel = node_arg(cs, n, 0);
      const int32_t flags = node_arg(cs, n, 3);
      emit_value(cs, node_arg(cs, n, 2));
      reg_save(cs);
      emit_value(cs, node_arg(cs, n, 1));
      reg_restore(cs);
      const bool float_rel = (flags & CF_FLOAT) && rel != R_EQ && rel != R_NE;
      put(cs, float_rel ? Op::Fsub : Op::SubRR, ra(cs), rb(cs), 0);
      emit_jump(cs, relation_jump(rel, (flags & CF_UNSIGNED) != 0, when_true), label);
      return;
    }
    case E_LAND:
      if (when_true) {
        const int s = label_new(cs);
        emit_cond_jump(cs, node_arg(cs, n, 0), false, s);
        emit_cond_jump(cs, node_arg(cs, n, 1), true, label);
        label_place(cs, s);
      } else {
        emit_cond_jump(cs, node_arg(cs, n, 0), false, label);
        emit_cond_jump(cs, node_arg(cs, n, 1), false, label);
      }
      return;
    case E_LOR:
      if (when_true) {
        emit_cond_jump(cs, node_arg(cs, n, 0), true, label);
        emit_cond_jump(cs, node_arg(cs, n, 1), true, label);
      } else {
        const int s = label_new(cs);
        emit_cond_jump(cs, node_arg(cs, n, 0), true, s);
        emit_cond_jump(cs, node_arg(cs, n, 1), false, label);
        label_place(cs, s);
      }
      return;
    default:
      break;
  }
  emit_value(cs, n);
  emit_a(cs, Op::CmpImm, 0);
  emit_jump(cs, on_zero, label);
}

}  // namespace zelt::compiler
