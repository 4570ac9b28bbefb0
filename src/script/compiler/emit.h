// Code generation: the output image, labels with fix-up chains, the tiny
// register allocator, and the emission of expression trees as values and as
// conditional jumps.
#pragma once

#include "script/compiler/state.h"

namespace zelt::compiler {

using vm::Op;

// ---- output ----

// Appends an instruction ("プログラム領域が足りません" when the image is full).
void emit(Compiler& cs, const vm::Insn& insn);
// The same for the common case: operation op with registers low and high and
// the 32-bit operand (for the forms that have one).
void emit_op(Compiler& cs, Op op, int low, int high, uint32_t operand = 0);
// Appends an instruction whose 32-bit operand is the address of `label`.
void emit_to_label(Compiler& cs, Op op, int low, int high, int label);
// A jump to `label`; after `jmp` the code that follows is unreachable.
void emit_jump(Compiler& cs, Op op, int label);
inline ScriptAddr code_address(const Compiler& cs) { return cs.image + cs.code_size; }

// Allocates n bytes of data below the data placed so far; returns the address.
ScriptAddr data_alloc(Compiler& cs, uint32_t n);
// Writes initial data (emitting pass only).
void data_write(Compiler& cs, ScriptAddr at, const void* bytes, uint32_t n);
// Writes the address of `label` (a function) into the data cell at `at`.
void data_write_label(Compiler& cs, ScriptAddr at, int label);

// ---- labels ----

int label_new(Compiler& cs);
// Places the label at the current code position; code is reachable again.
void label_place(Compiler& cs, int label);
// Places the label at an absolute address (a function found at link time).
void label_place_at(Compiler& cs, int label, ScriptAddr address);
inline int label_here(Compiler& cs) {
  const int l = label_new(cs);
  label_place(cs, l);
  return l;
}

// ---- registers ----

void reg_reset(Compiler& cs);
inline int reg_a(const Compiler& cs) { return cs.slot_reg[cs.slot_a]; }
// Moves the value in A to register r (xchg when r holds a live value).
void reg_move_a(Compiler& cs, int r);

// ---- trees ----

// Emits the value of expression node n into register A.
void emit_value(Compiler& cs, int32_t n);
// Jumps to `label` when the value of n is (when_true) or is not zero.
void emit_cond_jump(Compiler& cs, int32_t n, bool when_true, int label);

}  // namespace zelt::compiler
