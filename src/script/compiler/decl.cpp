#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "script/compiler/emit.h"
#include "script/compiler/expr.h"
#include "script/compiler/extern_functions.h"
#include "script/compiler/lexer.h"
#include "script/compiler/parse.h"
#include "script/compiler/symbols.h"
#include "script/compiler/types.h"
#include "script/vm/extern_area.h"

namespace zelt::compiler {
namespace {

enum DeclContext { DC_FILE, DC_LOCAL, DC_MEMBER, DC_PARAM, DC_OLDPARAM, DC_TYPENAME };

// One step of building a declarator's type, in the order it is applied.
struct TypeOp {
  int kind;       // TK_PTR, TK_ARRAY, TK_FUNC
  int32_t count;  // array: element count, -1 for empty brackets
  bool params;    // function: the parameter list that names the declared function's parameters
};

constexpr int kMaxTypeOps = 64;

struct Declarator {
  int name = -1;            // global symbol of the declared name
  int32_t type = 0;         // for a function: its result type
  bool is_function = false; // the name is a function
  bool named_params = false;
  bool old_style = false;
  int nparams = 0;
};

struct OpList {
  TypeOp ops[kMaxTypeOps];
  int n = 0;
  void push(Compiler& cs, TypeOp op) {
    if (n == kMaxTypeOps) fatal(cs, Msg::CompileDeclaration);
    ops[n++] = op;
  }
};

int32_t checked_array(Compiler& cs, int32_t elem, int32_t count) {
  if (count < 0) fatal(cs, Msg::CompileDeclaration);
  const int64_t size = int64_t{type_size(cs, elem)} * count;
  if (size > INT32_MAX) fatal(cs, Msg::CompileDeclaration);
  return type_array(cs, elem, count);
}

bool is_void(Compiler& cs) { return tk(cs) == K_INT && tok(cs).sym == cs.void_sym; }

// The meaning of an identifier as a type name (local typedefs first).
bool typedef_type(Compiler& cs, int g, int32_t* type) {
  if (cs.in_function) {
    if (const Symbol* l = sym_local(cs, g)) {
      if (l->kind != SK_TYPEDEF) return false;
      if (type) *type = l->type;
      return true;
    }
  }
  if (cs.globals[g].kind != SK_TYPEDEF) return false;
  if (type) *type = cs.globals[g].type;
  return true;
}

// Copies a type built at the high end to the low end, for symbols that
// outlive the function being compiled.
int32_t type_keep(Compiler& cs, int32_t t) {
  if (t < 0 || t < cs.pool_high) return t;
  switch (cs.pool[t]) {
    case TK_PTR: {
      const int32_t target = type_keep(cs, cs.pool[t + 1]);
      const int32_t n = node_alloc_low(cs, 2);
      cs.pool[n] = TK_PTR;
      cs.pool[n + 1] = target;
      return n;
    }
    case TK_ARRAY: {
      const int32_t elem = type_keep(cs, cs.pool[t + 1]);
      const int32_t n = node_alloc_low(cs, 3);
      cs.pool[n] = TK_ARRAY;
      cs.pool[n + 1] = elem;
      cs.pool[n + 2] = cs.pool[t + 2];
      return n;
    }
    case TK_FUNC: {
      const int32_t result = type_keep(cs, cs.pool[t + 1]);
      const int32_t n = node_alloc_low(cs, 2);
      cs.pool[n] = TK_FUNC;
      cs.pool[n + 1] = result;
      return n;
    }
    default:
      return t;  // struct and union nodes always live at the low end
  }
}

int32_t parse_record(Compiler& cs);
bool parse_type_spec(Compiler& cs, int32_t* type);
void parse_declarator(Compiler& cs, int32_t base, DeclContext ctx, Declarator& d);

// type -> {int|void|char|short|long|float|signed|unsigned} | record | typedef-name
bool parse_type_spec(Compiler& cs, int32_t* type) {
  const int t = tk(cs);
  if (t == K_STRUCT || t == K_UNION) {
    *type = parse_record(cs);
    return true;
  }
  if (t == T_IDENT) {
    if (!typedef_type(cs, tok(cs).sym, type)) return false;
    advance(cs);
    return true;
  }
  int n_int = 0, n_char = 0, n_short = 0, n_long = 0, n_float = 0, n_signed = 0, n_unsigned = 0;
  bool any = false;
  for (;; any = true) {
    switch (tk(cs)) {
      case K_INT: ++n_int; break;
      case K_CHAR: ++n_char; break;
      case K_SHORT: ++n_short; break;
      case K_LONG: ++n_long; break;
      case K_FLOAT: ++n_float; break;
      case K_SIGNED: ++n_signed; break;
      case K_UNSIGNED: ++n_unsigned; break;
      default: goto done;
    }
    advance(cs);
  }
done:
  if (!any) return false;
  const bool bad = n_int > 1 || n_char > 1 || n_short > 1 || n_long > 2 || n_float > 1 ||
                   n_signed + n_unsigned > 1 ||
                   (n_float && n_int + n_char + n_short + n_long + n_signed + n_unsigned > 0) ||
                   (n_char && n_int + n_short + n_long > 0) || (n_short && n_long);
  if (bad) fatal(cs, Msg::CompileDeclaration);
  if (n_float) *type = TY_FLOAT;
  else if (n_char) *type = n_unsigned ? TY_UCHAR : TY_CHAR;
  else if (n_short) *type = n_unsigned ? TY_USHORT : TY_SHORT;
  else *type = n_unsigned ? TY_UINT : TY_INT;
  return true;
}

// member-declaration -> type declarator {',' declarator} ';'
void parse_members(Compiler& cs, int32_t record) {
  const bool is_union = cs.pool[record] == TK_UNION;
  const int32_t seq = cs.pool[record + 2];
  int64_t size = 0;
  while (tk(cs) != P_RBRACE) {
    int32_t base;
    if (!parse_type_spec(cs, &base)) fatal(cs, Msg::CompileDeclaration);
    do {
      Declarator d;
      parse_declarator(cs, base, DC_MEMBER, d);
      if (d.is_function) fatal(cs, Msg::CompileDeclaration);
      const int32_t msize = type_size(cs, d.type);
      const std::string_view base_name = sym_name(cs, cs.globals[d.name]);
      std::memcpy(cs.scratch, base_name.data(), base_name.size());
      const int len = static_cast<int>(base_name.size()) + member_suffix(cs.scratch + base_name.size(), seq);
      const int g = sym_global(cs, reinterpret_cast<const uint8_t*>(cs.scratch), len,
                               name_hash(reinterpret_cast<const uint8_t*>(cs.scratch), len), true);
      Symbol& m = cs.globals[g];
      if (m.kind != SK_UNDEF) fatal(cs, Msg::CompileDeclaration);
      m.kind = SK_MEMBER;
      m.type = d.type;
      m.value = is_union ? 0 : static_cast<int32_t>(size);
      size = is_union ? std::max<int64_t>(size, msize) : size + msize;
      if (size > INT32_MAX) fatal(cs, Msg::CompileDeclaration);
    } while (accept(cs, P_COMMA));
    if (!accept(cs, P_SEMI)) fatal(cs, Msg::CompileDeclaration);
  }
  cs.pool[record + 1] = static_cast<int32_t>(size);
}

// record -> (struct | union) [name] ['{' {member-declaration} '}']
int32_t parse_record(Compiler& cs) {
  NestingGuard guard(cs);
  const int32_t kind = tk(cs) == K_STRUCT ? TK_STRUCT : TK_UNION;
  advance(cs);
  int g = -1;
  if (tk(cs) == T_IDENT) {
    g = tok(cs).sym;
    advance(cs);
  }
  if (tk(cs) == P_LBRACE) {
    if (g >= 0 && cs.globals[g].kind != SK_UNDEF) fatal(cs, Msg::CompileDeclaration);
    const int32_t n = node_alloc_low(cs, 3);
    cs.pool[n] = kind;
    cs.pool[n + 1] = -1;  // incomplete until the closing brace
    cs.pool[n + 2] = ++cs.struct_seq;
    if (g >= 0) {
      cs.globals[g].kind = SK_TAG;
      cs.globals[g].type = n;
    }
    advance(cs);
    const bool low = cs.low_nodes;
    cs.low_nodes = true;
    parse_members(cs, n);
    cs.low_nodes = low;
    advance(cs);
    return n;
  }
  if (g < 0) fatal(cs, Msg::CompileDeclaration);
  const Symbol& s = cs.globals[g];
  if (s.kind == SK_UNDEF) fatal(cs, Msg::CompileUndefinedString);
  if (s.kind != SK_TAG || cs.pool[s.type] != kind) fatal(cs, Msg::CompileType);
  return s.type;
}

Symbol& add_param(Compiler& cs, int g, int index, int32_t type) {
  if (sym_local(cs, g)) fatal(cs, Msg::CompileDeclaration);
  Symbol& p = sym_local_add(cs, g);
  p.kind = SK_LVAR;
  p.flags = SF_PARAM;
  p.type = type;
  p.value = 8 + 4 * index;
  return p;
}

// A parameter of array type is a pointer to its element, and of function
// type a pointer to the function.
int32_t param_type(Compiler& cs, int32_t t) {
  if (is_array(cs, t)) return type_pointer(cs, type_target(cs, t));
  if (is_function(cs, t)) return type_pointer(cs, t);
  return t;
}

// params -> '(' [void | name {',' name} | type declarator {',' type declarator}] ')'
// The parameters go into the local table when `capture` is set.
void parse_params(Compiler& cs, bool capture, Declarator* d) {
  NestingGuard guard(cs);
  advance(cs);  // '('
  int count = 0;
  bool named = false, old_style = false;
  if (is_void(cs) && peek(cs).kind == P_RPAREN) {
    advance(cs);
  } else if (tk(cs) == T_IDENT && !typedef_type(cs, tok(cs).sym, nullptr)) {
    old_style = true;
    do {
      if (tk(cs) != T_IDENT) fatal(cs, Msg::CompileDeclaration);
      if (capture) add_param(cs, tok(cs).sym, count, TY_INT);
      named = true;
      ++count;
      advance(cs);
    } while (accept(cs, P_COMMA));
  } else if (tk(cs) != P_RPAREN) {
    do {
      int32_t base;
      if (!parse_type_spec(cs, &base)) fatal(cs, Msg::CompileDeclaration);
      Declarator pd;
      parse_declarator(cs, base, DC_PARAM, pd);
      const int32_t t = param_type(cs, pd.is_function ? type_function(cs, pd.type) : pd.type);
      if (pd.name >= 0) {
        if (capture) add_param(cs, pd.name, count, t);
        named = true;
      }
      ++count;
    } while (accept(cs, P_COMMA));
  }
  lex_expect(cs, P_RPAREN);
  if (d) {
    d->named_params = named;
    d->old_style = old_style;
    d->nparams = count;
  }
}

// declarator -> {'*'} (name | '(' declarator ')' | nothing) {'[' [const] ']' | params}
// Collects the type steps in application order: the pointers, then the
// suffixes left to right (so T x[A][B] is B elements of A elements of T),
// then the steps of a parenthesized inner declarator.
void declarator_ops(Compiler& cs, DeclContext ctx, Declarator& d, OpList& ops, bool outermost) {
  NestingGuard guard(cs);
  int pointers = 0;
  while (accept(cs, P_STAR)) ++pointers;
  OpList inner;
  bool has_inner = false;
  bool name_here = false;
  if (tk(cs) == P_LPAREN) {
    const Token& next = peek(cs);
    const bool nested = next.kind == P_STAR || next.kind == P_LPAREN ||
                        (next.kind == T_IDENT && ctx != DC_TYPENAME &&
                         !typedef_type(cs, next.sym, nullptr));
    if (nested) {
      advance(cs);
      declarator_ops(cs, ctx, d, inner, false);
      lex_expect(cs, P_RPAREN);
      has_inner = true;
    }
  } else if (tk(cs) == T_IDENT && ctx != DC_TYPENAME) {
    d.name = tok(cs).sym;
    name_here = true;
    advance(cs);
  }
  for (int i = 0; i < pointers; ++i) ops.push(cs, TypeOp{TK_PTR, 0, false});
  bool first_suffix = true;
  for (;;) {
    if (tk(cs) == P_LBRACKET) {
      advance(cs);
      int32_t count = -1;
      if (tk(cs) != P_RBRACKET) {
        count = parse_const_int(cs);
        if (count < 0) fatal(cs, Msg::CompileDeclaration);
      } else if (ctx != DC_PARAM && ctx != DC_OLDPARAM) {
        fatal(cs, Msg::CompileDeclaration);
      }
      lex_expect(cs, P_RBRACKET);
      ops.push(cs, TypeOp{TK_ARRAY, count, false});
    } else if (tk(cs) == P_LPAREN) {
      // Only the list right after the name of a file-scope declarator names
      // the parameters of a function that may be defined here.
      const bool own = name_here && first_suffix && outermost && ctx == DC_FILE;
      parse_params(cs, own, own ? &d : nullptr);
      ops.push(cs, TypeOp{TK_FUNC, 0, own});
    } else {
      break;
    }
    first_suffix = false;
  }
  if (has_inner)
    for (int i = 0; i < inner.n; ++i) ops.push(cs, inner.ops[i]);
  if (ctx != DC_TYPENAME && ctx != DC_PARAM && outermost && d.name < 0)
    fatal(cs, Msg::CompileDeclaration);
}

void parse_declarator(Compiler& cs, int32_t base, DeclContext ctx, Declarator& d) {
  OpList ops;
  declarator_ops(cs, ctx, d, ops, true);
  int32_t t = base;
  for (int i = 0; i < ops.n; ++i) {
    const TypeOp& op = ops.ops[i];
    const bool last = i == ops.n - 1;
    switch (op.kind) {
      case TK_PTR:
        t = type_pointer(cs, t);
        break;
      case TK_ARRAY:
        if (op.count < 0)
          t = type_pointer(cs, t);  // empty brackets of a parameter
        else
          t = checked_array(cs, t, op.count);
        break;
      default:
        if (is_array(cs, t) || is_function(cs, t)) fatal(cs, Msg::CompileDeclaration);
        if (last && d.name >= 0) {
          // The declared name is a function: its type is the result type.
          d.is_function = true;
          if (!op.params) {
            d.named_params = false;
            d.old_style = false;
            d.nparams = 0;
          }
          d.type = t;
          return;
        }
        t = type_function(cs, t);
        break;
    }
  }
  d.type = t;
  d.named_params = d.old_style = false;
  d.nparams = 0;
}

int parse_storage(Compiler& cs) {
  int storage = 0;
  while (tk(cs) == K_STATIC || tk(cs) == K_EXTERN || tk(cs) == K_TYPEDEF) {
    if (storage) fatal(cs, Msg::CompileDeclaration);
    storage = tk(cs);
    advance(cs);
  }
  return storage;
}

// ---- functions ----

void declare_function(Compiler& cs, const Declarator& d, int storage) {
  Symbol& s = cs.globals[d.name];
  if (d.name == cs.main_sym && d.nparams > 0) fatal(cs, Msg::CompileDeclaration);
  const int32_t result = type_keep(cs, d.type);
  if (s.kind == SK_UNDEF)
    func_declare(cs, d.name, result);
  else if (s.kind != SK_FUNC)
    fatal(cs, Msg::CompileDeclaration);
  else if (!types_match(cs, s.type, result))
    fatal(cs, Msg::CompileType);
  if (storage == K_EXTERN) s.flags |= SF_EXTERN;
}

// Records an extern function for the shared table; entries are committed
// when the compilation succeeds.
void stage_extern(Compiler& cs, int g) {
  const std::string_view name = sym_name(cs, cs.globals[g]);
  if (name.size() > static_cast<size_t>(kMaxExternName)) fatal(cs, Msg::CompileDeclaration);
  if (!extern_functions_find(name, nullptr)) {
    int added = 0;
    for (const auto& e : cs.staged_externs)
      if (!extern_functions_find(sym_name(cs, cs.globals[e.sym]), nullptr)) ++added;
    if (extern_functions_count() + added >= kExternFunctionSlots) fatal(cs, Msg::CompileDeclaration);
  }
  cs.staged_externs.push_back({g, code_address(cs)});
}

// Old-style parameter declarations between ')' and '{'.
void parse_old_params(Compiler& cs) {
  while (tk(cs) != P_LBRACE) {
    int32_t base;
    if (!parse_type_spec(cs, &base)) fatal(cs, Msg::CompileDeclaration);
    do {
      Declarator pd;
      parse_declarator(cs, base, DC_OLDPARAM, pd);
      Symbol* p = sym_local(cs, pd.name);
      if (!p || !(p->flags & SF_PARAM) || (p->flags & SF_TYPED)) fatal(cs, Msg::CompileDeclaration);
      p->type = param_type(cs, pd.is_function ? type_function(cs, pd.type) : pd.type);
      p->flags |= SF_TYPED;
    } while (accept(cs, P_COMMA));
    if (!accept(cs, P_SEMI)) fatal(cs, Msg::CompileDeclaration);
  }
}

void define_function(Compiler& cs, const Declarator& d, int storage) {
  declare_function(cs, d, storage);
  Symbol& s = cs.globals[d.name];
  if (s.flags & SF_DEFINED) fatal(cs, Msg::CompileDeclaration);
  s.flags |= SF_DEFINED;
  if (s.flags & SF_EXTERN) stage_extern(cs, d.name);
  if (cs.result && cs.result->want_functions)
    cs.result->functions.emplace_back(std::string(sym_name(cs, s)), code_address(cs));
  ++cs.function_id;
  parse_old_params(cs);
  cs.current_function = d.name;
  compile_function_body(cs);
}

// A function declared after #trap becomes the stub `trap n; ret`.
void define_builtin(Compiler& cs, const Declarator& d, int storage) {
  if (!d.is_function || storage == K_TYPEDEF) fatal(cs, Msg::CompileDeclaration);
  declare_function(cs, d, storage);
  Symbol& s = cs.globals[d.name];
  if (s.flags & SF_DEFINED) fatal(cs, Msg::CompileDeclaration);
  s.flags |= SF_DEFINED;
  if (cs.result && cs.result->want_functions)
    cs.result->functions.emplace_back(std::string(sym_name(cs, s)), code_address(cs));
  label_place(cs, s.value);
  emit(cs, vm::op_t(Op::Trap, static_cast<uint16_t>(cs.trap_pending)));
  emit(cs, vm::op_n(Op::Ret));
  cs.trap_pending = -1;
}

// ---- initializers ----

// Stores a constant initializer value of type t at addr.
void store_constant(Compiler& cs, int32_t t, ScriptAddr addr, int32_t e) {
  e = rvalue(cs, e);
  const int32_t size = type_size(cs, t);
  switch (node_op(cs, e)) {
    case E_CONST: {
      const int32_t v = node_arg(cs, convert_for_store(cs, e, t), 0);
      data_write(cs, addr, &v, static_cast<uint32_t>(size));
      return;
    }
    case E_GADDR:
    case E_STR:
    case E_FADDR:
      break;
    default:
      fatal(cs, Msg::CompileType);
  }
  // Addresses: only into 4-byte integer or pointer variables.
  if (size != 4 || is_float(t)) fatal(cs, Msg::CompileType);
  if (node_op(cs, e) == E_FADDR) {
    data_write_label(cs, addr, cs.globals[node_arg(cs, e, 0)].value);
    return;
  }
  uint32_t v = static_cast<uint32_t>(node_arg(cs, e, 0));
  if (node_op(cs, e) == E_STR) {
    const uint32_t len = static_cast<uint32_t>(node_arg(cs, e, 1));
    const ScriptAddr text = data_alloc(cs, len);
    data_write(cs, text, cs.text + node_arg(cs, e, 0), len);
    v = text + static_cast<uint32_t>(node_arg(cs, e, 2));
  }
  data_write(cs, addr, &v, 4);
}

// Where an initialized object lives: data (global or static) or the frame.
struct Place {
  bool local;
  ScriptAddr addr;  // global: absolute address
  int32_t disp;     // local: r6 offset
};

void init_scalar(Compiler& cs, int32_t t, const Place& at) {
  const int32_t e = parse_assign_expr(cs);
  if (!at.local) {
    store_constant(cs, t, at.addr, e);
    return;
  }
  reg_reset(cs);
  const int32_t target = node_alloc_high(cs, 3);
  cs.pool[target] = E_LVAR;
  cs.pool[target + 1] = t;
  cs.pool[target + 2] = at.disp;
  emit_value(cs, make_assign(cs, target, e));
}

void init_object(Compiler& cs, int32_t t, const Place& at);

// array-init -> '{' [elem] {',' [elem]} '}' | elem {',' elem} (at most the
// element count without braces)
void init_array(Compiler& cs, int32_t t, const Place& at) {
  NestingGuard guard(cs);
  const int32_t elem = type_target(cs, t);
  const int32_t count = array_count(cs, t);
  const int32_t esize = type_size(cs, elem);
  const bool braced = accept(cs, P_LBRACE);
  if (tk(cs) == T_STRING && (elem == TY_CHAR || elem == TY_UCHAR)) fatal(cs, Msg::CompileType);
  int32_t i = 0;
  for (;;) {
    if (braced && tk(cs) == P_RBRACE) break;
    if (i >= count) fatal(cs, Msg::CompileType);
    if (tk(cs) != P_COMMA) {
      Place e = at;
      e.addr += static_cast<uint32_t>(i * esize);
      e.disp += i * esize;
      const int mark = cs.pool_high;
      init_object(cs, elem, e);
      cs.pool_high = mark;
    }
    ++i;
    if (!braced && i == count) break;
    if (!accept(cs, P_COMMA)) break;
  }
  if (braced && !accept(cs, P_RBRACE)) fatal(cs, Msg::CompileType);
}

void init_object(Compiler& cs, int32_t t, const Place& at) {
  if (is_array(cs, t))
    init_array(cs, t, at);
  else if (is_scalar(cs, t))
    init_scalar(cs, t, at);
  else
    fatal(cs, Msg::CompileType);
}

// ---- objects ----

void declare_typedef(Compiler& cs, const Declarator& d, bool local) {
  const int32_t t = d.is_function ? type_function(cs, d.type) : d.type;
  if (local) {
    if (sym_local(cs, d.name)) fatal(cs, Msg::CompileDeclaration);
    Symbol& s = sym_local_add(cs, d.name);
    s.kind = SK_TYPEDEF;
    s.type = t;
    cs.pool_pinned = std::min(cs.pool_pinned, cs.pool_high);
    return;
  }
  Symbol& s = cs.globals[d.name];
  if (s.kind != SK_UNDEF) fatal(cs, Msg::CompileDeclaration);
  s.kind = SK_TYPEDEF;
  s.type = t;
}

ScriptAddr place_extern(Compiler& cs, int32_t size) {
  const uint64_t end = uint64_t{cs.extern_size} + static_cast<uint32_t>(size);
  if (extern_area() == 0 || end > extern_area_size()) fatal(cs, Msg::CompileHeapOverflow);
  const ScriptAddr at = extern_area() + cs.extern_size;
  cs.extern_size = static_cast<uint32_t>(end);
  return at;
}

// Declares one object (or function or typedef) and compiles its initializer.
void declare(Compiler& cs, const Declarator& d, int storage, bool local) {
  if (storage == K_TYPEDEF) {
    declare_typedef(cs, d, local);
    return;
  }
  if (d.is_function) {
    // Functions are global, also when declared inside a function body.
    if (local && sym_local(cs, d.name)) fatal(cs, Msg::CompileDeclaration);
    declare_function(cs, d, storage);
    return;
  }
  const int32_t size = type_size(cs, d.type);
  // The type lives until the function ends.
  if (local) cs.pool_pinned = std::min(cs.pool_pinned, cs.pool_high);
  Symbol* s;
  if (local) {
    if (sym_local(cs, d.name)) fatal(cs, Msg::CompileDeclaration);
    s = &sym_local_add(cs, d.name);
  } else {
    s = &cs.globals[d.name];
    if (s->kind != SK_UNDEF) fatal(cs, Msg::CompileDeclaration);
  }
  s->type = d.type;
  Place at{false, 0, 0};
  if (storage == K_EXTERN) {
    s->kind = SK_GVAR;
    s->value = static_cast<int32_t>(place_extern(cs, size));
    if (tk(cs) == P_ASSIGN) fatal(cs, Msg::CompileDeclaration);
    return;
  }
  if (!local || storage == K_STATIC) {
    s->kind = SK_GVAR;
    at.addr = data_alloc(cs, static_cast<uint32_t>(size));
    s->value = static_cast<int32_t>(at.addr);
  } else {
    if (int64_t{cs.frame} + size > INT32_MAX - 64) fatal(cs, Msg::CompileDeclaration);
    cs.frame += size;
    s->kind = SK_LVAR;
    s->value = -20 - cs.frame;
    at.local = true;
    at.disp = s->value;
  }
  if (accept(cs, P_ASSIGN)) {
    const int mark = cs.pool_high;
    init_object(cs, d.type, at);
    cs.pool_high = mark;
  }
}

bool ends_declarator(Compiler& cs) { return tk(cs) == P_SEMI || tk(cs) == P_COMMA; }

}  // namespace

void func_declare(Compiler& cs, int g, int32_t result) {
  Symbol& s = cs.globals[g];
  s.kind = SK_FUNC;
  s.type = result;
  s.value = label_new(cs);
  cs.functions.push_back(g);
}

bool is_type_start(Compiler& cs) {
  const int t = tk(cs);
  if ((t >= K_INT && t <= K_UNSIGNED) || t == K_STRUCT || t == K_UNION) return true;
  return t == T_IDENT && typedef_type(cs, tok(cs).sym, nullptr);
}

bool is_decl_start(Compiler& cs) {
  const int t = tk(cs);
  return t == K_STATIC || t == K_EXTERN || t == K_TYPEDEF || is_type_start(cs);
}

int32_t parse_type_name(Compiler& cs) {
  const bool low = cs.low_nodes;
  cs.low_nodes = false;  // the type lives as long as the expression
  int32_t base;
  if (!parse_type_spec(cs, &base)) fatal(cs, Msg::CompileDeclaration);
  Declarator d;
  parse_declarator(cs, base, DC_TYPENAME, d);
  cs.low_nodes = low;
  return d.type;
}

void decl_external(Compiler& cs) {
  cs.low_nodes = true;
  const int storage = parse_storage(cs);
  int32_t base = TY_INT;
  const bool has_type = parse_type_spec(cs, &base);
  if (has_type && accept(cs, P_SEMI)) return;  // a struct or union definition alone
  for (;;) {
    Declarator d;
    parse_declarator(cs, base, DC_FILE, d);
    if (cs.trap_pending >= 0) {
      define_builtin(cs, d, storage);
    } else if (d.is_function && storage != K_TYPEDEF &&
               (tk(cs) == P_LBRACE || (d.named_params && !ends_declarator(cs)))) {
      define_function(cs, d, storage);
      return;
    } else {
      declare(cs, d, storage, false);
      sym_locals_clear(cs);  // parameters named by a prototype
    }
    if (accept(cs, P_COMMA)) continue;
    if (accept(cs, P_SEMI)) return;
    fatal(cs, Msg::CompileDeclaration);
  }
}

void decl_local(Compiler& cs) {
  const int storage = parse_storage(cs);
  int32_t base = TY_INT;
  const bool has_type = parse_type_spec(cs, &base);
  if (has_type && accept(cs, P_SEMI)) return;
  for (;;) {
    Declarator d;
    parse_declarator(cs, base, DC_LOCAL, d);
    if (cs.trap_pending >= 0) fatal(cs, Msg::CompileDeclaration);
    declare(cs, d, storage, true);
    if (accept(cs, P_COMMA)) continue;
    if (accept(cs, P_SEMI)) return;
    fatal(cs, Msg::CompileDeclaration);
  }
}

}  // namespace zelt::compiler
