// Preprocessor and lexer: source files and lines, directives (#define,
// #include, #trap, #asm, #endasm, "# " comments), macro expansion, comments,
// and the tokens the parser reads.
#pragma once

#include <string_view>

#include "script/compiler/state.h"

namespace zelt::compiler {

// Installs the keywords and `main` in a fresh global table.
void lex_init(Compiler& cs);
// Opens a source file (script folder + name) on top of the file stack.
void lex_open_source(Compiler& cs, std::string_view name);
// Releases every open source file.
void lex_close_all(Compiler& cs);

// The current token (read on first use, so the lexer never reads ahead of
// what the parser has looked at).
const Token& tok(Compiler& cs);
inline int tk(Compiler& cs) { return tok(cs).kind; }
// Consumes the current token.
inline void advance(Compiler& cs) {
  tok(cs);
  cs.have_tok = false;
}
// The token after the current one.
const Token& peek(Compiler& cs);
// Consumes the current token when it is `kind`.
inline bool accept(Compiler& cs, int kind) {
  if (tk(cs) != kind) return false;
  advance(cs);
  return true;
}
// Consumes `kind`, or reports it missing (without stopping) and consumes
// nothing. Returns whether it was there.
bool lex_expect(Compiler& cs, int kind);

// Path and line of the source position being read, and the column of the
// error position in the current line buffer.
const char* lex_path(const Compiler& cs);
int lex_line(const Compiler& cs);
int lex_error_column(const Compiler& cs);

}  // namespace zelt::compiler
