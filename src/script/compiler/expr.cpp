#include "script/compiler/expr.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "script/compiler/emit.h"
#include "script/compiler/extern_functions.h"
#include "script/compiler/lexer.h"
#include "script/compiler/parse.h"
#include "script/compiler/symbols.h"
#include "script/compiler/types.h"

namespace zelt::compiler {
namespace {

// ---- nodes ----

int32_t node(Compiler& cs, int32_t op, int32_t type, std::initializer_list<int32_t> args) {
  const int32_t n = node_alloc_high(cs, 2 + static_cast<int>(args.size()));
  cs.pool[n] = op;
  cs.pool[n + 1] = type;
  int k = 2;
  for (int32_t a : args) cs.pool[n + k++] = a;
  return n;
}

// Addresses and offsets add modulo 2^32.
int32_t wrap_add(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

float as_float(int32_t bits) {
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}
int32_t float_bits(float f) {
  int32_t v;
  std::memcpy(&v, &f, 4);
  return v;
}

// float to integer as ftoi does: truncation, NaN and out of range give INT_MIN.
int32_t float_to_int(float f) {
  if (!(f > -2147483904.0f && f < 2147483648.0f)) return INT32_MIN;
  return static_cast<int32_t>(f);
}

int32_t vtype(Compiler& cs, int32_t n) { return value_type(node_type(cs, n)); }
bool is_lvalue(Compiler& cs, int32_t n) {
  const int32_t op = node_op(cs, n);
  return op == E_GVAR || op == E_LVAR || op == E_DEREF;
}
bool is_plain_load(Compiler& cs, int32_t n) {
  return node_op(cs, n) == E_GVAR || node_op(cs, n) == E_LVAR;
}

int32_t to_float(Compiler& cs, int32_t n) {
  if (is_float(vtype(cs, n))) return n;
  if (is_const(cs, n)) return make_const(cs, TY_FLOAT, float_bits(static_cast<float>(node_arg(cs, n, 0))));
  return node(cs, E_UNARY, TY_FLOAT, {static_cast<int32_t>(Op::Itof), n});
}

int32_t to_int(Compiler& cs, int32_t n, int32_t type) {
  if (is_const(cs, n)) return make_const(cs, type, float_to_int(as_float(node_arg(cs, n, 0))));
  return node(cs, E_UNARY, type, {static_cast<int32_t>(Op::Ftoi), n});
}

// ---- binary operators ----

enum BinKind { B_MUL, B_DIV, B_MOD, B_ADD, B_SUB, B_SHL, B_SHR, B_AND, B_OR, B_XOR };

bool is_bitwise(int k) { return k >= B_SHL; }
bool swaps(int k) { return k == B_ADD || k == B_MUL || k == B_AND || k == B_OR || k == B_XOR; }

Op int_op(int k, bool is_unsigned) {
  switch (k) {
    case B_MUL: return Op::Mul;
    case B_DIV: return Op::Div;
    case B_MOD: return Op::Mod;
    case B_ADD: return Op::AddRR;
    case B_SUB: return Op::SubRR;
    case B_SHL: return Op::Shl;
    case B_SHR: return is_unsigned ? Op::Shr : Op::Sar;
    case B_AND: return Op::And;
    case B_OR: return Op::Or;
    default: return Op::Xor;
  }
}

Op float_op(int k) {
  switch (k) {
    case B_MUL: return Op::Fmul;
    case B_DIV: return Op::Fdiv;
    case B_MOD: return Op::Fmod;
    case B_ADD: return Op::Fadd;
    default: return Op::Fsub;
  }
}

int32_t fold_int(Compiler& cs, int k, int32_t a, int32_t b, bool is_unsigned) {
  const uint32_t ua = static_cast<uint32_t>(a), ub = static_cast<uint32_t>(b);
  switch (k) {
    case B_MUL: return static_cast<int32_t>(ua * ub);
    case B_DIV:
    case B_MOD:
      // Always signed, as the div and mod instructions compute.
      if (b == 0) fatal(cs, Msg::DivideByZero);
      if (a == INT32_MIN && b == -1) return k == B_DIV ? INT32_MIN : 0;
      return k == B_DIV ? a / b : a % b;
    case B_ADD: return static_cast<int32_t>(ua + ub);
    case B_SUB: return static_cast<int32_t>(ua - ub);
    case B_SHL: return static_cast<int32_t>(ua << (ub & 31));
    case B_SHR:
      // As the emitted shift would: logical for unsigned values.
      return is_unsigned ? static_cast<int32_t>(ua >> (ub & 31)) : a >> (ub & 31);
    case B_AND: return a & b;
    case B_OR: return a | b;
    default: return a ^ b;
  }
}

int32_t fold_float(Compiler& cs, int k, float a, float b) {
  switch (k) {
    case B_MUL: return float_bits(a * b);
    case B_DIV:
      if (b == 0.0f) fatal(cs, Msg::DivideByZero);
      return float_bits(a / b);
    case B_MOD:
      if (b == 0.0f) fatal(cs, Msg::DivideByZero);
      return float_bits(std::fmod(a, b));
    case B_ADD: return float_bits(a + b);
    default: return float_bits(a - b);
  }
}

bool is_one(Compiler& cs, int32_t n) {
  if (!is_const(cs, n)) return false;
  const int32_t v = node_arg(cs, n, 0);
  return is_float(vtype(cs, n)) ? as_float(v) == 1.0f : v == 1;
}

// Builds l op r for two arithmetic values of result type `type` (already
// converted to float when it is float).
int32_t arith_node(Compiler& cs, int k, int32_t l, int32_t r, int32_t type) {
  const bool fl = is_float(type);
  if (is_const(cs, l) && is_const(cs, r)) {
    const int32_t a = node_arg(cs, l, 0), b = node_arg(cs, r, 0);
    return make_const(cs, type, fl ? fold_float(cs, k, as_float(a), as_float(b))
                                   : fold_int(cs, k, a, b, is_unsigned(type)));
  }
  if (is_const(cs, r) && (k == B_DIV || k == B_MOD) && !fl && node_arg(cs, r, 0) == 0)
    fatal(cs, Msg::DivideByZero);
  if ((k == B_MUL || k == B_DIV) && is_one(cs, r)) return l;
  if (k == B_MUL && is_one(cs, l)) return r;
  if (swaps(k) && (is_const(cs, l) || (!is_const(cs, r) && is_plain_load(cs, l)))) std::swap(l, r);
  const Op op = fl ? float_op(k) : int_op(k, is_unsigned(type));
  return node(cs, E_BIN, type, {static_cast<int32_t>(op), l, r});
}

// The integer n multiplied by the size of a pointer's target.
int32_t scale(Compiler& cs, int32_t n, int32_t pointer) {
  const int32_t size = type_size(cs, type_target(cs, pointer));
  return arith_node(cs, B_MUL, n, make_const(cs, TY_INT, size), vtype(cs, n));
}

// Pointer plus (or minus) a scaled integer; address constants fold.
int32_t pointer_offset(Compiler& cs, int k, int32_t p, int32_t offset, int32_t type) {
  if (is_const(cs, offset)) {
    int32_t v = node_arg(cs, offset, 0);
    if (k == B_SUB) v = static_cast<int32_t>(0u - static_cast<uint32_t>(v));
    switch (node_op(cs, p)) {
      case E_GADDR:
        return node(cs, E_GADDR, type, {wrap_add(node_arg(cs, p, 0), v)});
      case E_LADDR:
        return node(cs, E_LADDR, type, {wrap_add(node_arg(cs, p, 0), v)});
      case E_STR:
        return node(cs, E_STR, type, {node_arg(cs, p, 0), node_arg(cs, p, 1), wrap_add(node_arg(cs, p, 2), v)});
      default:
        break;
    }
  }
  if (k == B_ADD && (is_const(cs, p) || (!is_const(cs, offset) && is_plain_load(cs, p))))
    return node(cs, E_BIN, type, {static_cast<int32_t>(Op::AddRR), offset, p});
  return node(cs, E_BIN, type, {static_cast<int32_t>(k == B_ADD ? Op::AddRR : Op::SubRR), p, offset});
}

int32_t make_arith(Compiler& cs, int k, int32_t l, int32_t r) {
  l = rvalue(cs, l);
  r = rvalue(cs, r);
  const int32_t tl = vtype(cs, l), tr = vtype(cs, r);
  const bool pl = is_pointer(cs, tl), pr = is_pointer(cs, tr);
  if (k == B_ADD && (pl || pr)) {
    if (pl && is_integer(tr)) return pointer_offset(cs, B_ADD, l, scale(cs, r, tl), tl);
    if (pr && is_integer(tl)) return pointer_offset(cs, B_ADD, r, scale(cs, l, tr), tr);
    fatal(cs, Msg::CompileType);
  }
  if (k == B_SUB && pl) {
    if (is_integer(tr)) return pointer_offset(cs, B_SUB, l, scale(cs, r, tl), tl);
    if (pr) {
      const int32_t size = type_size(cs, type_target(cs, tl));
      const int32_t diff = node(cs, E_BIN, TY_INT, {static_cast<int32_t>(Op::SubRR), l, r});
      return arith_node(cs, B_DIV, diff, make_const(cs, TY_INT, size), TY_INT);
    }
    fatal(cs, Msg::CompileType);
  }
  if (!is_arith(tl) || !is_arith(tr)) fatal(cs, Msg::CompileType);
  if (is_float(tl) || is_float(tr)) {
    if (is_bitwise(k)) fatal(cs, Msg::CompileType);
    return arith_node(cs, k, to_float(cs, l), to_float(cs, r), TY_FLOAT);
  }
  return arith_node(cs, k, l, r, is_unsigned(tl) || is_unsigned(tr) ? TY_UINT : TY_INT);
}

int32_t make_compare(Compiler& cs, int rel, int32_t l, int32_t r) {
  l = rvalue(cs, l);
  r = rvalue(cs, r);
  const int32_t tl = vtype(cs, l), tr = vtype(cs, r);
  if (!is_scalar(cs, tl) || !is_scalar(cs, tr)) fatal(cs, Msg::CompileType);
  int32_t flags = 0;
  if (rel == R_EQ || rel == R_NE) {
    // Equality compares the 32-bit patterns as they are.
    if (is_float(tl) || is_float(tr)) flags = CF_FLOAT;
  } else if (is_float(tl) || is_float(tr)) {
    l = to_float(cs, l);
    r = to_float(cs, r);
    flags = CF_FLOAT;
  } else if (!(tl == TY_INT && tr == TY_INT)) {
    flags = CF_UNSIGNED;
  }
  return node(cs, E_CMP, TY_INT, {rel, l, r, flags});
}

int32_t make_logical(Compiler& cs, int32_t op, int32_t l, int32_t r) {
  l = rvalue(cs, l);
  r = rvalue(cs, r);
  if (!is_scalar(cs, vtype(cs, l)) || !is_scalar(cs, vtype(cs, r))) fatal(cs, Msg::CompileType);
  return node(cs, op, TY_INT, {l, r});
}

// Binary operator precedence (higher binds tighter); 0 = not a binary operator.
int precedence(int t) {
  switch (t) {
    case P_OROR: return 1;
    case P_ANDAND: return 2;
    case P_OR: return 3;
    case P_XOR: return 4;
    case P_AND: return 5;
    case P_EQ: case P_NE: return 6;
    case P_LT: case P_LE: case P_GT: case P_GE: return 7;
    case P_SHL: case P_SHR: return 8;
    case P_PLUS: case P_MINUS: return 9;
    case P_STAR: case P_SLASH: case P_MOD: return 10;
    default: return 0;
  }
}

int32_t make_binary(Compiler& cs, int t, int32_t l, int32_t r) {
  switch (t) {
    case P_OROR: return make_logical(cs, E_LOR, l, r);
    case P_ANDAND: return make_logical(cs, E_LAND, l, r);
    case P_OR: return make_arith(cs, B_OR, l, r);
    case P_XOR: return make_arith(cs, B_XOR, l, r);
    case P_AND: return make_arith(cs, B_AND, l, r);
    case P_EQ: return make_compare(cs, R_EQ, l, r);
    case P_NE: return make_compare(cs, R_NE, l, r);
    case P_LT: return make_compare(cs, R_LT, l, r);
    case P_LE: return make_compare(cs, R_LE, l, r);
    case P_GT: return make_compare(cs, R_GT, l, r);
    case P_GE: return make_compare(cs, R_GE, l, r);
    case P_SHL: return make_arith(cs, B_SHL, l, r);
    case P_SHR: return make_arith(cs, B_SHR, l, r);
    case P_PLUS: return make_arith(cs, B_ADD, l, r);
    case P_MINUS: return make_arith(cs, B_SUB, l, r);
    case P_STAR: return make_arith(cs, B_MUL, l, r);
    case P_SLASH: return make_arith(cs, B_DIV, l, r);
    default: return make_arith(cs, B_MOD, l, r);
  }
}

// ---- unary operators ----

int32_t make_deref(Compiler& cs, int32_t p) {
  p = rvalue(cs, p);
  const int32_t t = vtype(cs, p);
  int32_t target;
  if (is_pointer(cs, t))
    target = type_target(cs, t);
  else if (is_integer(t))
    target = TY_CHAR;  // an integer value addresses a char
  else
    fatal(cs, Msg::CompileType);
  switch (node_op(cs, p)) {
    case E_GADDR: return node(cs, E_GVAR, target, {node_arg(cs, p, 0)});
    case E_LADDR: return node(cs, E_LVAR, target, {node_arg(cs, p, 0)});
    default: return node(cs, E_DEREF, target, {p});
  }
}

int32_t make_address(Compiler& cs, int32_t n) {
  switch (node_op(cs, n)) {
    case E_GVAR: return node(cs, E_GADDR, expr_pointer(cs, node_type(cs, n)), {node_arg(cs, n, 0)});
    case E_LVAR: return node(cs, E_LADDR, expr_pointer(cs, node_type(cs, n)), {node_arg(cs, n, 0)});
    case E_DEREF: {
      const int32_t a = node_arg(cs, n, 0);
      node_type(cs, a) = expr_pointer(cs, node_type(cs, n));
      return a;
    }
    case E_FUNC: return rvalue(cs, n);
    default: fatal(cs, Msg::CompileNoVariable);
  }
}

int32_t make_inc_dec(Compiler& cs, int32_t n, bool prefix, bool inc) {
  if (!is_lvalue(cs, n)) fatal(cs, Msg::CompileNoVariable);
  const int32_t t = node_type(cs, n);
  int32_t step = 1;
  if (is_pointer(cs, t))
    step = type_size(cs, type_target(cs, t));
  else if (!is_integer(t))
    fatal(cs, Msg::CompileType);
  if (!inc) step = -step;
  return node(cs, E_INCDEC, value_type(t), {n, prefix ? 1 : 0, step});
}

int32_t make_member(Compiler& cs, int32_t n) {
  const int32_t t = node_type(cs, n);
  if (!is_lvalue(cs, n) || !is_record(cs, t)) fatal(cs, Msg::CompileType);
  if (tk(cs) != T_IDENT) fatal(cs, Msg::CompileSyntax);
  const Symbol& field = cs.globals[tok(cs).sym];
  // Members are stored as "name_n", n being the struct's sequence number.
  const std::string_view base = sym_name(cs, field);
  std::memcpy(cs.scratch, base.data(), base.size());
  const int len = static_cast<int>(base.size()) + member_suffix(cs.scratch + base.size(), cs.pool[t + 2]);
  advance(cs);
  const int g = sym_global(cs, reinterpret_cast<const uint8_t*>(cs.scratch), len,
                           name_hash(reinterpret_cast<const uint8_t*>(cs.scratch), len), false);
  if (g < 0 || cs.globals[g].kind != SK_MEMBER) fatal(cs, Msg::CompileUndefinedString);
  const int32_t off = cs.globals[g].value;
  const int32_t mt = cs.globals[g].type;
  switch (node_op(cs, n)) {
    case E_GVAR: return node(cs, E_GVAR, mt, {wrap_add(node_arg(cs, n, 0), off)});
    case E_LVAR: return node(cs, E_LVAR, mt, {wrap_add(node_arg(cs, n, 0), off)});
    default: {
      int32_t a = node_arg(cs, n, 0);
      if (off != 0)
        a = node(cs, E_BIN, vtype(cs, a), {static_cast<int32_t>(Op::AddRR), a, make_const(cs, TY_INT, off)});
      return node(cs, E_DEREF, mt, {a});
    }
  }
}

int32_t make_call(Compiler& cs, int32_t callee) {
  // The argument list is built last argument first.
  int32_t list = -1;
  int32_t count = 0;
  if (tk(cs) != P_RPAREN) {
    do {
      const int32_t a = rvalue(cs, parse_assign_expr(cs));
      list = node(cs, E_ARG, 0, {a, list});
      ++count;
    } while (accept(cs, P_COMMA));
  }
  lex_expect(cs, P_RPAREN);
  int32_t result = TY_INT;
  if (node_op(cs, callee) == E_FUNC) {
    result = cs.globals[node_arg(cs, callee, 0)].type;
  } else {
    callee = rvalue(cs, callee);
    const int32_t t = vtype(cs, callee);
    if (is_pointer(cs, t) && is_function(cs, type_target(cs, t)))
      result = type_target(cs, type_target(cs, t));
    else if (!is_scalar(cs, t))
      fatal(cs, Msg::CompileType);
  }
  return node(cs, E_CALL, value_type(result), {callee, list, count});
}

// The meaning of an identifier in an expression.
int32_t make_name(Compiler& cs) {
  const int g = tok(cs).sym;
  advance(cs);
  if (cs.in_function) {
    if (const Symbol* l = sym_local(cs, g)) {
      if (l->kind == SK_LVAR) return node(cs, E_LVAR, l->type, {l->value});
      if (l->kind == SK_GVAR) return node(cs, E_GVAR, l->type, {l->value});
      fatal(cs, Msg::CompileExpression);  // a typedef name
    }
  }
  Symbol& s = cs.globals[g];
  switch (s.kind) {
    case SK_FUNC: return node(cs, E_FUNC, s.type, {g});
    case SK_GVAR: return node(cs, E_GVAR, s.type, {s.value});
    case SK_TYPEDEF: fatal(cs, Msg::CompileExpression);
    case SK_UNDEF: {
      // f(...) declares f as a function returning int; a bare name may be a
      // function another script defined extern.
      if (tk(cs) == P_LPAREN) {
        func_declare(cs, g, TY_INT);
        return node(cs, E_FUNC, TY_INT, {g});
      }
      ExternFunction ef;
      if (extern_functions_find(sym_name(cs, s), &ef)) {
        func_declare(cs, g, ef.type < 0 && ef.type >= TY_FLOAT ? ef.type : TY_INT);
        return node(cs, E_FUNC, s.type, {g});
      }
      fatal(cs, Msg::CompileUndefinedString);
    }
    default: fatal(cs, Msg::CompileUndefinedString);
  }
}

int32_t parse_unary(Compiler& cs);

// postfix -> primary {'[' expr ']' | '(' args ')' | '.' name | '->' name | '++' | '--'}
int32_t parse_postfix_rest(Compiler& cs, int32_t n) {
  for (;;) {
    switch (tk(cs)) {
      case P_LBRACKET: {
        advance(cs);
        const int32_t i = parse_expr(cs);
        lex_expect(cs, P_RBRACKET);
        n = make_deref(cs, make_arith(cs, B_ADD, n, i));
        break;
      }
      case P_LPAREN:
        advance(cs);
        n = make_call(cs, n);
        break;
      case P_DOT:
        advance(cs);
        n = make_member(cs, n);
        break;
      case P_ARROW:
        advance(cs);
        n = make_member(cs, make_deref(cs, n));
        break;
      case P_INC:
      case P_DEC:
        n = make_inc_dec(cs, n, false, tk(cs) == P_INC);
        advance(cs);
        break;
      default:
        return n;
    }
  }
}

// primary -> name | number | string | '(' expr ')'
int32_t parse_primary(Compiler& cs) {
  const Token& t = tok(cs);
  switch (t.kind) {
    case T_IDENT:
      return make_name(cs);
    case T_NUMBER: {
      const int32_t n = make_const(cs, t.is_float ? TY_FLOAT : TY_INT, t.value);
      advance(cs);
      return n;
    }
    case T_STRING: {
      const int32_t n = node(cs, E_STR, expr_pointer(cs, TY_CHAR),
                             {static_cast<int32_t>(t.str), static_cast<int32_t>(t.len), 0});
      advance(cs);
      return n;
    }
    default:
      fatal(cs, Msg::CompileExpression);
  }
}

// The size of what an expression designates (arrays whole).
int32_t size_of_node(Compiler& cs, int32_t n) {
  // A string literal is its text; a pointer into it is a pointer.
  if (node_op(cs, n) == E_STR) return node_arg(cs, n, 2) == 0 ? node_arg(cs, n, 1) : 4;
  if (node_op(cs, n) == E_FUNC) fatal(cs, Msg::CompileDeclaration);
  return type_size(cs, node_type(cs, n));
}

int32_t make_cast(Compiler& cs, int32_t t, int32_t x) {
  x = rvalue(cs, x);
  const int32_t from = vtype(cs, x);
  if (!is_scalar(cs, t) || !is_scalar(cs, from)) fatal(cs, Msg::CompileType);
  if (is_float(t) && !is_float(from)) return to_float(cs, x);
  if (!is_float(t) && is_float(from)) return to_int(cs, x, t);
  // Everything else only changes the type (a cast to char does not truncate).
  switch (node_op(cs, x)) {
    case E_CONST: return make_const(cs, t, node_arg(cs, x, 0));
    case E_GADDR: return node(cs, E_GADDR, t, {node_arg(cs, x, 0)});
    case E_FADDR: return node(cs, E_FADDR, t, {node_arg(cs, x, 0)});
    case E_STR: return node(cs, E_STR, t, {node_arg(cs, x, 0), node_arg(cs, x, 1), node_arg(cs, x, 2)});
    default: return node(cs, E_RETYPE, t, {x});
  }
}

// unary -> ('-' | '~' | '!' | '*' | '&' | '++' | '--') unary | sizeof unary
//        | sizeof '(' type-name ')' | '(' type-name ')' unary | postfix
int32_t parse_unary(Compiler& cs) {
  NestingGuard guard(cs);
  const int t = tk(cs);
  switch (t) {
    case P_MINUS: {
      advance(cs);
      const int32_t x = rvalue(cs, parse_unary(cs));
      const int32_t vt = vtype(cs, x);
      if (is_float(vt)) {
        if (is_const(cs, x)) return make_const(cs, TY_FLOAT, node_arg(cs, x, 0) ^ INT32_MIN);
        return node(cs, E_UNARY, TY_FLOAT, {static_cast<int32_t>(Op::Fneg), x});
      }
      if (!is_integer(vt)) fatal(cs, Msg::CompileType);
      if (is_const(cs, x))
        return make_const(cs, vt, static_cast<int32_t>(0u - static_cast<uint32_t>(node_arg(cs, x, 0))));
      return node(cs, E_UNARY, vt, {static_cast<int32_t>(Op::Neg), x});
    }
    case P_TILDE: {
      advance(cs);
      const int32_t x = rvalue(cs, parse_unary(cs));
      const int32_t vt = vtype(cs, x);
      if (!is_integer(vt)) fatal(cs, Msg::CompileType);
      if (is_const(cs, x)) return make_const(cs, vt, ~node_arg(cs, x, 0));
      return node(cs, E_UNARY, vt, {static_cast<int32_t>(Op::Not), x});
    }
    case P_NOT: {
      advance(cs);
      const int32_t x = rvalue(cs, parse_unary(cs));
      if (!is_scalar(cs, vtype(cs, x))) fatal(cs, Msg::CompileType);
      return node(cs, E_UNARY, TY_INT, {static_cast<int32_t>(Op::Set), x});
    }
    case P_STAR:
      advance(cs);
      return make_deref(cs, parse_unary(cs));
    case P_AND:
      advance(cs);
      return make_address(cs, parse_unary(cs));
    case P_INC:
    case P_DEC:
      advance(cs);
      return make_inc_dec(cs, parse_unary(cs), true, t == P_INC);
    case K_SIZEOF: {
      advance(cs);
      int32_t size;
      if (tk(cs) == P_LPAREN) {
        advance(cs);
        if (is_type_start(cs)) {
          size = type_size(cs, parse_type_name(cs));
          lex_expect(cs, P_RPAREN);
        } else {
          const int32_t e = parse_expr(cs);
          lex_expect(cs, P_RPAREN);
          size = size_of_node(cs, parse_postfix_rest(cs, e));
        }
      } else {
        size = size_of_node(cs, parse_unary(cs));
      }
      return make_const(cs, TY_INT, size);
    }
    case P_LPAREN: {
      advance(cs);
      if (is_type_start(cs)) {
        const int32_t type = parse_type_name(cs);
        lex_expect(cs, P_RPAREN);
        return make_cast(cs, type, parse_unary(cs));
      }
      const int32_t e = parse_expr(cs);
      lex_expect(cs, P_RPAREN);
      return parse_postfix_rest(cs, e);
    }
    default:
      return parse_postfix_rest(cs, parse_primary(cs));
  }
}

// binary -> unary {binop binary}, by precedence climbing
int32_t parse_binary(Compiler& cs, int min_prec) {
  int32_t l = parse_unary(cs);
  for (;;) {
    const int t = tk(cs);
    const int p = precedence(t);
    if (p < min_prec || p == 0) return l;
    advance(cs);
    const int32_t r = parse_binary(cs, p + 1);
    l = make_binary(cs, t, l, r);
  }
}

// conditional -> binary ['?' expr ':' conditional]
int32_t parse_conditional(Compiler& cs) {
  NestingGuard guard(cs);
  int32_t c = parse_binary(cs, 1);
  if (!accept(cs, P_QUESTION)) return c;
  c = rvalue(cs, c);
  int32_t x = rvalue(cs, parse_expr(cs));
  lex_expect(cs, P_COLON);
  int32_t y = rvalue(cs, parse_conditional(cs));
  if (!is_scalar(cs, vtype(cs, c))) fatal(cs, Msg::CompileType);
  int32_t tx = vtype(cs, x), ty = vtype(cs, y);
  if (is_arith(tx) && is_arith(ty) && is_float(tx) != is_float(ty)) {
    x = to_float(cs, x);
    y = to_float(cs, y);
    tx = TY_FLOAT;
  } else if (!is_pointer(cs, tx) && is_pointer(cs, ty)) {
    tx = ty;
  }
  if (is_const(cs, c)) return node_arg(cs, c, 0) != 0 ? x : y;
  return node(cs, E_COND, tx, {c, x, y});
}

int binop_of_assign(int t) {
  switch (t) {
    case P_MUL_ASSIGN: return B_MUL;
    case P_DIV_ASSIGN: return B_DIV;
    case P_MOD_ASSIGN: return B_MOD;
    case P_ADD_ASSIGN: return B_ADD;
    case P_SUB_ASSIGN: return B_SUB;
    case P_SHL_ASSIGN: return B_SHL;
    case P_SHR_ASSIGN: return B_SHR;
    case P_AND_ASSIGN: return B_AND;
    case P_OR_ASSIGN: return B_OR;
    case P_XOR_ASSIGN: return B_XOR;
    default: return -1;
  }
}

// target op= value: the target's address is computed twice.
int32_t make_op_assign(Compiler& cs, int k, int32_t target, int32_t value) {
  if (!is_lvalue(cs, target)) fatal(cs, Msg::CompileNoVariable);
  const int32_t t = node_type(cs, target);
  const int32_t tx = value_type(t);
  value = rvalue(cs, value);
  const int32_t ty = vtype(cs, value);
  Op op;
  int32_t flags = 0;
  if (is_pointer(cs, t) && (k == B_ADD || k == B_SUB)) {
    if (!is_integer(ty)) fatal(cs, Msg::CompileType);
    value = scale(cs, value, t);
    op = k == B_ADD ? Op::AddRR : Op::SubRR;
  } else {
    if (!is_arith(tx) || !is_arith(ty)) fatal(cs, Msg::CompileType);
    if (is_float(tx) || is_float(ty)) {
      if (is_bitwise(k)) fatal(cs, Msg::CompileType);
      value = to_float(cs, value);
      if (!is_float(tx)) flags = OA_ITOF_TARGET | OA_FTOI_RESULT;
      op = float_op(k);
    } else {
      if (is_const(cs, value) && (k == B_DIV || k == B_MOD) && node_arg(cs, value, 0) == 0)
        fatal(cs, Msg::DivideByZero);
      op = int_op(k, is_unsigned(tx) || is_unsigned(ty));
    }
  }
  return node(cs, E_OPASSIGN, tx, {static_cast<int32_t>(op), target, value, flags});
}

}  // namespace

NestingGuard::NestingGuard(Compiler& c) : cs(c) {
  if (++cs.nesting > kMaxNesting) fatal(cs, Msg::CompileHeapOverflow);
}

int32_t make_const(Compiler& cs, int32_t type, int32_t value) {
  return node(cs, E_CONST, type, {value});
}

int32_t rvalue(Compiler& cs, int32_t n) {
  const int32_t t = node_type(cs, n);
  switch (node_op(cs, n)) {
    case E_GVAR:
    case E_LVAR:
    case E_DEREF:
      if (is_array(cs, t)) {
        const int32_t p = expr_pointer(cs, type_target(cs, t));
        if (node_op(cs, n) == E_GVAR) return node(cs, E_GADDR, p, {node_arg(cs, n, 0)});
        if (node_op(cs, n) == E_LVAR) return node(cs, E_LADDR, p, {node_arg(cs, n, 0)});
        node_type(cs, node_arg(cs, n, 0)) = p;
        return node_arg(cs, n, 0);
      }
      if (is_function(cs, t) && node_op(cs, n) == E_DEREF) {
        node_type(cs, node_arg(cs, n, 0)) = expr_pointer(cs, t);
        return node_arg(cs, n, 0);
      }
      if (!is_scalar(cs, t)) fatal(cs, Msg::CompileType);
      return n;
    case E_FUNC: {
      const bool low = cs.low_nodes;
      cs.low_nodes = false;  // expression types live until the statement ends
      const int32_t p = type_pointer(cs, type_function(cs, t));
      cs.low_nodes = low;
      return node(cs, E_FADDR, p, {node_arg(cs, n, 0)});
    }
    default:
      return n;
  }
}

int32_t convert_for_store(Compiler& cs, int32_t value, int32_t t) {
  value = rvalue(cs, value);
  const int32_t vt = vtype(cs, value);
  if (!is_scalar(cs, vt)) fatal(cs, Msg::CompileType);
  if (is_float(t) && !is_float(vt)) return to_float(cs, value);
  if (!is_float(t) && is_float(vt)) return to_int(cs, value, value_type(t));
  return value;
}

int32_t make_assign(Compiler& cs, int32_t target, int32_t value) {
  if (!is_lvalue(cs, target)) fatal(cs, Msg::CompileNoVariable);
  const int32_t t = node_type(cs, target);
  if (!is_scalar(cs, t)) fatal(cs, Msg::CompileType);
  return node(cs, E_ASSIGN, value_type(t), {target, convert_for_store(cs, value, t)});
}

int32_t parse_assign_expr(Compiler& cs) {
  const int32_t l = parse_conditional(cs);
  const int t = tk(cs);
  if (t == P_ASSIGN) {
    advance(cs);
    return make_assign(cs, l, parse_assign_expr(cs));
  }
  const int k = binop_of_assign(t);
  if (k < 0) return l;
  advance(cs);
  return make_op_assign(cs, k, l, parse_assign_expr(cs));
}

int32_t parse_expr(Compiler& cs) {
  int32_t l = parse_assign_expr(cs);
  while (accept(cs, P_COMMA)) {
    const int32_t r = rvalue(cs, parse_assign_expr(cs));
    l = node(cs, E_COMMA, vtype(cs, r), {rvalue(cs, l), r});
  }
  return l;
}

int32_t parse_const_int(Compiler& cs) {
  const int32_t n = rvalue(cs, parse_conditional(cs));
  if (!is_const(cs, n)) fatal(cs, Msg::CompileNoConstant);
  const int32_t v = node_arg(cs, n, 0);
  return is_float(vtype(cs, n)) ? float_to_int(as_float(v)) : v;
}

}  // namespace zelt::compiler
