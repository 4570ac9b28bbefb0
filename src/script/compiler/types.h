// Types: basic types are negative codes, other types are nodes in the node
// pool ([kind, fields...]); sizes, classification and comparison.
#pragma once

#include "script/compiler/state.h"

namespace zelt::compiler {

// Cells from the low end (kept for the compilation) or the high end
// (released after each statement); "ヒープ領域が溢れました" when they meet.
int32_t node_alloc_low(Compiler& cs, int cells);
int32_t node_alloc_high(Compiler& cs, int cells);
// Cells for a type node: the low end at file scope and in struct bodies.
inline int32_t type_alloc(Compiler& cs, int cells) {
  return cs.low_nodes ? node_alloc_low(cs, cells) : node_alloc_high(cs, cells);
}

// Interns the pointers to the basic types (called once per compilation).
void types_init(Compiler& cs);

int32_t type_pointer(Compiler& cs, int32_t target);
int32_t type_array(Compiler& cs, int32_t elem, int32_t count);
int32_t type_function(Compiler& cs, int32_t result);
// A pointer type for an expression's value: from the high end, released
// with the expression.
int32_t expr_pointer(Compiler& cs, int32_t target);

inline int32_t type_kind(const Compiler& cs, int32_t t) { return t < 0 ? t : cs.pool[t]; }
inline int32_t type_target(const Compiler& cs, int32_t t) { return cs.pool[t + 1]; }
inline int32_t array_count(const Compiler& cs, int32_t t) { return cs.pool[t + 2]; }

inline bool is_integer(int32_t t) { return t <= TY_INT && t >= TY_UCHAR; }
inline bool is_float(int32_t t) { return t == TY_FLOAT; }
inline bool is_arith(int32_t t) { return t <= TY_INT && t >= TY_FLOAT; }
inline bool is_unsigned(int32_t t) { return t == TY_UINT || t == TY_USHORT || t == TY_UCHAR; }
inline bool is_pointer(const Compiler& cs, int32_t t) { return t >= 0 && cs.pool[t] == TK_PTR; }
inline bool is_array(const Compiler& cs, int32_t t) { return t >= 0 && cs.pool[t] == TK_ARRAY; }
inline bool is_function(const Compiler& cs, int32_t t) { return t >= 0 && cs.pool[t] == TK_FUNC; }
inline bool is_record(const Compiler& cs, int32_t t) {
  return t >= 0 && (cs.pool[t] == TK_STRUCT || cs.pool[t] == TK_UNION);
}
inline bool is_scalar(const Compiler& cs, int32_t t) { return is_arith(t) || is_pointer(cs, t); }

// The type a value of type t has once loaded: char and short widen to int,
// their unsigned forms to unsigned int.
inline int32_t value_type(int32_t t) {
  if (t == TY_CHAR || t == TY_SHORT) return TY_INT;
  if (t == TY_UCHAR || t == TY_USHORT) return TY_UINT;
  return t;
}

// Bytes of a type; functions and incomplete structs end the compilation
// with "変数（関数）の宣言に誤りがあります".
int32_t type_size(Compiler& cs, int32_t t);
// Same kinds through pointers, arrays and function results; structs and
// unions compare by size.
bool types_match(const Compiler& cs, int32_t a, int32_t b);

}  // namespace zelt::compiler
