#include <algorithm>
#include <cstring>

#include "script/compiler/emit.h"
#include "script/compiler/expr.h"
#include "script/compiler/lexer.h"
#include "script/compiler/parse.h"
#include "script/compiler/symbols.h"
#include "script/compiler/types.h"

namespace zelt::compiler {
namespace {

void statement(Compiler& cs);

// A `return` leaves its value in A; the move to r0 and the jump to the exit
// are emitted when the next statement starts or an enclosing body ends.
void complete_return(Compiler& cs) {
  if (!cs.pending_return) return;
  cs.pending_return = false;
  reg_move_a(cs, 0);
  emit_jump(cs, Op::Jmp, cs.exit_label);
}

// A condition, switch value or expression statement: reset, then the tree.
int32_t scalar_expr(Compiler& cs) {
  reg_reset(cs);
  const int32_t e = rvalue(cs, parse_expr(cs));
  if (!is_scalar(cs, value_type(node_type(cs, e)))) fatal(cs, Msg::CompileType);
  return e;
}

// '(' expr ')' of if, while, do and switch.
int32_t paren_condition(Compiler& cs) {
  lex_expect(cs, P_LPAREN);
  const int32_t c = scalar_expr(cs);
  lex_expect(cs, P_RPAREN);
  return c;
}

// A statement that is the body of if, else, a loop or a switch.
void body(Compiler& cs) {
  statement(cs);
  complete_return(cs);
}

bool at_goto_label(Compiler& cs) { return tk(cs) == T_IDENT && peek(cs).kind == P_COLON; }

struct LoopLabels {
  Compiler& cs;
  int break_label, continue_label;
  SwitchState* current_switch;
  explicit LoopLabels(Compiler& c)
      : cs(c),
        break_label(c.break_label),
        continue_label(c.continue_label),
        current_switch(c.current_switch) {}
  ~LoopLabels() {
    cs.break_label = break_label;
    cs.continue_label = continue_label;
    cs.current_switch = current_switch;
  }
};

// compound -> '{' {statement} '}'
void compound(Compiler& cs) {
  advance(cs);
  while (tk(cs) != P_RBRACE) statement(cs);
  advance(cs);
  complete_return(cs);
}

// if -> 'if' '(' expr ')' statement ['else' statement]
void if_statement(Compiler& cs) {
  advance(cs);
  const int32_t c = paren_condition(cs);
  const int f = label_new(cs);
  emit_cond_jump(cs, c, false, f);
  body(cs);
  if (accept(cs, K_ELSE)) {
    int e = 0;
    if (cs.reachable) {
      e = label_new(cs);
      emit_jump(cs, Op::Jmp, e);
    }
    label_place(cs, f);
    body(cs);
    if (e) label_place(cs, e);
  } else {
    label_place(cs, f);
  }
}

// while -> 'while' '(' expr ')' statement
void while_statement(Compiler& cs) {
  LoopLabels saved(cs);
  advance(cs);
  cs.break_label = label_new(cs);
  cs.continue_label = label_here(cs);
  const int32_t c = paren_condition(cs);
  if (accept(cs, P_SEMI)) {
    emit_cond_jump(cs, c, true, cs.continue_label);
  } else {
    emit_cond_jump(cs, c, false, cs.break_label);
    body(cs);
    if (cs.reachable) emit_jump(cs, Op::Jmp, cs.continue_label);
  }
  label_place(cs, cs.break_label);
}

// do -> 'do' statement 'while' '(' expr ')' ';'
void do_statement(Compiler& cs) {
  LoopLabels saved(cs);
  advance(cs);
  cs.break_label = label_new(cs);
  cs.continue_label = label_new(cs);
  const int top = label_here(cs);
  body(cs);
  label_place(cs, cs.continue_label);
  lex_expect(cs, K_WHILE);
  const int32_t c = paren_condition(cs);
  emit_cond_jump(cs, c, true, top);
  label_place(cs, cs.break_label);
  lex_expect(cs, P_SEMI);
}

// for -> 'for' '(' [expr] ';' [expr] ';' [expr] ')' statement
void for_statement(Compiler& cs) {
  LoopLabels saved(cs);
  advance(cs);
  lex_expect(cs, P_LPAREN);
  cs.break_label = label_new(cs);
  if (tk(cs) != P_SEMI) emit_value(cs, scalar_expr(cs));
  lex_expect(cs, P_SEMI);
  const int top = label_here(cs);
  if (tk(cs) != P_SEMI) emit_cond_jump(cs, scalar_expr(cs), false, cs.break_label);
  lex_expect(cs, P_SEMI);
  // The step is parsed now and emitted after the body; its nodes stay
  // below the body's statements, which release only their own.
  const int32_t step = tk(cs) != P_RPAREN ? rvalue(cs, parse_expr(cs)) : -1;
  lex_expect(cs, P_RPAREN);
  cs.continue_label = step >= 0 ? label_new(cs) : top;
  body(cs);
  if (step >= 0) {
    label_place(cs, cs.continue_label);
    reg_reset(cs);
    emit_value(cs, step);
  }
  emit_jump(cs, Op::Jmp, top);
  label_place(cs, cs.break_label);
}

// switch -> 'switch' '(' expr ')' statement
void switch_statement(Compiler& cs) {
  LoopLabels saved(cs);
  advance(cs);
  cs.break_label = label_new(cs);
  const int32_t e = paren_condition(cs);
  emit_value(cs, e);
  SwitchState st{reg_a(cs), 0, 0};
  cs.current_switch = &st;
  // The value always reaches the tests: right after it, a case group needs
  // no jump to its body. When the body does not start with a case label,
  // jump to the first test over whatever comes before it.
  cs.reachable = false;
  const int first = tk(cs) == P_LBRACE ? peek(cs).kind : tk(cs);
  if (first != K_CASE) {
    st.pending_test = label_new(cs);
    emit_jump(cs, Op::Jmp, st.pending_test);
  }
  // Labels are statements of their own, so a body without braces is its
  // labels and the one statement they mark: in `switch (x) case 1: return 1;`
  // the return belongs to the body and is completed before the last test's
  // label below.
  if (tk(cs) != P_LBRACE)
    while (tk(cs) == K_CASE || tk(cs) == K_DEFAULT || at_goto_label(cs)) statement(cs);
  body(cs);
  if (st.default_label) {
    if (cs.reachable) emit_jump(cs, Op::Jmp, cs.break_label);
    if (st.pending_test) label_place(cs, st.pending_test);
    emit_jump(cs, Op::Jmp, st.default_label);
  } else if (st.pending_test) {
    label_place(cs, st.pending_test);
  }
  label_place(cs, cs.break_label);
}

// case-group -> 'case' const ':' {'case' const ':'}
void case_group(Compiler& cs) {
  SwitchState* st = cs.current_switch;
  if (!st) fatal(cs, Msg::CompileSyntax);
  cs.case_values.clear();
  do {
    advance(cs);
    cs.case_values.push_back(parse_const_int(cs));
    lex_expect(cs, P_COLON);
  } while (tk(cs) == K_CASE);
  const int l = label_new(cs);
  if (cs.reachable) emit_jump(cs, Op::Jmp, l);
  if (st->pending_test) label_place(cs, st->pending_test);
  const size_t n = cs.case_values.size();
  for (size_t i = 0; i + 1 < n; ++i) {
    emit(cs, vm::op_ri(Op::CmpImm, st->value_reg, st->value_reg, static_cast<uint32_t>(cs.case_values[i])));
    emit_jump(cs, Op::Je, l);
  }
  emit(cs, vm::op_ri(Op::CmpImm, st->value_reg, st->value_reg, static_cast<uint32_t>(cs.case_values[n - 1])));
  st->pending_test = label_new(cs);
  emit_jump(cs, Op::Jne, st->pending_test);
  label_place(cs, l);
}

// default -> 'default' ':'
void default_label(Compiler& cs) {
  SwitchState* st = cs.current_switch;
  if (!st || st->default_label) fatal(cs, Msg::CompileSyntax);
  advance(cs);
  lex_expect(cs, P_COLON);
  if (!st->pending_test) {
    st->pending_test = label_new(cs);
    emit_jump(cs, Op::Jmp, st->pending_test);
  }
  st->default_label = label_here(cs);
}

// return -> 'return' [expr] ';'
void return_statement(Compiler& cs) {
  advance(cs);
  reg_reset(cs);
  if (tk(cs) != P_SEMI) {
    // The value is converted to the function's result type as an
    // assignment would.
    const int32_t result = cs.globals[cs.current_function].type;
    int32_t e = parse_expr(cs);
    e = is_scalar(cs, result) ? convert_for_store(cs, e, result) : rvalue(cs, e);
    emit_value(cs, e);
  }
  cs.pending_return = true;
  cs.reachable = false;
  lex_expect(cs, P_SEMI);
}

// Goto labels live in the global table; each belongs to one function.
Symbol& goto_label(Compiler& cs, int g, bool placing) {
  Symbol& s = cs.globals[g];
  if (s.kind == SK_UNDEF) {
    s.kind = SK_LABEL_FWD;
    s.value = label_new(cs);
    s.aux = cs.function_id;
    cs.gotos.push_back(g);
  } else if (s.kind == SK_LABEL_FWD || (s.kind == SK_LABEL && !placing)) {
    if (s.aux != cs.function_id) fatal(cs, Msg::CompileSyntax);
  } else {
    fatal(cs, Msg::CompileType);
  }
  return s;
}

// goto -> 'goto' name ';'
void goto_statement(Compiler& cs) {
  advance(cs);
  if (tk(cs) != T_IDENT) {
    lex_expect(cs, T_IDENT);
  } else {
    const Symbol& s = goto_label(cs, tok(cs).sym, false);
    advance(cs);
    emit_jump(cs, Op::Jmp, s.value);
  }
  lex_expect(cs, P_SEMI);
}

// label -> name ':'
void label_statement(Compiler& cs) {
  Symbol& s = goto_label(cs, tok(cs).sym, true);
  s.kind = SK_LABEL;
  advance(cs);
  advance(cs);
  label_place(cs, s.value);
}

void jump_statement(Compiler& cs, int label) {
  if (!label) fatal(cs, Msg::CompileSyntax);
  advance(cs);
  emit_jump(cs, Op::Jmp, label);
  lex_expect(cs, P_SEMI);
}

void statement(Compiler& cs) {
  NestingGuard guard(cs);
  complete_return(cs);
  const int saved = cs.pool_high;
  switch (tk(cs)) {
    case P_LBRACE: compound(cs); break;
    case P_SEMI: advance(cs); break;
    case K_IF: if_statement(cs); break;
    case K_WHILE: while_statement(cs); break;
    case K_DO: do_statement(cs); break;
    case K_FOR: for_statement(cs); break;
    case K_SWITCH: switch_statement(cs); break;
    case K_CASE: case_group(cs); break;
    case K_DEFAULT: default_label(cs); break;
    case K_BREAK: jump_statement(cs, cs.break_label); break;
    case K_CONTINUE: jump_statement(cs, cs.continue_label); break;
    case K_RETURN: return_statement(cs); break;
    case K_GOTO: goto_statement(cs); break;
    case K_ELSE: fatal(cs, Msg::CompileSyntax);
    default:
      if (at_goto_label(cs)) {
        label_statement(cs);
      } else if (is_decl_start(cs)) {
        decl_local(cs);
      } else {
        emit_value(cs, scalar_expr(cs));
        lex_expect(cs, P_SEMI);
      }
      break;
  }
  cs.pool_high = std::min(saved, cs.pool_pinned);
}

}  // namespace

void compile_function_body(Compiler& cs) {
  Symbol& f = cs.globals[cs.current_function];
  if (tk(cs) != P_LBRACE) fatal(cs, Msg::CompileDeclaration);
  label_place(cs, f.value);
  reg_reset(cs);
  cs.enter_operand = cs.code_size + vm::operand_offset(Op::Enter);
  emit(cs, vm::op_i(Op::Enter, 0));
  cs.frame = 0;
  cs.exit_label = label_new(cs);
  cs.pending_return = false;
  cs.break_label = cs.continue_label = 0;
  cs.current_switch = nullptr;
  cs.in_function = true;
  cs.low_nodes = false;
  advance(cs);
  while (tk(cs) != P_RBRACE) statement(cs);
  advance(cs);
  // Epilogue: a final `return` is completed here alone.
  cs.pending_return = false;
  reg_move_a(cs, 0);
  label_place(cs, cs.exit_label);
  const uint32_t frame = static_cast<uint32_t>(cs.frame);
  if (cs.out) std::memcpy(cs.out + cs.enter_operand, &frame, 4);
  emit(cs, vm::op_i(Op::Leave, frame));
  emit(cs, vm::op_n(Op::Ret));
  cs.in_function = false;
  cs.low_nodes = true;
  cs.pool_high = cs.pool_pinned = kNodeCells;
}

}  // namespace zelt::compiler
