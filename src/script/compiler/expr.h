// Expressions: parsed into trees of nodes with their types attached, with
// the type rules and constant folding applied as each node is built.
#pragma once

#include "script/compiler/state.h"

namespace zelt::compiler {

// expr -> assignment {',' assignment}
int32_t parse_expr(Compiler& cs);
// assignment -> conditional [assignop assignment]
int32_t parse_assign_expr(Compiler& cs);
// An integer constant expression (a float constant is truncated);
// "定数がありません" when the expression is not constant.
int32_t parse_const_int(Compiler& cs);

// Value conversion: arrays and functions give their address, a struct or
// union value is "型の指定が間違っています".
int32_t rvalue(Compiler& cs, int32_t n);
// Conversion of a value to type t for storing (itof / ftoi where needed).
int32_t convert_for_store(Compiler& cs, int32_t value, int32_t t);
// target = value, with the checks of an assignment.
int32_t make_assign(Compiler& cs, int32_t target, int32_t value);

int32_t make_const(Compiler& cs, int32_t type, int32_t value);
inline bool is_const(Compiler& cs, int32_t n) { return node_op(cs, n) == E_CONST; }

// RAII guard for parser recursion ("ヒープ領域が溢れました" beyond kMaxNesting).
struct NestingGuard {
  Compiler& cs;
  explicit NestingGuard(Compiler& c);
  ~NestingGuard() { --cs.nesting; }
};

}  // namespace zelt::compiler
